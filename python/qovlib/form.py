"""A label form, composed by the library's form calls."""
from __future__ import annotations

import enum
from pathlib import Path
from typing import TYPE_CHECKING, Any, Iterable, List, Optional, Sequence, Tuple, Union

from . import _state, exports
from .errors import FormError, SendError, StateError

if TYPE_CHECKING:
    from .logo import Logo
    from .printer import Printer

Text = Union[str, bytes]
Option = Union[int, str]


class Barcode(enum.IntEnum):
    """Barcode kinds: the kind argument of ``QOVA_PrintBarcode``."""

    CODE39 = 0
    CODE128A = 1
    CODE128B = 2
    CODE128C = 3
    EAN13 = 4
    UPCA = 5
    MAXICODE = 6
    QRCODE = 7
    PDF417 = 8
    AZTEC = 9
    DATAMATRIX = 10
    EAN8 = 11
    I2OF5 = 12
    CODABAR = 13
    UCC128 = 14


#: Code-page names that ``QOVA_FontSetup`` type 3 accepts.
CODE_PAGES = ("ASCII", "GB", "BIG5", "KSC", "SJIS", "UTF8")

# Job settings 1..7 of QOVA_JobSetup, by the keyword Form takes.
_JOB = (("width", 1), ("length", 2), ("speed", 3), ("intensity", 4), ("labels", 5), ("media", 6), ("rotate", 7))

# Barcode option columns of QOVA_SetBarcode, by keyword, in column order.
_BARCODE_COLUMNS = (("h", 1), ("rotation", 2), ("x", 3), ("human_readable", 4), ("x2", 5), ("y", 6),
                    ("t", 7), ("e", 8), ("m", 9))

_FORM = object()  # stands for the form number in a recorded call


