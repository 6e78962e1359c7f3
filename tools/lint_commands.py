#!/usr/bin/env python3
"""The compile commands of a build tree's product sources, as clang-tidy reads them.

    tools/lint_commands.py TREE OUT

Writes OUT/compile_commands.json with the commands of the files under src/
from TREE/compile_commands.json. For a cross compiler (mingw-w64), clang is
told its target and the compiler's own include folders, and the options only
GCC knows are left out: clang must see the code as the compiler that builds
it does. Prints the files, one a line.
"""
import json
import os
import re
import shlex
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCES = os.path.join(ROOT, "src") + os.sep
# GCC options clang does not take; none changes what the code means.
GCC_ONLY = re.compile(r"^-malign-data=|^-mpreferred-stack-boundary=|^-fno-jump-tables$")


def system_includes(compiler):
    out = subprocess.run([compiler, "-E", "-x", "c++", "-", "-v"], input="", capture_output=True, text=True)
    lines = out.stderr.split("\n")
    start = lines.index("#include <...> search starts here:") + 1
    end = lines.index("End of search list.")
    # The compiler's own folders (include, include-fixed) hold its
    # intrinsics, which clang brings itself.
    folders = [os.path.normpath(line.strip()) for line in lines[start:end]]
    return [f for f in folders if not re.search(r"/include(-fixed)?$", f) or "/gcc/" not in f]


def main(tree, out):
    with open(os.path.join(tree, "compile_commands.json")) as f:
        commands = json.load(f)
    adapted, seen, extra = [], set(), {}
    for entry in commands:
        if not entry["file"].startswith(SOURCES) or entry["file"] in seen:
            continue
        seen.add(entry["file"])
        arguments = shlex.split(entry["command"])
        compiler = arguments[0]
        triple = re.match(r"^(.*-w64-mingw32)-", os.path.basename(compiler))
        if triple and compiler not in extra:
            extra[compiler] = ["--target=" + triple.group(1)] + [
                "-isystem" + folder for folder in system_includes(compiler)]
        arguments = [compiler] + extra.get(compiler, []) + [a for a in arguments[1:] if not GCC_ONLY.match(a)]
        adapted.append({"directory": entry["directory"], "file": entry["file"],
                        "command": " ".join(shlex.quote(a) for a in arguments)})
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, "compile_commands.json"), "w") as f:
        json.dump(adapted, f, indent=1)
    for entry in sorted(adapted, key=lambda e: e["file"]):
        print(entry["file"])


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1].strip())
    main(sys.argv[1], sys.argv[2])
