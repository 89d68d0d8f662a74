#!/usr/bin/env bash
# Checks the export tables of build/win64/QOVLIB.dll and build/win32/QOVLIB.dll:
#  - objdump -p lists exactly the names of tests/wine/exports/QOVLIB-<arch>.txt,
#    line for line, and no export is by ordinal only;
#  - every decorated name demangles (llvm-undname) to a signature of
#    scripts/export_signatures.txt, each signature exactly once;
#  - every decorated name of the export file maps to the Itanium symbol of
#    the same function and parameters;
#  - the DLL imports only Windows system DLLs.
# Usage: scripts/check_exports.sh [build-root]   (default: build)
set -uo pipefail
cd "$(dirname "$0")/.."
root="${1:-build}"

undname=$(command -v llvm-undname || ls /usr/bin/llvm-undname-* 2>/dev/null | head -1)
[ -n "$undname" ] || { echo "check_exports: llvm-undname not found" >&2; exit 1; }

# System DLLs the library may import (lower case).
system_dlls=" kernel32.dll msvcrt.dll user32.dll advapi32.dll ole32.dll oleaut32.dll setupapi.dll ws2_32.dll winspool.drv "

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }

# "ret __cdecl name(a, b *)" and c++filt's "name(a, b*)" as "name(a,b*)".
normalise() { sed -E 's/^.* __cdecl //; s/ //g; s/\(void\)/()/'; }

expected_signatures=$(grep -v '^#' scripts/export_signatures.txt | LC_ALL=C sort)

check_arch() {
    local arch=$1 dir=$2 objdump=$3 def=$4
    local dll="$root/$dir/QOVLIB.dll"
    echo "QOVLIB.dll $arch ($dll)"
    if [ ! -f "$dll" ]; then
        fail "$dll does not exist (make dll)"
        return
    fi
    local dump
    dump=$("$objdump" -p "$dll") || { fail "objdump cannot read $dll"; return; }

    # Export names, from the name pointer table.
    local names
    names=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
                 on && /^[ \t]*\[/ {print $NF; next}
                 on {exit}' <<<"$dump")
    if diff <(printf '%s\n' "$names") "tests/wine/exports/QOVLIB-$arch.txt" >/dev/null; then
        echo "  exports: the $(wc -l <<<"$names") names of tests/wine/exports/QOVLIB-$arch.txt"
    else
        fail "export names differ from tests/wine/exports/QOVLIB-$arch.txt:"
        diff <(printf '%s\n' "$names") "tests/wine/exports/QOVLIB-$arch.txt" | head -20 | sed 's/^/    /'
    fi
    local functions
    functions=$(awk '/^[ \t]*Export Address Table[ \t]+[0-9a-fA-F]+$/ {print $NF; exit}' <<<"$dump")
    [ "$((16#${functions:-0}))" -eq "$(wc -l <<<"$names")" ] ||
        fail "the export address table has $((16#${functions:-0})) entries for $(wc -l <<<"$names") names"

    # Decorated names demangle to the expected signatures.
    local signatures
    signatures=$(grep '^?' <<<"$names" | "$undname" | grep -v -e '^?' -e '^$' | LC_ALL=C sort)
    if [ "$signatures" = "$expected_signatures" ]; then
        echo "  decorations: $(wc -l <<<"$signatures") signatures as scripts/export_signatures.txt lists them"
    else
        fail "demangled signatures differ from scripts/export_signatures.txt:"
        diff <(printf '%s\n' "$signatures") <(printf '%s\n' "$expected_signatures") | head -20 | sed 's/^/    /'
    fi

    # Each exported=internal pair of the export file names one function.
    local pairs=0 wrong=0 line ms it
    while IFS= read -r line; do
        ms=${line%%=*}
        it=${line#*=}
        pairs=$((pairs + 1))
        if [ "$("$undname" "$ms" | sed -n 2p | normalise)" != "$(c++filt "$it" | normalise)" ]; then
            fail "$def maps $ms to $it ($(c++filt "$it"))"
            wrong=$((wrong + 1))
        fi
    done < <(grep '^?' "$def")
    [ "$wrong" -ne 0 ] ||
        echo "  export file: $pairs decorated names mapped to the Itanium symbols of the same signatures"

    # Imports: Windows system DLLs only.
    local imports bad=""
    imports=$(awk '/DLL Name:/ {print $3}' <<<"$dump")
    for d in $imports; do
        case "$system_dlls" in
            *" ${d,,} "*) ;;
            *) bad="$bad $d" ;;
        esac
    done
    if [ -n "$bad" ]; then
        fail "imports DLLs that are not part of Windows:$bad"
    else
        echo "  imports: $(echo $imports)"
    fi
}

check_arch x64 win64 x86_64-w64-mingw32-objdump QOVLIB.def
check_arch x86 win32 i686-w64-mingw32-objdump "$root/win32/QOVLIB-x86.def"

if [ "$failures" -ne 0 ]; then
    echo "export check: $failures failure(s)"
    exit 1
fi
echo "export check: passed"
