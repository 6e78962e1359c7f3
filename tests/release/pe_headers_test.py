#!/usr/bin/env python3
"""pe_headers_test.py WIN64_TREE WIN32_TREE ARM64_TREE

The deliverables of the three build trees keep the promises of their PE
headers (tools/pe_check.py), and a copy with one promise broken, a row
each, is refused with a message that names it.
"""
import os
import shutil
import struct
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import pe_check  # noqa: E402


def set_flag(offset_of, flag, clear=False):
    def patch(data, image):
        at = offset_of(image)
        value = struct.unpack_from("<I", data, at)[0]
        struct.pack_into("<I", data, at, value & ~flag if clear else value | flag)
    return patch


def dll_flags(image):
    # DllCharacteristics shares its 32 bits with the subsystem before it.
    return image.optional + 68


def section_flags(name):
    def offset(image):
        table = image.optional + struct.unpack_from("<H", image.data, image.pe + 20)[0]
        index = [s[0] for s in image.sections].index(name)
        return table + 40 * index + 36
    return offset


def writable_section(image):
    return next(s[0] for s in image.sections if s[4] & pe_check.MEM_WRITE)


def replace(old, new):
    def patch(data, image):
        at = data.index(old)
        data[at:at + len(old)] = new
    return patch


def grow_by(arch, extra):
    def patch(data, image):
        budget = pe_check.ARCHITECTURES[arch][1]
        data.extend(b"\0" * (budget - len(data) + extra))
    return patch


def machine(value):
    def patch(data, image):
        struct.pack_into("<H", data, image.pe + 4, value)
    return patch


def shared_writable(data, image):
    set_flag(section_flags(writable_section(image)), pe_check.MEM_SHARED)(data, image)


# (what is broken, deliverable, patch, text the refusal must hold)
ROWS = [
    ("NO_SEH", "kelmis.exe", set_flag(dll_flags, pe_check.NO_SEH << 16, clear=True), "NO_SEH is not set"),
    ("high-entropy addresses", "orvane.exe", set_flag(dll_flags, pe_check.HIGH_ENTROPY_VA << 16, clear=True),
     "HIGH_ENTROPY_VA is not set"),
    ("address randomisation", "kelmis.exe", set_flag(dll_flags, pe_check.DYNAMIC_BASE << 16, clear=True),
     "DYNAMIC_BASE is not set"),
    ("no-execute data", "orvane.exe", set_flag(dll_flags, pe_check.NX_COMPAT << 16, clear=True),
     "NX_COMPAT is not set"),
    ("subsystem", "orvane.exe", lambda data, image: struct.pack_into("<H", data, image.optional + 68, 3),
     "not the GUI subsystem"),
    ("relocations", "kelmis.exe", set_flag(lambda image: image.pe + 20, pe_check.RELOCS_STRIPPED << 16),
     "relocations are stripped"),
    ("writable code", "orvane.exe", set_flag(section_flags(".text"), pe_check.MEM_WRITE),
     "section .text is writable and executable"),
    ("shared data", "kelmis.exe", shared_writable, "writable and shared"),
    ("imports", "orvane.exe", replace(b"SHELL32.dll", b"SHELL33.dll"), "not exactly"),
    ("manifest", "kelmis.exe", replace(b'level="asInvoker"', b'level="noInvoker"'), "asks for noInvoker"),
    ("size", "kelmis.exe", grow_by("x86", 1), "over the budget of 36864 (36 KiB) by 1"),
    ("ARM64 machine", "arm64/kelmis.exe", machine(0x8664), "machine 0x8664, not 0xaa64 (arm64)"),
    ("ARM64 high-entropy addresses", "arm64/orvane.exe", set_flag(dll_flags, pe_check.HIGH_ENTROPY_VA << 16,
                                                                  clear=True), "HIGH_ENTROPY_VA is not set"),
    ("ARM64 writable code", "arm64/kelmis.exe", set_flag(section_flags(".text"), pe_check.MEM_WRITE),
     "section .text is writable and executable"),
    ("ARM64 imports", "arm64/orvane.exe", replace(b"shell32.dll", b"shell33.dll"), "not exactly"),
    ("ARM64 size", "arm64/orvane.exe", grow_by("arm64", 1), "over the budget of 40960 (40 KiB) by 1"),
    ("ARM64 checksum", "arm64/kelmis.exe", lambda data, image: struct.pack_into("<I", data, image.checksum_field, 0),
     "the checksum in the header is 0x0"),
]


def main(win64, win32, arm64):
    deliverables = {"orvane.exe": os.path.join(win64, "src", "launcher", "orvane.exe"),
                    "kelmis.exe": os.path.join(win32, "src", "launcher", "kelmis.exe"),
                    "arm64/orvane.exe": os.path.join(arm64, "src", "launcher", "orvane.exe"),
                    "arm64/kelmis.exe": os.path.join(arm64, "src", "launcher", "kelmis.exe")}
    failures = 0
    if pe_check.main(list(deliverables.values())[:2] + ["--arch", "arm64"] + list(deliverables.values())[2:]) != 0:
        print("FAILED: the deliverables break promises of their PE headers")
        failures += 1
    work = tempfile.mkdtemp(prefix="launchers-pe.")
    try:
        for what, name, patch, expected in ROWS:
            with open(deliverables[name], "rb") as f:
                data = bytearray(f.read())
            image = pe_check.Image(bytes(data))
            patch(data, image)
            # Each copy breaks one promise: its checksum is made right again,
            # but in the row that breaks the checksum.
            if "checksum" not in what:
                struct.pack_into("<I", data, image.checksum_field, pe_check.image_checksum(data, image.checksum_field))
            copy = os.path.join(work, what.replace(" ", "_"), os.path.basename(name))
            os.makedirs(os.path.dirname(copy))
            with open(copy, "wb") as f:
                f.write(data)
            _, problems = pe_check.problems_of(copy, "arm64" if name.startswith("arm64/") else None)
            if not any(expected in problem for problem in problems):
                print("FAILED: %s broken in %s: refused with %s, expected \"%s\"" % (what, name, problems, expected))
                failures += 1
            else:
                print("refused, %s broken in %s: %s" % (what, name, "; ".join(problems)))
    finally:
        shutil.rmtree(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
