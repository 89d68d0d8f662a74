"""Checks of what reached the printer, for scripts/printer_app_tests.sh.

  checks.py same A.png B.png     the two pictures have the same size and dots
  checks.py contains FILE PART   FILE holds PART's bytes in one piece
  checks.py fresh-port           prints a free loopback TCP port
Exit status 0 when the check holds, 1 (with a reason) when not.
"""
import socket
import sys


def same(a, b):
    from PIL import Image, ImageChops
    pa, pb = Image.open(a).convert("1"), Image.open(b).convert("1")
    if pa.size != pb.size:
        return f"sizes differ: {pa.size} against {pb.size}"
    diff = ImageChops.logical_xor(pa, pb).getbbox()
    return None if diff is None else f"dots differ within {diff}"


def contains(path, part):
    with open(path, "rb") as f:
        data = f.read()
    with open(part, "rb") as f:
        needle = f.read()
    return None if needle in data else f"{part} ({len(needle)} bytes) is not in {path} ({len(data)} bytes) in one piece"


def fresh_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        print(s.getsockname()[1])
    return None


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    why = {"same": same, "contains": contains, "fresh-port": fresh_port}[cmd](*args)
    if why:
        print(why)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
