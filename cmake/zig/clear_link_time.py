"""Sets the link time that lld writes into a PE file to 0, as GNU ld does
with --no-insert-timestamp, so that linking the same objects twice gives the
same bytes. zig's linker driver takes no option to leave the time out.

The time lies in the COFF file header and in each debug directory entry (the
one naming the PDB among them); the export directory's is already 0.

usage: clear_link_time.py FILE.dll|FILE.exe
"""
import struct
import sys


def clear(path):
    with open(path, "r+b") as pe:
        image = bytearray(pe.read())
        if image[:2] != b"MZ":
            sys.exit(f"{path}: not a PE file")
        header = struct.unpack_from("<I", image, 0x3C)[0]
        if image[header:header + 4] != b"PE\0\0":
            sys.exit(f"{path}: not a PE file")
        coff = header + 4
        sections, optional_size = struct.unpack_from("<H", image, coff + 2)[0], struct.unpack_from("<H", image, coff + 16)[0]
        struct.pack_into("<I", image, coff + 4, 0)
        optional = coff + 20
        directories = optional + (112 if struct.unpack_from("<H", image, optional)[0] == 0x20B else 96)
        debug_rva, debug_size = struct.unpack_from("<II", image, directories + 6 * 8)
        table = optional + optional_size
        for index in range(sections):
            entry = table + index * 40
            size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", image, entry + 8)
            if debug_size and rva <= debug_rva < rva + max(size, raw_size):
                start = raw_offset + debug_rva - rva
                for offset in range(start, start + debug_size, 28):
                    struct.pack_into("<I", image, offset + 4, 0)
        pe.seek(0)
        pe.write(image)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    clear(sys.argv[1])
