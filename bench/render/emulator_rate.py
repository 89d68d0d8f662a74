#!/usr/bin/python3
"""Labels per second of qovemu over TCP: one connection defines the demo form
and prints it N times (one EXECUTE each), then asks for the status; the time
runs until the report shows every label. Usage: emulator_rate.py QOVEMU [N]."""
import re
import socket
import subprocess
import sys
import time

FORM = (b"~NORMAL\r\n~PAPER;SIZE 4000,0\r\n~PAPER;SIZE 0,2000\r\n~CREATE;DEMO;X;300\r\nFONT;BOLD ON;SYMSET 0\r\n"
        b"SCALE;DOT;203;203\r\nBOX\r\n2;10;10;392;798\r\nSTOP\r\nALPHA\r\n60;30;2;2;*QOVLIB demo label*\r\nSTOP\r\n"
        b"BARCODE\r\nC128B;X2;H5;140;30\r\n*QOV-000123*\r\nPDF\r\nSTOP\r\nEND\r\n")


def rate(program, n):
    # A free port chosen here: the emulator's log goes nowhere, so that a
    # full pipe cannot stall it.
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        port = probe.getsockname()[1]
    proc = subprocess.Popen([program, "--port", str(port)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(100):
            try:
                socket.create_connection(("127.0.0.1", port), timeout=1).close()
                break
            except OSError:
                time.sleep(0.1)
        with socket.create_connection(("127.0.0.1", port), timeout=60) as s:
            body = FORM + b"~EXECUTE;DEMO\r\n~NORMAL\r\n" * n
            start = time.perf_counter()
            s.sendall(body + b"~NORMAL\r\n~STATUS")
            report = b""
            while not report.endswith(b"END\r\n"):
                chunk = s.recv(65536)
                if not chunk:
                    break
                report += chunk
            took = time.perf_counter() - start
        got = int(re.search(rb"LABELS PRINTED;(\d+)", report).group(1))
        if got != n:
            raise SystemExit("%d labels counted, %d sent" % (got, n))
        return n / took
    finally:
        proc.terminate()
        proc.wait(timeout=5)


if __name__ == "__main__":
    n = int(sys.argv[2]) if len(sys.argv) > 2 else 20000
    print("%s: %.0f labels/s (%d labels)" % (sys.argv[1], rate(sys.argv[1], n), n))
