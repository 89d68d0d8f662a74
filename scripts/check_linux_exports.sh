#!/usr/bin/env bash
# Checks the dynamic symbol table of libqovlib.so: it defines exactly the 114
# functions of the API - the plain names of QOVLIB.def and, for its decorated
# names, the Itanium symbols they map to - and the C++ ones demangle to the
# signatures of scripts/export_signatures.txt.
# Usage: scripts/check_linux_exports.sh [path/to/libqovlib.so]
set -uo pipefail
cd "$(dirname "$0")/.."
lib="${1:-build/linux/libqovlib.so}"
[ -f "$lib" ] || { echo "check_linux_exports: $lib does not exist" >&2; exit 1; }

failures=0
fail() { echo "  FAIL: $*"; failures=$((failures + 1)); }

defined=$(nm -D --defined-only "$lib" | awk '{print $NF}' | LC_ALL=C sort)
expected=$(awk '/^[?][^=]+=/ {sub(/^[^=]*=/, ""); print; next}
                /^[A-Za-z_][A-Za-z0-9_]*$/ && $0 != "EXPORTS" {print}' QOVLIB.def | LC_ALL=C sort)

echo "libqovlib.so ($lib)"
[ "$(wc -l <<<"$expected")" -eq 114 ] || fail "QOVLIB.def yields $(wc -l <<<"$expected") names, not 114"
if [ "$defined" = "$expected" ]; then
    echo "  symbols: exactly the $(wc -l <<<"$defined") functions of the API"
else
    fail "defined dynamic symbols differ from the API (< library, > API):"
    diff <(printf '%s\n' "$defined") <(printf '%s\n' "$expected") | grep '^[<>]' | head -30 | sed 's/^/    /'
fi

# "ret __cdecl name(a, b *)" and c++filt's "name(a, b*)" as "name(a,b*)".
normalise() { sed -E 's/^.* __cdecl //; s/ //g; s/\(void\)/()/'; }
signatures=$(grep '^_Z' <<<"$defined" | c++filt | normalise | LC_ALL=C sort)
wanted=$(grep -v '^#' scripts/export_signatures.txt | normalise | LC_ALL=C sort)
if [ "$signatures" = "$wanted" ]; then
    echo "  C++ functions: the $(wc -l <<<"$signatures") signatures of scripts/export_signatures.txt"
else
    fail "C++ symbols differ from scripts/export_signatures.txt:"
    diff <(printf '%s\n' "$signatures") <(printf '%s\n' "$wanted") | head -20 | sed 's/^/    /'
fi

if [ "$failures" -ne 0 ]; then
    echo "linux export check: $failures failure(s)"
    exit 1
fi
echo "linux export check: passed"
