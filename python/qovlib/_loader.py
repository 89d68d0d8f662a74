"""Finding and loading the shared library, and the library's ANSI code page."""
from __future__ import annotations

import codecs
import ctypes
import ctypes.util
import os
import sys
from pathlib import Path
from typing import List, Optional

from .errors import LibraryNotFoundError

#: Environment variable naming the library file to load (takes precedence).
LIBRARY_ENV = "QOVLIB_LIBRARY"

IS_WINDOWS = sys.platform == "win32"

#: File names looked for next to the package, in this order. The packaged
#: library carries the SONAME libqovlib.so.2; a wheel may hold either name.
PACKAGED_NAMES = ("QOVLIB.dll",) if IS_WINDOWS else ("libqovlib.so", "libqovlib.so.2")

PACKAGE_DIR = Path(__file__).resolve().parent


def candidates() -> List[str]:
    """The places the library is looked for, in order.

    1. the file named by ``QOVLIB_LIBRARY``;
    2. ``libqovlib.so`` / ``libqovlib.so.2`` (``QOVLIB.dll`` on Windows) next
       to this package, as a wheel installs it;
    3. the usual library search of the system (``libqovlib.so.2``,
       ``libqovlib.so``, or what ``ctypes.util.find_library`` reports).
    """
    found: List[str] = []
    env = os.environ.get(LIBRARY_ENV)
    if env:
        found.append(env)
    found.extend(str(PACKAGE_DIR / name) for name in PACKAGED_NAMES if (PACKAGE_DIR / name).exists())
    if IS_WINDOWS:
        found.append("QOVLIB.dll")
    else:
        found.extend(["libqovlib.so.2", "libqovlib.so"])
        system = ctypes.util.find_library("qovlib")
        if system:
            found.append(system)
    return found


def load_library(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library from *path*, or from the first of :func:`candidates`
    that loads. Raises :class:`LibraryNotFoundError` listing what was tried."""
    tried = [path] if path else candidates()
    errors = []
    for name in tried:
        try:
            return ctypes.CDLL(name)
        except OSError as error:
            errors.append(f"{name}: {error}")
            if path or (name == os.environ.get(LIBRARY_ENV)):
                # An explicit choice that fails is an error, not a hint to look elsewhere.
                break
    raise LibraryNotFoundError(
        "cannot load the QOVLIB library; set QOVLIB_LIBRARY to its file. Tried:\n  "
        + "\n  ".join(errors)
    )


def ansi_codec() -> str:
    """The Python codec of the library's ANSI code page.

    Windows: the system's ANSI code page ("mbcs"). Linux: Windows-1252 unless
    ``QOVLIB_ANSI_CODEPAGE`` names another, as the library reads it (an iconv
    name, or a Windows code-page number such as 1250)."""
    if IS_WINDOWS:
        return "mbcs"
    value = os.environ.get("QOVLIB_ANSI_CODEPAGE", "")
    if not value:
        return "cp1252"
    if value.isdigit():
        name = {"65001": "utf-8", "20127": "ascii", "28591": "latin-1", "1200": "utf-16-le"}.get(value, "cp" + value)
    else:
        name = value
    try:
        return codecs.lookup(name).name
    except LookupError:
        raise LookupError(f"QOVLIB_ANSI_CODEPAGE={value!r} names no code page Python knows") from None
