#!/usr/bin/env bash
# Installs what is needed, builds and runs the two examples on the simulated
# instrument: the example batch job (a time-averaged and a time-resolved
# session of a pulsed plasma, two files) and the spatial example (a profile
# along the linear drive). With a display it then opens the measurement
# application on the sessions measured, each in its window; without one it
# prints the plasma parameters of every scan of each session (where and when
# it was measured; kTe, Vp, Vf, Ne with their errors, by lpanalyse).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build=${BUILD_DIR:-$root/build}
# The build's lines go to a log, its progress to the console in steps of 10 %;
# on failure the end of the log is shown.
mkdir -p "$build"
echo "Building (log: $build/build.log)"
if ! "$root/scripts/build.sh" 2>&1 | tee "$build/build.log" | awk '
    match($0, /^\[ *[0-9]+%\]/) {
      p = substr($0, RSTART + 1, RLENGTH - 3) + 0
      if (p >= due) { printf "  %d %%\n", p; fflush(); due = p - p % 10 + 10 }
    }'; then
  tail -n 40 "$build/build.log"
  echo "The build failed; the whole log is $build/build.log" >&2
  exit 1
fi
lpmeasure="$build/bin/lpmeasure"
headless=
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  headless=1
  # A job needs no window: the jobs run on Qt's offscreen platform.
  export QT_QPA_PLATFORM=offscreen
fi

# Each job saves next to itself; a fresh copy each time (save never replaces).
work="$build/example-job"
mkdir -p "$work"
cp "$root/examples/example-job.txt" "$work/"
rm -f "$work"/example-*.ldf
echo "Running the example job (examples/example-job.txt) on the simulated instrument"
set +e
LPSIM_CONFIG=${LPSIM_CONFIG:-$root/examples/pulsed-plasma.conf} \
  "$lpmeasure" --job "$work/example-job.txt" --probe-mode reference
echo "lpmeasure --job ended (exit code $?)"
echo "Running the spatial example (examples/spatial-profile.sh)"
"$root/examples/spatial-profile.sh" "$lpmeasure" "$build/example-spatial"
echo "spatial example ended (exit code $?)"
set -e

sessions=()
for f in "$work/example-time-averaged.ldf" "$work/example-time-resolved.ldf" "$build/example-spatial/spatial-profile.ldf"; do
  [ -f "$f" ] && sessions+=("$f")
done
[ ${#sessions[@]} -gt 0 ] || sessions=("$root/examples/example-session.ldf")

if [ -n "$headless" ]; then
  for f in "${sessions[@]}"; do
    echo
    echo "$f"
    # lpanalyse exits 1 when a scan has an analysis message; the summary still shows every scan.
    "$build/bin/lpanalyse" --format summary "$f" || true
  done
else
  exec "$lpmeasure" "${sessions[@]}" "$@"
fi
