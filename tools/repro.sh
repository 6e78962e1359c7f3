#!/usr/bin/env bash
# ./dev repro: builds the deliverables twice from the same commit, from two
# source copies at different paths into two different build folders, and
# checks that the six programs (both settings in the x64, x86 and ARM64
# trees) are bit for bit the same, and so are the bill
# of materials and the third-party notices made from each build's
# deliverables and link maps (tools/sbom.py). Build paths and time stamps
# must not reach them. The SHA-256 of the programs proved so stay in
# build/repro/SHA256SUMS (./dev dist ships only those bytes).
#
# ./dev repro --bundle builds every program of the three Windows trees twice
# instead and compares the two test bundles as well (minutes longer).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=$ROOT/build/repro
BUNDLE=0
[ "${1:-}" = --bundle ] && BUNDLE=1
targets=(--target orvane kelmis)
[ $BUNDLE -eq 1 ] && targets=()
rm -rf "$WORK"
mkdir -p "$WORK"

copy_source() {
  # The work tree as git sees it (build output and other ignored files
  # left out), so the check covers what is about to be committed.
  mkdir -p "$1"
  (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - 2>/dev/null) | tar -xf - -C "$1"
}

build_copy() {
  local source=$1 binary=$2
  cmake -S "$source" -B "$binary/win64" -G Ninja --toolchain "$source/cmake/toolchain-win64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$binary/win64" "${targets[@]}" -j "$(nproc)" >/dev/null
  cmake -S "$source" -B "$binary/win32" -G Ninja --toolchain "$source/cmake/toolchain-win32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$binary/win32" "${targets[@]}" -j "$(nproc)" >/dev/null
  cmake -S "$source" -B "$binary/arm64" -G Ninja --toolchain "$source/cmake/toolchain-arm64.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$binary/arm64" "${targets[@]}" -j "$(nproc)" >/dev/null
  local launchers=$binary/win64/src/launcher kelmis=$binary/win32/src/launcher/kelmis arm64=$binary/arm64/src/launcher
  python3 "$source/tools/sbom.py" write "$binary/sbom" "$launchers/orvane.exe" "$launchers/orvane.map" \
    "$kelmis.exe" "$kelmis.map" "$arm64/orvane.exe" "$arm64/orvane.map" "$arm64/kelmis.exe" "$arm64/kelmis.map"
  if [ $BUNDLE -eq 1 ]; then
    python3 "$source/tools/bundle.py" --out "$binary/bundle" --win64 "$binary/win64" --win32 "$binary/win32" \
      --arm64 "$binary/arm64" >/dev/null
  fi
}

copy_source "$WORK/first/src"
copy_source "$WORK/second copy/elsewhere/source"
build_copy "$WORK/first/src" "$WORK/first/out"
build_copy "$WORK/second copy/elsewhere/source" "$WORK/second copy/build tree"

status=0
compare() {  # NAME FIRST SECOND
  if cmp -s "$2" "$3"; then
    echo "identical: $1 $(sha256sum "$2" | cut -c1-16)"
  else
    echo "DIFFERENT: $1"
    cmp "$2" "$3" | head -3 || true
    status=1
  fi
}
sums=()
for arch in win64 win32 arm64; do
  for launcher in orvane kelmis; do
    a="$WORK/first/out/$arch/src/launcher/$launcher.exe"
    compare "$arch/$launcher.exe" "$a" "$WORK/second copy/build tree/$arch/src/launcher/$launcher.exe"
    sums+=("$(sha256sum "$a" | cut -d' ' -f1)  $arch/$launcher.exe")
  done
done
for file in sbom.cdx.json THIRD-PARTY-NOTICES.txt; do
  compare "$file" "$WORK/first/out/sbom/$file" "$WORK/second copy/build tree/sbom/$file"
done
if [ $BUNDLE -eq 1 ]; then
  for a in "$WORK"/first/out/bundle/*.zip; do
    compare "$(basename "$a")" "$a" "$WORK/second copy/build tree/bundle/$(basename "$a")"
  done
fi
if [ $status -eq 0 ]; then
  rm -rf "$WORK/first" "$WORK/second copy"
  printf '%s\n' "${sums[@]}" >"$WORK/SHA256SUMS"
fi
exit $status
