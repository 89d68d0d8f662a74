"""Checks of what reached the printer, for scripts/printer_app_tests.sh.

  checks.py same A.png B.png     the two pictures have the same size and dots
  checks.py contains FILE PART   FILE holds PART's bytes in one piece
  checks.py fresh-port           prints a free loopback TCP port
  checks.py raw-send PORT FILE [HOLD]
                                 sends FILE to 127.0.0.1:PORT; with HOLD,
                                 keeps the connection open until the server
                                 closes it (prints after how many seconds;
                                 fails if it is still open after HOLD s)
  checks.py raw-flood PORT LIMIT sends without end until the server closes
                                 the connection; prints the bytes it took;
                                 fails if it is still open after LIMIT s
Exit status 0 when the check holds, 1 (with a reason) when not.
"""
import socket
import sys
import time


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


def connect(port):
    s = socket.create_connection(("127.0.0.1", int(port)), timeout=5)
    s.settimeout(None)
    return s


def wait_closed(s, limit):
    """Seconds until the peer closes s, None if it has not within limit."""
    start = time.monotonic()
    s.settimeout(0.1)
    while time.monotonic() - start < limit:
        try:
            if s.recv(4096) == b"":
                return time.monotonic() - start
        except socket.timeout:
            continue
        except OSError:
            return time.monotonic() - start
    return None


def raw_send(port, path, hold=None):
    with open(path, "rb") as f:
        data = f.read()
    with connect(port) as s:
        s.sendall(data)
        if hold is None:
            return None
        took = wait_closed(s, float(hold))
        if took is None:
            return f"the server kept the connection open for {hold} s"
        print(f"{took:.1f}")
    return None


def raw_flood(port, limit):
    chunk = b"FLOOD;\r\n" * 7282
    sent = 0
    start = time.monotonic()
    with connect(port) as s:
        s.settimeout(1)
        while time.monotonic() - start < float(limit):
            try:
                sent += s.send(chunk)
            except socket.timeout:
                continue
            except OSError:
                print(sent)
                return None
    return f"still taking data after {limit} s ({sent} bytes)"


def main():
    cmd, args = sys.argv[1], sys.argv[2:]
    why = {"same": same, "contains": contains, "fresh-port": fresh_port, "raw-send": raw_send,
           "raw-flood": raw_flood}[cmd](*args)
    if why:
        print(why)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
