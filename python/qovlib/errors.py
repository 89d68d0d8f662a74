"""Exceptions of the Pythonic layer.

The library itself reports failures only through its results (0/1 codes and
the texts "Time Out\\r\\n", "-1" and ""); the layer in :mod:`qovlib.printer`
and :mod:`qovlib.form` turns those that mean failure into these exceptions.
The raw results stay available through :mod:`qovlib.exports`.
"""
from __future__ import annotations

from typing import Optional


class QovlibError(Exception):
    """Base class of every error raised by the qovlib package."""


class LibraryNotFoundError(QovlibError, OSError):
    """libqovlib.so (or QOVLIB.dll) was not found or could not be loaded."""


class OpenError(QovlibError, ConnectionError):
    """An open call failed; names the transport and the target it tried.

    Attributes:
        transport: "tcp", "port" or "queue".
        target: the address and port, port name or queue name.
        result: the raw result of the open export.
    """

    def __init__(self, transport: str, target: str, result: int, detail: str = "") -> None:
        self.transport = transport
        self.target = target
        self.result = result
        message = f"cannot open {transport} connection to {target} (result {result})"
        if detail:
            message += f": {detail}"
        super().__init__(message)


class SendError(QovlibError, ConnectionError):
    """A send found no connection or transport to hand the data to (result 0)."""


class ReadTimeout(QovlibError, TimeoutError):
    """The printer's reply did not end with the terminator in time ("Time Out\\r\\n")."""


class ReadError(QovlibError, ConnectionError):
    """A read could not be carried out.

    Attributes:
        raw: the text the read export returned: b"-1" (the network connection
            failed or the read could not be done in time) or b"" (the current
            connection cannot be read: a spooler queue or an LPT port).
    """

    def __init__(self, message: str, raw: bytes) -> None:
        self.raw = raw
        super().__init__(message)


class StateError(QovlibError, RuntimeError):
    """The call does not fit the library's single current connection."""


class FormError(QovlibError, ValueError):
    """The library rejected a form setup or element call (result 1).

    Attributes:
        call: the export that rejected it, with its arguments.
    """

    def __init__(self, call: str, detail: Optional[str] = None) -> None:
        self.call = call
        super().__init__(f"{call} rejected" + (f": {detail}" if detail else ""))


class RendererNotFoundError(QovlibError, FileNotFoundError):
    """qovpreview, the label renderer's command, is not installed or built."""


class PreviewError(QovlibError, RuntimeError):
    """qovpreview failed or wrote no picture."""
