"""Replaces the build time widl writes into a type library with a fixed moment.

widl stamps the library twice: a "Created by WIDL version ... at <ctime>" text
and the same moment as a 32-bit number in the library's custom data. Both
become the given moment (seconds since 1970, shown in UTC), so two builds of
one source give the same bytes.

usage: fix_typelib_date.py LIBRARY.tlb SECONDS
"""
import calendar
import re
import struct
import sys
import time

CTIME = re.compile(rb"Created by WIDL version [^\n]* at "
                   rb"((?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) [A-Z][a-z]{2} [ 0-9]\d \d\d:\d\d:\d\d \d{4})")


def ctime_text(moment):
    """The 24 characters of C's ctime() for a moment, in UTC."""
    t = time.gmtime(moment)
    return time.strftime("%a %b ", t) + f"{t.tm_mday:2d}" + time.strftime(" %H:%M:%S %Y", t)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, fixed = sys.argv[1], int(sys.argv[2])
    data = bytearray(open(path, "rb").read())

    found = CTIME.search(data)
    if not found:
        sys.exit(f"{path}: no widl build time found")
    stamp = found.group(1).decode("ascii")
    # widl wrote local time; read it back the same way to get its number.
    written = int(time.mktime(time.strptime(stamp, "%a %b %d %H:%M:%S %Y")))
    data[found.start(1):found.end(1)] = ctime_text(fixed).encode("ascii")

    # The number may be a second off the text when widl's clock ticked between.
    for candidate in (written, written - 1, written + 1):
        packed = struct.pack("<I", candidate & 0xFFFFFFFF)
        if data.count(packed) == 1:
            at = data.index(packed)
            data[at:at + 4] = struct.pack("<I", fixed & 0xFFFFFFFF)
            break
    else:
        sys.exit(f"{path}: the build time {stamp} is not stored exactly once as a number")
    open(path, "wb").write(bytes(data))


if __name__ == "__main__":
    main()
