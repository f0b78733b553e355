"""Zips a release package so that the same inputs give the same bytes.

Entries come in the order given, under a folder named after the package, all
stamped with one moment (seconds since 1970, UTC) and with the same
attributes, whatever the files' own times and modes.

usage: make_package.py SECONDS OUTPUT.zip FOLDER FILE...
"""
import os
import sys
import time
import zipfile


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    epoch, output, folder, names = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4:]
    # Zip times have a two-second grain and begin in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    top = os.path.basename(os.path.normpath(folder))
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    partial = output + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(f"{top}/{name}", date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0        # MS-DOS: the attributes below are DOS ones
            entry.external_attr = 0x20     # archive
            with open(os.path.join(folder, name), "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)
    os.replace(partial, output)


if __name__ == "__main__":
    main()
