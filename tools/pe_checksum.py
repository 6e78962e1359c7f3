#!/usr/bin/env python3
"""Writes the checksum of a PE image into its header.

    tools/pe_checksum.py FILE...

GNU ld writes it for the x64 and x86 programs; lld 14 leaves it zero. The
ARM64 launchers get it here, after their link: removing an Authenticode
signature (osslsigncode remove-signature) computes the checksum anew, and a
signed release must give back the unsigned program bit for bit.
"""
import struct
import sys

from pe_check import Image, image_checksum


def main(paths):
    if not paths:
        sys.exit(__doc__.split("\n\n")[1].strip())
    for path in paths:
        with open(path, "rb") as f:
            data = bytearray(f.read())
        field = Image(bytes(data)).checksum_field
        struct.pack_into("<I", data, field, image_checksum(data, field))
        with open(path, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
