#!/usr/bin/env bash
# Seeds the in-process probe fuzzer's corpus (an empty folder) with tiny real
# sources, so that its mutations start from media the demuxers recognise.
# Each seed is one byte choosing the extension (InProcessProbeFuzzer.cpp's
# table), then the file.
#   fuzz/seed_probe_corpus.sh CORPUS_FOLDER
set -euo pipefail
corpus=$1
[ -z "$(ls -A "$corpus" 2>/dev/null)" ] || exit 0
mkdir -p "$corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# index in the extension table, extension, extra ffmpeg options
seeds=("0 mp4" "1 avi" "2 mkv" "3 mpg" "4 ts" "5 flv" "6 wmv" "7 mov" "9 vob" "11 wav -vn" "12 mp3 -vn" "13 ogg -vn")
for seed in "${seeds[@]}"; do
  read -r index extension options <<<"$seed"
  # shellcheck disable=SC2086
  ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=size=64x48:rate=25:duration=0.2 \
    -f lavfi -i sine=duration=0.2 ${options:-} "$work/seed.$extension"
  { printf "\\$(printf '%03o' "$index")"; cat "$work/seed.$extension"; } >"$corpus/seed-$extension"
done
