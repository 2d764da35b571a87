#!/usr/bin/env bash
# Cross-builds the core, kyr.exe and the unit tests for 64-bit Windows with
# mingw-w64 into build-windows/ (or $KYR_WINDOWS_BUILD_DIR), installing what
# is missing first. The executables are linked statically: they run on
# Windows, or under Wine, without any DLL beside them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KYR_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="${KYR_JOBS:-$(nproc)}"

"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix wine64 cmake ninja-build libgtest-dev libcli11-dev \
  nlohmann-json3-dev

targets=(kyr test_table test_files test_link test_maps test_setup test_live test_tools)
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build" -j"$jobs" --target "${targets[@]}"
