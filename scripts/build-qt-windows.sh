#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Qt 6.4.2 for 64-bit Windows (x86_64-w64-mingw32, the posix-thread
# compilers) as DLLs: qtbase (Core, Gui, Widgets, PrintSupport, Test and the
# Windows platform and style plugins) and Qt Charts. The host tools (moc, uic,
# rcc) are Debian's own Qt 6.4.2, so the two versions must match.
#
# qtbase comes from Debian's qt6-base source package (apt-get source, with a
# deb-src entry derived from this machine's own apt sources when none is
# configured); Qt Charts from the shared vendor folder beside the repository
# ($root/../shared/vendor), or KYR_QT_CHARTS_SOURCE.
#
# Qt is installed into a cache folder outside the tree, named by Qt's version
# and a hash of this script: ~/.cache/kyr/qt-<version>-mingw64-<hash>, or the
# folder KYR_QT_WINDOWS names. A finished cache is reused as it is.
#   scripts/build-qt-windows.sh                the build (about 30 min on 2 cores)
#   scripts/build-qt-windows.sh --print-prefix the cache folder, built or not
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
version=6.4.2
# Comments and blank lines are left out of the hash: only a change to what
# the script does builds Qt again.
hash="$(grep -v -e '^[[:space:]]*#' -e '^[[:space:]]*$' "$0" | sha256sum | cut -c1-12)"
prefix="${KYR_QT_WINDOWS:-$HOME/.cache/kyr/qt-$version-mingw64-$hash}"
jobs="${KYR_JOBS:-$(nproc)}"
stamp="$prefix/kyr-qt-complete"

if [ "${1:-}" = "--print-prefix" ]; then
  echo "$prefix"
  exit 0
fi
if [ -f "$stamp" ]; then
  echo "Qt $version for Windows is ready in $prefix"
  exit 0
fi

charts_src="${KYR_QT_CHARTS_SOURCE:-$root/../shared/vendor/qtcharts-everywhere-src-$version.tar.xz}"
[ -f "$charts_src" ] || { echo "Qt Charts sources are missing: $charts_src (set KYR_QT_CHARTS_SOURCE)"; exit 1; }

"$root/scripts/install-deps.sh" g++-mingw-w64-x86-64-posix cmake ninja-build dpkg-dev qt6-base-dev \
  qt6-base-dev-tools
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

work="$(mktemp -d "${TMPDIR:-/tmp}/kyr-qt-windows.XXXXXX")"
trap 'rm -rf "$work"' EXIT
started=$(date +%s)

# A deb-src entry for every deb entry this machine already uses.
add_deb_src() {
  local list=/etc/apt/sources.list.d/kyr-deb-src.sources
  echo "Adding source package entries to $list"
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [ "$f" = "$list" ] || [ ! -f "$f" ] && continue
      sed 's/^Types: *deb$/Types: deb-src/' "$f"
      echo
    done
  } | $sudo_cmd tee "$list" >/dev/null
  if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb \(.*\)/deb-src \1/p' /etc/apt/sources.list | $sudo_cmd tee /etc/apt/sources.list.d/kyr-deb-src.list >/dev/null
  fi
  $sudo_cmd apt-get update -q >/dev/null
}

build_qtbase() {
  echo "== qtbase $version from Debian's qt6-base source package"
  (cd "$work" && apt-get source -q qt6-base=6.4.2+dfsg-10 >/dev/null 2>&1) || {
    add_deb_src
    (cd "$work" && apt-get source -q qt6-base=6.4.2+dfsg-10 >/dev/null)
  }
  qtbase="$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -1)"
  [ -n "$qtbase" ] || { echo "apt-get source qt6-base gave no source folder"; exit 1; }

  # Qt's DLLs share one C++ runtime (libstdc++-6.dll, libgcc_s_seh-1.dll,
  # libwinpthread-1.dll), found in the mingw-w64 tree and not on the build machine.
  mkdir -p "$prefix"
  cat >"$prefix/kyr-mingw-shared.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

  # Only what the program and its tests use: no SQL, network, D-Bus, XML or
  # concurrent modules; no tablet events (Debian's sources leave out the Wintab
  # header).
  cmake -S "$qtbase" -B "$work/qtbase-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$prefix/kyr-mingw-shared.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=ON \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF \
    -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF -DFEATURE_testlib=ON \
    -DFEATURE_printsupport=ON -DFEATURE_widgets=ON >"$work/qtbase-configure.log" 2>&1 || {
      tail -40 "$work/qtbase-configure.log"; exit 1; }
  echo "== building qtbase ($jobs jobs)"
  cmake --build "$work/qtbase-build" -j"$jobs"
  cmake --install "$work/qtbase-build" >/dev/null
  rm -rf "$work/qtbase-build" "$qtbase"
  echo "qtbase: $(( ($(date +%s) - started) / 60 )) min" | tee "$prefix/kyr-qtbase-complete"
}
# A qtbase built by an earlier run that stopped in Qt Charts is kept.
[ -f "$prefix/kyr-qtbase-complete" ] || build_qtbase

echo "== Qt Charts $version"
tar -xJf "$charts_src" -C "$work"
charts="$(find "$work" -maxdepth 1 -type d -name 'qtcharts*' | head -1)"
cmake -S "$charts" -B "$work/charts-build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF >"$work/charts-configure.log" 2>&1 || {
    tail -40 "$work/charts-configure.log"; exit 1; }
cmake --build "$work/charts-build" -j"$jobs"
cmake --install "$work/charts-build" >/dev/null

minutes=$(( ($(date +%s) - started) / 60 ))
echo "Qt $version for Windows built in $minutes min on $jobs jobs" | tee "$stamp"
echo "Qt $version for Windows is ready in $prefix"
