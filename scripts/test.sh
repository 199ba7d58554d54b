#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (unit, simulated unit, GUI offscreen, short fuzz runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
if [ -x "$root/fuzz/run-short.sh" ]; then
  "$root/fuzz/run-short.sh"
fi
