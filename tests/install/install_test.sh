#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What an install holds, and that the installed programs run from there.
#   install_test.sh prefix BUILD_DIR SOURCE_DIR VERSION
#     `cmake --install` into a new prefix: the programs start from it, and the
#     menu entry, icons, man page and demo tune are where desktops look.
#   install_test.sh deb BUILD_DIR SOURCE_DIR VERSION
#     `cpack -G DEB`: the package holds the same files and names its
#     dependencies, and its binaries run once unpacked.
# Runs from an existing build; nothing is built.
set -uo pipefail
mode="$1" build="$2" source="$3" version="$4"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
check_file() { [ -f "$1" ] || fail "missing $1"; }

sizes="16 22 24 32 48 64 128 256"
installed_files() { # the files every install holds, relative to the prefix
  echo bin/kyr bin/kyr-tuner bin/kyr-sim
  echo share/applications/kyr-tuner.desktop
  echo share/icons/hicolor/scalable/apps/kyr-tuner.svg
  for s in $sizes; do echo "share/icons/hicolor/${s}x${s}/apps/kyr-tuner.png"; done
  echo share/man/man1/kyr.1.gz share/kyr/examples/demo.kyr
  echo share/doc/kyr-tuner/copyright share/doc/kyr-tuner/THIRD-PARTY.md
}

# The installed kyr: its version, a command on the installed demo tune, and a
# man page that documents every subcommand and every option kyr knows.
check_kyr() {
  local prefix="$1"
  local out
  out="$("$prefix/bin/kyr" --version 2>&1)" || fail "kyr --version exited $?"
  [ "$(head -n 1 <<<"$out")" = "kyr $version" ] || fail "kyr --version says '$out', not 'kyr $version'"
  grep -q "GPL-3.0-or-later" <<<"$out" || fail "kyr --version gives no license line: '$out'"
  "$prefix/bin/kyr" show "$prefix/share/kyr/examples/demo.kyr" >"$work/show.txt" 2>&1 \
    || fail "kyr show of the installed demo tune exited $?"
  cmp -s "$prefix/share/kyr/examples/demo.kyr" "$source/examples/demo.kyr" \
    || fail "the installed demo tune differs from examples/demo.kyr"
  "$prefix/bin/kyr-sim" --help >/dev/null 2>&1 || fail "kyr-sim --help exited $?"
}

