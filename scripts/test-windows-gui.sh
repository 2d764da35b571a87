#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program on Windows, under Wine with Xvfb as the display. Needs
# Qt for Windows in its cache folder (scripts/build-qt-windows.sh, about half
# an hour); without it the stage is skipped. Builds the packages
# (scripts/build-windows.sh), unpacks the portable ZIP into an empty folder
# and runs kyr-tuner.exe from it against kyr-sim, whose pseudo-terminal is the
# prefix's COM3: the start-up search finds the unit, Connect reads the table,
# the Up key raises the timing point under the mouse on the Timing Map and the
# raised point must reach the unit's memory file. The window goes to
# docs/screenshots/windows-wine.png (or $KYR_WINDOWS_SCREENSHOT).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
qt="$("$root/scripts/build-qt-windows.sh" --print-prefix)"
if [ ! -f "$qt/kyr-qt-complete" ]; then
  echo "Windows GUI stage skipped: no Qt for Windows in $qt; build it once with scripts/build-qt-windows.sh (half an hour to an hour on 2 cores)"
  exit 0
fi
"$root/scripts/install-deps.sh" wine64 xvfb xauth xdotool imagemagick unzip
"$root/scripts/build-windows.sh"
gui="${KYR_WINDOWS_GUI_BUILD_DIR:-$root/build-windows-gui}"
shot="${KYR_WINDOWS_SCREENSHOT:-$root/docs/screenshots/windows-wine.png}"

# kyr-sim from the Linux build, else its own build of the simulator alone.
sim="$("$root/scripts/sim-binary.sh")"

