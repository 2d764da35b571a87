#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the path of a kyr-sim to run: the Linux build's, the one the other
# tests built, else a build of the simulator alone (no Qt, no tests) into
# build-sim/ (or $KYR_SIM_BUILD_DIR). What that build prints goes to stderr.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sim="$root/build/sim/kyr-sim"
if [ ! -x "$sim" ]; then
  sim_build="${KYR_SIM_BUILD_DIR:-$root/build-sim}"
  {
    cmake -S "$root" -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DKYR_BUILD_APP=OFF -DKYR_BUILD_TESTS=OFF -DKYR_BUILD_BENCH=OFF >/dev/null
    cmake --build "$sim_build" -j"${KYR_JOBS:-$(nproc)}" --target kyr-sim
  } >&2
  sim="$sim_build/sim/kyr-sim"
fi
echo "$sim"
