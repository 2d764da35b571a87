#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds with the sanitizers (scripts/build-sanitize.sh)
# and runs the unit and pty tests in that build. Every sanitizer report, also
# one from a kyr or kyr-sim that a test started and that the test itself
# did not notice, goes to a log file; any such file fails the run.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build-sanitize.sh"
build="${KYR_SANITIZE_BUILD_DIR:-$root/build-sanitize}"
logs="$build/sanitizer-reports"
rm -rf "$logs"
mkdir -p "$logs"
export ASAN_OPTIONS="log_path=$logs/asan"
export UBSAN_OPTIONS="log_path=$logs/ubsan:print_stacktrace=1"
cd "$build"
status=0
ctest --output-on-failure -j2 --timeout 300 -L unit || status=$?
# As in scripts/test.sh: the pty tests one at a time, a lost race tried once more.
ctest --output-on-failure -j1 --timeout 300 -L pty --repeat until-pass:2 || status=$?
if [ -n "$(ls -A "$logs")" ]; then
  for f in "$logs"/*; do echo "==== $f"; cat "$f"; done
  echo "Sanitizer reports above" >&2
  status=1
fi
exit "$status"
