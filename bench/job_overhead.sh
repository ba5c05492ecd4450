#!/usr/bin/env bash
# The fixed cost of one conversion job: converts the same clip through
# `mivora-cli convert` and through bare ffmpeg with the very arguments trancor
# gives it, interleaved, and prints the ratios of the median wall times and of
# the median processor times (the steadier figure on a busy machine).
#   bench/job_overhead.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: REPS (default 7), PROFILE (a profile file; default the
# "MP4 - MPEG-4 H.264 Video" profile), SECONDS_OF_CLIP (default 10), CLIPS
# (default 1): with more, one `mivora-cli convert --jobs 1` of that many clips
# against the same ffmpeg command lines run one after another.
# Last (by default only for a single clip; FOURK=1 or 0 says otherwise), the
# engine's start on a 4K source: the time from trancor's start to ffmpeg's,
# in a job of the program (handed the probed facts of the source) and for
# trancor run by hand (reading the source itself).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
reps=${REPS:-7}
profile=${PROFILE:-"$bin/Profiles/General Video/MP4 - MPEG-4 H.264 Video.xml"}
length=${SECONDS_OF_CLIP:-10}
clips=${CLIPS:-1}
bin=$(cd "$bin" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program's log and settings go to the scratch folder, not the user's.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"

ffmpeg -hide_banner -loglevel error -nostdin -y \
  -f lavfi -i "testsrc2=size=640x480:rate=25:duration=$length" \
  -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$length" \
  -pix_fmt yuv420p -ac 2 "$work/clip.mp4"
sources=()
for ((n = 1; n <= clips; n++)); do
  cp "$work/clip.mp4" "$work/clip$n.mp4"
  sources+=("$work/clip$n.mp4")
done

# The job's engine arguments, and the ffmpeg command trancor makes of them,
# one command line per clip.
engine_args=$("$bin/mivora-cli" args "$profile")
read -r -a words <<<"$engine_args"
extension=$(sed -n 's/.*<FormatExt value="\([^"]*\)".*/\1/p' "$profile")
bare_lines=()
for ((n = 1; n <= clips; n++)); do
  line=$("$bin/engine_ffmpeg_arguments" -i "$work/clip$n.mp4" -dxva2 0 "${words[@]}" "$work/bare$n.$extension" |
    tr '\n' '\037')
  [ -n "$line" ] || { echo "job_overhead: no ffmpeg command" >&2; exit 1; }
  bare_lines+=("$line")
done

run_program() {
  "$bin/mivora-cli" convert --jobs 1 --overwrite --profile "$profile" -o "$work/out" "${sources[@]}" \
    >/dev/null 2>&1
}
run_bare() {
  local line argv
  for line in "${bare_lines[@]}"; do
    IFS=$'\037' read -r -a argv <<<"${line%$'\037'}"
    "${argv[@]}" </dev/null >/dev/null 2>&1 || return 1
  done
}
# Wall and processor time (user + system, the children included), in ms.
TIMEFORMAT='%3R %3U %3S'
measure() {
  local times
  times=$({ time "run_$1"; } 2>&1) || { echo "job_overhead: the $1 run failed" >&2; exit 1; }
  awk '{ printf "%d %d\n", $1 * 1000, ($2 + $3) * 1000 }' <<<"$times"
}

echo "profile: $(basename "$profile" .xml); $clips clip(s) of ${length} s 640x480; $reps repetitions"
echo "ffmpeg: ${bare_lines[0]//$'\037'/ }"
run_program && run_bare  # warm the caches
program_wall=() program_cpu=() bare_wall=() bare_cpu=()
for ((i = 0; i < reps; i++)); do
  for which in $( ((i % 2)) && echo "bare program" || echo "program bare"); do
    read -r wall cpu < <(measure "$which")
    if [ "$which" = program ]; then program_wall+=("$wall") program_cpu+=("$cpu")
    else bare_wall+=("$wall") bare_cpu+=("$cpu"); fi
  done
  echo "  run $((i + 1)): mivora-cli ${program_wall[-1]} ms (cpu ${program_cpu[-1]}), ffmpeg ${bare_wall[-1]} ms (cpu ${bare_cpu[-1]})"
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
report() {
  awk -v what="$1" -v p="$2" -v b="$3" \
    'BEGIN { printf "%s: mivora-cli %d ms, ffmpeg %d ms, %+d ms, ratio %.3f\n", what, p, b, p - b, p / b }'
}
report "median wall" "$(median "${program_wall[@]}")" "$(median "${bare_wall[@]}")"
report "median processor time" "$(median "${program_cpu[@]}")" "$(median "${bare_cpu[@]}")"

# ---- The engine's start on a 4K source -------------------------------------
[ "${FOURK:-$( ((clips == 1)) && echo 1 || echo 0)}" = 1 ] || exit 0
# An ffmpeg ahead of the real one on PATH notes how long after its parent
# (trancor) started it was started (clock ticks since boot, 10 ms steps).
mkdir -p "$work/wrap"
cat >"$work/wrap/ffmpeg" <<'WRAP'
#!/usr/bin/env bash
read -r now _ </proc/uptime
parent=$(sed 's/.*) //' "/proc/$PPID/stat" | awk '{ print $20 }')
awk -v now="$now" -v start="$parent" -v hz="$(getconf CLK_TCK)" \
  'BEGIN { printf "%d\n", (now - start / hz) * 1000 }' >>"$ENGINE_START_LOG"
PATH=${PATH#*:} exec ffmpeg "$@"
WRAP
chmod +x "$work/wrap/ffmpeg"
ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i "testsrc2=size=3840x2160:rate=25:duration=0.4" \
  -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -color_primaries bt2020 -colorspace bt2020nc \
  -color_trc smpte2084 -x265-params "log-level=error:master-display=G(13250,34500)B(7500,3000)R(34000,16000)WP(15635,16450)L(10000000,50):max-cll=1000,400" \
  "$work/4k.mkv"
export ENGINE_START_LOG="$work/start.txt"
program=() by_hand=()
for ((i = 0; i < reps; i++)); do
  : >"$ENGINE_START_LOG"
  PATH="$work/wrap:$PATH" "$bin/mivora-cli" convert --jobs 1 --overwrite --profile "$profile" -o "$work/out" \
    "$work/4k.mkv" >/dev/null 2>&1 || true
  program+=("$(tail -n 1 "$ENGINE_START_LOG")")  # the conversion's ffmpeg is the last
  : >"$ENGINE_START_LOG"
  PATH="$work/wrap:$PATH" "$bin/trancor" -i "$work/4k.mkv" -t 0.2 "${words[@]}" "$work/byhand.$extension" \
    >/dev/null 2>&1 || true
  by_hand+=("$(head -n 1 "$ENGINE_START_LOG")")
done
echo "4K HDR source, trancor's start to ffmpeg's (median of $reps): in a job $(median "${program[@]}") ms" \
  "(goal 100), trancor by hand reading the source $(median "${by_hand[@]}") ms"
