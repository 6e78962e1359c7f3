#!/usr/bin/env python3
"""Checks the PE headers of the deliverables against what they promise.

    tools/pe_check.py [--arch ARCH] FILE... [--arch ARCH FILE...]

Each FILE is orvane.exe or kelmis.exe (by its name), of the architecture
its name gives (orvane x64, kelmis x86), or of the one --arch names for the
FILEs after it (x64, x86 or arm64: both programs are built for ARM64 too);
for each one line of facts is printed, then every broken promise, and the
exit code is 1 when there was one. The promises: the machine of its
architecture, the GUI subsystem, address randomisation (high-entropy on x64
and ARM64), no-execute data,
NO_SEH on x86 (nothing in the image registers an exception handler), base
relocations kept, no section both writable and executable or writable and
shared, imports from exactly the five system DLLs below and nothing loaded
delayed, a manifest that asks for asInvoker, the image's checksum in its
header (so that an Authenticode signature's removal gives back the file bit
for bit), and a size within the budget.
tools/release.sh runs it on every release; tests/release runs it too.
"""
import os
import re
import struct
import sys

KIB = 1024
# architecture -> (machine, size budget in bytes)
ARCHITECTURES = {
    "x64": (0x8664, 40 * KIB),
    "x86": (0x14C, 36 * KIB),
    "arm64": (0xAA64, 40 * KIB),
}
# file name -> the architecture of the deliverable of that name
DELIVERABLES = {"orvane.exe": "x64", "kelmis.exe": "x86"}
IMPORTS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}

GUI_SUBSYSTEM = 2
RELOCS_STRIPPED = 0x0001
HIGH_ENTROPY_VA = 0x0020
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
NO_SEH = 0x0400
MEM_SHARED = 0x10000000
MEM_EXECUTE = 0x20000000
MEM_WRITE = 0x80000000
IMPORT_DIRECTORY, RESOURCE_DIRECTORY, RELOC_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 2, 5, 13
RT_MANIFEST = 24
FLAG_NAMES = ((HIGH_ENTROPY_VA, "HIGH_ENTROPY_VA"), (DYNAMIC_BASE, "DYNAMIC_BASE"), (NX_COMPAT, "NX_COMPAT"),
              (NO_SEH, "NO_SEH"))


def image_checksum(data, field):
    """The PE checksum of an image whose checksum field lies at offset
    `field`: its 16-bit words summed with the carries folded back (the field
    counted as zero), plus its length."""
    total = 0
    padded = bytes(data[:field]) + b"\0\0\0\0" + bytes(data[field + 4:]) + b"\0" * (len(data) % 2)
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


