#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test (unit, pty and gui).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${KYR_BUILD_DIR:-$root/build}"
cd "$build"
export QT_QPA_PLATFORM=offscreen
# The pty tests talk to kyr-sim in real time (fixed pauses, paced replies), so
# they run one at a time, after the rest, and a test that loses a race against
# a loaded machine gets one more try.
ctest --output-on-failure -j2 --timeout 300 -LE pty
ctest --output-on-failure -j1 --timeout 300 -L pty --repeat until-pass:2
