#!/usr/bin/env bash
# The profiles of current formats (H.265, AV1, VP9, Opus, 4K, 10-bit HDR):
# for each, converts one camera-like clip through `mivora-cli convert` and
# through bare ffmpeg with the very arguments trancor gives it, in pairs whose
# order alternates, and prints the median wall times, the median of the
# pairs' ratios (goal: at most 1.05) with their spread, the median extra
# wall time per call, and the encoding speed in frames per second of the
# bare run. A pair's ratio cancels what drifts over the run (other load, the
# processor's clock); its spread says how far one pair can be trusted.
# Audio profiles convert a song-length sound file, as people convert music;
# the clip's three seconds of sound would measure start-up alone.
#   bench/profile_speed.sh [PROGRAM_FOLDER]   (default build-bench/bin)
# Environment: REPS (default 9), SECONDS_OF_CLIP (default 6; profiles with
# 4K frames take a third of it, at least 1 s), SECONDS_OF_SONG (default 240),
# SIZE of the clip (default
# 1920x1080), PROFILES (a newline-separated list of profile paths relative
# to Profiles/; default the new ones).
set -euo pipefail
cd "$(dirname "$0")/.."

bin=${1:-build-bench/bin}
reps=${REPS:-9}
song_length=${SECONDS_OF_SONG:-240}
length=${SECONDS_OF_CLIP:-6}
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

# A moving test picture under fine grain, with sound, at the rate a phone
# records 1080p (17 Mbit/s). Both runs decode it; the program also reads its
# start once more before the engine starts, as every probe does.
make_clip() {  # seconds path
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "testsrc2=size=$size:rate=$rate,noise=alls=2:allf=t,format=yuv420p" \
    -f lavfi -i "sine=frequency=440:sample_rate=48000" -t "$1" \
    -c:v libx264 -preset veryfast -b:v 17M -maxrate 20M -bufsize 20M -c:a aac "$2"
}
# A song: two voices that swell and bend over pink noise, as a 192 kbit/s MP3.
make_song() {  # seconds path
  ffmpeg -hide_banner -loglevel error -nostdin -y \
    -f lavfi -i "aevalsrc=0.3*sin(2*PI*220*t)*sin(2*PI*0.5*t)+0.2*sin(2*PI*330*t+sin(2*PI*3*t)):s=44100:c=stereo" \
    -f lavfi -i "anoisesrc=a=0.05:c=pink:r=44100" \
    -filter_complex "[0][1]amix=inputs=2,aformat=channel_layouts=stereo" -t "$1" -c:a libmp3lame -b:a 192k "$2"
}
short=$(( length / 3 > 0 ? length / 3 : 1 ))
make_clip "$length" "$work/clip.mkv"
make_clip "$short" "$work/short.mkv"
make_song "$song_length" "$work/song.mp3"

TIMEFORMAT='%3R'
wall_ms() {  # command... -> milliseconds of wall time
  local t
  t=$({ time "$@" </dev/null >/dev/null 2>&1; } 2>&1) || { echo "profile_speed: $1 failed" >&2; return 1; }
  awk '{ printf "%d\n", $1 * 1000 }' <<<"$t"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
lowest() { printf '%s\n' "$@" | sort -g | head -1; }
highest() { printf '%s\n' "$@" | sort -g | tail -1; }

echo "clip ${size} at ${rate} fps, ${length} s (${short} s for 4K frames); song ${song_length} s; $reps pairs; $(nproc) cores"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '| profile | frames | mivora-cli | ffmpeg | ratio (median of pairs) | spread of pairs | extra per call | encoding fps |\n|---|---|---|---|---|---|---|---|\n'
for relative in "${profiles[@]}"; do
  profile="$bin/Profiles/$relative"
  read -r -a words <<<"$("$bin/mivora-cli" args "$profile")"
  extension=$(sed -n 's/.*<FormatExt value="\([^"]*\)".*/\1/p' "$profile")
  frame=$(sed -n 's/.*<VideoSize value="\([0-9]*\)x\([0-9]*\)".*/\1 \2/p' "$profile")
  source="$work/clip.mkv" seconds=$length
  if [ -n "$frame" ] && [ $(( ${frame% *} * ${frame#* } )) -gt $(( 1920 * 1080 )) ]; then
    source="$work/short.mkv" seconds=$short
  fi
  grep -q '<VideoDisable value="Yes"' "$profile" && source="$work/song.mp3" seconds=$song_length
  mapfile -t bare < <("$bin/engine_ffmpeg_arguments" -i "$source" -dxva2 0 "${words[@]}" "$work/bare.$extension")
  [ "${#bare[@]}" -gt 0 ] || { echo "profile_speed: no ffmpeg command for $relative" >&2; exit 1; }
  program=("$bin/mivora-cli" convert --jobs 1 --overwrite --profile "$profile" -o "$work/out" "$source")
  program_wall=() bare_wall=() ratios=() extras=()
  for ((i = 0; i < reps; i++)); do
    if ((i % 2)); then
      pb=$(wall_ms "${bare[@]}"); pp=$(wall_ms "${program[@]}")
    else
      pp=$(wall_ms "${program[@]}"); pb=$(wall_ms "${bare[@]}")
    fi
    program_wall+=("$pp") bare_wall+=("$pb")
    ratios+=("$(awk -v p="$pp" -v b="$pb" 'BEGIN { printf "%.4f", p / b }')") extras+=("$((pp - pb))")
  done
  p=$(median "${program_wall[@]}") b=$(median "${bare_wall[@]}")
  r=$(median "${ratios[@]}") low=$(lowest "${ratios[@]}") high=$(highest "${ratios[@]}") extra=$(median "${extras[@]}")
  frames=$(( seconds * rate ))
  [ "$source" = "$work/song.mp3" ] && frames=0
  awk -v name="$(basename "$relative" .xml)" -v f="$frames" -v p="$p" -v b="$b" -v r="$r" -v low="$low" \
      -v high="$high" -v extra="$extra" -v song="$song_length" 'BEGIN {
    fps = f > 0 ? sprintf("%.1f", f / (b / 1000)) : sprintf("(%d s song)", song)
    printf "| %s | %d | %.2f s | %.2f s | %.3f | %.3f-%.3f | %d ms | %s |\n", name, f, p / 1000, b / 1000, r, low, high, extra, fps }'
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
