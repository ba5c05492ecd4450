#!/usr/bin/env bash
# Mivora's two entry points:
#   ./dev.sh run    set up, build, and run the program's main job
#   ./dev.sh test   set up, build, and run every test
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
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVORA_SANITIZE=$sanitize >/dev/null
cmake --build "$build" -j "$jobs"

case "$mode" in
  run)
    exec scripts/demo.sh "$build/bin"
    ;;
  test)
    # Under the sanitizers the program's own fault guard handles the fault signals.
    export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0}
    export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
    cd "$build" && exec ctest --output-on-failure --timeout 900 -j "$jobs" ${CTEST_ARGS:-}
    ;;
  *)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
