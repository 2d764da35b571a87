#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, pty and gui).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${KYR_BUILD_DIR:-$root/build}"
cd "$build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2 --timeout 300
