#!/usr/bin/env bash
# ./dev repro: builds the deliverables twice from the same commit, from two
# source copies at different paths into two different build folders, and
# checks that the four programs are bit for bit the same. Build paths and time
# stamps must not reach the binaries.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
WORK=$ROOT/build/repro
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
  cmake --build "$binary/win64" --target orvane kelmis -j "$(nproc)" >/dev/null
  cmake -S "$source" -B "$binary/win32" -G Ninja --toolchain "$source/cmake/toolchain-win32.cmake" \
    -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
  cmake --build "$binary/win32" --target orvane kelmis -j "$(nproc)" >/dev/null
}

copy_source "$WORK/first/src"
copy_source "$WORK/second copy/elsewhere/source"
build_copy "$WORK/first/src" "$WORK/first/out"
build_copy "$WORK/second copy/elsewhere/source" "$WORK/second copy/build tree"

status=0
for arch in win64 win32; do
  for launcher in orvane kelmis; do
    a="$WORK/first/out/$arch/src/launcher/$launcher.exe"
    b="$WORK/second copy/build tree/$arch/src/launcher/$launcher.exe"
    if cmp -s "$a" "$b"; then
      echo "identical: $arch/$launcher.exe $(sha256sum "$a" | cut -c1-16)"
    else
      echo "DIFFERENT: $arch/$launcher.exe"
      cmp "$a" "$b" | head -3 || true
      status=1
    fi
  done
done
[ $status -eq 0 ] && rm -rf "$WORK"
exit $status
