#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test (unit, simulated unit, GUI offscreen, short fuzz runs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "${BUILD_DIR:-$root/build}"
status=0
ctest --output-on-failure -j"$(nproc)" --timeout 600 || status=$?
if [ "$status" -ne 0 ]; then
  # A failing test's output can run to thousands of lines: repeat its failed
  # checks at the very end, where a shortened log still shows them.
  echo "== failed checks"
  grep -hE '^(FAIL!  :|   Loc: |FAIL: |ERROR: |[A-Za-z]*Error: )' Testing/Temporary/LastTest*.log 2>/dev/null | tail -n 40 || true
  exit "$status"
fi
if [ -x "$root/fuzz/run-short.sh" ]; then
  "$root/fuzz/run-short.sh"
fi
