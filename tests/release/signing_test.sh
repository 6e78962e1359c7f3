#!/usr/bin/env bash
# signing_test.sh WIN64_TREE WIN32_TREE ARM64_TREE
# A signed release (tools/release.sh, as ./dev dist makes it) of the
# deliverables of the build trees (the ARM64 ones beside the others), with a throw-away certificate made here:
# every signature verifies, removing them gives back the unsigned deliverables
# bit for bit, SHA256SUMS lists and matches the signed and the unsigned
# files, the zip holds the signed ones, a wrong password stops the release,
# and the signed orvane runs under Wine end to end (the end-to-end tests of
# its exit codes and its failure box, with the signed copy as orvane). The
# bill of materials names the signed files and is valid against the
# published CycloneDX 1.5 schema (from the npm package that ships it,
# pinned; where the registry cannot be reached, only its contents are
# checked, and the test says so).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
win64=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
arm64=$(cd "$3" && pwd)
orvane=$win64/src/launcher/orvane.exe
kelmis=$win32/src/launcher/kelmis.exe
arm64_orvane=$arm64/src/launcher/orvane.exe
arm64_kelmis=$arm64/src/launcher/kelmis.exe

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/launchers-signing.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/certificate.pem" -days 1 \
  -subj "/CN=Throw-away launcher test signer" 2>/dev/null || exit 1
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/certificate.pem" -out "$work/signer.p12" \
  -passout pass:throw-away || exit 1

release=$work/release
LAUNCHERS_SIGN_PKCS12=$work/signer.p12 LAUNCHERS_SIGN_PASSWORD=throw-away \
  "$root/tools/release.sh" "$release" "$orvane" "$kelmis" "$arm64_orvane" "$arm64_kelmis" ||
  fail "the signed release failed"

for pair in "orvane.exe=$orvane" "kelmis.exe=$kelmis" "arm64/orvane.exe=$arm64_orvane" \
            "arm64/kelmis.exe=$arm64_kelmis"; do
  file=${pair%%=*}
  unsigned=${pair#*=}
  if osslsigncode verify -CAfile "$work/certificate.pem" -in "$release/$file" >"$work/verify.txt" 2>&1; then
    grep -q "Subject: /CN=Throw-away launcher test signer" "$work/verify.txt" || fail "$file: signed by someone else"
  else
    cat "$work/verify.txt"
    fail "$file: the signature does not verify"
  fi
  rm -f "$work/stripped.exe"
  osslsigncode remove-signature -in "$release/$file" -out "$work/stripped.exe" >/dev/null ||
    fail "$file: the signature cannot be removed"
  cmp -s "$work/stripped.exe" "$unsigned" || fail "$file without its signature is not the unsigned deliverable"
  cmp -s "$release/unsigned/$file" "$unsigned" || fail "unsigned/$file is not the unsigned deliverable"
  python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]) != open(sys.argv[3], "rb").read())' \
    "$release"/launchers-*.zip "$file" "$release/$file" || fail "the zip does not hold the signed $file"
done
listed=$(cut -c67- "$release/SHA256SUMS" | tr '\n' ' ')
[ "$listed" = "orvane.exe kelmis.exe arm64/orvane.exe arm64/kelmis.exe unsigned/orvane.exe unsigned/kelmis.exe \
unsigned/arm64/orvane.exe unsigned/arm64/kelmis.exe sbom.cdx.json THIRD-PARTY-NOTICES.txt \
$(basename "$release"/launchers-*.zip) " ] || fail "SHA256SUMS lists: $listed"
for file in sbom.cdx.json THIRD-PARTY-NOTICES.txt; do
  python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]) != open(sys.argv[3], "rb").read())' \
    "$release"/launchers-*.zip "$file" "$release/$file" || fail "the zip does not hold $file"
done
for file in orvane.exe kelmis.exe arm64/orvane.exe arm64/kelmis.exe; do
  grep -q "$(sha256sum "$release/$file" | cut -c1-64)" "$release/sbom.cdx.json" || fail "the SBOM lacks the signed $file"
done
grep -q "^License: ZPL-2.1" "$release/THIRD-PARTY-NOTICES.txt" || fail "the notices lack the mingw-w64 runtime's license"
schemas=$win64/cyclonedx-schemas
package=cyclonedx-cyclonedx-library-6.13.1.tgz
if [ ! -f "$schemas/bom-1.5.SNAPSHOT.schema.json" ] && command -v npm >/dev/null &&
   (cd "$work" && timeout 180 npm pack --silent @cyclonedx/cyclonedx-library@6.13.1 >/dev/null 2>&1) &&
   echo "de9ac3e6e59be24d0b5345d98761304ff2c55458bd31888771d7e932fc531533  $work/$package" | sha256sum --quiet -c; then
  mkdir -p "$work/schema" "$schemas"
  tar -xzf "$work/$package" -C "$work/schema" && cp "$work"/schema/package/res/schema/*.schema.json "$schemas/"
fi
if [ -f "$schemas/bom-1.5.SNAPSHOT.schema.json" ]; then
  /usr/bin/python3 "$root/tools/sbom.py" check "$release/sbom.cdx.json" "$schemas" || fail "the SBOM breaks its schema"
else
  echo "the CycloneDX schema could not be fetched from the npm registry: the SBOM's contents are checked, not its schema"
  python3 "$root/tools/sbom.py" check "$release/sbom.cdx.json" || fail "the SBOM lacks a deliverable or a part"
fi
(cd "$release" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"

if LAUNCHERS_SIGN_PKCS12=$work/signer.p12 LAUNCHERS_SIGN_PASSWORD=wrong \
   "$root/tools/release.sh" "$work/wrong" "$orvane" "$kelmis" "$arm64_orvane" "$arm64_kelmis" >"$work/wrong.txt" 2>&1; then
  fail "a wrong password made a release"
fi

# The signed orvane, under Wine, through the end-to-end tests.
LAUNCHERS_E2E_ORVANE=$release/orvane.exe "$root/tools/wine-run" 64 --captured \
  "$win64/tests/e2e/e2e_launch_tests.exe" --gtest_brief=1 \
  --gtest_filter='E2eExitCode.*:E2eFailureBox.MissingToolShowsTheBoxAndExitsWithTwo' >"$work/e2e.txt" 2>&1 ||
  { cat "$work/e2e.txt"; fail "the signed orvane failed its end-to-end tests"; }
grep -q "PASSED  ] 2 tests" "$work/e2e.txt" || { cat "$work/e2e.txt"; fail "the end-to-end tests did not both run"; }

[ "$failures" -eq 0 ] && echo "signed, verified, stripped back to the unsigned deliverables; the signed orvane passed its end-to-end tests"
[ "$failures" -eq 0 ]
