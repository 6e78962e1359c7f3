#!/usr/bin/env bash
# ./dev fuzz: every libFuzzer target of the core for a longer run (seconds
# each as the first argument), keeping the grown corpus in build/fuzz.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SECONDS_EACH=${1:-60}
FUZZ=$ROOT/build/fuzz/fuzz
status=0
for target in "$FUZZ"/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  seeds=()
  [ -d "$ROOT/fuzz/seeds/$name" ] && seeds=("$ROOT/fuzz/seeds/$name")
  mkdir -p "$FUZZ/corpus/$name"
  echo "== $name ($SECONDS_EACH s)"
  if ! "$target" -max_total_time="$SECONDS_EACH" -rss_limit_mb=2048 -print_final_stats=1 \
      "$FUZZ/corpus/$name" "${seeds[@]}" 2>&1 | grep -E "stat::number_of_executed_units|ERROR|SUMMARY|Done"; then
    status=1
  fi
done
exit $status
