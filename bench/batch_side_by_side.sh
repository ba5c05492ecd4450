#!/usr/bin/env bash
# Several conversions at once: converts the same batch of clips through
# `mivora-cli convert --jobs 1`, `--jobs 2` and the default number (one per
# core, at most 4), with the AVI (Xvid) profile and with the H.264 profile,
# and prints how much faster each number is than one at a time (the ratio of
# the median wall times).
#   bench/batch_side_by_side.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: REPS (default 3), CLIPS (default 8), SECONDS_OF_CLIP (default
# 5), SIZE (default 1280x720).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
reps=${REPS:-3}
clips=${CLIPS:-8}
length=${SECONDS_OF_CLIP:-5}
size=${SIZE:-1280x720}
bin=$(cd "$bin" && pwd)
profiles=("$bin/Profiles/General Video/AVI - Audio Video Interleaved.xml"
          "$bin/Profiles/General Video/MP4 - MPEG-4 H.264 Video.xml")
cores=$(nproc)
default_jobs=$((cores < 4 ? cores : 4))

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program's log and settings go to the scratch folder, not the user's.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/clips"
chmod 700 "$XDG_RUNTIME_DIR"

# Different pictures per clip, so no encoder meets the same frames twice.
for ((i = 0; i < clips; i++)); do
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "testsrc2=size=$size:rate=25:duration=$length,hue=h=$((i * 40))" \
    -f lavfi -i "sine=frequency=$((300 + i * 50)):sample_rate=44100:duration=$length" \
    -pix_fmt yuv420p -ac 2 "$work/clips/clip$i.mp4"
done

# One batch; prints its wall time in ms.
run_batch() {
  local profile=$1 jobs=$2 out="$work/out"
  rm -rf "$out"
  local start end
  start=$(date +%s%N)
  "$bin/mivora-cli" convert --jobs "$jobs" --overwrite --profile "$profile" -o "$out" \
    "$work"/clips/*.mp4 </dev/null >/dev/null 2>&1 ||
    { echo "batch_side_by_side: the batch with --jobs $jobs failed" >&2; exit 1; }
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

counts=(1 2)
[ "$default_jobs" -gt 2 ] && counts+=("$default_jobs")
echo "$clips clips of ${length} s $size; $reps repetitions; $cores cores, default --jobs $default_jobs"
for profile in "${profiles[@]}"; do
  name=$(basename "$profile" .xml)
  run_batch "$profile" 1 >/dev/null  # warm the caches
  declare -A walls=()
  for ((i = 0; i < reps; i++)); do
    # The order changes from run to run, so no count always runs first.
    for jobs in $( ((i % 2)) && printf '%s\n' "${counts[@]}" | sort -rn || echo "${counts[@]}"); do
      walls[$jobs]+="$(run_batch "$profile" "$jobs") "
    done
  done
  one=$(median ${walls[1]})
  for jobs in "${counts[@]}"; do
    m=$(median ${walls[$jobs]})
    label="--jobs $jobs"
    [ "$jobs" = "$default_jobs" ] && label+=" (default)"
    awk -v n="$name" -v l="$label" -v m="$m" -v o="$one" -v runs="${walls[$jobs]% }" \
      'BEGIN { printf "%s, %s: median %d ms (runs %s), %.2fx faster than one at a time\n", n, l, m, runs, o / m }'
  done
  unset walls
done
