#!/usr/bin/env bash
# Renders the main window with a session in each view to PNG files under a
# virtual X server. Usage: tools/screenshots/render.sh [session.ldf] [out-folder]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
session=${1:-$root/examples/example-session.ldf}
out=${2:-$root/screenshots}
cmake -S "$root" -B "$build" >/dev/null
cmake --build "$build" -j"$(nproc)" --target lpscreens >/dev/null
args=(--out "$out")
[ -f "$session" ] && args+=("$session")
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1600x1000x24" "$build/bin/lpscreens" "${args[@]}"
