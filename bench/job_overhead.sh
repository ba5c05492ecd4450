#!/usr/bin/env bash
# The fixed cost of one conversion job: converts the same clip through
# `mivora-cli convert` and through bare ffmpeg with the very arguments trancor
# gives it, interleaved, and prints the ratio of the median wall times.
#   bench/job_overhead.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: REPS (default 7), PROFILE (a profile file; default the
# "MP4 - MPEG-4 H.264 Video" profile), SECONDS_OF_CLIP (default 10).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
reps=${REPS:-7}
profile=${PROFILE:-"$bin/Profiles/General Video/MP4 - MPEG-4 H.264 Video.xml"}
length=${SECONDS_OF_CLIP:-10}
bin=$(cd "$bin" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program's log and settings go to the scratch folder, not the user's.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"

clip="$work/clip.mp4"
ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$length" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$length" \
  -pix_fmt yuv420p -ac 2 "$clip"

# The job's engine arguments, and the ffmpeg command trancor makes of them.
engine_args=$("$bin/mivora-cli" args "$profile")
read -r -a words <<<"$engine_args"
extension=$(sed -n 's/.*<FormatExt value="\([^"]*\)".*/\1/p' "$profile")
mapfile -t ffmpeg_argv < <("$bin/engine_ffmpeg_arguments" -i "$clip" -dxva2 0 "${words[@]}" \
  "$work/bare.$extension")
[ ${#ffmpeg_argv[@]} -gt 0 ] || { echo "job_overhead: no ffmpeg command" >&2; exit 1; }

now() { date +%s%N; }
run_program() {
  "$bin/mivora-cli" convert --overwrite --profile "$profile" -o "$work/out" "$clip" >/dev/null 2>&1
}
run_bare() { "${ffmpeg_argv[@]}" </dev/null >/dev/null 2>&1; }

echo "profile: $(basename "$profile" .xml); clip: ${length} s 640x480; $reps repetitions"
echo "ffmpeg: ${ffmpeg_argv[*]}"
run_program && run_bare  # warm the caches
program_ms=() bare_ms=()
for ((i = 0; i < reps; i++)); do
  for which in $( ((i % 2)) && echo "bare program" || echo "program bare"); do
    start=$(now)
    "run_$which" || { echo "job_overhead: the $which run failed" >&2; exit 1; }
    ms=$((($(now) - start) / 1000000))
    if [ "$which" = program ]; then program_ms+=("$ms"); else bare_ms+=("$ms"); fi
  done
  echo "  run $((i + 1)): mivora-cli ${program_ms[-1]} ms, ffmpeg ${bare_ms[-1]} ms"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
p=$(median "${program_ms[@]}")
b=$(median "${bare_ms[@]}")
awk -v p="$p" -v b="$b" 'BEGIN { printf "median: mivora-cli %d ms, ffmpeg %d ms, %+d ms per job\nratio: %.3f\n", p, b, p - b, p / b }'
