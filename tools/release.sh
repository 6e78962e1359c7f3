#!/usr/bin/env bash
# tools/release.sh OUT ORVANE KELMIS ARM64_ORVANE ARM64_KELMIS
# The release folder OUT for people who ship the launchers: the x64 orvane
# and x86 kelmis (the files ORVANE and KELMIS, whose link maps lie beside them
# as ORVANE.map and KELMIS.map), the ARM64 builds of both in arm64/ (the files
# ARM64_ORVANE and ARM64_KELMIS, maps beside them likewise), README.txt, the
# bill of materials sbom.cdx.json and THIRD-PARTY-NOTICES.txt
# (tools/sbom.py), a zip of these seven and SHA256SUMS. ./dev dist calls it
# with the deliverables whose bytes tools/repro.sh has just proved
# reproducible.
#
# Signing, when LAUNCHERS_SIGN_PKCS12 names a PKCS#12 file (certificate and
# key) and LAUNCHERS_SIGN_PASSWORD holds its password: both deliverables are
# signed with Authenticode (SHA-256) by osslsigncode, offline, the ARM64
# ones as well.
# LAUNCHERS_SIGN_TIMESTAMP_URL, when set, adds an RFC 3161 time stamp from
# that server (the one step that uses the network, and only when asked for).
# Each signature is verified against LAUNCHERS_SIGN_CA (a PEM file; default:
# the certificates in the PKCS#12 file), and removing it must give back the
# unsigned file bit for bit, so that the signed files stay tied to the
# reproducible ones: those lie in OUT/unsigned/, and SHA256SUMS lists both.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VERSION=$(sed -n 's/^project(launchers VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
out=$1
orvane=$2
kelmis=$3
arm64_orvane=$4
arm64_kelmis=$5
# The programs of the release, by their names in it, and their sources.
programs=(orvane.exe kelmis.exe arm64/orvane.exe arm64/kelmis.exe)
sources=("$orvane" "$kelmis" "$arm64_orvane" "$arm64_kelmis")

say() { printf 'release: %s\n' "$*" >&2; }

# The name a launcher is shown by (SETTING: orvane or kelmis), as the build
# sets it; a signature carries it as its description.
display_name() {
  sed -n "s/^set(LAUNCHER_DISPLAY_NAME_$1 \([^ ]*\) .*/\1/p" "$ROOT/src/launcher/CMakeLists.txt"
}

# Only programs that keep the promises of their PE headers are shipped.
python3 "$ROOT/tools/pe_check.py" "$orvane" "$kelmis" --arch arm64 "$arm64_orvane" "$arm64_kelmis" >&2 ||
  { say "a deliverable breaks a promise of its headers"; exit 1; }

rm -rf "$out/unsigned" "$out/arm64"
rm -f "$out/orvane.exe" "$out/kelmis.exe" "$out/README.txt" "$out/SHA256SUMS" "$out"/launchers-*.zip \
  "$out/sbom.cdx.json" "$out/THIRD-PARTY-NOTICES.txt"
mkdir -p "$out/arm64"
listed=("${programs[@]}")

if [ -n "${LAUNCHERS_SIGN_PKCS12:-}" ]; then
  if [ -z "${LAUNCHERS_SIGN_PASSWORD+set}" ]; then
    say "LAUNCHERS_SIGN_PASSWORD is not set (the password of $LAUNCHERS_SIGN_PKCS12)"
    exit 1
  fi
  secrets=$(mktemp -d)
  trap 'rm -rf "$secrets"' EXIT
  chmod 700 "$secrets"
  # The password goes to the tools through a file, not their command lines.
  printf '%s' "$LAUNCHERS_SIGN_PASSWORD" >"$secrets/password"
  ca=${LAUNCHERS_SIGN_CA:-}
  if [ -z "$ca" ]; then
    ca=$secrets/certificates.pem
    openssl pkcs12 -in "$LAUNCHERS_SIGN_PKCS12" -passin "file:$secrets/password" -nokeys -out "$ca" 2>/dev/null ||
      openssl pkcs12 -legacy -in "$LAUNCHERS_SIGN_PKCS12" -passin "file:$secrets/password" -nokeys -out "$ca" ||
      { say "cannot read the certificates of $LAUNCHERS_SIGN_PKCS12"; exit 1; }
  fi
  timestamp=()
  if [ -n "${LAUNCHERS_SIGN_TIMESTAMP_URL:-}" ]; then
    timestamp=(-ts "$LAUNCHERS_SIGN_TIMESTAMP_URL")
  fi

  mkdir -p "$out/unsigned/arm64"
  for i in "${!programs[@]}"; do cp "${sources[$i]}" "$out/unsigned/${programs[$i]}"; done
  for file in "${programs[@]}"; do
    name=${file#arm64/}
    description=$(display_name "${name%.exe}")
    [ -n "$description" ] || { say "no display name for $file in src/launcher/CMakeLists.txt"; exit 1; }
    if ! osslsigncode sign -pkcs12 "$LAUNCHERS_SIGN_PKCS12" -readpass "$secrets/password" -h sha256 \
         -n "$description" "${timestamp[@]}" -in "$out/unsigned/$file" -out "$out/$file" >"$secrets/log" 2>&1; then
      cat "$secrets/log" >&2
      say "signing $file failed"
      exit 1
    fi
    verify=(-CAfile "$ca")
    [ ${#timestamp[@]} -eq 0 ] || verify+=(-TSA-CAfile "$ca")
    if ! osslsigncode verify "${verify[@]}" -in "$out/$file" >"$secrets/log" 2>&1; then
      cat "$secrets/log" >&2
      say "the signature of $file does not verify against $ca (LAUNCHERS_SIGN_CA names the certificates to trust)"
      exit 1
    fi
    rm -f "$secrets/stripped.exe"
    osslsigncode remove-signature -in "$out/$file" -out "$secrets/stripped.exe" >/dev/null
    if ! cmp -s "$secrets/stripped.exe" "$out/unsigned/$file"; then
      say "$file without its signature is not the unsigned file: the signed release would not be reproducible"
      exit 1
    fi
    say "signed $file, verified; without its signature it is the unsigned file"
  done
  listed+=("${programs[@]/#/unsigned/}")
else
  for i in "${!programs[@]}"; do cp "${sources[$i]}" "$out/${programs[$i]}"; done
fi

cp "$ROOT/docs/shipping.txt" "$out/README.txt"
# What the shipped programs contain, with their hashes as shipped (signed or
# not).
python3 "$ROOT/tools/sbom.py" write "$out" "$out/orvane.exe" "${orvane%.exe}.map" "$out/kelmis.exe" "${kelmis%.exe}.map" \
  "$out/arm64/orvane.exe" "${arm64_orvane%.exe}.map" "$out/arm64/kelmis.exe" "${arm64_kelmis%.exe}.map"
# A zip with fixed time stamps and order, so the same programs give the same
# zip.
python3 - "$out" "launchers-$VERSION.zip" <<'PY'
import os, sys, zipfile
out, name = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
    for member in ("orvane.exe", "kelmis.exe", "arm64/orvane.exe", "arm64/kelmis.exe", "README.txt",
                   "sbom.cdx.json", "THIRD-PARTY-NOTICES.txt"):
        info = zipfile.ZipInfo(member, date_time=(2026, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(out, member), "rb") as f:
            z.writestr(info, f.read())
PY
(cd "$out" && sha256sum "${listed[@]}" sbom.cdx.json THIRD-PARTY-NOTICES.txt "launchers-$VERSION.zip" >SHA256SUMS)
