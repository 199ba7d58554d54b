#!/usr/bin/env bash
# Installs what is needed, builds, and runs the measurement application on the
# simulated instrument with the example session open. Without a display it
# runs under a virtual X server and quits after LP_QUIT_AFTER seconds (20).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
session="$root/examples/example-session.ldf"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running lpmeasure under xvfb-run for ${LP_QUIT_AFTER:-20} s"
  xvfb-run -a "$build/bin/lpmeasure" --quit-after="${LP_QUIT_AFTER:-20}" "$session" "$@"
  echo "lpmeasure ended (exit code $?)"
else
  exec "$build/bin/lpmeasure" "$session" "$@"
fi
