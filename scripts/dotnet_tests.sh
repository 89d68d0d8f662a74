#!/usr/bin/env bash
# The .NET package under Mono: builds Qovlib.dll and Qovlib.<version>.nupkg
# (dotnet/build.sh), compiles the NUnit suite, puts it beside the Qovlib.dll
# and libqovlib.so taken out of the package, and runs it with NUnit 2.6
# against qovemu (each test starts its own). QOVLIB_THREAD_SECONDS is how
# long the eight-thread test shares one Printer (default 15; 60 for the full run).
# Usage: scripts/dotnet_tests.sh [nunit-console options, e.g. -run=Qovlib.Tests.PrinterTests]
set -uo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="$root/build/dotnet"
tests="$out/tests"
nunit=/usr/lib/cli/nunit.framework-2.6.3/nunit.framework.dll
fail() { echo "dotnet-tests: $*" >&2; exit 1; }

[ -f "$root/build/linux/libqovlib.so" ] || fail "build/linux/libqovlib.so is missing (make build)"
[ -x "$root/build/linux/qovemu" ] || fail "build/linux/qovemu is missing (make build)"
[ -f "$nunit" ] || fail "$nunit is missing (scripts/packages/dotnet.list)"
bash "$root/dotnet/build.sh" || fail "the package did not build"
package="$(ls "$out"/Qovlib.*.nupkg | head -n 1)"

rm -rf "$tests" && mkdir -p "$tests/tmp" || fail "cannot create $tests"
# What an application gets: the assembly and the Linux library out of the package.
unzip -q -j -d "$tests" "$package" lib/net45/Qovlib.dll runtimes/linux-x64/native/libqovlib.so \
  || fail "cannot unpack $package"
mcs -nologo -langversion:7.2 -target:library -warnaserror+ -out:"$tests/Qovlib.Tests.dll" \
  -r:"$tests/Qovlib.dll" -r:"$nunit" -r:System.Drawing.dll -r:System.IO.Compression.dll \
  -r:System.IO.Compression.FileSystem.dll -r:System.Xml.Linq.dll -r:System.Xml.dll "$root"/dotnet/tests/*.cs || fail "the tests did not compile"
cp "$nunit" "$tests/"

# A spooler that answers nothing at once: a loopback port nobody listens on.
closed_port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')"
shared="$root/../shared/exports"
[ -f "$shared/QOVLIB-x64.txt" ] || shared="$root/tests/wine/exports"
export QOVLIB_SOURCE_DIR="$root" QOVLIB_TEST_TMP="$tests/tmp" QOVLIB_EXPORT_LISTS="$shared" \
  QOVLIB_PACKAGE="$package" CUPS_SERVER="127.0.0.1:$closed_port" QOVLIB_THREAD_SECONDS="${QOVLIB_THREAD_SECONDS:-15}"
unset QOVLIB_LIBRARY QOVLIB_ANSI_CODEPAGE QOVLIB_COM1 QOVLIB_LPT1
echo "== NUnit (Mono $(mono --version | sed -n '1s/.*version \([^ ]*\).*/\1/p'); export lists from $shared; threads ${QOVLIB_THREAD_SECONDS} s)"
(cd "$tests" && timeout 600 nunit-console -nologo -labels -result="$tests/TestResult.xml" "$tests/Qovlib.Tests.dll" "$@") \
  | tee "$tests/nunit.log"
status="${PIPESTATUS[0]}"
counts="$(/usr/bin/python3 - "$tests/TestResult.xml" <<'PY'
import sys, xml.etree.ElementTree as ET
try:
    r = ET.parse(sys.argv[1]).getroot()
except Exception:
    print("0 0 0"); sys.exit()
total, errors, failures = int(r.get("total", 0)), int(r.get("errors", 0)), int(r.get("failures", 0))
skipped = int(r.get("not-run", 0))
print(total - errors - failures, errors + failures, skipped)
PY
)"
read -r passed failed skipped <<<"$counts"

echo "== the example, built on the package from a folder of its own, against qovemu"
. "$root/scripts/emulator_start.sh"
outside="$(mktemp -d)"
emulator_pid=""
cleanup() {
  [ -n "$emulator_pid" ] && kill -TERM "$emulator_pid" 2>/dev/null && wait "$emulator_pid" 2>/dev/null
  rm -rf "$outside"
}
trap cleanup EXIT
unzip -q -j -d "$outside" "$package" lib/net45/Qovlib.dll runtimes/linux-x64/native/libqovlib.so
example_ok=0
if mcs -nologo -out:"$outside/PrintLabel.exe" -r:"$outside/Qovlib.dll" "$root/dotnet/examples/PrintLabel.cs" \
   && start_emulator "$root/build/linux/qovemu" "$outside/qovemu.log"; then
  (cd "$outside" && timeout 60 mono PrintLabel.exe 127.0.0.1 "$port") | tee "$outside/example.log"
  grep -q '^LABELS PRINTED;1$' "$outside/example.log" && example_ok=1
fi
if [ "$example_ok" = 1 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "dotnet-tests: the example failed" >&2; fi
echo "dotnet-tests: $passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ] || fail "NUnit failed"
