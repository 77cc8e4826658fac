#!/usr/bin/env bash
# Packs the two builds of the add-in into the archive the 1C:Enterprise host
# and its equipment library install:
#   dist/KelmorTarvik1CNative.zip
#     KelmorTarvik1CNative_x64.dll   from dist/win64
#     KelmorTarvik1CNative_x86.dll   from dist/win32
#     MANIFEST.XML                   the add-in bundle: one component per DLL
#     INFO.XML                       the driver's entry for the equipment library
#
#   tools/package.sh [OUT.zip]
#
# The version in INFO.XML is the library's file version (the first FILEVERSION
# of component/version.rc). Build both DLLs first (tools/build.sh win64 win32).
set -euo pipefail

SRC="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="${1:-$SRC/dist/KelmorTarvik1CNative.zip}"
case "$OUT" in /*) ;; *) OUT="$PWD/$OUT" ;; esac

DLL64="$SRC/dist/win64/KelmorTarvik1CNative.dll"
DLL32="$SRC/dist/win32/KelmorTarvik1CNative.dll"
NAME64=KelmorTarvik1CNative_x64.dll
NAME32=KelmorTarvik1CNative_x86.dll
CLASS=KelmorTarvik1C4
DRIVER_NAME="Pellmar / Kelmor: Tarvik с передачей данных в ОФД 4.7 (ФФД 1.2)"

for f in "$DLL64" "$DLL32"; do
    [[ -f "$f" ]] || { echo "package: missing $f (run tools/build.sh win64 win32)" >&2; exit 1; }
done
VERSION="$(sed -nE 's/^[[:space:]]*FILEVERSION[[:space:]]+([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+)[[:space:]]*,[[:space:]]*([0-9]+).*/\1.\2.\3.\4/p' \
    "$SRC/component/version.rc" | head -n 1)"
[[ -n "$VERSION" ]] || { echo "package: no FILEVERSION in component/version.rc" >&2; exit 1; }

# XML attribute text: & < > " escaped.
xml_attr() { sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$1"; }

work="$(mktemp -d "${TMPDIR:-/tmp}/kelmor-package.XXXXXX")"
trap 'rm -rf "$work"' EXIT
cp "$DLL64" "$work/$NAME64"
cp "$DLL32" "$work/$NAME32"

printf '%s\r\n' \
    '<?xml version="1.0" encoding="UTF-8"?>' \
    '<bundle xmlns="http://v8.1c.ru/8.2/addin/bundle">' \
    "  <component os=\"Windows\" path=\"$NAME64\" type=\"native\" arch=\"x86_64\"/>" \
    "  <component os=\"Windows\" path=\"$NAME32\" type=\"native\" arch=\"i386\"/>" \
    '</bundle>' >"$work/MANIFEST.XML"

printf '%s\r\n' \
    '<?xml version="1.0" encoding="UTF-8"?>' \
    '<drivers>' \
    "  <component progid=\"AddIn.$CLASS.$CLASS\" type=\"ККТ\" name=\"$(xml_attr "$DRIVER_NAME")\" version=\"$VERSION\"/>" \
    '</drivers>' >"$work/INFO.XML"

mkdir -p "$(dirname "$OUT")"
rm -f "$OUT"
# -X: no extra Unix attributes; -D: no folder entries; fixed order.
(cd "$work" && zip -q -X -D "$OUT" MANIFEST.XML INFO.XML "$NAME64" "$NAME32")
echo "package: $OUT (version $VERSION)"
