#!/usr/bin/env bash
# Every export keeps exceptions out of the API by running its whole body
# through qov::noThrow (src/export_guard.h). This finds the definition of each
# name in QOVLIB.def under src/ and fails for each one whose body does not
# start with `return qov::noThrow`, and when the definitions found are not
# exactly the 114 of the table (UsbRead_judge has two).
set -euo pipefail
cd "$(dirname "$0")/.."

/usr/bin/python3 - <<'PY'
import glob, re, sys

table = open("QOVLIB.def").read().split("EXPORTS", 1)[1].split()
names = [re.sub(r"^\?([A-Za-z0-9_]+)@@.*", r"\1", e).split("=")[0] for e in table]
expected = len(names)
wanted = set(names)
found, bad = 0, []
for path in sorted(glob.glob("src/**/*.cpp", recursive=True)):
    text = open(path).read()
    for m in re.finditer(r"^[A-Za-z_][^\n;()]*?\b([A-Za-z_][A-Za-z0-9_]*)\s*\([^;{]*?\)\s*\{", text, re.M):
        if m.group(1) not in wanted:
            continue
        found += 1
        if not re.match(r"\s*return qov::noThrow\s*[<(]", text[m.end():]):
            line = text.count("\n", 0, m.start()) + 1
            bad.append(f"{path}:{line}: {m.group(1)}")
if bad:
    print("check_guards: these exports do not start with the guard (return qov::noThrow):")
    print("\n".join("  " + b for b in bad))
    sys.exit(1)
if found != expected:
    print(f"check_guards: found {found} export definitions under src/, the table has {expected}")
    sys.exit(1)
print(f"check_guards: all {found} exports run through the guard")
PY
