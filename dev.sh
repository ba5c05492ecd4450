#!/usr/bin/env bash
# Mivora's two entry points:
#   ./dev.sh run    set up, build, and start the desktop program (or, without
#                   a display, run the demonstration conversion)
#   ./dev.sh test   set up, build, and run every test
#   ./dev.sh bench  set up, build the benchmarks (Release, own build folder
#                   BENCH_DIR, default build-bench) and print their ratios,
#                   then the player's playback and CPU figures;
#                   ./dev.sh bench jobs: the per-job cost of mivora-cli convert
#                   over bare ffmpeg (bench/job_overhead.sh);
#                   ./dev.sh bench batch: a batch one conversion at a time
#                   against several at once (bench/batch_side_by_side.sh);
#                   ./dev.sh bench probe: mivora-cli probe on 40 clips against
#                   40 ffmpeg runs (bench/probe_bench.sh);
#                   ./dev.sh bench profiles: each profile of the current
#                   formats against the same bare ffmpeg run, with its
#                   encoding speed (bench/profile_speed.sh)
#   ./dev.sh fuzz   set up, build the libFuzzer targets with clang (build-fuzz)
#                   and run each for FUZZ_SECONDS (default 30)
# Options through the environment: BUILD_DIR (default build), SANITIZE=1 for
# an address/undefined-behaviour sanitizer build, JOBS for parallel jobs.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-run}
build=${BUILD_DIR:-build}
jobs=${JOBS:-$(nproc)}
sanitize=OFF
[ "${SANITIZE:-0}" = 1 ] && sanitize=ON

scripts/setup.sh
if [ "$mode" = bench ]; then
  bench=${BENCH_DIR:-build-bench}
  cmake -S . -B "$bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIVORA_BUILD_BENCH=ON \
    -DMIVORA_BUILD_TESTS=OFF >/dev/null
  if [ "${2:-}" = jobs ]; then
    cmake --build "$bench" -j "$jobs" --target mivora-cli trancor profile_files engine_ffmpeg_arguments
    # One 10 s job, then a batch of eight 1 s clips.
    bench/job_overhead.sh "$bench/bin"
    CLIPS=8 SECONDS_OF_CLIP=1 exec bench/job_overhead.sh "$bench/bin"
  fi
  if [ "${2:-}" = profiles ]; then
    cmake --build "$bench" -j "$jobs" --target mivora-cli trancor profile_files engine_ffmpeg_arguments
    exec bench/profile_speed.sh "$bench/bin"
  fi
  if [ "${2:-}" = batch ]; then
    cmake --build "$bench" -j "$jobs" --target mivora-cli trancor profile_files
    exec bench/batch_side_by_side.sh "$bench/bin"
  fi
  if [ "${2:-}" = probe ]; then
    cmake --build "$bench" -j "$jobs" --target mivora-cli trancor
    exec bench/probe_bench.sh "$bench/bin"
  fi
  cmake --build "$bench" -j "$jobs" --target frame_bench window_bench player_bench
  "$bench/bin/frame_bench" ${BENCH_ARGS:-}
  "$bench/bin/window_bench"
  # Playback through the preview window (and the editor's right pane) and the
  # player's CPU against ffmpeg; PLAYER_BENCH_SECONDS sets the clips' length
  # (default 4).
  exec "$bench/bin/player_bench" ${PLAYER_BENCH_SECONDS:-4}
fi
if [ "$mode" = fuzz ]; then
  fuzz=${FUZZ_DIR:-build-fuzz}
  CC=clang CXX=clang++ cmake -S . -B "$fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMIVORA_BUILD_FUZZERS=ON -DMIVORA_BUILD_TESTS=OFF -DMIVORA_BUILD_GUI=OFF >/dev/null
  cmake --build "$fuzz" -j "$jobs" --target ProfileReaderFuzzer XmlDocumentFuzzer ProbeParserFuzzer InProcessProbeFuzzer \
    ConfigXmlFuzzer CommandLineFuzzer EditChainFuzzer VersionReplyFuzzer ArchiveUnpackFuzzer HandOverFuzzer \
    SavedListFuzzer SourceFactsWordFuzzer
  # The targets keep their own per-user folder; one that writes into the
  # folder given to it would write into the user's. Their scratch files lie
  # in a temporary folder of their own, which must be empty when they end.
  given_home=$(mktemp -d) given_tmp=$(mktemp -d)
  trap 'rm -rf "$given_home" "$given_tmp"' EXIT
  for target in "$fuzz"/fuzz/*Fuzzer; do
    name=$(basename "$target")
    corpus="$fuzz/corpus/$name"
    mkdir -p "$corpus"
    [ "$name" = InProcessProbeFuzzer ] && fuzz/seed_probe_corpus.sh "$corpus"
    # Hand-made seeds for the parsers inside system libraries, which the
    # fuzzer cannot see into.
    seeds=()
    [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
    log="$fuzz/$name.log"
    echo "== $name"
    rc=0
    TMPDIR="$given_tmp" XDG_CONFIG_HOME="$given_home" "$target" -max_total_time="${FUZZ_SECONDS:-30}" -max_len=65536 \
      -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1 || rc=$?
    grep -E '^stat::number_of_executed_units' "$log" || true
    [ "$rc" = 0 ] || { tail -40 "$log" >&2; echo "$name found a failure" >&2; exit 1; }
    [ -z "$(ls -A "$given_home")" ] || { echo "$name wrote into the user's folder" >&2; exit 1; }
    [ -z "$(ls -A "$given_tmp")" ] || { echo "$name left files in $given_tmp" >&2; exit 1; }
  done
  exit 0
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVORA_SANITIZE=$sanitize >/dev/null
cmake --build "$build" -j "$jobs"

case "$mode" in
  run)
    # With a display the desktop program starts; without one the demonstration
    # conversion runs in the terminal.
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x "$build/bin/mivora" ]; then
      exec "$build/bin/mivora"
    fi
    scripts/demo.sh "$build/bin"
    echo
    echo "No display found (DISPLAY or WAYLAND_DISPLAY). The desktop program starts with:"
    echo "  $build/bin/mivora            (from a desktop session)"
    echo "  scripts/screenshots.sh       (pictures of its windows on a virtual display, into docs/)"
    exit 0
    ;;
  test)
    # Under the sanitizers the program's own fault guard handles the fault signals.
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
    # A failing test runs once more before the run counts as failed, so a rare
    # timing fault in a window test costs time rather than the whole run.
    cd "$build" && exec ctest --output-on-failure --timeout 900 --repeat until-pass:2 -j "$jobs" ${CTEST_ARGS:-}
    ;;
  *)
    echo "usage: $0 run|test|bench|fuzz" >&2
    exit 2
    ;;
esac
