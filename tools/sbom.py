#!/usr/bin/env python3
"""The software bill of materials of a release, and its third-party notices.

    tools/sbom.py write OUT ORVANE.exe ORVANE.map KELMIS.exe KELMIS.map \
        ARM64_ORVANE.exe ARM64_ORVANE.map ARM64_KELMIS.exe ARM64_KELMIS.map
    tools/sbom.py check SBOM [SCHEMA_FOLDER]

write: OUT/sbom.cdx.json (CycloneDX 1.5, JSON) names each deliverable (the
x64 orvane, the x86 kelmis and the ARM64 builds of both) with its SHA-256
and every third-party part that its link map (GNU ld's, or lld's for ARM64)
shows in the image (an input section of some size kept in the output;
members of an archive that the linker pulled in but whose sections it
dropped bring nothing; the ARM64 import libraries, made by the build from
the project's own .def files, are the project's own), with the Debian
package that installed the part, that package's
version and its license as the package's copyright file states them; and
OUT/THIRD-PARTY-NOTICES.txt the notices those licenses ask for in a binary
distribution. Both come out the same for the same programs and packages:
no time stamps, no build paths, a serial number made from the contents.

check: the SBOM parses, names both deliverables and a license and version
for every part, and, with SCHEMA_FOLDER (the CycloneDX schemas
bom-1.5.SNAPSHOT.schema.json, spdx.SNAPSHOT.schema.json and
jsf-0.82.SNAPSHOT.schema.json), is valid against the published schema.
"""
import hashlib
import json
import os
import re
import subprocess
import sys
import uuid

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SBOM = "sbom.cdx.json"
NOTICES = "THIRD-PARTY-NOTICES.txt"
# The name of each in the release, and its architecture.
DELIVERABLES = (("orvane.exe", "x64"), ("kelmis.exe", "x86"), ("arm64/orvane.exe", "arm64"),
                ("arm64/kelmis.exe", "arm64"))
# Licenses of source packages whose copyright file is not machine-readable,
# as their copyright file states them in prose.
PROSE_LICENSES = {
    "gcc-mingw-w64": ("GPL-3.0-or-later WITH GCC-exception-3.1",
                      "The GCC Runtime Library Exception, version 3.1, lets a program compiled by GCC\n"
                      "carry these parts under terms of its own choice, with no notice required."),
}


def fail(message):
    sys.exit("sbom: " + message)


def project_version():
    with open(os.path.join(ROOT, "CMakeLists.txt")) as f:
        match = re.search(r"^project\(launchers VERSION ([0-9.]+)", f.read(), re.M)
    if not match:
        fail("no version in CMakeLists.txt")
    return match.group(1)


