#!/usr/bin/env bash
# The profiles of current formats (H.265, AV1, VP9, Opus, 4K, 10-bit HDR):
# for each, converts one camera-like clip through `mivora-cli convert` and
# through bare ffmpeg with the very arguments trancor gives it, interleaved,
# and prints the median wall times, their ratio (goal: at most 1.05) and the
# encoding speed in frames per second of the bare run.
#   bench/profile_speed.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: REPS (default 3), SECONDS_OF_CLIP (default 3; profiles with
# 4K frames take a third of it, at least 1 s), SIZE of the clip (default
# 1920x1080), PROFILES (a newline-separated list of profile paths relative
# to Profiles/; default the new ones).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
reps=${REPS:-3}
length=${SECONDS_OF_CLIP:-3}
size=${SIZE:-1920x1080}
rate=25
bin=$(cd "$bin" && pwd)
default_profiles="General Video/MP4 - H.265 HEVC Video.xml
General Video/MKV - H.265 HEVC Video.xml
General Video/MKV - AV1 Video.xml
General Video/WebM - AV1 Video.xml
General Video/WebM - VP9 Video.xml
HD Video/MP4 - H.264 4K 2160p.xml
HD Video/MP4 - H.265 4K 2160p.xml
HD Video/MKV - AV1 4K 2160p.xml
HD Video/MKV - H.265 10-bit HDR.xml
HD Video/MKV - AV1 10-bit HDR.xml
Audio/OPUS - Opus Audio.xml"
mapfile -t profiles <<<"${PROFILES:-$default_profiles}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The program's log and settings go to the scratch folder, not the user's.
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" "$work/out"
chmod 700 "$XDG_RUNTIME_DIR"

# A moving test picture under fine grain, as a camera gives it, with sound.
make_clip() {  # seconds path
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "testsrc2=size=$size:rate=$rate,noise=alls=2:allf=t,format=yuv420p" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$1" \
    -c:v libx264 -preset ultrafast -qp 4 -c:a aac "$2"
}
short=$(( length / 3 > 0 ? length / 3 : 1 ))
make_clip "$length" "$work/clip.mkv"
make_clip "$short" "$work/short.mkv"

TIMEFORMAT='%3R'
wall_ms() {  # command... -> milliseconds of wall time
  local t
  t=$({ time "$@" </dev/null >/dev/null 2>&1; } 2>&1) || { echo "profile_speed: $1 failed" >&2; return 1; }
  awk '{ printf "%d\n", $1 * 1000 }' <<<"$t"
}
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "clip ${size} at ${rate} fps, ${length} s (${short} s for 4K frames); $reps repetitions; $(nproc) cores"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| profile | frames | mivora-cli | ffmpeg | ratio | encoding fps |\n|---|---|---|---|---|---|\n'
for relative in "${profiles[@]}"; do
  profile="$bin/Profiles/$relative"
  read -r -a words <<<"$("$bin/mivora-cli" args "$profile")"
  extension=$(sed -n 's/.*<FormatExt value="\([^"]*\)".*/\1/p' "$profile")
  frame=$(sed -n 's/.*<VideoSize value="\([0-9]*\)x\([0-9]*\)".*/\1 \2/p' "$profile")
  source="$work/clip.mkv" seconds=$length
  if [ -n "$frame" ] && [ $(( ${frame% *} * ${frame#* } )) -gt $(( 1920 * 1080 )) ]; then
    source="$work/short.mkv" seconds=$short
  fi
  mapfile -t bare < <("$bin/engine_ffmpeg_arguments" -i "$source" -dxva2 0 "${words[@]}" "$work/bare.$extension")
  [ "${#bare[@]}" -gt 0 ] || { echo "profile_speed: no ffmpeg command for $relative" >&2; exit 1; }
  program=("$bin/mivora-cli" convert --jobs 1 --overwrite --profile "$profile" -o "$work/out" "$source")
  program_wall=() bare_wall=()
  for ((i = 0; i < reps; i++)); do
    if ((i % 2)); then
      bare_wall+=("$(wall_ms "${bare[@]}")"); program_wall+=("$(wall_ms "${program[@]}")")
    else
      program_wall+=("$(wall_ms "${program[@]}")"); bare_wall+=("$(wall_ms "${bare[@]}")")
    fi
  done
  p=$(median "${program_wall[@]}") b=$(median "${bare_wall[@]}")
  frames=$(( seconds * rate ))
  [ "$extension" = opus ] && frames=0
  awk -v name="$(basename "$relative" .xml)" -v f="$frames" -v p="$p" -v b="$b" 'BEGIN {
    fps = f > 0 ? sprintf("%.1f", f / (b / 1000)) : "(audio)"
    printf "| %s | %d | %.2f s | %.2f s | %.3f | %s |\n", name, f, p / 1000, b / 1000, p / b, fps }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
