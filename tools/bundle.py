#!/usr/bin/env python3
"""./dev bundle: the test bundle dist/release/orvane-tests-<version>.zip.

Every Windows test program of the two Windows build trees (64-bit in x64\\,
32-bit in x86\\), the programs they run (the launchers, among them the two
deliverables, the probe, the box reader, the framework host, ...) and
run-tests.cmd at the root, which runs each test the way CTest runs it here.
The tests come from CTest itself (ctest --show-only=json-v1), so the bundle
runs exactly the tests that the build registers; a test registered in a way
that run-tests.cmd cannot reproduce stops the bundle.

Reproducible like the release zip: fixed order and time stamps, and no
program may carry a path of the build machine.

    tools/bundle.py [--out FOLDER] [--win64 TREE] [--win32 TREE]
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ARCHES = (("x64", "win64"), ("x86", "win32"))
# Programs of a tree that the bundle leaves out (the launch-cost benchmark).
LEFT_OUT = ("tools/launch_bench/",)
# What may stand in front of a test program in a CTest command here: Wine's
# loader through tools/wine-run, and the scripts that map a drive and a
# share in the Wine prefix (run-tests.cmd maps both itself).
RUNNERS = {"wine-run", "bash", "with_spare_drive.sh", "hostile_mounts.sh"}
RUNNER_ARGUMENTS = {"64", "32", "--captured"}
# Test properties and what run-tests.cmd does with them.
# (SKIP_RETURN_CODE: only tools/wine-run skips a test by its exit code.)
IGNORED = {"LABELS", "TIMEOUT", "WORKING_DIRECTORY", "RESOURCE_LOCK", "RUN_SERIAL", "PROCESSORS", "SKIP_RETURN_CODE"}
HANDLED = {"ENVIRONMENT", "ENVIRONMENT_MODIFICATION", "PASS_REGULAR_EXPRESSION", "FAIL_REGULAR_EXPRESSION"}
# Tests labelled so run on the build machine only (the checks of the bundle
# and of the release themselves).
HOST_LABEL = "release"
# Text that run-tests.cmd puts on its lines unchanged.
PLAIN = re.compile(r"^[A-Za-z0-9_ .,:;=+*\-/\\]*$")
FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def fail(message):
    sys.exit("bundle: " + message)


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        match = re.search(r"^project\(launchers VERSION ([0-9.]+)", f.read(), re.M)
    if not match:
        fail("no version in CMakeLists.txt")
    return match.group(1)


def plain(text, what):
    if not PLAIN.match(text):
        fail("%s holds characters run-tests.cmd cannot pass on: %r" % (what, text))
    return text


def ctest_tests(tree):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=tree, check=True, capture_output=True, text=True)
    return json.loads(out.stdout)["tests"]


def unix_form(value):
    """A Windows path of Wine's Z: drive as the Unix path it names."""
    if re.match(r"^[Zz]:\\", value):
        return value[2:].replace("\\", "/")
    return value


def bundle_path(value, trees):
    """A value naming a file of a build tree, as that file in the bundle."""
    path = os.path.normpath(unix_form(value))
    for arch, tree in trees.items():
        if path.startswith(tree + os.sep):
            return "%HERE%" + arch + "\\" + os.path.basename(path)
    return None


def environment_entry(entry, trees, test):
    name, _, value = entry.partition("=")
    mapped = bundle_path(value, trees) if value else None
    if mapped is None:
        if "/" in value or re.match(r"^[A-Za-z]:\\", value):
            fail("%s: %s names a path outside the build trees" % (test, name))
        plain(value, "%s: the value of %s" % (test, name))
        mapped = value
    return plain(name, test + ": a variable name"), mapped


def command_of(test, tree):
    """The program (a path in the tree) and its arguments."""
    command = test.get("command") or []
    for i, part in enumerate(command):
        if part.endswith(".exe"):
            for runner in command[:i]:
                if os.path.basename(runner) not in RUNNERS and runner not in RUNNER_ARGUMENTS:
                    fail("%s runs through %s, which run-tests.cmd cannot do" % (test["name"], runner))
            program = os.path.normpath(part)
            if not program.startswith(tree + os.sep):
                fail("%s runs %s, outside its build tree" % (test["name"], part))
            return program, [plain(a, test["name"] + ": an argument") for a in command[i + 1:]]
    fail("%s runs no Windows program: give it the label %s if it runs on the build machine" % (test["name"], HOST_LABEL))


def literal(pattern, test):
    if re.search(r"[.\[\]()*+?^$|\\{}\"]", pattern):
        fail("%s: %r is a pattern, run-tests.cmd looks for plain text" % (test, pattern))
    return plain(pattern, test + ": a pass or fail text")


