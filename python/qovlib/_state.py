"""The process-global state the Pythonic layer keeps beside the library's."""
from __future__ import annotations

import threading
from typing import TYPE_CHECKING, Optional

if TYPE_CHECKING:
    from .printer import Printer

#: Serialises every call of the Pythonic layer into the library. The library
#: itself has no locks and one set of global state (one current connection,
#: one form workspace, shared reply buffers), so it must be called from one
#: thread at a time; code that also calls :mod:`qovlib.exports` from several
#: threads should hold this lock around those calls. Re-entrant.
LOCK = threading.RLock()

#: The Printer that holds the library's current connection, if any.
current: Optional["Printer"] = None
