#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the fuzz targets (scripts/build-sanitize.sh)
# and runs each for a fixed number of inputs from its seed corpus in
# fuzz/corpus/ (KYR_FUZZ_RUNS, default 100000). A crash is kept in
# build-sanitize/fuzz/work/<target>/crashes/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build-sanitize.sh"
build="${KYR_SANITIZE_BUILD_DIR:-$root/build-sanitize}"
cmake -S "$root" -B "$build" -DKYR_FUZZ_RUNS="${KYR_FUZZ_RUNS:-100000}" >/dev/null
cd "$build"
ctest --output-on-failure -j1 --timeout 600 -L fuzz