def test_entry(test, arch, tree, trees):
    """The lines of run-tests.cmd that run one CTest test."""
    name = plain(test["name"], "a test name")
    properties = {p["name"]: p["value"] for p in test.get("properties", [])}
    unknown = set(properties) - IGNORED - HANDLED
    if unknown:
        fail("%s has properties run-tests.cmd does not know: %s" % (name, ", ".join(sorted(unknown))))
    program, args = command_of(test, tree)
    lines = []
    for entry in properties.get("ENVIRONMENT", []):
        variable, value = environment_entry(entry, trees, name)
        lines.append('set "%s=%s"' % (variable, value))
    for entry in properties.get("ENVIRONMENT_MODIFICATION", []):
        variable, _, change = entry.partition("=")
        operation, _, value = change.partition(":")
        if operation == "unset":
            lines.append('set "%s="' % plain(variable, name + ": a variable name"))
        elif operation == "set":
            variable, value = environment_entry(variable + "=" + value, trees, name)
            lines.append('set "%s=%s"' % (variable, value))
        else:
            fail("%s changes %s by %s, which run-tests.cmd does not do" % (name, variable, operation))
    for key, variable in (("PASS_REGULAR_EXPRESSION", "T_PASS"), ("FAIL_REGULAR_EXPRESSION", "T_FAIL")):
        patterns = properties.get(key, [])
        if len(patterns) > 1:
            fail("%s has several %s" % (name, key))
        if patterns:
            lines.append('set "%s=%s"' % (variable, literal(patterns[0], name)))
    run = 'call :run %s %s %s "%s"' % (arch, name, os.path.basename(program), " ".join(args))
    if not lines:
        return [run], program
    return ["setlocal"] + lines + [run, "endlocal"], program


def programs_of(tree):
    found = []
    for folder, dirs, files in os.walk(tree):
        dirs[:] = sorted(d for d in dirs if d not in ("CMakeFiles", "googletest"))
        for f in sorted(files):
            path = os.path.join(folder, f)
            relative = os.path.relpath(path, tree).replace(os.sep, "/")
            if f.endswith((".exe", ".dll")) and not relative.startswith(LEFT_OUT):
                found.append(path)
    return found


def check_no_build_paths(path, data, trees):
    for place in {ROOT, os.path.realpath(ROOT)} | set(trees.values()):
        for encoded in (place.encode(), place.encode("utf-16-le")):
            if encoded in data:
                fail("%s holds the build machine's path %s: the bundle would differ between builds" % (path, place))


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--out", default=os.path.join(ROOT, "dist", "release"))
    parser.add_argument("--win64", default=os.path.join(ROOT, "build", "win64"))
    parser.add_argument("--win32", default=os.path.join(ROOT, "build", "win32"))
    options = parser.parse_args()
    trees = {"x64": os.path.realpath(options.win64), "x86": os.path.realpath(options.win32)}
    name = "orvane-tests-" + version()

    files = {}  # name in the zip -> its bytes
    lines = []
    counts = {}
    for arch, tree_name in ARCHES:
        tree = trees[arch]
        if not os.path.isfile(os.path.join(tree, "CTestTestfile.cmake")):
            fail("no build tree at %s (./dev build makes it)" % tree)
        used = set()
        counts[arch] = 0
        lines.append("rem %s, %s" % (arch, tree_name))
        for test in ctest_tests(tree):
            labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
            if HOST_LABEL in labels:
                continue
            entry, program = test_entry(test, arch, tree, trees)
            lines += entry
            used.add(os.path.basename(program))
            counts[arch] += 1
        for program in programs_of(tree):
            member = arch + "/" + os.path.basename(program)
            if member in files:
                fail("two programs named %s in %s" % (os.path.basename(program), tree))
            # As built: the very programs tested here.
            with open(program, "rb") as f:
                files[member] = f.read()
            check_no_build_paths(program, files[member], trees)
        missing = sorted(p for p in used if arch + "/" + p not in files)
        if missing:
            fail("programs of the tests missing from %s: %s" % (tree, ", ".join(missing)))

    deliverables = {"ORVANE": "x64/orvane.exe", "KELMIS": "x86/kelmis.exe"}
    with open(os.path.join(ROOT, "tools", "bundle", "run-tests.cmd")) as f:
        script = f.read()
    script = script.replace("@BUNDLE@", name).replace("@TESTS@", "\n".join(lines))
    for key, member in deliverables.items():
        if member not in files:
            fail("the deliverable %s is missing" % member)
        script = script.replace("@%s_SHA256@" % key, hashlib.sha256(files[member]).hexdigest())
    # cmd.exe reads its scripts with CR LF line ends.
    files["run-tests.cmd"] = script.replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")

    os.makedirs(options.out, exist_ok=True)
    zip_path = os.path.join(options.out, name + ".zip")
    partial = zip_path + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as z:
        for member in sorted(files):
            info = zipfile.ZipInfo(member, date_time=FIXED_TIME)
            info.external_attr = (0o755 if member.endswith((".exe", ".cmd")) else 0o644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, files[member])
    os.replace(partial, zip_path)
    print("%s: %d tests of 64-bit programs, %d of 32-bit programs, %d files, sha256 %s"
          % (zip_path, counts["x64"], counts["x86"], len(files), sha256(zip_path)))


if __name__ == "__main__":
    main()
