#!/usr/bin/env bash
# bundle_run_test.sh WIN64_TREE WIN32_TREE ARM64_TREE
# The test bundle run as README tells a person to run it on Windows, here
# under Wine: made from the three build trees (tools/bundle.py), unpacked into
# a fresh folder named as Windows names a second download, "... (1)", and
# run-tests.cmd started there by Wine's cmd.exe, no variables set. Every case
# runs in the trees here, and the whole bundle on Windows; this checks what
# only the bundle can show:
#   1. it holds every test of the two Windows trees and what each needs:
#      --list starts every test once, listing its cases; the ARM64
#      launchers' tests are skipped (a machine that is not ARM64 cannot run
#      them), each naming the reason;
#   2. a few tests in full: ones that pass (one judged by its output, one
#      with a skipped case), and those that need a spare drive or a UNC
#      share, which Wine cannot give (a drive defined with DefineDosDeviceW
#      cannot be reached, and nothing can be shared): their cases skip with
#      the reasons, 0 failed;
#   3. a planted failing case: "1 failed", exit code 1;
#   4. a planted case that leaves a child running: a failure that says so.
# Results are read from run-tests-report.txt, which run-tests.exe alone
# writes (Wine's own messages go to the error stream, never into it).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
win64=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
arm64=$(cd "$3" && pwd)
export WINEPREFIX=${WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

work=$(mktemp -d "${TMPDIR:-/tmp}/launchers-bundle.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 143' TERM INT

python3 "$root/tools/bundle.py" --out "$work/out" --win64 "$win64" --win32 "$win32" --arm64 "$arm64" || exit 1
copy="$work/orvane tests (1)"
python3 -m zipfile -e "$work"/out/orvane-tests-*.zip "$copy" || exit 1

# run-tests.cmd with ARGUMENTS, its report in $work/report.txt and its
# console lines in $work/lines.txt (without carriage returns), its exit code
# in $status. Wine's cmd.exe now and then cannot start the program it is
# told to run, and a Wine program can lose its server: a run that wrote no
# report says nothing about the bundle and is repeated, twice at most.
run() {  # ARGUMENTS...
  local attempt started=$SECONDS
  for attempt in 1 2 3; do
    rm -f "$copy/run-tests-report.txt"
    (cd "$copy" && env -u LAUNCHERS_E2E_DRIVE -u LAUNCHERS_E2E_SHARE /usr/lib/wine/wine64 cmd.exe /c run-tests.cmd "$@" \
       </dev/null >"$work/out.txt" 2>"$work/errors.txt")
    status=$?
    if [ -f "$copy/run-tests-report.txt" ] || [ $attempt -eq 3 ]; then break; fi
    echo "run $attempt wrote no report ($(head -c 300 "$work/errors.txt")); repeated"
  done
  took=$((SECONDS - started))
  tr -d '\r' <"$work/out.txt" >"$work/lines.txt"
  tr -d '\r' <"$copy/run-tests-report.txt" >"$work/report.txt" 2>/dev/null || : >"$work/report.txt"
}

# The run's exit code, its last line (on the console and in the report), and
# lines of the report: each given as an extended regular expression.
expect() {  # WHAT STATUS LAST [LINE...]
  local what=$1 expected_status=$2 last=$3 line
  shift 3
  echo "$what, $took s: exit code $status, last line: $(tail -n 1 "$work/report.txt")"
  [ "$status" -eq "$expected_status" ] || fail "$what: run-tests.cmd exited with $status, not $expected_status"
  [ "$(tail -n 1 "$work/report.txt")" = "$last" ] || fail "$what: the report does not end in \"$last\""
  grep -q -x -F "$last" "$work/lines.txt" || fail "$what: run-tests.cmd did not print \"$last\""
  for line in "$@"; do
    grep -q -x -E "$line" "$work/report.txt" || fail "$what: the report has no line like \"$line\""
  done
  if [ "$failures" -gt 0 ]; then
    echo "--- report"
    cat "$work/report.txt"
    echo "--- error stream"
    cat "$work/errors.txt"
  fi
}

# 1. Every test, listed.
count() { (cd "$1" && ctest -N -LE release | sed -n 's/^Total Tests: //p'); }
x64=$(count "$win64")
x86=$(count "$win32")
arm64=$(grep -c '"folder": "arm64"' "$copy/run-tests.json")
run --list
expect "every test listed" 0 "$((x64 + x86)) passed, 0 failed, $arm64 skipped" "Under Wine: yes" \
  "64-bit programs \(x64\): $x64 passed, 0 failed, 0 skipped" "32-bit programs \(x86\): $x86 passed, 0 failed, 0 skipped" \
  "ARM64 launchers \(arm64\): 0 passed, 0 failed, $arm64 skipped" \
  "skip arm64 e2e_launch_tests: this Windows cannot run the programs of arm64"

# 2. A few tests in full (those of the ARM64 launchers among them skip).
run text_tests runtime_at_exit_order usertext_startup_en_test_mode_1 e2e_long_path_tests e2e_hostile_tests
expect "a few tests in full" 0 "5 passed, 0 failed, 3 skipped" "pass x64 text_tests" "pass x(64|86) runtime_at_exit_order" \
  "pass x64 usertext_startup_en_test_mode_1, 1 case of 2 skipped" "Spare drive: none, .+" "UNC share: none, .+" \
  "skip x64 e2e_long_path_tests: all 2 cases skipped; no spare drive: .+" \
  "pass x64 e2e_hostile_tests, [0-9]+ cases of [0-9]+ skipped; no spare drive: .+; no UNC share: .+" \
  "no spare drive: .+" "no spare drive: .+; no UNC share: .+"

# 3 and 4. Planted in the copy: its program, and a test of each case.
cp "$win64/tests/release/bundle_planted_tests.exe" "$copy/x64/"
python3 - "$copy/run-tests.json" <<'PY' || exit 1
import json, sys
with open(sys.argv[1]) as f:
    manifest = json.load(f)
for name, case in (("planted_failure", "Planted.Fails"), ("planted_child", "Planted.LeavesAChildRunning")):
    manifest["tests"].append({"folder": "x64", "name": name, "program": "x64\\bundle_planted_tests.exe",
                              "arguments": ["--gtest_filter=" + case], "timeout": 300})
with open(sys.argv[1], "w") as f:
    json.dump(manifest, f)
PY
run text_tests planted_failure
expect "a planted failing case" 1 "1 passed, 1 failed, 0 skipped" "FAIL x64 planted_failure: 1 case of 1 failed: Planted.Fails" \
  "==== x64 planted_failure \(1 case of 1 failed: Planted.Fails\) ====" ".*the planted failure"
run planted_child
expect "a planted case that leaves a child running" 1 "0 passed, 1 failed, 0 skipped" \
  "FAIL x64 planted_child: processes it started outlived it and were ended: probe.exe" "\[       OK \] Planted.LeavesAChildRunning.*"

[ "$failures" -eq 0 ]
