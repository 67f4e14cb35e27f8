#!/usr/bin/env bash
# Sets up the machine (Debian 12), builds and runs the tests.
#   scripts/test.sh              every test (unit, e2e, gui offscreen, wine)
#   scripts/test.sh --sanitize   every test that needs no display or Wine, under ASan + UBSan
#   scripts/test.sh --tsan       the UI library's and the noise reducer's tests under ThreadSanitizer
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mode=${1:-all}
bash "$root/scripts/setup.sh"
export QT_QPA_PLATFORM=offscreen
jobs=${TW_JOBS:-$(nproc)}
case "$mode" in
  all)
    bash "$root/scripts/build.sh" build
    ctest --test-dir "$root/build" --output-on-failure -j "$jobs"
    ;;
  --sanitize)
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:halt_on_error=1
    export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp:print_suppressions=0
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    # The soak runs here too, smaller: the sanitizers slow the in-process work several times.
    export TW_SOAK_COUNT=${TW_SOAK_COUNT:-4}
    bash "$root/scripts/build.sh" build-asan -DTW_SANITIZE=ON -DTW_GUI=OFF -DTW_WINE=OFF
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -LE 'gui|wine'
    ;;
  --tsan)
    # The suites whose code shares data between threads: the UI library's marshalling, the
    # noise reducer's helper thread, the worker pool, the progress ticker (alone and on row
    # controls), the batch handlers in the main window, and two pages' batches running at once.
    export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
    cmake -S "$root" -B "$root/build-tsan" -G Ninja -DTW_TSAN=ON -DTW_GUI=OFF -DTW_WINE=OFF >/dev/null
    targets=(${TW_TSAN_TARGETS:-uikit_tests denoise_unit_tests workers_pool_tests ticker_tests \
      ticker_controls_tests batch_window_tests twopage_batch_tests})
    cmake --build "$root/build-tsan" -j "$jobs" --target "${targets[@]}"
    for t in "${targets[@]}"; do
      exe=$(find "$root/build-tsan/tests" -type f -name "$t" -perm -u+x | head -n 1)
      TW_TEST_TMP="$root/build-tsan/test-tmp" TW_BUILD_DIR="$root/build-tsan" "$exe"
    done
    ;;
  *)
    echo "usage: scripts/test.sh [--sanitize|--tsan]" >&2
    exit 2
    ;;
esac