class Image:
    """The parts of a PE file that the checks read."""

    def __init__(self, data):
        self.data = data
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        (self.machine, count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, self.pe + 4)
        self.optional = self.pe + 24
        magic = struct.unpack_from("<H", data, self.optional)[0]
        wide = magic == 0x20B
        self.checksum_field = self.optional + 64
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", data, self.optional + 68)
        directories = self.optional + (112 if wide else 96)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        self.sections = []
        table = self.optional + optional_size
        for i in range(count):
            entry = table + 40 * i
            name = data[entry:entry + 8].rstrip(b"\0").decode("ascii", "replace")
            virtual_size, address, raw_size, raw_offset = struct.unpack_from("<IIII", data, entry + 8)
            flags = struct.unpack_from("<I", data, entry + 36)[0]
            self.sections.append((name, address, max(virtual_size, raw_size), raw_offset, flags))
        self.pointer = "<Q" if wide else "<I"

    def offset(self, rva):
        for _, address, size, raw_offset, _ in self.sections:
            if address <= rva < address + size:
                return raw_offset + rva - address
        raise ValueError("address 0x%x lies in no section" % rva)

    def string(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def imported_dlls(self):
        rva, size = self.directories[IMPORT_DIRECTORY]
        names = []
        at = self.offset(rva) if size else None
        while at is not None:
            name_rva = struct.unpack_from("<I", self.data, at + 12)[0]
            if name_rva == 0:
                break
            names.append(self.string(name_rva))
            at += 20
        return names

    def resource(self, kind, ident):
        """The bytes of resource kind/ident (first language), or None."""
        rva, size = self.directories[RESOURCE_DIRECTORY]
        if not size:
            return None
        root = self.offset(rva)

        def entry(directory, wanted):
            named, numbered = struct.unpack_from("<HH", self.data, directory + 12)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", self.data, directory + 16 + 8 * i)
                if wanted is None or (not name & 0x80000000 and name == wanted):
                    return target
            return None

        directory = root
        for wanted in (kind, ident, None):
            target = entry(directory, wanted)
            if target is None:
                return None
            if target & 0x80000000:
                directory = root + (target & 0x7FFFFFFF)
            else:
                data_rva, data_size = struct.unpack_from("<II", self.data, root + target)
                start = self.offset(data_rva)
                return self.data[start:start + data_size]
        return None


def problems_of(path, arch=None):
    """(facts, problems) of one deliverable, of the architecture its name
    gives or of `arch`."""
    name = os.path.basename(path)
    if name not in DELIVERABLES:
        return "", ["%s is not a deliverable (%s)" % (name, ", ".join(sorted(DELIVERABLES)))]
    arch = arch or DELIVERABLES[name]
    machine, budget = ARCHITECTURES[arch]
    with open(path, "rb") as f:
        data = f.read()
    try:
        image = Image(data)
    except (ValueError, struct.error) as error:
        return "", ["not a PE image: %s" % error]
    problems = []
    if image.machine != machine:
        problems.append("machine 0x%x, not 0x%x (%s)" % (image.machine, machine, arch))
    if image.subsystem != GUI_SUBSYSTEM:
        problems.append("subsystem %d, not the GUI subsystem (2)" % image.subsystem)
    wanted = DYNAMIC_BASE | NX_COMPAT | (NO_SEH if arch == "x86" else HIGH_ENTROPY_VA)
    for flag, flag_name in FLAG_NAMES:
        if wanted & flag and not image.dll_characteristics & flag:
            problems.append("%s is not set" % flag_name)
    if image.characteristics & RELOCS_STRIPPED or not image.directories[RELOC_DIRECTORY][1]:
        problems.append("the base relocations are stripped (no address randomisation)")
    for section, _, _, _, flags in image.sections:
        if flags & MEM_WRITE and flags & MEM_EXECUTE:
            problems.append("section %s is writable and executable" % section)
        if flags & MEM_WRITE and flags & MEM_SHARED:
            problems.append("section %s is writable and shared between processes" % section)
    try:
        dlls = image.imported_dlls()
    except (ValueError, struct.error) as error:
        dlls = []
        problems.append("the import table cannot be read: %s" % error)
    if {d.lower() for d in dlls} != IMPORTS or len(dlls) != len(IMPORTS):
        problems.append("imports %s, not exactly %s" % (", ".join(dlls) or "nothing", ", ".join(sorted(IMPORTS))))
    if image.directories[DELAY_IMPORT_DIRECTORY][1]:
        problems.append("DLLs are imported delayed (loaded by name later)")
    try:
        manifest = image.resource(RT_MANIFEST, 1)
    except (ValueError, struct.error):
        manifest = None
    level = re.search(rb'requestedExecutionLevel\s+level="([^"]*)"', manifest or b"")
    if not level:
        problems.append("no manifest (resource 1 of type 24) with a requested execution level")
    elif level.group(1) != b"asInvoker":
        problems.append("the manifest asks for %s, not asInvoker" % level.group(1).decode("ascii", "replace"))
    written, computed = struct.unpack_from("<I", data, image.checksum_field)[0], image_checksum(data,
                                                                                             image.checksum_field)
    if written != computed:
        problems.append("the checksum in the header is 0x%x, the image's is 0x%x" % (written, computed))
    if len(data) > budget:
        problems.append("%d bytes, over the budget of %d (%d KiB) by %d" % (len(data), budget, budget // KIB,
                                                                          len(data) - budget))
    flags = [flag_name for flag, flag_name in FLAG_NAMES if image.dll_characteristics & flag]
    facts = "%s: %s, %d bytes (budget %d), %s, imports %s, manifest %s" % (
        name, arch, len(data), budget, "|".join(flags) or "no flags", ", ".join(dlls) or "nothing",
        level.group(1).decode("ascii", "replace") if level else "none")
    return facts, problems


def main(arguments):
    arch, files = None, []
    while arguments:
        if arguments[0] == "--arch" and len(arguments) > 1 and arguments[1] in ARCHITECTURES:
            arch = arguments[1]
            arguments = arguments[2:]
        else:
            files.append((arguments[0], arch))
            arguments = arguments[1:]
    if not files or any(path.startswith("--") for path, _ in files):
        sys.exit(__doc__.split("\n\n")[1].strip())
    failed = False
    for path, arch in files:
        facts, problems = problems_of(path, arch)
        print(facts or os.path.basename(path))
        for problem in problems:
            print("  FAILED: %s: %s" % (os.path.basename(path), problem))
        failed = failed or bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
