#!/usr/bin/env bash
# Unpacks the add-in archive and checks it as the host and the equipment
# library will read it:
#   - exactly MANIFEST.XML, INFO.XML and the two DLLs;
#   - MANIFEST.XML: a `bundle` root in the add-in bundle namespace with one
#     native Windows `component` per DLL, x86_64 and i386, each path naming a
#     file of the archive whose PE machine matches its arch, byte for byte the
#     DLL of dist/win64 or dist/win32;
#   - INFO.XML: a `drivers` root with one `component` (progid, type "ККТ",
#     name, version), the version being a file version carried by the DLLs;
#   - README.md: every object its 1C examples create with
#     Новый("AddIn.<name>.<class>") is the progid INFO.XML declares.
#
#   tools/check-package.sh [ZIP]     (default dist/KelmorTarvik1CNative.zip)
# Prints one line per check and ends with "SUMMARY: N passed, N failed".
set -uo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
ZIP="${1:-$SRC/dist/KelmorTarvik1CNative.zip}"

python3 - "$ZIP" "$SRC/dist" "$SRC/README.md" <<'PY'
import os
import re
import struct
import sys
import tempfile
import xml.etree.ElementTree as ET
import zipfile

zip_path, dist, readme_path = sys.argv[1], sys.argv[2], sys.argv[3]
passed = failed = 0


def check(ok, what, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print("PASS: " + what)
    else:
        failed += 1
        print("FAIL: " + what + (" (" + detail + ")" if detail else ""))
    return ok


def finish():
    print("SUMMARY: %d passed, %d failed" % (passed, failed))
    sys.exit(1 if failed else 0)


def pe_machine(data):
    if len(data) < 0x40 or data[:2] != b"MZ":
        return None
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, pe + 4)[0]


def file_versions(data):
    # Every VS_FIXEDFILEINFO in the file: signature, structure version, then
    # the file version's two words.
    found = set()
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    while at >= 0:
        ms, ls = struct.unpack_from("<II", data, at + 8)
        found.add("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
        at = data.find(struct.pack("<I", 0xFEEF04BD), at + 4)
    return found


if not check(os.path.isfile(zip_path), "the archive exists", zip_path):
    finish()
try:
    archive = zipfile.ZipFile(zip_path)
except zipfile.BadZipFile as e:
    check(False, "the archive opens", str(e))
    finish()

with archive, tempfile.TemporaryDirectory() as unpacked:
    names = archive.namelist()
    check(archive.testzip() is None, "every member unpacks with its CRC")
    archive.extractall(unpacked)
    dlls = sorted(n for n in names if n.lower().endswith(".dll"))
    check(sorted(names) == sorted(["MANIFEST.XML", "INFO.XML"] + dlls) and len(dlls) == 2,
          "the archive holds MANIFEST.XML, INFO.XML and two DLLs", ", ".join(names))

    def read(name):
        with open(os.path.join(unpacked, name), "rb") as f:
            return f.read()

    # MANIFEST.XML
    bundle_ns = "{http://v8.1c.ru/8.2/addin/bundle}"
    try:
        manifest = ET.fromstring(read("MANIFEST.XML"))
    except (OSError, ET.ParseError) as e:
        manifest = None
        check(False, "MANIFEST.XML parses", str(e))
    if manifest is not None:
        check(manifest.tag == bundle_ns + "bundle", "MANIFEST.XML: root `bundle` in the bundle namespace", manifest.tag)
        components = list(manifest)
        check(len(components) == 2 and all(c.tag == bundle_ns + "component" for c in components),
              "MANIFEST.XML: two `component` elements", str([c.tag for c in components]))
        wanted = {"x86_64": (0x8664, "win64"), "i386": (0x14C, "win32")}
        arches = sorted(c.get("arch", "") for c in components)
        check(arches == sorted(wanted), "MANIFEST.XML: one component per arch", str(arches))
        paths = set()
        for c in components:
            arch = c.get("arch", "")
            check(c.get("os") == "Windows" and c.get("type") == "native",
                  "MANIFEST.XML %s: os Windows, type native" % arch, str(c.attrib))
            path = c.get("path", "")
            paths.add(path)
            if not check(path in dlls, "MANIFEST.XML %s: path %s is in the archive" % (arch, path)):
                continue
            data = read(path)
            if arch in wanted:
                machine, folder = wanted[arch]
                check(pe_machine(data) == machine, "%s is a DLL for %s" % (path, arch), str(pe_machine(data)))
                built = os.path.join(dist, folder, "KelmorTarvik1CNative.dll")
                check(os.path.isfile(built) and open(built, "rb").read() == data,
                      "%s is the DLL of dist/%s" % (path, folder))
        check(paths == set(dlls), "MANIFEST.XML names both DLLs", str(paths))

    # INFO.XML
    try:
        info = ET.fromstring(read("INFO.XML"))
    except (OSError, ET.ParseError) as e:
        info = None
        check(False, "INFO.XML parses", str(e))
    if info is not None:
        check(info.tag == "drivers", "INFO.XML: root `drivers`", info.tag)
        components = list(info)
        if check(len(components) == 1 and components[0].tag == "component", "INFO.XML: one `component`",
                 str([c.tag for c in components])):
            c = components[0]
            check(c.get("progid") == "AddIn.KelmorTarvik1C4.KelmorTarvik1C4", "INFO.XML: progid", str(c.get("progid")))
            check(c.get("type") == "ККТ", "INFO.XML: type ККТ", str(c.get("type")))
            check(c.get("name") == "Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)",
                  "INFO.XML: name", str(c.get("name")))
            versions = [file_versions(read(d)) for d in dlls]
            check(all(c.get("version") in v for v in versions),
                  "INFO.XML: version %s is the DLLs' file version" % c.get("version"), str(versions))

            # The README's 1C examples create the object the package declares.
            try:
                with open(readme_path, encoding="utf-8") as f:
                    readme = f.read()
            except OSError as e:
                readme = ""
                check(False, "README.md reads", str(e))
            examples = "\n".join(re.findall(r"^```bsl\n(.*?)^```", readme, re.S | re.M))
            progids = re.findall(r'(?:Новый|New)\s*\(\s*"(AddIn\.[^"]*)"\s*\)', examples)
            check(progids and all(p == c.get("progid") for p in progids),
                  "README.md: the 1C examples create %s, the progid of INFO.XML" % c.get("progid"), str(progids))
finish()
PY
