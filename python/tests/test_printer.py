"""Printer against the emulator: opening and its failures, sends, reads with
their time-outs, the status report, and the single current connection."""
from __future__ import annotations

import socket
import time

import pytest

import qovlib
from qovlib import OpenError, Printer, ReadError, ReadTimeout, StateError


def closed_port() -> int:
    """A local TCP port nobody listens on."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class TestOpening:
    def test_a_refused_connection_names_transport_and_target(self, emulator):
        port = closed_port()
        with pytest.raises(ConnectionError) as caught:
            Printer.tcp("127.0.0.1", port)
        error = caught.value
        assert isinstance(error, OpenError)
        assert (error.transport, error.target, error.result) == ("tcp", f"127.0.0.1:{port}", 1)
        assert f"tcp connection to 127.0.0.1:{port}" in str(error)
        # Nothing is left half open: the next open works.
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            printer.send("~NORMAL")
        assert emulator.captures() == [b"~NORMAL\r\n"]

    def test_targets_refused_before_the_library_is_asked(self):
        with pytest.raises(OpenError, match="cannot resolve"):
            Printer.tcp("no-such-host.invalid", 9100)
        with pytest.raises(OpenError, match="port number"):
            Printer.tcp("127.0.0.1", 0)
        assert qovlib.current() is None

    def test_a_port_that_cannot_be_opened(self, monkeypatch, tmp_path, capfd):
        monkeypatch.setenv("QOVLIB_COM3", str(tmp_path / "no-tty"))
        with pytest.raises(OpenError) as caught:
            Printer.port("COM3")
        assert (caught.value.transport, caught.value.target) == ("port", "COM3")
        assert "Couldn't open the specific COM port." in capfd.readouterr().err

    def test_one_current_connection_at_a_time(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as first:
            assert qovlib.current() is first
            with pytest.raises(StateError, match="still open"):
                Printer.tcp("127.0.0.1", emulator.port)
            first.send("ONE")
        assert first.closed and qovlib.current() is None
        with pytest.raises(StateError, match="closed"):
            first.send("late")
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as second:
            second.send("TWO")
        assert emulator.captures() == [b"ONE\r\n", b"TWO\r\n"]


class TestSending:
    def test_text_goes_in_the_ansi_code_page_bytes_exactly(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            printer.send("Grüße")
            printer.send("~NORMAL", line_end=False)
            printer.send(b"\x00\x01\xff")
            printer.send(b"RAW", line_end=False)
        assert emulator.captures() == [b"Gr\xfc\xdfe\r\n~NORMAL\x00\x01\xff\r\nRAW"]

    def test_an_lpt_port_is_written_and_cannot_be_read(self, monkeypatch, tmp_path):
        device = tmp_path / "lpt2.prn"
        device.write_bytes(b"")
        monkeypatch.setenv("QOVLIB_LPT2", str(device))
        with Printer.port("LPT2") as printer:
            printer.send("~NORMAL")
            with pytest.raises(ReadError) as caught:
                printer.read("END\r\n")
            assert caught.value.raw == b""
        assert device.read_bytes() == b"~NORMAL\r\n"


class TestReading:
    def test_status_report(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            report = printer.status()
        assert report.startswith("STATUS;READY\r\nLABELS PRINTED;0\r\n")
        assert report.endswith("END\r\n")
        assert emulator.captures() == [b"~NORMAL\r\n~STATUS"]

    def test_read_until_a_terminator(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            printer.send("~NORMAL\r\n~STATUS", line_end=False)
            # Everything received is returned, also what follows the terminator.
            reply = printer.read("LABELS PRINTED;", timeout=2)
        assert reply.startswith(b"STATUS;READY\r\nLABELS PRINTED;0\r\n") and reply.endswith(b"END\r\n")

    def test_nonblocking_read_times_out_at_its_limit(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0, nonblocking=True) as printer:
            start = time.monotonic()
            with pytest.raises(TimeoutError) as caught:
                printer.read("NEVER", timeout=2)
            elapsed = time.monotonic() - start
            assert isinstance(caught.value, ReadTimeout)
            # The limit counts whole seconds of the calendar clock: 2 ends after 1 to 2 s.
            assert 0.9 <= elapsed < 3
            # The connection stays usable after a time-out.
            assert printer.status().endswith("END\r\n")

    def test_blocking_read_fails_after_a_quiet_second_and_stays_failed(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            # A quiet receive on the last round before the limit is a time-out, not an error.
            with pytest.raises(ReadTimeout):
                printer.read("NEVER", timeout=1)
            start = time.monotonic()
            with pytest.raises(ReadError) as caught:
                printer.read("NEVER", timeout=5)
            assert caught.value.raw == b"-1"
            assert time.monotonic() - start < 3  # the 1 s receive time-out, not the 5 s limit
            with pytest.raises(ReadError):
                printer.status()
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            assert printer.status().startswith("STATUS;READY")  # a new open clears it
