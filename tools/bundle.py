#!/usr/bin/env python3
"""./dev bundle: the test bundle dist/release/orvane-tests-<version>.zip.

Every Windows test program of the two Windows build trees (64-bit in x64\\,
32-bit in x86\\), the programs they run (the launchers, among them the two
deliverables, the probe, the box reader, the framework host, ...), the ARM64
launchers with the ARM64 programs they start (arm64\\), and at the root
run-tests.cmd, run-tests.exe (tools/bundle/run_tests.cpp, x86) and
run-tests.json, the tests that run-tests.exe runs. The tests come from CTest
itself (ctest --show-only=json-v1), so the bundle runs exactly the tests that
the build registers, each as CTest runs it; a test registered in a way that
run-tests.exe cannot reproduce stops the bundle. The ARM64 launchers are
checked by the 64-bit end-to-end tests once more, told to start them (ARM64
Windows runs those tests emulated and the launchers natively; elsewhere that
folder is skipped).

Reproducible like the release zip: fixed order and time stamps, and no
program may carry a path of the build machine.

    tools/bundle.py [--out FOLDER] [--win64 TREE] [--win32 TREE] [--arm64 TREE]
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
# The architecture folders: name, build tree, title in the report, and the
# PE machine type of their programs (by which run-tests.exe tells whether
# the machine runs them).
ARCHES = (("x64", "win64", "64-bit programs", 0x8664), ("x86", "win32", "32-bit programs", 0x14C),
          ("arm64", "arm64", "ARM64 launchers", 0xAA64))
# The ARM64 tree's own test runs on the build machine; in the bundle, the
# arm64 folder's tests are the 64-bit tree's end-to-end tests (label e2e)
# with these variables, which point them at the ARM64 programs. Tests that
# set one of them themselves (the builds on the start-up path of Windows)
# stay 64-bit only.
DRIVEN = {"arm64": ("x64", "e2e", {"LAUNCHERS_E2E_ORVANE": "orvane.exe", "LAUNCHERS_E2E_KELMIS": "kelmis.exe",
                                   "LAUNCHERS_E2E_TOOL": "probe.exe", "LAUNCHERS_E2E_PLANTED_DLL": "planted_dll.dll"})}
# Programs of a tree that the bundle leaves out: the launch-cost benchmark,
# the runner (at the bundle's root instead), the planted cases of the
# bundle's own check (tests/release), and the installs that the ARM64 check
# leaves in its tree for a look after a failure (arm64-e2e).
LEFT_OUT = ("tools/launch_bench/", "tools/bundle/", "tests/release/", "arm64-e2e/")
RUNNER = ("x86", "tools/bundle/run-tests.exe")
# What may stand in front of a test program in a CTest command here: Wine's
# loader through tools/wine-run, and the scripts that give it a spare drive
# and a UNC share in the Wine prefix (run-tests.exe gives them on Windows:
# the test's needs).
RUNNERS = {"wine-run": [], "bash": [], "with_spare_drive.sh": ["drive"], "hostile_mounts.sh": ["drive", "share"]}
RUNNER_ARGUMENTS = {"64", "32", "--captured"}
# Test properties that run-tests.exe leaves to the build machine.
# (SKIP_RETURN_CODE: only tools/wine-run skips a test by its exit code.)
IGNORED = {"LABELS", "WORKING_DIRECTORY", "RESOURCE_LOCK", "RUN_SERIAL", "PROCESSORS", "SKIP_RETURN_CODE"}
HANDLED = {"ENVIRONMENT", "ENVIRONMENT_MODIFICATION", "PASS_REGULAR_EXPRESSION", "FAIL_REGULAR_EXPRESSION", "TIMEOUT"}
# CTest's own time limit when a test sets none.
DEFAULT_TIMEOUT = 1500
# Tests labelled so run on the build machine only (the checks of the bundle
# and of the release themselves).
HOST_LABEL = "release"
FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def fail(message):
    sys.exit("bundle: " + message)


def version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        match = re.search(r"^project\(launchers VERSION ([0-9.]+)", f.read(), re.M)
    if not match:
        fail("no version in CMakeLists.txt")
    return match.group(1)


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
            return arch + "\\" + os.path.basename(path)
    return None


def variable(name, value, trees, test):
    """A variable of a test: a file of the bundle, or a value as it stands."""
    mapped = bundle_path(value, trees) if value else None
    if mapped:
        return {"name": name, "file": mapped}
    if "/" in value or re.match(r"^[A-Za-z]:\\", value):
        fail("%s: %s names a path outside the build trees" % (test, name))
    return {"name": name, "value": value}


def command_of(test, tree):
    """The program (a path in the tree), its arguments, and what it needs."""
    command = test.get("command") or []
    for i, part in enumerate(command):
        if part.endswith(".exe"):
            needs = []
            for runner in command[:i]:
                if os.path.basename(runner) not in RUNNERS and runner not in RUNNER_ARGUMENTS:
                    fail("%s runs through %s, which run-tests.exe cannot do" % (test["name"], runner))
                needs += RUNNERS.get(os.path.basename(runner), [])
            program = os.path.normpath(part)
            if not program.startswith(tree + os.sep):
                fail("%s runs %s, outside its build tree" % (test["name"], part))
            return program, command[i + 1:], needs
    fail("%s runs no Windows program: give it the label %s if it runs on the build machine" % (test["name"], HOST_LABEL))


def literal(pattern, test):
    if re.search(r"[.\[\]()*+?^$|\\{}]", pattern):
        fail("%s: %r is a pattern, run-tests.exe looks for plain text" % (test, pattern))
    return pattern


def test_entry(test, arch, tree, trees):
    """One test of run-tests.json, and its program."""
    name = test["name"]
    properties = {p["name"]: p["value"] for p in test.get("properties", [])}
    unknown = set(properties) - IGNORED - HANDLED
    if unknown:
        fail("%s has properties run-tests.exe does not know: %s" % (name, ", ".join(sorted(unknown))))
    program, args, needs = command_of(test, tree)
    entry = {"folder": arch, "name": name, "program": arch + "\\" + os.path.basename(program), "arguments": args}
    environment = []
    for setting in properties.get("ENVIRONMENT", []):
        variable_name, _, value = setting.partition("=")
        environment.append(variable(variable_name, value, trees, name))
    for change in properties.get("ENVIRONMENT_MODIFICATION", []):
        variable_name, _, operation = change.partition("=")
        operation, _, value = operation.partition(":")
        if operation == "unset":
            environment.append({"name": variable_name, "unset": True})
        elif operation == "set":
            environment.append(variable(variable_name, value, trees, name))
        else:
            fail("%s changes %s by %s, which run-tests.exe does not do" % (name, variable_name, operation))
    if environment:
        entry["environment"] = environment
    if needs:
        entry["needs"] = sorted(set(needs))
    for key, field in (("PASS_REGULAR_EXPRESSION", "pass"), ("FAIL_REGULAR_EXPRESSION", "fail")):
        patterns = properties.get(key, [])
        if len(patterns) > 1:
            fail("%s has several %s" % (name, key))
        if patterns:
            entry[field] = literal(patterns[0], name)
    if "fail" in entry and "pass" not in entry:
        fail("%s has a fail text but no pass text" % name)
    entry["timeout"] = int(float(properties.get("TIMEOUT", DEFAULT_TIMEOUT)))
    return entry, program


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
    parser.add_argument("--arm64", default=os.path.join(ROOT, "build", "arm64"))
    options = parser.parse_args()
    trees = {arch: os.path.realpath(getattr(options, tree_name)) for arch, tree_name, _, _ in ARCHES}
    name = "orvane-tests-" + version()

    files = {}  # name in the zip -> its bytes
    tests = []
    counts = {}
    labelled = {}  # arch -> label -> the names of its tests
    for arch, tree_name, _, _ in ARCHES:
        tree = trees[arch]
        if not os.path.isfile(os.path.join(tree, "CTestTestfile.cmake")):
            fail("no build tree at %s (./dev build makes it)" % tree)
        used = set()
        counts[arch] = 0
        if arch in DRIVEN:
            by, label, programs = DRIVEN[arch]
            for entry in [t for t in tests if t["folder"] == by and t["name"] in labelled[by][label]]:
                if not {v["name"] for v in entry.get("environment", [])} & set(programs):
                    variables = [{"name": n, "file": arch + "\\" + p} for n, p in sorted(programs.items())]
                    tests.append(dict(entry, folder=arch, environment=entry.get("environment", []) + variables))
                    used.update(programs.values())
                    counts[arch] += 1
        labelled[arch] = {}
        for test in ctest_tests(tree) if arch not in DRIVEN else []:
            labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
            for label in labels:
                labelled[arch].setdefault(label, set()).add(test["name"])
            if HOST_LABEL in labels:
                continue
            entry, program = test_entry(test, arch, tree, trees)
            tests.append(entry)
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

    named = sorted({v["file"] for t in tests for v in t.get("environment", []) if "file" in v})
    missing = [f for f in named if f.replace("\\", "/") not in files]
    if missing:
        fail("files that tests name in their variables are missing: %s" % ", ".join(missing))
    runner = os.path.join(trees[RUNNER[0]], RUNNER[1])
    if not os.path.isfile(runner):
        fail("no %s (./dev build makes it)" % runner)
    with open(runner, "rb") as f:
        files["run-tests.exe"] = f.read()
    check_no_build_paths(runner, files["run-tests.exe"], trees)
    deliverables = []
    for member in ("x64/orvane.exe", "x86/kelmis.exe", "arm64/orvane.exe", "arm64/kelmis.exe"):
        if member not in files:
            fail("the deliverable %s is missing" % member)
        deliverables.append({"file": member.replace("/", "\\"), "sha256": hashlib.sha256(files[member]).hexdigest()})
    manifest = {
        "bundle": name,
        "deliverables": deliverables,
        "folders": [{"name": arch, "title": title, "machine": machine} for arch, _, title, machine in ARCHES],
        "tests": tests,
    }
    files["run-tests.json"] = (json.dumps(manifest, indent=1) + "\n").encode("ascii")
    with open(os.path.join(ROOT, "tools", "bundle", "run-tests.cmd")) as f:
        # cmd.exe reads its scripts with CR LF line ends.
        files["run-tests.cmd"] = f.read().replace("\r\n", "\n").replace("\n", "\r\n").encode("ascii")

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
    print("%s: %d tests of 64-bit programs, %d of 32-bit programs, %d of the ARM64 launchers, %d files, sha256 %s"
          % (zip_path, counts["x64"], counts["x86"], counts["arm64"], len(files), sha256(zip_path)))


if __name__ == "__main__":
    main()