INPUT_SECTION = re.compile(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
CONTINUED = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")


# lld's map: address, size, alignment, then the output section, or an
# input section as FILE:(SECTION), or a symbol.
LLD_INPUT_SECTION = re.compile(r"^[0-9a-f]+ ([0-9a-f]+) +\d+ +(\S.*):\(([^()]*)\)$")


def linked_files(map_path):
    """Files (archive(member) or object) with bytes kept in the image."""
    kept = set()
    with open(map_path, errors="replace") as f:
        lines = f.read().split("\n")
    if re.match(r"^Address +Size +Align +Out +In +Symbol", lines[0]):
        for line in lines[1:]:
            match = LLD_INPUT_SECTION.match(line)
            if match and int(match.group(1), 16):
                kept.add(match.group(2).strip())
        return kept
    try:
        start = lines.index("Linker script and memory map")
    except ValueError:
        fail("%s is not a link map of GNU ld or lld" % map_path)
    output = None
    pending = None
    for line in lines[start + 1:]:
        if line and not line[0].isspace():
            output = line.split()[0]
            pending = None
            continue
        match = INPUT_SECTION.match(line)
        if match:
            size, file = int(match.group(3), 16), match.group(4)
        elif pending and CONTINUED.match(line):
            match = CONTINUED.match(line)
            size, file = int(match.group(2), 16), match.group(3)
        else:
            pending = re.match(r"^ (\S+)$", line)
            continue
        pending = None
        if size and output != "/DISCARD/" and not file.startswith("*"):
            kept.add(file.strip())
    return kept


def archive_of(file):
    match = re.match(r"^(.*)\((.*)\)$", file)
    return (match.group(1), match.group(2)) if match else (file, None)


def dpkg(*arguments):
    return subprocess.run(["dpkg-query"] + list(arguments), check=True, capture_output=True, text=True).stdout


def package_of(path):
    real = os.path.realpath(path)
    out = subprocess.run(["dpkg-query", "-S", real], capture_output=True, text=True)
    if out.returncode != 0:
        fail("%s (%s) belongs to no installed package" % (path, real))
    return out.stdout.split(":")[0].strip()


def copyright_license(package):
    """(SPDX expression, notice text) from the package's copyright file."""
    source = dpkg("-W", "-f", "${source:Package}", package).strip() or package
    path = "/usr/share/doc/%s/copyright" % package
    try:
        with open(path) as f:
            text = f.read()
    except OSError:
        fail("%s has no copyright file at %s" % (package, path))
    if text.startswith("Format: "):
        # Machine-readable: the stanza for every file not named otherwise.
        for stanza in text.split("\n\n"):
            if re.search(r"^Files:\s*\*\s*$", stanza, re.M):
                holders = re.search(r"^Copyright:\s*(.*(?:\n[ \t].*)*)", stanza, re.M)
                license_field = re.search(r"^License:\s*(\S+)\n((?:[ \t].*\n?)*)", stanza, re.M)
                if not license_field:
                    break
                body = "\n".join("" if l.strip() == "." else l[1:] for l in license_field.group(2).rstrip().split("\n"))
                notice = "Copyright %s\n\n%s" % (re.sub(r"\s*\n\s*", "\n          ", holders.group(1).strip())
                                                if holders else "(see the package)", body)
                return license_field.group(1), notice
        fail("%s: no license for 'Files: *' in %s" % (package, path))
    if source in PROSE_LICENSES:
        return PROSE_LICENSES[source]
    fail("%s (source %s): the copyright file is not machine-readable; add its license to PROSE_LICENSES"
         % (package, source))


def os_release():
    values = {}
    with open("/etc/os-release") as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            values[key] = value.strip('"')
    return values.get("ID", "debian"), values.get("VERSION_ID", "")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def write(out, programs):
    distro, distro_version = os_release()
    parts = {}   # package -> {"archives": set, "users": set}
    components = []
    dependencies = []
    for (name, arch), (exe, link_map) in zip(DELIVERABLES, programs):
        if os.path.basename(exe) != os.path.basename(name):
            fail("%s given where %s is expected" % (exe, name))
        used = set()
        for file in linked_files(link_map):
            archive, _ = archive_of(file)
            if not os.path.isabs(archive) or not os.path.realpath(archive).startswith("/usr/"):
                continue  # the project's own objects and libraries
            package = package_of(archive)
            part = parts.setdefault(package, {"archives": set(), "users": set()})
            part["archives"].add(os.path.basename(archive))
            part["users"].add(name)
            used.add(package)
        components.append({
            "type": "application", "bom-ref": name, "name": name, "version": project_version(),
            "hashes": [{"alg": "SHA-256", "content": sha256(exe)}],
            "properties": [{"name": "architecture", "value": arch}],
        })
        dependencies.append({"ref": name, "dependsOn": sorted("pkg:" + p for p in used)})
    notices = []
    for package in sorted(parts):
        version, architecture, source = dpkg("-W", "-f", "${Version}\t${Architecture}\t${source:Package}",
                                             package).split("\t")
        license_id, notice = copyright_license(package)
        licenses = ([{"expression": license_id}] if " " in license_id else [{"license": {"id": license_id}}])
        components.append({
            "type": "library", "bom-ref": "pkg:" + package, "name": package, "version": version,
            "purl": "pkg:deb/%s/%s@%s?arch=%s&distro=%s-%s" % (distro, package, version, architecture, distro,
                                                               distro_version),
            "licenses": licenses,
            "properties": [{"name": "source package", "value": source or package},
                           {"name": "linked archives", "value": " ".join(sorted(parts[package]["archives"]))},
                           {"name": "linked into", "value": " ".join(sorted(parts[package]["users"]))}],
        })
        dependencies.append({"ref": "pkg:" + package, "dependsOn": []})
        notices.append("%s %s (Debian package; linked into %s: %s)\nLicense: %s\n\n%s\n"
                       % (package, version, " and ".join(sorted(parts[package]["users"])),
                          ", ".join(sorted(parts[package]["archives"])), license_id, notice.rstrip()))
    dependencies.insert(0, {"ref": "launchers", "dependsOn": [name for name, _ in DELIVERABLES]})
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {"component": {"type": "application", "bom-ref": "launchers", "name": "launchers",
                                   "version": project_version()}},
        "components": components,
        "dependencies": dependencies,
    }
    text = json.dumps(bom, indent=2, sort_keys=True)
    bom["serialNumber"] = "urn:uuid:%s" % uuid.uuid5(uuid.NAMESPACE_URL, "sbom:" + text)
    os.makedirs(out, exist_ok=True)
    with open(os.path.join(out, SBOM), "w") as f:
        f.write(json.dumps(bom, indent=2, sort_keys=True) + "\n")
    header = ("Third-party notices for orvane.exe and kelmis.exe %s (x64, x86 and ARM64)\n\n"
              "Besides their own code, the programs contain the parts below, linked in\n"
              "statically (%s lists them with their versions).\n" % (project_version(), SBOM))
    with open(os.path.join(out, NOTICES), "w") as f:
        f.write(header + "".join("\n" + "-" * 78 + "\n" + n for n in notices))


