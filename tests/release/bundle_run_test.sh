#!/usr/bin/env bash
# bundle_run_test.sh WIN64_TREE WIN32_TREE
# The test bundle run the way a user runs it on Windows, but under Wine: the
# bundle is made from the two build trees (tools/bundle.py), unpacked
# outside them into a folder named as Windows names a second download,
# "... (1)", and its run-tests.cmd runs in Wine's own cmd.exe. Every test
# program of both trees must have run once and passed (or skipped as a
# whole), the last line must say so and the exit code be 0; the report
# must lie beside the script. Where 32-bit programs go through qemu-user
# (a minute each), only two of the 32-bit programs run, enough to prove the
# 32-bit half of run-tests.cmd (a test told what to expect by its
# environment, and one passed by its output; the win32 tree runs them all):
# the others must be skipped, and the lines say which ran. A second, cheap
# run in a copy that holds two programs only (one of them failing) must
# report the failures and exit with 1.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
win64=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine64=/usr/lib/wine/wine64

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/launchers-bundle.XXXXXX") || exit 1
keeper=
cleanup() {
  [ -n "$keeper" ] && kill "$keeper" 2>/dev/null && wait "$keeper" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM INT

python3 "$root/tools/bundle.py" --out "$work/out" --win64 "$win64" --win32 "$win32" || exit 1
zip=$(ls "$work"/out/orvane-tests-*.zip)
copy="$work/orvane tests (1)"
python3 -m zipfile -e "$zip" "$copy" || exit 1

# What CTest would run in each tree (the release tests run here only).
count() { (cd "$1" && ctest -N -LE release | sed -n 's/^Total Tests: //p'); }
expected_x64=$(count "$win64")
expected_x86=$(count "$win32")

# Wine's desktop process starts with the first program that needs a window
# and keeps that program's standard handles, its output file among them,
# which run-tests.cmd could then no longer read; it ends a moment after the
# last program using the desktop. A program kept running for the whole run
# starts it with no test's output and keeps it.
"$wine64" notepad.exe </dev/null >/dev/null 2>&1 &
keeper=$!

# run-tests.cmd maps a spare drive with subst and, with administrator
# rights, shares a folder; Wine can do neither, so hostile_mounts.sh maps
# both in the prefix and run-tests.cmd takes them as given.
run() {  # FOLDER OUTPUT [VAR=VALUE...]
  local folder=$1 output=$2
  shift 2
  (cd "$folder" && env "$@" bash "$root/tests/e2e/hostile_mounts.sh" "$wine64" cmd.exe /c run-tests.cmd \
     </dev/null >"$output" 2>&1)
}

# Wine's cmd.exe now and then fails to start one of the programs the script
# calls (it then says "Can't recognize 'find ...'" for a program that is
# there), a Wine program can lose its server ("wine client error"), and
# qemu-user itself now and then crashes under a 32-bit program ("qemu:
# uncaught target signal"): such a run says nothing about the bundle and is
# repeated, twice at most. The lines of the last run go to LINES, without
# carriage returns.
run_repeated() {  # FOLDER LINES [VAR=VALUE...]
  local folder=$1 lines=$2 attempt
  shift 2
  for attempt in 1 2 3; do
    rm -f "$folder/run-tests-report.txt"
    run "$folder" "$work/raw.txt" "$@"
    status=$?
    tr -d '\r' <"$work/raw.txt" >"$lines"
    [ "$status" -ne 0 ] && grep -q -e "^Can't recognize '" -e '^wine client error' -e '^qemu: uncaught target signal' \
      "$lines" && [ $attempt -lt 3 ] || return 0
    echo "run $attempt: Wine failed to start a program or lost its server, or qemu-user crashed; repeated"
  done
}

# Through qemu, two 32-bit programs that run whole from the script: one that
# checks the runtime's exit, one with a full suite of GoogleTest cases. (A
# 32-bit program whose case skips because the script started it ends there
# with an illegal-instruction exception, in qemu only.)
chosen_x86=()
if [ "$("$root/tools/wine-run" --i386-mode)" = qemu ]; then
  chosen_x86=(runtime_at_exit_order cmdline_windows_tests)
fi

started=$(date +%s)
run_repeated "$copy" "$work/lines.txt" ${chosen_x86[@]:+"LAUNCHERS_X86_TESTS=${chosen_x86[*]}"}
took=$(($(date +%s) - started))
last=$(tail -n 1 "$work/lines.txt")
ran_x64=$(grep -c -E '^(pass|FAIL|skip) x64 ' "$work/lines.txt")
ran_x86=$(grep -c -E '^(pass|FAIL|skip) x86 ' "$work/lines.txt")
echo "run-tests.cmd under Wine's cmd.exe, ${took} s, exit code $status; last line: $last"
echo "test programs run: $ran_x64 of $expected_x64 64-bit, $ran_x86 of $expected_x86 32-bit"

[ "$status" -eq 0 ] || fail "run-tests.cmd exited with $status"
total=$((expected_x64 + expected_x86))
if [[ $last =~ ^([0-9]+)\ passed,\ 0\ failed(,\ ([0-9]+)\ skipped)?$ ]]; then
  [ $((BASH_REMATCH[1] + ${BASH_REMATCH[3]:-0})) -eq "$total" ] || fail "the last line counts other than $total programs"
else
  fail "the last line is not \"N passed, 0 failed\""
fi
[ "$ran_x64" -eq "$expected_x64" ] || fail "$ran_x64 lines of 64-bit programs, CTest has $expected_x64"
[ "$ran_x86" -eq "$expected_x86" ] || fail "$ran_x86 lines of 32-bit programs, CTest has $expected_x86"
if [ ${#chosen_x86[@]} -gt 0 ]; then
  echo "32-bit programs go through qemu-user here: of the 32-bit programs only ${chosen_x86[*]} ran"
  for name in "${chosen_x86[@]}"; do
    grep -q -x "pass x86 $name" "$work/lines.txt" || fail "the chosen 32-bit test $name did not pass"
  done
  left=$(grep -c -x -E 'skip x86 [A-Za-z0-9_]+: not among LAUNCHERS_X86_TESTS' "$work/lines.txt")
  [ "$left" -eq $((expected_x86 - ${#chosen_x86[@]})) ] || fail "$left other 32-bit tests skipped, not all the others"
else
  echo "32-bit programs run natively here: every 32-bit program ran"
fi
others=$(sed '$d' "$work/lines.txt" | grep -v -E '^(pass|FAIL|skip) x(64|86) ' | sed 's/^/  /')
[ -z "$others" ] || printf '%s\n%s\n' "other lines (Wine's own messages):" "$others"
report="$copy/run-tests-report.txt"
if [ -f "$report" ]; then
  for line in "Under Wine: yes" "64-bit programs (x64): " "32-bit programs (x86): " "$last"; do
    grep -q -F "$line" "$report" || fail "the report lacks \"$line\""
  done
else
  fail "no run-tests-report.txt beside run-tests.cmd"
fi
if [ "$failures" -gt 0 ]; then
  echo "--- output"
  cat "$work/lines.txt"
  [ -f "$report" ] && { echo "--- report"; cat "$report"; }
fi

# The failure path, cheaply: a copy with one test program that passes, one
# that fails (the probe under a test's name, told to exit with 3) and every
# other one missing.
broken="$work/broken copy"
mkdir -p "$broken/x64"
cp "$copy/run-tests.cmd" "$broken/"
cp "$copy/x64/text_tests.exe" "$broken/x64/"
cp "$copy/x64/probe.exe" "$broken/x64/cmdline_tests.exe"
run_repeated "$broken" "$work/broken_lines.txt" PROBE_EXIT=3
last=$(tail -n 1 "$work/broken_lines.txt")
echo "with two programs, one failing: exit code $status; last line: $last"
[ "$status" -eq 1 ] || fail "run-tests.cmd exited with $status when programs failed"
[ "$last" = "1 passed, $((total - 1)) failed" ] || fail "the last line is not \"1 passed, $((total - 1)) failed\""
grep -q -x "pass x64 text_tests" "$work/broken_lines.txt" || fail "text_tests did not pass in the broken copy"
grep -q "^FAIL x64 cmdline_tests: exit code 3," "$work/broken_lines.txt" || fail "no failure with exit code 3"
grep -q -F "==== x64 cmdline_tests (exit code 3) ====" "$broken/run-tests-report.txt" ||
  fail "the report lacks the failed program's output"
[ "$failures" -gt 0 ] && { echo "--- output"; cat "$work/broken_lines.txt"; }

[ "$failures" -eq 0 ]