check_man() {
  local kyr="$2" page="$work/kyr.1"
  gzip -dc "$1" >"$page" || fail "$1 is not a gzip file"
  if command -v groff >/dev/null; then
    local warnings
    warnings="$(groff -man -Tutf8 -ww -z "$page" 2>&1)"
    [ -z "$warnings" ] || fail "groff warns about $page: $warnings"
  fi
  grep -q "^\.TH KYR 1 .*$version" "$page" || fail "$page does not carry version $version"
  local commands
  commands="$("$kyr" --help | awk 'tolower($0) ~ /^subcommands:/ { on = 1; next } on && NF { print $1 }')"
  [ -n "$commands" ] || fail "kyr --help lists no subcommands"
  for cmd in "" $commands; do
    [ -z "$cmd" ] || grep -q "^\.SS $cmd\$" "$page" || fail "the man page has no section on 'kyr $cmd'"
    for opt in $("$kyr" $cmd --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
      grep -qF -- "$(sed 's/-/\\-/g' <<<"$opt")" "$page" || fail "the man page does not name 'kyr $cmd $opt'"
    done
  done
}

check_desktop() {
  local entry="$1"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
  fi
  for line in "Type=Application" "Name=KYR Tuner" "Exec=kyr-tuner" "Icon=kyr-tuner" "Terminal=false"; do
    grep -qx "$line" "$entry" || fail "$entry lacks '$line'"
  done
}

check_icons() {
  local prefix="$1"
  for s in $sizes; do
    local png="$prefix/share/icons/hicolor/${s}x${s}/apps/kyr-tuner.png"
    [ -f "$png" ] || continue
    # The PNG header holds width and height at bytes 16 to 23.
    local dims
    dims="$(od -An -tu1 -j16 -N8 "$png" | awk '{ print $3 * 256 + $4 "x" $7 * 256 + $8 }')"
    [ "$dims" = "${s}x${s}" ] || fail "$png is $dims, not ${s}x${s}"
  done
}

# The installed program starts, shows its window and quits by itself.
check_program() {
  local prefix="$1"
  mkdir -p "$work/home" "$work/ports"
  local shot="$work/shot.png"
  (cd "$work" && HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share" \
     KYR_PORT_DIR="$work/ports" QT_QPA_PLATFORM=offscreen \
     timeout 90 "$prefix/bin/kyr-tuner" --screenshot "$shot" --screenshot-after 500 >"$work/tuner.log" 2>&1)
  local rc=$?
  [ $rc -eq 0 ] || { fail "the installed kyr-tuner exited $rc"; cat "$work/tuner.log" >&2; }
  [ "$(head -c 4 "$shot" 2>/dev/null | tail -c 3)" = "PNG" ] || fail "the installed kyr-tuner left no screenshot"
}

case "$mode" in
prefix)
  prefix="$work/prefix"
  cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
    || { cat "$work/install.log" >&2; fail "cmake --install failed"; exit 1; }
  for f in $(installed_files); do check_file "$prefix/$f"; done
  for p in kyr kyr-tuner kyr-sim; do [ -x "$prefix/bin/$p" ] || fail "bin/$p is not executable"; done
  check_kyr "$prefix"
  check_man "$prefix/share/man/man1/kyr.1.gz" "$prefix/bin/kyr"
  check_desktop "$prefix/share/applications/kyr-tuner.desktop"
  check_icons "$prefix"
  check_program "$prefix"
  ;;
deb)
  cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 \
    || { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; exit 1; }
  deb="$(ls "$work/pkg"/kyr-tuner_"$version"_*.deb 2>/dev/null | head -n 1)"
  [ -n "$deb" ] || { ls "$work/pkg" >&2; fail "no kyr-tuner_${version}_*.deb"; exit 1; }
  contents="$(dpkg-deb --contents "$deb" | awk '{ print $6 }')"
  for f in $(installed_files); do
    grep -qx "./usr/$f" <<<"$contents" || fail "the package lacks /usr/$f"
  done
  info="$(dpkg-deb --info "$deb")"
  for field in "Package: kyr-tuner" "Version: $version" "Maintainer: " "Section: " "Description: "; do
    grep -q "^ $field" <<<"$info" || fail "the package's control has no '$field'"
  done
  grep -q ';' <<<"$info" && fail "the package's control holds a CMake list separator: $info"
  depends="$(grep '^ Depends:' <<<"$info")"
  for lib in libqt6widgets6 libqt6charts6 libqt6printsupport6 libqt6gui6 libqt6core6; do
    grep -q "$lib" <<<"$depends" || fail "the package does not depend on $lib ($depends)"
  done
  # Unpacked, the package's own binaries and files work as installed ones.
  dpkg-deb -x "$deb" "$work/root"
  check_kyr "$work/root/usr"
  check_desktop "$work/root/usr/share/applications/kyr-tuner.desktop"
  check_icons "$work/root/usr"
  copyright="$work/root/usr/share/doc/kyr-tuner/copyright"
  head -n 1 "$copyright" | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" \
    || fail "the package's copyright file is not in Debian's machine-readable format"
  grep -q "^License: GPL-3.0-or-later" "$copyright" || fail "the package's copyright file names no GPL-3.0-or-later"
  ;;
*)
  echo "usage: $0 prefix|deb BUILD_DIR SOURCE_DIR VERSION" >&2
  exit 2
  ;;
esac

[ $failures -eq 0 ] || { echo "$failures failures" >&2; exit 1; }
echo "ok: $mode"
