#!/usr/bin/env bash
# hostile_mounts.sh COMMAND [ARGS...]
# Gives COMMAND a network share and a spare drive in the Wine prefix: maps
# the UNC share \\<host>\s (Wine serves \\server\share from
# dosdevices/unc/server/share) to a new empty folder and sets
# LAUNCHERS_E2E_SHARE to it, then runs COMMAND through with_spare_drive.sh,
# which adds LAUNCHERS_E2E_DRIVE. Both mappings and folders are removed
# afterwards. The prefix is $WINEPREFIX, else build/wineprefix of this
# checkout (the one tools/wine-run uses).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
prefix=${WINEPREFIX:-$root/build/wineprefix}
devices=$prefix/dosdevices
if [ ! -d "$devices" ]; then
  echo "hostile_mounts: no Wine prefix at $prefix" >&2
  exit 1
fi
folder=$(mktemp -d "${TMPDIR:-/tmp}/launchers-share.XXXXXX") || exit 1
# One host name per run, so concurrent runs never share a mapping.
host=hostile$$
mkdir -p "$devices/unc/$host" || { rm -rf "$folder"; exit 1; }
if ! ln -sT "$folder" "$devices/unc/$host/s"; then
  rmdir "$devices/unc/$host"
  rm -rf "$folder"
  exit 1
fi
cleanup() {
  rm -f "$devices/unc/$host/s"
  rmdir "$devices/unc/$host" 2>/dev/null
  rm -rf "$folder"
}
trap cleanup EXIT
trap 'exit 143' TERM INT
LAUNCHERS_E2E_SHARE="\\\\$host\\s" bash "$here/with_spare_drive.sh" "$@"
