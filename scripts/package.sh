#!/usr/bin/env bash
# Builds the Debian package build/quendrix-langmuir_<version>_amd64.deb
# (programs, libraries, user guide, default EEPF table, examples, menu entry).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cd "$build"
cpack --config "$build/CPackConfig.cmake" -B "$build"
ls "$build"/*.deb
