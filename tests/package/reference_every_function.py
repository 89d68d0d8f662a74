#!/usr/bin/python3
"""Writes a C++ source that takes the address of every function that
qovlib.h declares, each through a pointer of its exact declared type (so
both UsbRead_judge overloads are named). Compiled for another ABI, the
object's undefined symbols are the names a linker looks up for the header.

Usage: reference_every_function.py <qovlib.h> <output.cpp>
"""
import re
import sys


def declarations(header):
    text = re.sub(r"/\*.*?\*/", " ", header, flags=re.S)
    text = re.sub(r"//[^\n]*", " ", text)
    # A declaration starts a line with QOVLIB_API and ends at its ";".
    for match in re.finditer(r"(?m)^[ \t]*QOVLIB_API\s+([^;#]*?)\(([^;#]*)\)\s*;", text):
        head = " ".join(match.group(1).split())
        params = " ".join(match.group(2).split())
        name = re.search(r"(\w+)$", head)
        if not name:
            raise SystemExit("cannot read the declaration: " + match.group(0))
        yield head[: name.start()].strip(), name.group(1), params


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        found = list(declarations(f.read()))
    lines = [
        '#include "qovlib.h"',
        "",
        "extern void* const kEveryFunction[];",
        "void* const kEveryFunction[] = {",
    ]
    for result, name, params in found:
        lines.append(f"    reinterpret_cast<void*>(static_cast<{result} (*)({params})>(&{name})),")
    lines += ["};", ""]
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print(f"{len(found)} functions")


if __name__ == "__main__":
    main()
