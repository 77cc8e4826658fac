#!/usr/bin/env bash
# Checks built add-in DLLs the way the host will meet them:
#   - the export table holds exactly GetClassObject, GetClassNames and
#     DestroyObject, undecorated (no @N suffix, no leading underscore);
#   - no MinGW runtime DLL is imported (libstdc++, libgcc_s, libwinpthread):
#     the runtime is linked in statically.
# The shipped programs (*.exe, such as kelmorcheck.exe) are checked for the
# same runtime imports and for exporting nothing.
#   tools/check-dll.sh DLL|EXE...
# Prints one line per check and ends with "SUMMARY: N passed, N failed".
set -uo pipefail

OBJDUMP="${OBJDUMP:-x86_64-w64-mingw32-objdump}"
EXPECTED="DestroyObject GetClassNames GetClassObject"
passed=0
failed=0

check() {  # condition-status description [detail]
    if [[ "$1" == 0 ]]; then
        echo "PASS: $2"
        passed=$((passed + 1))
    else
        echo "FAIL: $2${3:+ ($3)}"
        failed=$((failed + 1))
    fi
}

for dll in "$@"; do
    name="$(basename "$(dirname "$dll")")/$(basename "$dll")"
    if [[ ! -f "$dll" ]]; then
        check 1 "$name exists" "no file $dll"
        continue
    fi
    if ! dump="$("$OBJDUMP" -p "$dll" 2>&1)"; then
        check 1 "$name is a readable PE file" "$dump"
        continue
    fi
    # Export names: the rows of the name pointer table, "[   0] Name".
    exports="$(awk '/\[Ordinal\/Name Pointer\] Table/ { t = 1; next }
                    t && /^[[:space:]]*\[ *[0-9]+\]/ { sub(/^[[:space:]]*\[ *[0-9]+\][[:space:]]*/, ""); print; next }
                    t && NF == 0 { t = 0 }' <<<"$dump" | sort | tr '\n' ' ' | sed 's/ $//')"
    if [[ "$dll" == *.exe ]]; then
        [[ -z "$exports" ]]
        check $? "$name exports nothing" "found: $exports"
    else
        [[ "$exports" == "$EXPECTED" ]]
        check $? "$name exports exactly $EXPECTED" "found: ${exports:-none}"
    fi
    imports="$(awk '/DLL Name:/ { print $3 }' <<<"$dump" | sort -u | tr '\n' ' ' | sed 's/ $//')"
    runtime="$(tr ' ' '\n' <<<"$imports" | grep -iE '^(libstdc\+\+|libgcc_s|libwinpthread)' | tr '\n' ' ' | sed 's/ $//')"
    [[ -z "$runtime" ]]
    check $? "$name imports no MinGW runtime DLL" "imports $runtime"
    echo "     imports: $imports"
done
echo "SUMMARY: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
