#!/usr/bin/env bash
# The demo of ./dev demo: both 64-bit launchers under Wine beside a demo
# tool named tavrin.exe, then orvane once without the tool.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build
RUN="$ROOT/tools/wine-run 64"
DEMO=$BUILD/demo

rm -rf "$DEMO"
mkdir -p "$DEMO/with tool" "$DEMO/without tool"
cp "$ROOT/dist/x64/orvane.exe" "$ROOT/dist/x64/kelmis.exe" "$DEMO/with tool/"
cp "$BUILD/win64/tools/probe/probe.exe" "$DEMO/with tool/tavrin.exe"
cp "$ROOT/dist/x64/orvane.exe" "$DEMO/without tool/"

show() { printf '\n\033[1m%s\033[0m\n' "$*"; }

cd "$DEMO/with tool"
for launcher in orvane kelmis; do
  show "\$ $launcher.exe \"two words\" 'say \"hi\"' plain"
  set +e
  $RUN "./$launcher.exe" "two words" 'say "hi"' plain </dev/null
  code=$?
  set -e
  echo "-> $launcher exited with $code (1: the tool ran and ended)"
done

cd "$DEMO/without tool"
show "\$ orvane.exe one   (no tavrin.exe beside it)"
$RUN "$BUILD/win64/tools/boxreader/boxreader.exe" --timeout 20000 ./orvane.exe one </dev/null
echo "-> the warning box above was read back from the real window and dismissed with OK"
