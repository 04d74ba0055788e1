#!/usr/bin/env bash
# Runs every fuzz target for a set time on its corpus and prints how many
# inputs each one executed. Crashes, leaks, hangs and memory blow-ups stop a
# target and are reported; the input that caused one is kept in the build
# folder (crash-*, leak-*, timeout-*, oom-*).
#   fuzz/run_all.sh [seconds per target] [build folder]
# The build folder is configured with -DQUILL_FUZZ=ON (and the sanitizers).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/deps.sh"

seconds=${1:-60}
build=${2:-$QUILL_ROOT/build/fault}
quill_build "$build" -DCMAKE_BUILD_TYPE=Debug -DQUILL_SANITIZE=ON -DQUILL_FUZZ=ON

export QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1
failed=0
printf '%-22s %12s %10s %s\n' target executions exec/s result
for source in "$QUILL_ROOT"/fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  binary="$build/bin/$name"
  [ -x "$binary" ] || binary="$build/fuzz/$name"
  corpus="$build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  log="$build/fuzz/$name.log"
  result=ok
  (cd "$build/fuzz" && "$binary" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
      -print_final_stats=1 "$corpus" "$QUILL_ROOT/fuzz/corpus/$name") >"$log" 2>&1 || { result="FAILED (see $log)"; failed=1; }
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  printf '%-22s %12s %10s %s\n' "$name" "${runs:-?}" "${rate:-?}" "$result"
done
exit $failed
