#!/usr/bin/env bash
# ./dev dist: the release folder dist/release/ with the deliverables (x64,
# x86 and ARM64), a zip of them, SHA256SUMS and the notes for people who ship them, signed when
# a certificate is given (see tools/release.sh). Checks first that the
# deliverables build reproducibly, and ships only the bytes so proved.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OUT=$ROOT/dist/release

"$ROOT/tools/repro.sh"

proven=$ROOT/build/repro/SHA256SUMS
for pair in x64/orvane.exe=win64/orvane.exe x86/kelmis.exe=win32/kelmis.exe arm64/orvane.exe=arm64/orvane.exe \
            arm64/kelmis.exe=arm64/kelmis.exe; do
  file=${pair%%=*}
  hash=$(sha256sum "$ROOT/dist/$file" | cut -d' ' -f1)
  if ! grep -q -x "$hash  ${pair#*=}" "$proven"; then
    echo "dist/$file is not the program that the reproducibility check built (./dev build makes it again)" >&2
    exit 1
  fi
done

"$ROOT/tools/release.sh" "$OUT" "$ROOT/dist/x64/orvane.exe" "$ROOT/dist/x86/kelmis.exe" \
  "$ROOT/dist/arm64/orvane.exe" "$ROOT/dist/arm64/kelmis.exe"
echo "release in $OUT:"
(cd "$OUT" && find . -type f ! -name 'orvane-tests-*' | sort | xargs ls -l)
cat "$OUT/SHA256SUMS"
