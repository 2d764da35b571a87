#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Configures and builds, with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# (KYR_SANITIZE) and the libFuzzer targets (KYR_FUZZ), into build-sanitize/ (or
# $KYR_SANITIZE_BUILD_DIR): the core, kyr, kyr-sim, their tests and the fuzz
# targets share one build. Not the Qt program and not the benchmarks.
# KYR_JOBS sets the parallel jobs (default: one per processor).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KYR_SANITIZE_BUILD_DIR:-$root/build-sanitize}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKYR_BUILD_APP=OFF -DKYR_BUILD_BENCH=OFF -DKYR_SANITIZE=ON -DKYR_FUZZ=ON >/dev/null
cmake --build "$build" -j"${KYR_JOBS:-$(nproc)}"
