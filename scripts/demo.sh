#!/usr/bin/env bash
# The main job until the desktop program exists: a short clip generated on
# the spot is converted through the program's own engine runner, and the
# output's place is printed.
set -euo pipefail
bin=$(cd "$1" && pwd)
if [ -x "$bin/mivora-cli" ] && "$bin/mivora-cli" help | grep -q '^  demo'; then
  exec "$bin/mivora-cli" demo
fi
"$bin/mivora-cli" gpu || true