class Form:
    """A label form.

    The Form records the library calls that compose it; :meth:`text`,
    :meth:`print` and :meth:`preview` replay them through the library:
    ``QOVA_DLLinit``, the setup calls, ``QOVA_CreateForm``, the element calls
    in order, then ``QOVA_GetFormData``. So the text is exactly what the C
    API composes for the same calls, and Forms do not disturb each other.
    The library has one form workspace per process: composing a Form resets
    it, discarding forms made through :mod:`qovlib.exports` (the replay holds
    :data:`qovlib.LOCK`).

    Header settings are keyword arguments; each is the library's setting of
    the same meaning, written into the header unchanged (no unit conversion):

    - *width*, *length*: job settings 1 and 2 (``~PAPER;SIZE width,0`` and
      ``~PAPER;SIZE 0,length``, thousandths of an inch); *speed* (3, IPS),
      *intensity* (4), *labels* (5), *media* (6), *rotate* (7: 0, 90, 180, 270);
    - *create_value*: the first form setting, written on the ``~CREATE;`` line;
      *copies*: the second, written on the ``~EXECUTE;`` line;
    - *scale*: the two values of the ``SCALE;DOT;h;v`` line;
    - *font_name*, *bold* (True/False), *slant* ("R"/"L"), *code_page* (one of
      :data:`CODE_PAGES`): the header's FONT line.

    A value the library rejects raises :class:`FormError` at once.
    Element methods return the Form, so calls can be chained.
    """

    def __init__(self, name: Text, *, width: Optional[int] = None, length: Optional[int] = None,
                 speed: Optional[int] = None, intensity: Optional[int] = None, labels: Optional[int] = None,
                 media: Optional[int] = None, rotate: Optional[int] = None, create_value: Optional[int] = None,
                 copies: Optional[int] = None, scale: Optional[Tuple[int, int]] = None,
                 font_name: Optional[Text] = None, bold: Optional[bool] = None, slant: Optional[str] = None,
                 code_page: Optional[str] = None) -> None:
        exports.encode(name)  # refuses what the library cannot take, now rather than later
        self.name = name
        values = dict(width=width, length=length, speed=speed, intensity=intensity, labels=labels,
                      media=media, rotate=rotate)
        header: List[Tuple[str, Tuple[Any, ...]]] = [
            ("QOVA_JobSetup", (number, values[key])) for key, number in _JOB if values[key] is not None]
        if create_value is not None:
            header.append(("QOVA_FormSetup", (1, create_value)))
        if copies is not None:
            header.append(("QOVA_FormSetup", (2, copies)))
        if scale is not None:
            header.append(("QOVA_Scale", (int(scale[0]), int(scale[1]))))
        if font_name is not None:
            header.append(("QOVA_FontSetup", (0, font_name)))
        if bold is not None:
            header.append(("QOVA_FontSetup", (1, "ON" if bold else "OFF")))
        if slant is not None:
            header.append(("QOVA_FontSetup", (2, slant)))
        if code_page is not None:
            header.append(("QOVA_FontSetup", (3, code_page)))
        self._header = header
        self._body: List[Tuple[str, Tuple[Any, ...]]] = []
        self._rfid_fields = 0
        with _state.LOCK:
            exports.QOVA_DLLinit()
            self._run(header)

    def __repr__(self) -> str:
        return f"<Form {self.name!r}: {len(self._body)} calls>"

    # ---- replay

    @staticmethod
    def _run(calls: Iterable[Tuple[str, Tuple[Any, ...]]], form: int = -1) -> None:
        for key, args in calls:
            args = tuple(form if a is _FORM else a for a in args)
            if getattr(exports, key)(*args) != 0:
                raise FormError(f"{key}{args!r}")

    def _compose(self) -> int:
        """Replays the form into the library's workspace; its form number. Hold LOCK."""
        exports.QOVA_DLLinit()
        self._run(self._header)
        form = exports.QOVA_CreateForm(self.name)
        self._run(self._body, form)
        return form

    def _add(self, calls: List[Tuple[str, Tuple[Any, ...]]]) -> "Form":
        # Each call is tried on a scratch form first, so a rejected one raises
        # here and the Form keeps only calls the library accepts.
        with _state.LOCK:
            exports.QOVA_DLLinit()
            form = exports.QOVA_CreateForm("")
            self._run(calls, form)
        self._body.extend(calls)
        return self

    # ---- elements

    def add_text(self, row: int, column: int, v_expand: int, h_expand: int, text: Text) -> "Form":
        """A line of text (``QOVA_PrintTextEng``: an ALPHA element). The four
        numbers are written in this order, unchanged; the font is the form's."""
        exports.encode(text)
        return self._add([("QOVA_PrintTextEng", (_FORM, row, column, v_expand, h_expand, text))])

    def add_twobyte_text(self, row: int, column: int, v_expand: int, h_expand: int, text: Text) -> "Form":
        """Text in a two-byte character set (``QOVA_PrintTextCH``: a TWOBYTE
        element); set the form's *code_page* to GB, BIG5, KSC, SJIS or UTF8."""
        exports.encode(text)
        return self._add([("QOVA_PrintTextCH", (_FORM, row, column, v_expand, h_expand, text))])

    def add_barcode(self, kind: int, row: int, column: int, data: Text, *, rotation: Optional[int] = None,
                    x: Optional[Option] = None, h: Optional[Option] = None, x2: Optional[Option] = None,
                    y: Optional[Option] = None, t: Optional[Option] = None, e: Optional[Option] = None,
                    m: Optional[Option] = None, human_readable: bool = False) -> "Form":
        """A barcode of *kind* (:class:`Barcode`) with its top-left corner at
        (*row*, *column*) (``QOVA_PrintBarcode``).

        The options are the barcode settings of its kind (``QOVA_SetBarcode``),
        written as the printer reads them: *rotation* 90, 180 or 270 (CW, INV,
        CCW), *x* the narrow module, *h* the height, *x2* a second X option,
        *y*, *t*, *e*, *m*, and *human_readable* the PDF line. The library keeps
        options per kind until reset; here each barcode carries only its own
        (the kind's row is reset with column 0 before the options are set).
        """
        exports.encode(data)
        if not 0 <= int(kind) <= 14:
            raise FormError(f"QOVA_PrintBarcode(form, {kind}, ...)", "barcode kinds are 0 to 14")
        given = dict(rotation=rotation, x=x, h=h, x2=x2, y=y, t=t, e=e, m=m)
        calls: List[Tuple[str, Tuple[Any, ...]]] = [("QOVA_SetBarcode", (int(kind), 0, ""))]
        for key, cell in _BARCODE_COLUMNS:
            if key == "human_readable":
                if human_readable:
                    calls.append(("QOVA_SetBarcode", (int(kind), cell, "")))
                continue
            value = given[key]
            if key == "rotation" and value in (None, 0):
                continue
            if value is not None:
                calls.append(("QOVA_SetBarcode", (int(kind), cell, str(value))))
        calls.append(("QOVA_PrintBarcode", (_FORM, int(kind), row, column, data)))
        return self._add(calls)

    def add_box(self, thickness: int, row1: int, column1: int, row2: int, column2: int) -> "Form":
        """A rectangle between two corners (``QOVA_DrawBox``: a BOX element)."""
        return self._add([("QOVA_DrawBox", (_FORM, thickness, row1, column1, row2, column2))])

    def add_line(self, thickness: int, row1: int, column1: int, row2: int, column2: int) -> "Form":
        """A line between two points (``QOVA_DrawLine``): HORZ when the rows
        are equal, else VERT when the columns are, else DIAG."""
        return self._add([("QOVA_DrawLine", (_FORM, thickness, row1, column1, row2, column2))])

    def add_logo(self, row: int, column: int, name: Union[Text, "Logo"]) -> "Form":
        """A logo stored in the printer, by name (``QOVA_PrintImage``: a LOGO
        element). Store it first: :func:`qovlib.logo_from_image`."""
        logo_name = getattr(name, "name", name)
        exports.encode(logo_name)
        return self._add([("QOVA_PrintImage", (_FORM, row, column, logo_name))])

    def rfid_field(self, length: int, data: Text, *, format: Text = "", increment: bool = False,
                   step: int = 0) -> "Form":
        """Sets up one RFID data field (``QOVA_SetupRFID``) for the next
        :meth:`add_rfid_write`. As in the library, a write element carries
        every field set up so far in this form, in order."""
        exports.encode(data)
        exports.encode(format)
        self._rfid_fields += 1
        return self._add([("QOVA_SetupRFID", (length, 1 if increment else 0, format, step, data))])

    def add_rfid_write(self, *, lock: Text = "", tag_header: Text = "") -> "Form":
        """An RFID tag write of the fields set up with :meth:`rfid_field`
        (``QOVA_WriteRFID``). Raises :class:`FormError` when there are none."""
        if self._rfid_fields == 0:
            raise FormError(f"QOVA_WriteRFID(form, {lock!r}, {tag_header!r})", "no field: call rfid_field() first")
        return self._add_body([("QOVA_WriteRFID", (_FORM, lock, tag_header))])

    def add_rfid_verify(self, field_length: int, *, format: Text = "", unlock: Text = "",
                        tag_header: Text = "") -> "Form":
        """An RFID tag read and verify (``QOVA_VerifyRFID``)."""
        for text in (format, unlock, tag_header):
            exports.encode(text)
        return self._add([("QOVA_VerifyRFID", (_FORM, unlock, tag_header, field_length, format))])

    def _add_body(self, calls: List[Tuple[str, Tuple[Any, ...]]]) -> "Form":
        # For calls that depend on earlier ones of this form (the RFID write):
        # checked against the whole form rather than a scratch one.
        with _state.LOCK:
            form = self._compose()
            self._run(calls, form)
        self._body.extend(calls)
        return self

    # ---- output

    def text(self) -> bytes:
        """The complete form in the command language, as ``QOVA_GetFormData``
        returns it: header, elements, END, ``~EXECUTE;`` and ``~NORMAL`` lines,
        text in the ANSI code page. Nothing is sent."""
        with _state.LOCK:
            return exports.QOVA_GetFormData(self._compose())

    def print(self, printer: "Printer") -> bytes:
        """Prints the form on *printer*, the open current connection, and
        returns its text. The bytes sent are those of ``QOVA_PrintForm``: the
        text converted to UTF-8, then CR LF (``sendcommandutf8``); unlike
        ``QOVA_PrintForm``, a send that found no transport raises
        :class:`SendError`."""
        with _state.LOCK:
            if printer.closed or _state.current is not printer:
                raise StateError(f"{printer!r} is not the open connection")
            text = exports.QOVA_GetFormData(self._compose())
            if exports.sendcommandutf8(text) != 1:
                raise SendError(f"the form {self.name!r} was not sent to {printer.target}")
            return text

    def preview(self, path: Union[str, Path], *, logos: Sequence["Logo"] = (), dpi: Optional[int] = None,
                paper: Optional[str] = None) -> Path:
        """Renders the form with the label renderer (``qovpreview``) into the
        PNG file *path*, and returns it. *logos* are the logo definitions the
        form places (:func:`qovlib.logo_from_image`). Raises
        :class:`RendererNotFoundError` when ``qovpreview`` is not installed."""
        from .rendering import render_form

        return render_form(self.text(), Path(path), logos=logos, dpi=dpi, paper=paper)
