#!/usr/bin/env bash
# The probe's cost: `mivora-cli probe` on CLIPS clips in one call (in-process,
# in parallel) against CLIPS runs of `ffmpeg -hide_banner -i CLIP`, one after
# another as the program used to probe. Prints the median wall and processor
# times of each and their ratios. Goal: at most 0.25x the time.
#   bench/probe_bench.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: CLIPS (default 40), REPS (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
clips=${CLIPS:-40}
reps=${REPS:-5}
bin=$(cd "$bin" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/clips"
chmod 700 "$XDG_RUNTIME_DIR"

# A few kinds of source, copied until there are CLIPS files.
make_clip() {
  ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "testsrc2=size=$1:rate=25:duration=3" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=3" -pix_fmt yuv420p -ac 2 "$work/$2"
}
make_clip 640x480 kind0.mp4
make_clip 320x240 kind1.avi
make_clip 1280x720 kind2.mkv
make_clip 720x576 kind3.mpg
kinds=("$work"/kind*)
files=()
for ((i = 0; i < clips; i++)); do
  kind=${kinds[i % ${#kinds[@]}]}
  file="$work/clips/clip $i.${kind##*.}"
  cp "$kind" "$file"
  files+=("$file")
done

run_program() { "$bin/mivora-cli" probe "${files[@]}" >/dev/null 2>&1 || true; }
run_ffmpeg() {
  local file
  for file in "${files[@]}"; do ffmpeg -hide_banner -nostdin -i "file:$file" </dev/null >/dev/null 2>&1 || true; done
}
# Wall and processor time (user + system, the children included), in ms.
TIMEFORMAT='%3R %3U %3S'
measure() {
  local times
  times=$({ time "run_$1"; } 2>&1)
  awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' <<<"$times"
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# The program's answers must be whole before its time means anything.
found=$("$bin/mivora-cli" probe "${files[@]}" | grep -c '^duration=..:..:..$' || true)
[ "$found" = "$clips" ] || { echo "probe_bench: mivora-cli probe found $found of $clips durations" >&2; exit 1; }

echo "probe: $clips clips ($(printf '%s ' "${kinds[@]##*/}")), $reps repetitions, $(nproc) cores"
run_program && run_ffmpeg  # warm the caches
program_wall=() program_cpu=() ffmpeg_wall=() ffmpeg_cpu=()
for ((i = 0; i < reps; i++)); do
  for which in $( ((i % 2)) && echo "ffmpeg program" || echo "program ffmpeg"); do
    read -r wall cpu < <(measure "$which")
    if [ "$which" = program ]; then program_wall+=("$wall") program_cpu+=("$cpu")
    else ffmpeg_wall+=("$wall") ffmpeg_cpu+=("$cpu"); fi
  done
done
pw=$(median "${program_wall[@]}") pc=$(median "${program_cpu[@]}")
fw=$(median "${ffmpeg_wall[@]}") fc=$(median "${ffmpeg_cpu[@]}")
printf '%-40s %10s %10s %8s\n' "" "mivora-cli" "ffmpeg" "ratio"
printf '%-40s %8d ms %8d ms %8.3f\n' "median wall time" "$pw" "$fw" "$(awk -v a="$pw" -v b="$fw" 'BEGIN { print a / b }')"
printf '%-40s %8d ms %8d ms %8.3f\n' "median processor time (user + system)" "$pc" "$fc" \
  "$(awk -v a="$pc" -v b="$fc" 'BEGIN { print a / b }')"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
