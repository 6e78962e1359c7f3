#!/usr/bin/env bash
# ./dev dist: the release folder dist/release/ with a zip of the two
# deliverables, SHA256SUMS and the notes for people who ship them. Checks
# first that the deliverables build reproducibly.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VERSION=$(sed -n 's/^project(launchers VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
OUT=$ROOT/dist/release

"$ROOT/tools/repro.sh"

rm -rf "$OUT"
mkdir -p "$OUT"
cp "$ROOT/dist/x64/orvane.exe" "$ROOT/dist/x86/kelmis.exe" "$OUT/"
cp "$ROOT/docs/shipping.txt" "$OUT/README.txt"
# A zip with fixed time stamps and order, so the same programs give the same
# zip.
python3 - "$OUT" "launchers-$VERSION.zip" <<'PY'
import os, sys, zipfile
out, name = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
    for member in ("orvane.exe", "kelmis.exe", "README.txt"):
        info = zipfile.ZipInfo(member, date_time=(2026, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(out, member), "rb") as f:
            z.writestr(info, f.read())
PY
(cd "$OUT" && sha256sum orvane.exe kelmis.exe "launchers-$VERSION.zip" > SHA256SUMS)
echo "release $VERSION in $OUT:"
ls -l "$OUT"
cat "$OUT/SHA256SUMS"
