#!/bin/sh
# Builds the libFuzzer targets with clang in build-fuzz and runs each of them for a bounded time.
#   scripts/fuzz.sh [SECONDS]      (default 30 per target; or set TW_FUZZ_SECONDS)
# A crash stops its target; the input that caused it is left in build-fuzz/fuzz/crash-*.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
export TW_FUZZ_SECONDS="${1:-${TW_FUZZ_SECONDS:-30}}"
launcher=""
if command -v ccache >/dev/null 2>&1; then
  launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
fi
# shellcheck disable=SC2086
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTW_FUZZ=ON -DTW_GUI=OFF -DTW_WINE=OFF $launcher
cmake --build "$build" --target fuzz_targets -j"${TW_JOBS:-2}"
ctest --test-dir "$build" -L fuzz --output-on-failure
