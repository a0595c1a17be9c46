#!/usr/bin/env python3
"""Pads the linked icon library to its fixed size and embeds it as C++.

The size is how the program recognises its own library on disk, so a
library that has outgrown it stops the build. The padding is zeros after
the last section, which no loader reads.

usage: embed-library.py LINKED.dll SIZE OUT.dll OUT.cpp
"""
import sys


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    linked, size, out_dll, out_cpp = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
    with open(linked, "rb") as f:
        image = f.read()
    if not image.startswith(b"MZ"):
        sys.exit(f"{linked}: not an executable image")
    if len(image) > size:
        sys.exit(f"{linked}: {len(image)} bytes, more than the {size} the library must have")
    image += b"\0" * (size - len(image))
    with open(out_dll, "wb") as f:
        f.write(image)
    rows = [", ".join(f"0x{b:02x}" for b in image[i:i + 16]) for i in range(0, size, 16)]
    with open(out_cpp, "w", encoding="ascii") as f:
        f.write("// Generated from the linked icon library; do not edit.\n")
        f.write('#include "deploy/IconLibraryImage.h"\n\n')
        f.write("const std::array<std::uint8_t, IconLibrarySize> IconLibraryImage = {\n")
        f.write("".join(f"    {row},\n" for row in rows))
        f.write("};\n")


if __name__ == "__main__":
    main()