wine=/usr/lib/wine/wine64
command -v wine64 >/dev/null 2>&1 && wine="$(command -v wine64)"
work="$(mktemp -d)"
sim_pid="" xvfb_pid=""
cleanup() {
  WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [ -n "${KYR_KEEP_WORK:-}" ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*"
  if [ -n "${DISPLAY:-}" ]; then
    import -display "$DISPLAY" -window root "${TMPDIR:-/tmp}/kyr-windows-gui-failed.png" 2>/dev/null &&
      echo "the screen: ${TMPDIR:-/tmp}/kyr-windows-gui-failed.png"
  fi
  [ -f "$work/app.out" ] && tail -20 "$work/app.out"
  [ -f "$work/sim.log" ] && tail -5 "$work/sim.log"
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1
  shift
  for _ in $(seq "$tenths"); do "$@" && return 0; sleep 0.1; done
  return 1
}
in_sim_log() { grep -q "\"cmd\":\"$1\"" "$work/sim.log" 2>/dev/null; }

echo "== the portable ZIP, unpacked into an empty folder"
zip="$(ls "$gui"/kyr-tuner-*-win64.zip | head -1)"
unzip -q "$zip" -d "$work/unpacked"
app_dir="$(find "$work/unpacked" -name kyr-tuner.exe -printf '%h\n' | head -1)"
[ -n "$app_dir" ] || fail "no kyr-tuner.exe in $zip"
for f in kyr.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Charts.dll Qt6PrintSupport.dll \
         platforms/qwindows.dll styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll \
         libwinpthread-1.dll examples/demo.kyr README.txt LICENSE.txt THIRD-PARTY.md; do
  [ -f "$app_dir/$f" ] || fail "the ZIP has no $f"
done
echo "$(basename "$zip"): $(find "$app_dir" -type f | wc -l) files"

echo "== Xvfb and a Wine prefix"
display=""
for n in $(seq 90 130); do
  [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { display=$n; break; }
done
[ -n "$display" ] || fail "no free X display number"
Xvfb ":$display" -screen 0 1400x950x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
wait_for 100 test -e "/tmp/.X11-unix/X$display" || fail "Xvfb did not start"
export DISPLAY=":$display"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p >/dev/null 2>&1
"$wine" wineboot -i >/dev/null 2>&1

echo "== kyr-tuner.exe against kyr-sim on COM3"
export KYR_PORT_DIR="$work/ports"
"$sim" --port 3 --memory "$work/unit.mem" --log "$work/sim.log" --exit-with-parent >"$work/sim.out" 2>&1 &
sim_pid=$!
wait_for 50 test -e "$KYR_PORT_DIR/COM3" || fail "kyr-sim made no COM3"
ln -sfn "$(readlink "$KYR_PORT_DIR/COM3")" "$WINEPREFIX/dosdevices/com3"
(cd "$work" && exec "$wine" "$app_dir/kyr-tuner.exe" --connect --page "Timing Map" >"$work/app.out" 2>&1) &

# The search's identity request, then Connect's table read, as the unit saw them.
wait_for 600 in_sim_log ReadIdentity || fail "the start-up search never asked the unit on COM3"
echo "the start-up search found the unit on COM3"
wait_for 600 in_sim_log ReadTable || fail "Connect read no table"
echo "Connect read the table"
# Connected: the live values are polled.
wait_for 600 in_sim_log ReadLive || fail "no live values polled after Connect"
window="$(timeout 60 xdotool search --sync --onlyvisible --name "KYR Tuner" | head -1)" ||
  fail "no window named KYR Tuner"

# The Timing Map's chart takes the upper middle of the page: a point of the
# curve is under the mouse there. Keys reach the window only once it has the
# focus (there is no window manager).
cp "$work/unit.mem" "$work/before.mem"
xdotool windowfocus --sync "$window"
eval "$(xdotool getwindowgeometry --shell "$window")"
# Onto the chart, then a little within it: the chart marks the point under
# the pointer as it moves.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT * 3 / 10))
sleep 0.3
xdotool mousemove_relative 2 2
sleep 0.5 # the chart follows the mouse on its next event
[ -n "${KYR_KEEP_WORK:-}" ] && import -display "$DISPLAY" -window root "$work/hover.png"
xdotool key --window "$window" Up
in_write_log() { in_sim_log WritePoint || in_sim_log WriteByte; }
wait_for 300 in_write_log || fail "the Up key sent nothing to the unit"
wait_for 50 bash -c "! cmp -s '$work/before.mem' '$work/unit.mem'" || fail "the unit's memory did not change"
changed=$({ cmp -l "$work/before.mem" "$work/unit.mem" || true; } | wc -l)
[ "$changed" -eq 1 ] || fail "the key edit changed $changed bytes of the unit's memory, not one"
read -r offset old new < <(cmp -l "$work/before.mem" "$work/unit.mem")
[ $((8#$new)) -eq $((8#$old + 1)) ] || fail "byte $offset went from $((8#$old)) to $((8#$new)), not up by one"
echo "the Up key raised the unit's byte $offset from $((8#$old)) to $((8#$new))"

mkdir -p "$(dirname "$shot")"
sleep 0.5 # the raised point is drawn
import -display ":$display" -window "$window" "$shot"
echo "the window: $shot"
/usr/lib/wine/wineserver -k 2>/dev/null || true # the program ends with its prefix
/usr/lib/wine/wineserver -p >/dev/null 2>&1
echo "kyr-tuner.exe under Wine: start, port search, Connect and a key edit over COM3 passed"

echo "== the settings in the registry"
# A file opened goes to the recent files, which Qt keeps in the registry.
(cd "$app_dir" && exec "$wine" kyr-tuner.exe --open 'examples\demo.kyr' >"$work/app.out" 2>&1) &
recent_in_registry() { "$wine" reg query 'HKCU\Software\KYR\KYR Tuner' /s 2>/dev/null | grep -qi 'demo.kyr'; }
wait_for 60 recent_in_registry || fail "no recent file under HKEY_CURRENT_USER\Software\KYR\KYR Tuner"
echo "the recent files are under HKEY_CURRENT_USER\Software\KYR\KYR Tuner"
/usr/lib/wine/wineserver -k 2>/dev/null || true
/usr/lib/wine/wineserver -p >/dev/null 2>&1

echo "== the installer, silently, and its uninstaller"
installer="$(ls "$gui"/kyr-tuner-*-win64.exe | head -1)"
"$wine" "$installer" /S >/dev/null 2>&1
dir="$WINEPREFIX/drive_c/Program Files/KYR Tuner"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/KYR Tuner"
for f in "$dir/kyr-tuner.exe" "$dir/platforms/qwindows.dll" "$dir/Uninstall.exe" "$menu/KYR Tuner.lnk"; do
  [ -f "$f" ] || fail "the installer made no ${f#$WINEPREFIX/}"
done
"$wine" reg query 'HKLM\Software\Classes\KYRTuner.MapFile\shell\open\command' 2>/dev/null | grep -q -- '--open' ||
  fail "the installer did not make .kyr files open in the program"
"$wine" "C:\\Program Files\\KYR Tuner\\Uninstall.exe" /S >/dev/null 2>&1
# The uninstaller runs on from a copy of itself.
wait_for 300 test ! -e "$dir/kyr-tuner.exe" || fail "the uninstaller left kyr-tuner.exe"
"$wine" reg query 'HKLM\Software\Classes\.kyr' >/dev/null 2>&1 && fail "the uninstaller left the .kyr association"
echo "the installer: Program Files, Start menu, .kyr association; the uninstaller removed them"
