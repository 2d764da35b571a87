#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demo: installs what is missing, builds, starts a simulated unit (kyr-sim)
# on COM3 in a private ports folder, and runs the program, which finds the unit
# in its port search and connects. Without a display the program runs under
# Xvfb and leaves a screenshot of the connected window in screenshots/demo.png.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${KYR_BUILD_DIR:-$root/build}"

work="$(mktemp -d)"
export KYR_PORT_DIR="$work/ports"
"$build/sim/kyr-sim" --port 3 --memory "$work/unit.mem" --log "$work/sim.log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "$KYR_PORT_DIR/COM3" ] && break; sleep 0.1; done
echo "kyr-sim is the unit on COM3 ($(readlink "$KYR_PORT_DIR/COM3"))"

if [ -n "${DISPLAY:-}" ] && [ -z "${KYR_DEMO_HEADLESS:-}" ]; then
  "$build/src/app/kyr-tuner" --connect "$@"
else
  mkdir -p "$root/screenshots"
  shot="$root/screenshots/demo.png"
  xvfb-run -a -s "-screen 0 1400x950x24" \
    "$build/src/app/kyr-tuner" --connect --screenshot "$shot" --screenshot-after 4000 "$@"
  echo "No display: the connected window is in $shot"
fi
