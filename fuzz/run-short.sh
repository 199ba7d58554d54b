#!/usr/bin/env bash
# Builds every fuzz target with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a short time on its seed corpus. FUZZ_SECONDS sets the time per target.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
secs=${FUZZ_SECONDS:-30}
ls "$root"/fuzz/*/CMakeLists.txt >/dev/null 2>&1 || { echo "no fuzz targets"; exit 0; }
# fuzzer-no-link gives the libraries coverage feedback too, not only the target file.
san="-fsanitize=address,undefined,fuzzer-no-link -fno-omit-frame-pointer"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS="$san" -DCMAKE_CXX_FLAGS="$san" \
  -DLP_BUILD_FUZZ=ON -DLP_BUILD_TESTS=OFF -DLP_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target fuzzers -j"$(nproc)"
for dir in "$root"/fuzz/*/; do
  name=$(basename "$dir")
  exe="$build/bin/fuzz_$name"
  [ -x "$exe" ] || continue
  work=$(mktemp -d)
  [ -d "$dir/corpus" ] && cp -r "$dir/corpus/." "$work/"
  echo "== fuzz_$name (${secs}s)"
  set +e
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$exe" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work" 2>&1 | tail -n 12
  rc=${PIPESTATUS[0]}
  set -e
  rm -rf "$work"
  [ "$rc" -eq 0 ] || { echo "fuzz_$name failed"; exit "$rc"; }
done
