#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows build under Wine: cross-builds kyr.exe and the unit tests
# (scripts/build-windows.sh), runs every unit test under Wine in a private
# prefix, then lets kyr.exe talk to the Linux simulator over COM3: the
# prefix's com3 is a link to kyr-sim's pseudo-terminal, so the Win32 serial
# backend (CreateFile, SetCommState, ClearCommError, ReadFile, WriteFile...)
# carries info, read and write, and the simulator's log must show the bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KYR_WINDOWS_BUILD_DIR:-$root/build-windows}"
"$root/scripts/build-windows.sh"

# kyr-sim from the Linux build, else its own build of the simulator alone.
sim="$("$root/scripts/sim-binary.sh")"

wine=/usr/lib/wine/wine64
command -v wine64 >/dev/null 2>&1 && wine="$(command -v wine64)"
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
# One server for the whole run, its output nowhere: a server started by the
# first program would keep that program's output open.
mkdir -p "$WINEPREFIX"
/usr/lib/wine/wineserver -p >/dev/null 2>&1
"$wine" wineboot -i >/dev/null 2>&1

echo "== unit tests under Wine"
total=0
for t in test_table test_files test_link test_maps test_setup test_live test_tools; do
  # From the build folder, so that the tests' absolute Linux paths are on Z:.
  if ! (cd "$build" && "$wine" "tests/$t.exe" --gtest_brief=1 >"$work/$t.out" 2>&1); then
    cat "$work/$t.out"
    echo "FAILED: $t under Wine"
    exit 1
  fi
  passed=$(sed -n 's/.*\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$work/$t.out")
  ran=$(sed -n 's/.*\[==========\] \([0-9]*\) tests\{0,1\} from .* ran.*/\1/p' "$work/$t.out")
  skipped=$(sed -n 's/.*\[  SKIPPED \] \([0-9]*\) test.*/\1/p' "$work/$t.out")
  echo "$t: ${passed:-0} of ${ran:-0} passed${skipped:+, $skipped skipped}"
  total=$((total + ${passed:-0}))
done
echo "unit tests under Wine: $total passed"

echo "== kyr.exe against kyr-sim on COM3"
export KYR_PORT_DIR="$work/ports"
"$sim" --port 3 --memory "$work/unit.mem" --log "$work/sim.log" --exit-with-parent >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$KYR_PORT_DIR/COM3" ] && break; sleep 0.1; done
pty="$(readlink "$KYR_PORT_DIR/COM3")"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com3"
echo "COM3 is $pty"

kyr() { (cd "$work" && "$wine" "$build/cli/kyr.exe" "$@"); }
commands_in_log() { grep -c "\"cmd\":\"$1\"" "$work/sim.log" || true; }

kyr info --port COM3
[ "$(commands_in_log ReadIdentity)" -ge 1 ] || { echo "FAILED: no FF in the simulator's log"; exit 1; }

start=$(date +%s%N)
kyr read --port COM3 -o x.kyr | tee "$work/read.out"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "kyr.exe read: $ms ms"
# The backup went to the user's local application data.
grep -qi 'AppData\\Local\\kyr\\backups\\' "$work/read.out" || { echo "FAILED: no backup in %LOCALAPPDATA%"; exit 1; }
[ "$(commands_in_log ReadTable)" -ge 1 ] || { echo "FAILED: no FD in the simulator's log"; exit 1; }
head -c 14 "$work/x.kyr" | grep -q "^#KYR Version" || { echo "FAILED: x.kyr is no map file"; exit 1; }
grep -q $'\r$' "$work/x.kyr" || { echo "FAILED: x.kyr has no CR LF line ends"; exit 1; }

kyr write --port COM3 x.kyr
write_line="$(grep '"cmd":"WriteTable"' "$work/sim.log" | tail -1)"
[ -n "$write_line" ] || { echo "FAILED: no F3 in the simulator's log"; exit 1; }
echo "$write_line" | grep -q '"bytes":"F3' || { echo "FAILED: the write did not start with F3: $write_line"; exit 1; }
echo "$write_line" | grep -q '"length":482' || { echo "FAILED: the write was not F3 and 482 bytes: $write_line"; exit 1; }

kyr read --port COM3 -o y.kyr
cmp -s "$work/x.kyr" "$work/y.kyr" || { echo "FAILED: the table read back differs from the one written"; exit 1; }
echo "kyr.exe: info, read, write and read-back over COM3 passed"