def check(path, schemas=None):
    with open(path) as f:
        bom = json.load(f)
    problems = []
    names = {c.get("name"): c for c in bom.get("components", [])}
    for name, _ in DELIVERABLES:
        component = names.get(name)
        if not component or not any(h.get("alg") == "SHA-256" for h in component.get("hashes", [])):
            problems.append("%s is not named with its SHA-256" % name)
    parts = [c for c in bom.get("components", []) if c.get("type") == "library"]
    if not parts:
        problems.append("no third-party part is named")
    for part in parts:
        if not part.get("version") or not part.get("licenses"):
            problems.append("%s lacks a version or a license" % part.get("name"))
    if schemas:
        import jsonschema
        from urllib.parse import urljoin
        with open(os.path.join(schemas, "bom-1.5.SNAPSHOT.schema.json")) as f:
            main = json.load(f)
        # The schema names the others relative to its own address: they are
        # found here, never fetched.
        store = {}
        for file in os.listdir(schemas):
            if file.endswith(".schema.json"):
                with open(os.path.join(schemas, file)) as f:
                    store[urljoin(main["$id"], file)] = json.load(f)
        resolver = jsonschema.RefResolver(main["$id"], main, store=store)
        for error in jsonschema.Draft7Validator(main, resolver=resolver).iter_errors(bom):
            problems.append("schema: %s at %s" % (error.message, "/".join(str(p) for p in error.path)))
    for problem in problems:
        print("FAILED: %s: %s" % (path, problem))
    if not problems:
        print("%s: %s, %d parts (%s)%s" % (path, ", ".join(n for n, _ in DELIVERABLES), len(parts),
                                           ", ".join("%s %s" % (p["name"], p["version"]) for p in parts),
                                           ", valid against the CycloneDX 1.5 schema" if schemas else ""))
    return 1 if problems else 0


def main(argv):
    if len(argv) == 10 and argv[0] == "write":
        write(argv[1], [(argv[i], argv[i + 1]) for i in range(2, 10, 2)])
        return 0
    if len(argv) in (2, 3) and argv[0] == "check":
        return check(argv[1], argv[2] if len(argv) == 3 else None)
    sys.exit(__doc__.split("\n\n")[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
