#!/usr/bin/env bash
# Cross-builds the Windows program with mingw-w64: x86_64 into build-win64/
# and i686 into build-win32/ (or only the architectures named, e.g.
# `scripts/build-windows.sh win64`), and packs each quilvex.exe built, with
# quilvex-cli.exe beside it, into an installer and a .zip
# (Quilvex-<version>-win64-setup.exe, ...zip).
# Installs what is missing first (scripts/setup.sh: the compilers,
# GoogleTest's sources, Wine, NSIS).
# QUILVEX_WIN32_TARGETS limits what the i686 build builds (CMake targets,
# space-separated; default: everything).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

archs=("$@")
[ ${#archs[@]} -gt 0 ] || archs=(win64 win32)
for arch in "${archs[@]}"; do
  case "$arch" in
    win64) cpu=x86_64 ;;
    win32) cpu=i686 ;;
    *) echo "build-windows.sh: unknown architecture '$arch' (win64 or win32)" >&2; exit 2 ;;
  esac
  dir="build-$arch"
  echo "== Windows $cpu build in $dir"
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw-w64-$cpu.cmake" \
        -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
  targets=()
  if [ "$arch" = win32 ] && [ -n "${QUILVEX_WIN32_TARGETS:-}" ]; then
    for t in $QUILVEX_WIN32_TARGETS; do targets+=(--target "$t"); done
  fi
  cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
  # The packages hold both programs: a build limited to quilvex alone makes none.
  if [ -f "$dir/bin/quilvex.exe" ] && [ -f "$dir/bin/quilvex-cli.exe" ]; then
    (cd "$dir" && cpack >/dev/null)
    ls "$dir"/Quilvex-*-"$arch"-setup.exe "$dir"/Quilvex-*-"$arch".zip
  fi
done
