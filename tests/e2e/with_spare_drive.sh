#!/usr/bin/env bash
# with_spare_drive.sh COMMAND [ARGS...]
# Maps a free drive letter of the Wine prefix to a new empty folder, runs
# COMMAND with LAUNCHERS_E2E_DRIVE set to that drive (for example "R:"), and
# removes the mapping and the folder afterwards. Tests use the drive for
# files that must sit at a drive's root without touching the prefix's own
# drives. The prefix is $WINEPREFIX, else build/wineprefix of this checkout
# (the one tools/wine-run uses).
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
prefix=${WINEPREFIX:-$root/build/wineprefix}
devices=$prefix/dosdevices
if [ ! -d "$devices" ]; then
  echo "with_spare_drive: no Wine prefix at $prefix" >&2
  exit 1
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/launchers-drive.XXXXXX") || exit 1
letter=
# ln -sT fails when the name exists, so two runs never share a letter.
for candidate in r s t u v w x y; do
  if ln -sT "$folder" "$devices/$candidate:" 2>/dev/null; then
    letter=$candidate
    break
  fi
done
if [ -z "$letter" ]; then
  echo "with_spare_drive: no free drive letter in $devices" >&2
  rm -rf "$folder"
  exit 1
fi
cleanup() {
  rm -f "$devices/$letter:"
  rm -rf "$folder"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
LAUNCHERS_E2E_DRIVE="${letter^^}:" "$@"
