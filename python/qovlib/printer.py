"""The current connection as a context manager: open, send, read, status."""
from __future__ import annotations

import socket
from types import TracebackType
from typing import Callable, Optional, Type, Union

from . import _state, exports
from ._loader import ansi_codec
from .errors import OpenError, ReadError, ReadTimeout, SendError, StateError

Data = Union[str, bytes]

_TIME_OUT = b"Time Out\r\n"


class Printer:
    """The library's one current connection.

    The library holds a single current connection for the whole process, so
    only one Printer can be open at a time; opening a second one while the
    first is open raises :class:`StateError` instead of silently taking the
    connection over, as the library's open calls would. Use it as a context
    manager, so that the connection is closed on exit::

        with Printer.tcp("192.168.0.50", 9100) as printer:
            printer.send("~NORMAL")
            print(printer.status())

    Every call takes :data:`qovlib.LOCK`, so Printer objects may be used
    from several threads; the calls then run one at a time.
    """

    def __init__(self, transport: str, target: str, close: Callable[[], object]) -> None:
        """Use :meth:`tcp`, :meth:`port` or :meth:`queue` instead."""
        self.transport = transport
        self.target = target
        self._close = close
        self._open = True

    # ---- opening and closing

    @classmethod
    def _open_with(cls, transport: str, target: str, opener: Callable[[], int], ok: int,
                   close: Callable[[], object], on_failure: Optional[Callable[[], object]] = None) -> "Printer":
        with _state.LOCK:
            if _state.current is not None:
                raise StateError(
                    f"the {_state.current.transport} connection to {_state.current.target} is still open; "
                    "the library has one current connection: close it first")
            result = opener()
            if result != ok:
                if on_failure is not None:
                    on_failure()
                raise OpenError(transport, target, result)
            printer = cls(transport, target, close)
            _state.current = printer
            return printer

    @classmethod
    def tcp(cls, address: str, port: int = 9100, *, close_delay: int = 1000,
            nonblocking: bool = False) -> "Printer":
        """Connects to a printer over TCP (``openethernet``, or with
        *nonblocking* ``openethernet_async``).

        *address* may be a host name; it is resolved to an IPv4 address first,
        since the library takes dotted IPv4 addresses only. *close_delay* is
        the time in ms given to the printer to take the last data before the
        socket is closed (``closeethernetport``; ``closeport`` uses 1000).

        The two sockets read differently, as the library defines them:

        - blocking (the default): send and receive time-outs of 1 s. A
          receive that waits its second in vain ends the read with
          :class:`ReadTimeout` when the read's limit is reached in that
          round; otherwise the next round turns it into the library's socket
          error flag: :class:`ReadError`, and so for every later read on this
          connection until the next open;
        - non-blocking: the connect waits at most 5 s; a read polls every
          100 ms until its time limit and then raises :class:`ReadTimeout`.

        On both, a send waits until the printer has taken every byte; it gives
        up (:class:`SendError`) when the connection fails or the printer takes
        no byte for 30 s.

        Raises :class:`OpenError` (a ``ConnectionError``) when the connection
        cannot be made.
        """
        if not 0 < port < 65536:
            raise OpenError("tcp", f"{address}:{port}", 1, "not a TCP port number")
        try:
            ipv4 = socket.getaddrinfo(address, port, socket.AF_INET, socket.SOCK_STREAM)[0][4][0]
        except (socket.gaierror, UnicodeError) as error:
            raise OpenError("tcp", f"{address}:{port}", 1, f"cannot resolve the address ({error})") from None
        opener = exports.openethernet_async if nonblocking else exports.openethernet
        return cls._open_with(
            "tcp", f"{address}:{port}", lambda: opener(ipv4, port), 0,
            lambda: exports.closeethernetport(close_delay),
            # A failed non-blocking connect leaves its socket open; close it.
            (lambda: exports.closeethernetport(0)) if nonblocking else None)

    @classmethod
    def port(cls, name: str) -> "Printer":
        """Opens a port as the current connection (``openport``): "USB",
        "LPT1".."LPT4" or "COM1".."COM5". On Linux they are the USB printer
        of the vendor filter, ``/dev/lpN`` and ``/dev/ttySN`` unless
        ``QOVLIB_LPT1``.. and ``QOVLIB_COM1``.. name other devices. The
        library tries the name as a spooler queue first."""
        return cls._open_with("port", name, lambda: exports.openport(name), 0, exports.closeport)

    @classmethod
    def queue(cls, name: str) -> "Printer":
        """Opens a spooler printer (a CUPS queue on Linux) as the current
        connection (``openport``) and starts a print job on it."""
        return cls._open_with("queue", name, lambda: exports.openport(name), 0, exports.closeport)

    @property
    def closed(self) -> bool:
        """True once :meth:`close` has run."""
        return not self._open

    def close(self) -> None:
        """Closes the connection. Safe to call more than once."""
        with _state.LOCK:
            if not self._open:
                return
            self._open = False
            if _state.current is self:
                _state.current = None
            self._close()

    def __enter__(self) -> "Printer":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<Printer {self.transport} {self.target} {state}>"

    def _require_open(self) -> None:
        if not self._open:
            raise StateError(f"the {self.transport} connection to {self.target} is closed")

    # ---- sending

    def send(self, data: Data, *, line_end: bool = True) -> None:
        """Sends command text or bytes, followed by CR LF unless *line_end* is False.

        A ``str`` goes through ``sendcommand`` (``sendcommand_withoutcrlf``),
        encoded in the library's ANSI code page; ``bytes`` go through
        ``sendBinaryData`` (``sendBinaryDataNoCRLF``) exactly as given, NUL
        bytes included (pass ``text.encode("utf-8")`` to send UTF-8).
        Raises :class:`SendError` when the library had no transport to hand
        them to, or (on a network connection) when the connection failed or
        the printer took no byte for 30 s. On the other transports the
        library cannot see whether the printer took them.
        """
        with _state.LOCK:
            self._require_open()
            if isinstance(data, str):
                send = exports.sendcommand if line_end else exports.sendcommand_withoutcrlf
                result = send(data)
            else:
                send = exports.sendBinaryData if line_end else exports.sendBinaryDataNoCRLF
                result = send(bytes(data), len(data))
            if result != 1:
                raise SendError(f"nothing sent on the {self.transport} connection to {self.target}")

    # ---- reading

    def read(self, terminator: Data, timeout: Optional[float] = None, *,
             delay_before: int = 0, delay_after: int = 0) -> bytes:
        """Reads the printer's reply until *terminator* has arrived and returns
        everything received (``QOVA_Read``; with *timeout*, in seconds,
        ``QOVA_Read_withTimeout``).

        *timeout* is the wait for one read request; on a network connection
        it is also the overall limit, in whole seconds (at least 1) of the
        calendar clock, so a limit of n ends after n - 1 to n seconds.
        *delay_before* and *delay_after* (ms) are slept around each USB or
        serial read request. Without *timeout* the library's own timings
        apply (5 s).

        Raises :class:`ReadTimeout` (``TimeoutError``) when the terminator did
        not come in time, and :class:`ReadError` when the connection failed
        (the library's "-1", sticky on a network connection until it is
        reopened) or cannot be read (a spooler queue or an LPT port: "").
        """
        with _state.LOCK:
            self._require_open()
            if timeout is None:
                reply = exports.QOVA_Read(terminator)
            else:
                if timeout < 0:
                    raise ValueError("timeout must not be negative")
                reply = exports.QOVA_Read_withTimeout(terminator, int(timeout * 1000), delay_before, delay_after)
        return self._checked(reply, terminator)

    def _checked(self, reply: bytes, terminator: Data) -> bytes:
        where = f"the {self.transport} connection to {self.target}"
        if reply == _TIME_OUT:
            raise ReadTimeout(f"no {exports.encode(terminator)!r} from {where} in time")
        if reply == b"-1":
            raise ReadError(f"reading from {where} failed (the library's -1; reopen to read again)", reply)
        if reply == b"":
            raise ReadError(f"{where} cannot be read (a spooler queue or an LPT port)", reply)
        return reply

    def status(self) -> str:
        """Asks for the printer's status report (``QOVA_GetStatus``) and
        returns it as text, up to and including its "END\\r\\n" line. Raises
        as :meth:`read` does."""
        with _state.LOCK:
            self._require_open()
            reply = exports.QOVA_GetStatus()
        return self._checked(reply, "END\r\n").decode(ansi_codec(), errors="replace")


def current() -> Optional[Printer]:
    """The open Printer that holds the library's current connection, if any."""
    return _state.current
