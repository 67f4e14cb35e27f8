#!/usr/bin/env bash
# Configures and builds one build tree. Usage: scripts/build.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
shift || true
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # One cache for every build tree of this checkout (build/, build-asan/, …).
  export CCACHE_NOHASHDIR=1 CCACHE_BASEDIR="$root"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DTW_WERROR="${TW_WERROR:-OFF}" "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "${TW_JOBS:-$(nproc)}"
