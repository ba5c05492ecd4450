#!/usr/bin/env bash
# Pictures of the desktop program for the README: starts a virtual X display
# (Xvfb), builds mivora-shots and saves every scene it knows as
# docs/shot-SCENE.png, plus docs/shot-SCENE@2x.png at twice the pixel density
# for the scenes named in HIDPI_SCENES. Add a scene in tests/shots/ (see
# ShotScenes.h); this script picks it up.
#   scripts/screenshots.sh [SCENE...]    (default: every scene)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
out=${SHOTS_DIR:-docs}
hidpi=${HIDPI_SCENES:-main splash message}
scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target mivora-shots
shots="$build/tests/shots/mivora-shots"

# A private display; -displayfd picks a free number.
exec 3< <(Xvfb -displayfd 1 -screen 0 1600x1000x24 -nolisten tcp 2>/dev/null)
xvfb_pid=$!
read -r display <&3
trap 'kill $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb

mkdir -p "$out"
scenes=("$@")
[ ${#scenes[@]} -gt 0 ] || mapfile -t scenes < <("$shots" --list | cut -f1)
for scene in "${scenes[@]}"; do
  "$shots" "$scene" "$out/shot-$scene.png"
  case " $hidpi " in
    *" $scene "*) QT_SCALE_FACTOR=2 "$shots" "$scene" "$out/shot-$scene@2x.png" ;;
  esac
done
