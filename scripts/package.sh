#!/usr/bin/env bash
# Builds the Debian package of the program into the build tree:
#   scripts/package.sh [BUILD_DIR]     (default build/) -> BUILD_DIR/tonewright_<version>_amd64.deb
# When the build tree also made the Windows shell extension (mingw-w64 present), its DLL is
# zipped beside the .deb as stampmenu64_<version>.zip; it is not part of the Linux package.
# TW_SKIP_SETUP=1 skips the package check of scripts/setup.sh; TW_PACKAGE_NO_BUILD=1 packages the
# programs as they are built (the tests, which build them first, set both).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
case "$dir" in /*) ;; *) dir="$root/$dir" ;; esac
if [ "${TW_SKIP_SETUP:-0}" != 1 ]; then bash "$root/scripts/setup.sh"; fi

if [ ! -f "$dir/CMakeCache.txt" ]; then
  launcher=()
  if command -v ccache >/dev/null 2>&1; then
    export CCACHE_NOHASHDIR=1 CCACHE_BASEDIR="$root"
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S "$root" -B "$dir" -G Ninja "${launcher[@]}" >/dev/null
fi
# Only what the package holds is built (not the tests); the install step does not build "all".
targets=(tonewright tonewright-cli tw_icons tw_manpage)
if ninja -C "$dir" -t targets all 2>/dev/null | grep -q '^stampmenu64_win:'; then
  targets+=(stampmenu64_win)
fi
if [ "${TW_PACKAGE_NO_BUILD:-0}" != 1 ]; then
  cmake --build "$dir" -j "${TW_JOBS:-$(nproc)}" --target "${targets[@]}"
fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
rm -f "$dir"/tonewright_*.deb
(cd "$dir" && cpack -G DEB -B "$dir/_CPack_Packages_out" >/dev/null)
mv "$dir"/_CPack_Packages_out/tonewright_*.deb "$dir/"
rm -rf "$dir/_CPack_Packages_out"
deb=$(ls "$dir"/tonewright_*.deb)
echo "package: $deb"

dll="$dir/shellext/win/stampmenu64.dll"
if [ -f "$dll" ]; then
  zip="$dir/stampmenu64_${version}.zip"
  rm -f "$zip"
  (cd "$(dirname "$dll")" && cmake -E tar cf "$zip" --format=zip stampmenu64.dll)
  echo "package: $zip"
fi
