#!/bin/sh
# Renders the user guide's pictures from the program into OUT, under a virtual
# X server (the offscreen platform draws other fonts than a desktop). A server
# that failed to start, or a run whose timing missed the running measurement,
# is tried again. Checked builds render without their checkers' verdicts: the
# pictures are wanted here, the tests check the code.
# Usage: render-guide.sh LPSCREENS SESSION.ldf OUT
set -u
lpscreens=$1 session=$2 out=$3
for attempt in 1 2 3; do
  rm -rf "$out.new"
  if env -u QT_QPA_PLATFORM ASAN_OPTIONS=detect_leaks=0 TSAN_OPTIONS=report_bugs=0 \
       xvfb-run -a -s "-screen 0 1600x1000x24" "$lpscreens" --guide --out "$out.new" "$session" \
       >"$out.log" 2>&1; then
    rm -rf "$out" && mv "$out.new" "$out"
    exit 0
  fi
  echo "render-guide.sh: attempt $attempt failed" >&2
done
cat "$out.log" >&2
echo "render-guide.sh: the guide's pictures were not rendered; configure with -DLP_GUIDE_RENDER=OFF to build the guide from the committed copies" >&2
exit 1
