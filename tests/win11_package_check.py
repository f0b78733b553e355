#!/usr/bin/env python3
"""Checks the Windows 11 package of a release folder against the facts it
must agree with.

usage: win11_package_check.py PACKAGE_FOLDER GUIDS_C VERSION ARCHITECTURE

PACKAGE_FOLDER holds lumboExt.dll (the external location) and win11\\;
GUIDS_C is the GUID definitions the DLL's class table is built from (widl's
lumboExt_i.c); VERSION is the project's (x.y.z); ARCHITECTURE x64 or x86.
Prints one line per failed fact and exits 1 when any failed.
"""
import os
import re
import struct
import sys
import xml.etree.ElementTree as ElementTree

NS = {
    "m": "http://schemas.microsoft.com/appx/manifest/foundation/windows10",
    "uap": "http://schemas.microsoft.com/appx/manifest/uap/windows10",
    "uap10": "http://schemas.microsoft.com/appx/manifest/uap/windows10/10",
    "desktop4": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/4",
    "desktop5": "http://schemas.microsoft.com/appx/manifest/desktop/windows10/5",
    "com": "http://schemas.microsoft.com/appx/manifest/com/windows10",
}
LOGO_SIZES = {"Square44x44Logo.png": 44, "Square150x150Logo.png": 150, "StoreLogo.png": 50}


def class_table_clsid(guids_c):
    """The CLSID of the Windows 11 command as the DLL is compiled with it."""
    with open(guids_c, encoding="ascii", errors="replace") as source:
        text = source.read()
    match = re.search(r"CLSID_lumboExplorerCommand\s*,((?:\s*0x[0-9a-fA-F]+\s*,?){11})", text)
    if not match:
        return None
    parts = [int(number, 16) for number in re.findall(r"0x[0-9a-fA-F]+", match.group(1))]
    tail = "".join("%02X" % byte for byte in parts[3:])
    return "{%08X-%04X-%04X-%s-%s}" % (parts[0], parts[1], parts[2], tail[:4], tail[4:])


def png_size(path):
    with open(path, "rb") as image:
        header = image.read(24)
    if header[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", header[16:24])


def check(folder, guids_c, version, architecture):
    failures = []

    def expect(condition, message):
        if not condition:
            failures.append(message)
        return condition

    win11 = os.path.join(folder, "win11")
    manifest_path = os.path.join(win11, "AppxManifest.xml")
    try:
        root = ElementTree.parse(manifest_path).getroot()
    except (OSError, ElementTree.ParseError) as error:
        return ["AppxManifest.xml does not parse: %s" % error]

    clsid = class_table_clsid(guids_c)
    expect(clsid is not None, "no CLSID_lumboExplorerCommand in %s" % guids_c)

    identity = root.find("m:Identity", NS)
    if expect(identity is not None, "no Identity"):
        expect(identity.get("Version") == version + ".0",
               "Identity Version %s, the project's is %s" % (identity.get("Version"), version))
        expect(identity.get("ProcessorArchitecture") == architecture,
               "ProcessorArchitecture %s, expected %s" % (identity.get("ProcessorArchitecture"), architecture))
        expect(bool(identity.get("Publisher")), "no Publisher")
    external = root.find("m:Properties/uap10:AllowExternalContent", NS)
    expect(external is not None and external.text == "true", "external content not allowed")
    family = root.find("m:Dependencies/m:TargetDeviceFamily", NS)
    expect(family is not None and family.get("MinVersion") == "10.0.19041.0",
           "MinVersion is not 10.0.19041.0, the first to register external content")

    applications = root.findall("m:Applications/m:Application", NS)
    if expect(len(applications) == 1, "%d applications, expected one" % len(applications)):
        application = applications[0]
        expect(application.get("{%s}TrustLevel" % NS["uap10"]) == "mediumIL", "TrustLevel is not mediumIL")
        expect(application.get("{%s}RuntimeBehavior" % NS["uap10"]) == "win32App", "RuntimeBehavior is not win32App")
        verbs = {}
        for item in application.findall(".//desktop4:FileExplorerContextMenus/desktop5:ItemType", NS):
            verbs[item.get("Type")] = [verb.get("Clsid") for verb in item.findall("desktop5:Verb", NS)]
        expect(verbs == {"*": [clsid], "Directory": [clsid]},
               "context-menu item types %s, expected * and Directory naming %s" % (verbs, clsid))
        classes = application.findall(".//com:Extension/com:ComServer//com:Class", NS)
        expect([(c.get("Id"), c.get("Path")) for c in classes] == [(clsid, "lumboExt.dll")],
               "COM classes %s, expected %s in lumboExt.dll" % ([(c.get("Id"), c.get("Path")) for c in classes], clsid))
        for c in classes:
            expect(os.path.isfile(os.path.join(folder, c.get("Path") or "")),
                   "%s is not in the external location" % c.get("Path"))

    # Every file the package itself must carry.
    named = [root.find("m:Properties/m:Logo", NS)]
    named = [element.text for element in named if element is not None]
    for element in root.iter("{%s}VisualElements" % NS["uap"]):
        named += [element.get(name) for name in ("Square150x150Logo", "Square44x44Logo")]
    expect(len(named) == 3, "%d logos named, expected 3" % len(named))
    for name in named:
        path = os.path.join(win11, *(name or "").split("\\"))
        if expect(os.path.isfile(path), "%s is not in the package" % name):
            size = LOGO_SIZES.get(os.path.basename(path))
            expect(size is not None and png_size(path) == (size, size),
                   "%s is %s, not a PNG of %s pixels" % (name, png_size(path), size))
    expect(os.path.isfile(os.path.join(win11, "README.txt")), "no README.txt")
    return failures


def main(argv):
    if len(argv) != 5:
        sys.stderr.write(__doc__)
        return 2
    failures = check(*argv[1:])
    for failure in failures:
        print("FAILED: " + failure)
    if not failures:
        print("win11 package: agrees with the class table, the DLL's name, version %s and its files" % argv[3])
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
