#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the core, kyr.exe and the unit tests for 64-bit Windows with
# mingw-w64 into build-windows/ (or $KYR_WINDOWS_BUILD_DIR), installing what
# is missing first. The executables are linked statically: they run on
# Windows, or under Wine, without any DLL beside them.
#
# When Qt for Windows is in its cache folder (scripts/build-qt-windows.sh),
# also builds kyr-tuner.exe against it into build-windows-gui/ (or
# $KYR_WINDOWS_GUI_BUILD_DIR) and makes its two packages there with CPack:
# the portable kyr-tuner-<version>-win64.zip and the installer
# kyr-tuner-<version>-win64.exe.
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

qt="$("$root/scripts/build-qt-windows.sh" --print-prefix)"
if [ ! -f "$qt/kyr-qt-complete" ]; then
  echo "kyr-tuner.exe is not built: no Qt for Windows in $qt (scripts/build-qt-windows.sh builds it)"
  exit 0
fi
"$root/scripts/install-deps.sh" nsis
gui="${KYR_WINDOWS_GUI_BUILD_DIR:-$root/build-windows-gui}"
# The programs link the C++ runtime and Qt as DLLs, shipped beside them. The
# unit tests are the static build's; the packages hold the two programs only.
cmake -S "$root" -B "$gui" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" -DKYR_WINDOWS_APP=ON \
  -DKYR_BUILD_TESTS=OFF -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
cmake --build "$gui" -j"$jobs" --target kyr-tuner kyr
(cd "$gui" && cpack -G "ZIP;NSIS" >/dev/null)
for f in "$gui"/kyr-tuner-*-win64.zip "$gui"/kyr-tuner-*-win64.exe; do
  echo "$(basename "$f"): $(du -k "$f" | cut -f1) KiB"
done
