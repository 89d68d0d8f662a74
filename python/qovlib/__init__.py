"""qovlib: label printers from Python, on the QOVLIB library.

Two layers:

* :mod:`qovlib.exports`: the library's 114 functions one to one, under their
  exact names and types (ctypes), returning the library's raw results.
* This package: :class:`Printer` (the current connection as a context
  manager), :class:`Form` (a label composed by the library's form calls),
  :func:`logo_from_image` (Pillow images as logos) and :func:`preview`
  (PNG pictures through the renderer's ``qovpreview``). Results that mean
  failure raise the exceptions of :mod:`qovlib.errors`.

The library is process-global: one current connection, one form workspace
and shared reply buffers for the whole process, to be used from one thread
at a time. This layer serialises its own calls with :data:`LOCK`.

    from qovlib import Form, Printer

    form = Form("HELLO").add_text(40, 30, 2, 2, "Hello")
    with Printer.tcp("192.168.0.50", 9100) as printer:
        form.print(printer)
        print(printer.status())
"""
from ._state import LOCK
from .errors import (FormError, LibraryNotFoundError, OpenError, PreviewError, QovlibError, ReadError,
                     ReadTimeout, RendererNotFoundError, SendError, StateError)
from .form import CODE_PAGES, Barcode, Form
from .logo import Logo, logo_from_image
from .rendering import find_qovpreview, preview
from .printer import Printer, current

try:  # written into the wheel from the library's one version
    from ._version import version as __version__
except ImportError:  # running from the source tree
    __version__ = "unknown"

__all__ = [
    "LOCK", "Printer", "current", "Form", "Barcode", "CODE_PAGES", "Logo", "logo_from_image", "preview",
    "find_qovpreview", "QovlibError", "LibraryNotFoundError", "OpenError", "SendError", "ReadTimeout",
    "ReadError", "StateError", "FormError", "RendererNotFoundError", "PreviewError",
]
