#!/usr/bin/env bash
# Installs what is needed, builds, and runs the main job on the simulated instrument.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
exec "${BUILD_DIR:-$root/build}/bin/veskinfo" "$@"
