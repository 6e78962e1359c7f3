#!/usr/bin/env bash
# ./dev bench: the launch-cost benchmark under Wine, then the core's Google
# Benchmark programs. Not part of the tests: timings depend on the machine.
#
#   ROUNDS=30 ./dev bench
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build
ROUNDS=${ROUNDS:-30}
RUN="$ROOT/tools/wine-run 64"

echo "== launch cost under Wine (launcher starts the test tool and waits; $ROUNDS alternating rounds)"
DIR=$BUILD/bench-launch
rm -rf "$DIR"
mkdir -p "$DIR"
cp "$BUILD/win64/tools/launch_bench/bare_launcher.exe" "$BUILD/win64/tools/launch_bench/floor_launcher.exe" \
   "$BUILD/win64/tools/launch_bench/launch_timer.exe" "$ROOT/dist/x64/orvane.exe" "$ROOT/dist/x64/kelmis.exe" "$DIR/"
cp "$BUILD/win64/tools/probe/probe.exe" "$DIR/tavrin.exe"
# The test builds on the start-up path of Windows, where the service
# dispatcher call refuses at once instead of blocking as under Wine: their
# cost is the one a Windows user sees.
for launcher in orvane kelmis; do
  cp "$BUILD/win64/tests/e2e/${launcher}_dispatcher_refused.exe" "$DIR/$launcher-windows-path.exe"
done
win() { printf 'Z:%s' "${1//\//\\}"; }
# The launchers and the tool get the NUL device as standard handles.
(cd "$DIR" && env -u PROBE_REPORT $RUN ./launch_timer.exe "$ROUNDS" \
  "$(win "$DIR/bare_launcher.exe")" "$(win "$DIR/floor_launcher.exe")" \
  "$(win "$DIR/orvane.exe")" "$(win "$DIR/kelmis.exe")" \
  "$(win "$DIR/orvane-windows-path.exe")" "$(win "$DIR/kelmis-windows-path.exe")" </dev/null 2>/dev/null) |
  tee "$DIR/result.txt"
echo "  bare: CreateProcessW and wait only; floor: plus the system calls every start must make"
echo "  (shell32 splitting, user name, hidden-window thread, service-dispatcher thread and its end)."
echo "  *-windows-path: the launchers with the service dispatcher refusing at once, as on Windows."

# ARM64: the launchers against the bare launcher, in one run under ARM64
# Wine (through qemu-user: the times are qemu's, only their ratio says
# something), when the runner is set up (./dev test does it).
if "$ROOT/tools/arm64-wine" ready && [ -f "$BUILD/arm64/tools/launch_bench/launch_timer.exe" ]; then
  echo
  echo "== ARM64 launch cost under ARM64 Wine ($ROUNDS alternating rounds)"
  DIR=$BUILD/bench-launch-arm64
  rm -rf "$DIR"
  mkdir -p "$DIR"
  cp "$BUILD/arm64/tools/launch_bench/bare_launcher.exe" "$BUILD/arm64/tools/launch_bench/launch_timer.exe" \
     "$ROOT/dist/arm64/orvane.exe" "$ROOT/dist/arm64/kelmis.exe" "$DIR/"
  cp "$BUILD/arm64/tools/probe/probe.exe" "$DIR/tavrin.exe"
  "$ROOT/tools/arm64-wine" run --timeout 3600 "$DIR/launch_timer.exe" "$ROUNDS" "$(win "$DIR/bare_launcher.exe")" \
    "$(win "$DIR/orvane.exe")" "$(win "$DIR/kelmis.exe")" </dev/null 2>/dev/null | tee "$DIR/result.txt"
fi

echo
echo "== core benchmarks (optimised build, no sanitizers)"
if [ ! -f "$BUILD/bench/CMakeCache.txt" ]; then cmake --preset bench >/dev/null; fi
cmake --build --preset bench -j "$(nproc)" >/dev/null
results=()
for program in "$BUILD"/bench/bench/bench_*; do
  [ -x "$program" ] || continue
  echo "-- $(basename "$program")"
  "$program" --benchmark_min_time=0.2 --benchmark_out="$BUILD/bench/$(basename "$program").json" \
    --benchmark_out_format=json 2>/dev/null
  results+=("$BUILD/bench/$(basename "$program").json")
done
echo
echo "== core against its references (CPU time ratio; below 1: the core is faster)"
python3 "$ROOT/tools/bench_ratios.py" "${results[@]}"
