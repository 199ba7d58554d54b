#!/usr/bin/env bash
# Installs what is needed, builds, runs the example batch job on the simulated
# instrument (it measures and saves a session), then opens the measurement
# application on the session it measured. Without a display both run under a
# virtual X server and the window quits after LP_QUIT_AFTER seconds (20).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${BUILD_DIR:-$root/build}
lpmeasure="$build/bin/lpmeasure"
headless=
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  echo "No display: running lpmeasure under xvfb-run"
fi
x() { if [ -n "$headless" ]; then xvfb-run -a "$@"; else "$@"; fi; }

# The job saves next to itself; a fresh copy each time (save never replaces).
work="$build/example-job"
mkdir -p "$work"
cp "$root/examples/example-job.txt" "$work/"
rm -f "$work/example-job.ldf"
echo "Running the example job (examples/example-job.txt) on the simulated instrument"
set +e
LPSIM_CONFIG=${LPSIM_CONFIG:-speed=10} x "$lpmeasure" --job "$work/example-job.txt" --probe-mode reference
rc=$?
set -e
echo "lpmeasure --job ended (exit code $rc)"
session="$work/example-job.ldf"
[ -f "$session" ] || session="$root/examples/example-session.ldf"

if [ -n "$headless" ]; then
  echo "Opening $session for ${LP_QUIT_AFTER:-20} s"
  set +e
  x "$lpmeasure" --quit-after="${LP_QUIT_AFTER:-20}" "$session" "$@"
  echo "lpmeasure ended (exit code $?)"
else
  exec "$lpmeasure" "$session" "$@"
fi
