#!/usr/bin/env bash
# tools/apt-install against a stand-in apt-get on PATH that plays a package
# mirror in the middle of a sync: `apt-get update` loads every index but one
# and exits with 100, and an install without -t cannot be resolved ("held
# broken packages"). The set-up must go on, install with the release's own
# versions and say so; it must fail only when that fails too. Each row:
# NAME UPDATE_STATUS INSTALL_STATUS PINNED_STATUS EXPECTED_STATUS.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
script=$here/../../tools/apt-install
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
work=$(mktemp -d "${TMPDIR:-/tmp}/launchers-apt.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "apt-get $*" >>"$STANDIN_CALLS"
case "$*" in
  update*)
    echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    exit "$STANDIN_UPDATE" ;;
  *" -t "*) exit "$STANDIN_PINNED" ;;
  *)
    echo " libunwind8:i386 : Depends: liblzma5:i386 (>= 5.1.1alpha+20110809) but it is not going to be installed"
    [ "$STANDIN_INSTALL" -eq 0 ] || echo "E: Unable to correct problems, you have held broken packages." >&2
    exit "$STANDIN_INSTALL" ;;
esac
STANDIN
chmod +x "$work/bin/apt-get"

failures=0
check() {  # WHAT CONDITION...
  local what=$1
  shift
  "$@" || { echo "FAILED ($row): $what"; failures=$((failures + 1)); }
}
while read -r row update install pinned expected; do
  rm -rf "$work/etc" "$work/calls"
  STANDIN_CALLS=$work/calls STANDIN_UPDATE=$update STANDIN_INSTALL=$install STANDIN_PINNED=$pinned \
    LAUNCHERS_APT_DIR=$work/etc PATH="$work/bin:$PATH" "$script" wine32:i386 qemu-user >"$work/out" 2>&1
  status=$?
  check "exit status $status, expected $expected" [ "$status" -eq "$expected" ]
  check "the update asks again for what fails" grep -q -- '^apt-get update .*Acquire::Retries=' "$work/calls"
  check "the packages are asked for" grep -q -x -- 'apt-get install -y -q --no-install-recommends wine32:i386 qemu-user' "$work/calls"
  pinned_calls=$(grep -c -- " -t $codename wine32:i386 qemu-user\$" "$work/calls")
  check "$pinned_calls installs pinned to $codename" [ "$pinned_calls" -eq $((install != 0)) ]
  said=$(grep -c '^== ' "$work/out")
  check "$said lines said, expected one per step gone around" [ "$said" -eq $(((update != 0) + (install != 0))) ]
  [ "$update" -eq 0 ] || check "the missing index is named" grep -q '^== some package indexes did not load' "$work/out"
  [ "$install" -eq 0 ] || check "the fallback is named" grep -q "^== .*held broken packages.*-t $codename" "$work/out"
  check "only qemu-user comes from backports" grep -q -x "Package: qemu-user" "$work/etc/preferences.d/launchers-backports"
  check "nothing else does" grep -q -x "Pin-Priority: -1" "$work/etc/preferences.d/launchers-backports"
  check "the backports source is added" grep -q -x "Suites: $codename-backports" "$work/etc/sources.list.d/launchers-backports.sources"
  [ "$failures" -eq 0 ] || { cat "$work/calls" "$work/out"; break; }
done <<'ROWS'
mirror-in-sync 0 0 0 0
index-missing 100 0 0 0
index-missing-and-install-unresolved 100 100 0 0
even-the-release-versions-fail 100 100 100 100
ROWS
[ "$failures" -eq 0 ]
