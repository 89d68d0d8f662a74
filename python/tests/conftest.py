"""Fixtures: the printer emulator (qovemu) on a free TCP port, with captures.

qovemu is found through QOVEMU, else in the repository's build tree
(build/linux/qovemu, as `make build` leaves it). The package under test is
whatever `import qovlib` finds: the installed wheel when the tests run from
scripts/python_tests.sh, else the source tree with QOVLIB_LIBRARY set.
"""
from __future__ import annotations

import os
import subprocess
import time
from pathlib import Path
from typing import Iterator, List

import pytest

import qovlib

REPO = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("QOVLIB_BUILD_DIR", REPO / "build" / "linux"))


def qovemu_program() -> Path:
    program = Path(os.environ.get("QOVEMU", BUILD / "qovemu"))
    if not os.access(program, os.X_OK):
        pytest.fail(f"{program} is missing: run make build (or set QOVEMU)")
    return program


class Emulator:
    """A running qovemu; every received byte lands in its capture files."""

    def __init__(self, workdir: Path) -> None:
        self.captures_dir = workdir / "captures"
        self.captures_dir.mkdir()
        self.log_path = workdir / "qovemu.log"
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [str(qovemu_program()), "--port", "0", "--capture-dir", str(self.captures_dir)],
            stdout=self._log, stderr=subprocess.STDOUT)
        self.port = self._wait_for_port()

    def _wait_for_port(self) -> int:
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            for line in self.log_path.read_text(errors="replace").splitlines():
                if line.startswith("listening 127.0.0.1:"):
                    return int(line.rsplit(":", 1)[1])
            if self.process.poll() is not None:
                break
            time.sleep(0.02)
        self.stop()
        raise RuntimeError(f"qovemu did not start: {self.log_path.read_text(errors='replace')}")

    def stop(self) -> None:
        """Stops the emulator (SIGTERM: connections closed, captures flushed)."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self._log.close()

    def captures(self) -> List[bytes]:
        """What each TCP connection sent, in connection order (stops the emulator)."""
        self.stop()
        return [p.read_bytes() for p in sorted(self.captures_dir.glob("conn-*-tcp.bin"))]

    def log(self) -> str:
        return self.log_path.read_text(errors="replace")


@pytest.fixture
def emulator(tmp_path: Path) -> Iterator[Emulator]:
    emu = Emulator(tmp_path)
    try:
        yield emu
    finally:
        # A test that failed with the connection open must not leave it to the next.
        printer = qovlib.current()
        if printer is not None:
            printer.close()
        emu.stop()
