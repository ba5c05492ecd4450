#!/usr/bin/env bash
# Runs the `duplicates` tool over the product's code only: every tracked file
# except tests/, fuzz/, bench/ and build folders, copied as it stands in the
# working tree into a temporary folder. Arguments go to `duplicates`
# (for example --most 100).
set -euo pipefail
root=$(git rev-parse --show-toplevel)
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
cd "$root"
git ls-files -z | grep -zvE '^(tests|fuzz|bench|build[^/]*)/' |
  while IFS= read -r -d '' file; do
    [ -f "$file" ] || continue
    mkdir -p "$tree/$(dirname "$file")"
    cp "$file" "$tree/$file"
  done
cd "$tree"
duplicates --repo "$tree" "$@"
