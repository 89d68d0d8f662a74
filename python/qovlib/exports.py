"""The library's 114 exports, one to one.

Every function of ``qovlib.h`` is here under its exact name, with its exact
argument and result types declared through ctypes. The library is loaded on
the first call (see :func:`library`); the 40 functions exported under
decorated names are resolved from the table below: the Itanium symbol in
``libqovlib.so``, the Microsoft decoration in ``QOVLIB.dll`` (x64 as written,
x86 with ``PA`` for ``PEA``).

Conversions, and nothing more:

* 8-bit text arguments take ``bytes``, or ``str``, encoded in the library's
  ANSI code page (Windows-1252 unless ``QOVLIB_ANSI_CODEPAGE`` names
  another). Wide-text arguments (``sendcommandUnicode``, ``savetotext``)
  take ``str`` (``wchar_t``: UTF-32 on Linux, UTF-16 on Windows).
* Text that the library owns (reads, queries, control commands, formatters,
  version texts) is copied into ``bytes`` at once: the library overwrites it
  on the next call of the same family.
* Blocks that the caller owns (``QOVA_GetFormData``, ``QOVA_PrintForm``,
  ``QOVA_PrintForm_Mult``, ``printer_Logo``, ``printer_PNGLogo_NORMAL``): no
  export releases them. They are copied into ``bytes``; on Linux the block is
  then given back with the C library's ``free`` (the library allocates it with
  ``malloc``); on Windows it is left alone, as the DLL's C runtime may not be
  Python's. The untouched ctypes function (returning the pointer) is
  ``library().<decorated or plain name>`` or :func:`function`.

Nothing here locks: the library is process-global (one current connection,
one form workspace, shared reply buffers) and must be called from one thread
at a time. The Pythonic layer (:class:`qovlib.Printer`, :class:`qovlib.Form`)
serialises its own calls with :data:`qovlib.LOCK`; code that mixes this layer
with threads should hold that lock too.
"""
from __future__ import annotations

import ctypes
import inspect
import struct
import sys
import threading
from typing import Any, Callable, Dict, List, NamedTuple, Optional, Tuple, Union

from ._loader import IS_WINDOWS, ansi_codec, load_library
from .errors import LibraryNotFoundError

Text = Union[str, bytes]

# ---- the table ----------------------------------------------------------

# Argument kinds: ctypes type and the Python annotation the wrapper takes.
_ARG: Dict[str, Tuple[Any, Any]] = {
    "int": (ctypes.c_int, int),
    "uchar": (ctypes.c_ubyte, int),
    "bool": (ctypes.c_bool, bool),
    "str": (ctypes.c_char_p, Text),
    "wstr": (ctypes.c_wchar_p, str),
    "handle": (ctypes.c_void_p, int),
    "bytes": (ctypes.c_char_p, bytes),
    "bintext": (ctypes.POINTER(ctypes.c_uint), bytes),
    "portptr": (ctypes.POINTER(ctypes.c_int), int),
}

# Result kinds: ctypes restype and the Python type the wrapper returns.
_RESULT: Dict[str, Tuple[Any, Any]] = {
    "void": (None, None),
    "int": (ctypes.c_int, int),
    "bool": (ctypes.c_bool, bool),
    "char": (ctypes.c_char, int),
    "cstr": (ctypes.c_char_p, bytes),  # library-owned text, copied at once
    "block": (ctypes.c_void_p, bytes),  # caller-owned block, copied (and freed on Linux)
}


class Export(NamedTuple):
    """One exported function: its name, result, parameters and symbols."""

    key: str  # the Python name (equals the export name but for one overload)
    name: str  # the exported function's name
    result: str
    params: Tuple[Tuple[str, str], ...]  # (parameter name, argument kind)
    doc: str
    itanium: Optional[str] = None  # Linux symbol of a decorated export
    msvc: Optional[str] = None  # x64 Microsoft decoration of a decorated export

    def symbol(self, windows: bool = IS_WINDOWS, x64: bool = struct.calcsize("P") == 8) -> str:
        """The symbol under which the library exports this function."""
        if self.msvc is None:
            return self.name
        if not windows:
            assert self.itanium is not None
            return self.itanium
        return self.msvc if x64 else self.msvc.replace("PEA", "PA")


def _p(spec: str) -> Tuple[Tuple[str, str], ...]:
    """'a:int b:str' -> (('a', 'int'), ('b', 'str'))."""
    return tuple(tuple(item.split(":")) for item in spec.split())  # type: ignore[misc]


_I5 = "p1:int p2:int p3:int p4:int p5:int"

EXPORTS: Tuple[Export, ...] = (
    # ---- connections
    Export("openport", "openport", "int", _p("name:str"),
           "Opens a spooler printer or the port USB, LPT1..LPT4, COM1..COM5 as the current connection. 0 opened, 1 failed."),
    Export("openport_async", "openport_async", "int", _p("name:str"),
           "Opens USB for overlapped I/O as the current connection; any other name fails. 0 opened, 1 failed."),
    Export("openport_usbid", "openport_usbid", "int", _p("slot:int id:str"),
           "Opens the USB printer whose device path contains id into slot 1..5. 0 opened, 1 failed."),
    Export("openport_usbid_async", "openport_usbid_async", "int", _p("slot:int id:str"),
           "As openport_usbid, for overlapped I/O. 0 opened, 1 failed."),
    Export("openethernet", "openethernet", "int", _p("address:str port:int"),
           "Connects the current connection to a dotted IPv4 address and TCP port (blocking). 0 connected, 1 failed."),
    Export("openethernet_async", "openethernet_async", "int", _p("address:str port:int"),
           "Connects with a non-blocking socket, waiting at most 5 s. 0 connected, 1 failed."),
    Export("closeport", "closeport", "int", (),
           "Closes the first open transport of the current connection (a socket after 1000 ms). 1 closed, 0 nothing open."),
    Export("openportmult", "openportmult", "int", _p("slot:int name:str"),
           "Opens a spooler printer into slot 1..5. 1 opened, 0 failed.",
           "_Z12openportmultiPc", "?openportmult@@YAHHPEAD@Z"),
    Export("openusbportmult", "openusbportmult", "int", _p("slot:int"),
           "Opens the slot-th USB printer into that slot. 1 opened, 0 failed.",
           "_Z15openusbportmulti", "?openusbportmult@@YAHH@Z"),
    Export("openethernetmult", "openethernetmult", "int", _p("slot:int address:str port:portptr"),
           "Connects slot 1..5 over TCP. The port travels as the pointer argument's value (never dereferenced). 0 connected, 1 failed.",
           "_Z16openethernetmultiPcPi", "?openethernetmult@@YAHHPEADPEAH@Z"),
    Export("closeethernetport", "closeethernetport", "int", _p("delay:int"),
           "Sleeps delay ms, then closes the current connection's socket. Always 1.",
           "_Z17closeethernetporti", "?closeethernetport@@YAHH@Z"),
    Export("closeethernetportmult", "closeethernetportmult", "int", _p("slot:int delay:int"),
           "Sleeps delay ms, then closes the slot's socket. 1, or 0 for a slot outside 1..5.",
           "_Z21closeethernetportmultii", "?closeethernetportmult@@YAHHH@Z"),
    Export("closeportmult", "closeportmult", "int", _p("slot:int"),
           "Closes the slot's USB or spooler connection. Always 1.",
           "_Z13closeportmulti", "?closeportmult@@YAHH@Z"),
    Export("opencomport", "opencomport", "cstr", _p("name:str"),
           "Opens a COM port (overlapped, 9600 8N1) as the current connection. Always b'1'.",
           "_Z11opencomportPc", "?opencomport@@YAPEADPEAD@Z"),
    Export("SetRS232", "SetRS232", "int", _p("name:str baud:int parity:int dataBits:int stopBits:int"),
           "Writes line settings to a COM port and closes it again. Always 1.",
           "_Z8SetRS232Pciiii", "?SetRS232@@YAHPEADHHHH@Z"),
    Export("comportdefault", "comportdefault", "int", (),
           "Sets 9600 8N1 on the current device handle. Always 1.",
           "_Z14comportdefaultv", "?comportdefault@@YAHXZ"),
    # ---- sending
    Export("sendcommand", "sendcommand", "int", _p("text:str"),
           "Sends text and CR LF on the current connection. 1 sent, 0 no connection or transport."),
    Export("sendcommandnocrlf", "sendcommandnocrlf", "int", _p("text:str"),
           "Sends text without line end on the current connection. 1 sent, 0 not sent."),
    Export("sendcommandutf8", "sendcommandutf8", "int", _p("text:str"),
           "Converts ANSI text to UTF-8 and sends it with CR LF on the current connection. 1 sent, 0 not sent."),
    Export("sendBinaryData", "sendBinaryData", "int", _p("data:bytes length:int"),
           "Sends length bytes of data (NUL bytes included) and CR LF. 1 sent, 0 not sent."),
    Export("sendBinaryDataNoCRLF", "sendBinaryDataNoCRLF", "int", _p("data:bytes length:int"),
           "Sends length bytes of data without line end. 1 sent, 0 not sent."),
    Export("sendcommand_withoutcrlf", "sendcommand_withoutcrlf", "int", _p("text:str"),
           "Sends text without line end on the current connection. 1 sent, 0 not sent.",
           "_Z23sendcommand_withoutcrlfPc", "?sendcommand_withoutcrlf@@YAHPEAD@Z"),
    Export("sendcommand_mult", "sendcommand_mult", "int", _p("slot:int text:str"),
           "Sends text and CR LF on slot 1..5. 1 sent, 0 not sent.",
           "_Z16sendcommand_multiPc", "?sendcommand_mult@@YAHHPEAD@Z"),
    Export("sendcommand_withoutcrlf_mult", "sendcommand_withoutcrlf_mult", "int", _p("slot:int text:str"),
           "Sends text without line end on slot 1..5. 1 sent, 0 not sent.",
           "_Z28sendcommand_withoutcrlf_multiPc", "?sendcommand_withoutcrlf_mult@@YAHHPEAD@Z"),
    Export("sendcommandmult", "sendcommandmult", "int", _p("slot:int text:str"),
           "Sends text and CR LF on slot 1..5 (USB, spooler, slot socket). 1 sent, 0 not sent.",
           "_Z15sendcommandmultiPc", "?sendcommandmult@@YAHHPEAD@Z"),
    Export("sendcommandutf8_mult", "sendcommandutf8_mult", "int", _p("slot:int text:str"),
           "Converts ANSI text to UTF-8 and sends it with CR LF on slot 1..5. 1 sent, 0 not sent.",
           "_Z20sendcommandutf8_multiPc", "?sendcommandutf8_mult@@YAHHPEAD@Z"),
    Export("sendcommandUnicode", "sendcommandUnicode", "int", _p("text:wstr"),
           "Sends wide text and CR LF on the current connection. 1 sent, 0 not sent.",
           "_Z18sendcommandUnicodePw", "?sendcommandUnicode@@YAHPEA_W@Z"),
    Export("ZULOutBuffer", "ZULOutBuffer", "int", _p("text:str"),
           "Writes text without line end to the first transport set (no open test). 1 sent, 0 none.",
           "_Z12ZULOutBufferPc", "?ZULOutBuffer@@YAHPEAD@Z"),
    Export("ZULOutBuffermult", "ZULOutBuffermult", "int", _p("slot:int text:str"),
           "Writes text without line end to a slot's USB or spooler handle. 1 sent, 0 none.",
           "_Z16ZULOutBuffermultiPc", "?ZULOutBuffermult@@YAHHPEAD@Z"),
    Export("ComportSendData", "ComportSendData", "int", _p("text:str"),
           "Writes text to the device handle as a COM port. 1, or 0 without an event.",
           "_Z15ComportSendDataPc", "?ComportSendData@@YAHPEAD@Z"),
    Export("usbportwrite", "usbportwrite", "int", _p("text:str"),
           "Opens the USB printer, writes text, a blank and two CR LF, closes it. 0 written, -1 no printer, -2 cannot open.",
           "_Z12usbportwritePc", "?usbportwrite@@YAHPEAD@Z"),
    Export("Ethernetsend", "Ethernetsend", "int", _p("text:str"),
           "Diagnostic exchange on the current socket, showing each reply as a message. Always 1.",
           "_Z12EthernetsendPc", "?Ethernetsend@@YAHPEAD@Z"),
    # ---- reading and status
    Export("QOVA_Read", "QOVA_Read", "cstr", _p("terminator:str"),
           "Reads until terminator: the reply, b'Time Out\\r\\n', b'-1' or b'' (connection not readable)."),
    Export("QOVA_Read_withTimeout", "QOVA_Read_withTimeout", "cstr",
           _p("terminator:str waitTimeout:int delayBefore:int delayAfter:int"),
           "As QOVA_Read with caller-given wait and delays in ms."),
    Export("USB_ClearBuffer", "USB_ClearBuffer", "void", (),
           "Drops what a USB printer sent and was not read."),
    Export("Serial_ClearBuffer", "Serial_ClearBuffer", "char", (),
           "Drops what a COM printer sent and was not read. 1 cleared, 0 not serial."),
    Export("QOVA_GetStatus", "QOVA_GetStatus", "cstr", (),
           "Asks for the status report and reads it up to END CR LF: the report, b'Time Out\\r\\n', b'-1' or b''."),
    Export("QOVA_SetupStatus", "QOVA_SetupStatus", "int", _p("mode:int"),
           "Sends the status-reporting set-up of mode 0..3 with sendcommand; its result."),
    Export("QOVA_SetupStatus_Mult", "QOVA_SetupStatus_Mult", "int", _p("slot:int mode:int"),
           "As QOVA_SetupStatus on a slot; the result of sendcommand_mult.",
           "_Z21QOVA_SetupStatus_Multii", "?QOVA_SetupStatus_Mult@@YAHHH@Z"),
    Export("driver_status", "driver_status", "int", _p("printerName:str"),
           "1 the printer is online, 0 offline or not found, -1 the query failed."),
    Export("driver_portname", "driver_portname", "cstr", _p("printerName:str"),
           "Opens the spooler printer and returns its port name, or b'cannot find printer'."),
    Export("UsbRead_judge", "UsbRead_judge", "bool", _p("handle:handle terminator:str"),
           "Reads a USB handle until terminator (5000 ms per request). False only without a wait event.",
           "_Z13UsbRead_judgePvPc", "?UsbRead_judge@@YA_NPEAXPEAD@Z"),
    Export("UsbRead_judge_wait", "UsbRead_judge", "bool", _p("handle:handle terminator:str waitTimeout:int"),
           "The three-argument UsbRead_judge: waitTimeout ms per request.",
           "_Z13UsbRead_judgePvPci", "?UsbRead_judge@@YA_NPEAXPEADH@Z"),
    Export("UsbReadData", "UsbReadData", "bool", _p("handle:handle unused:bool"),
           "One 512-byte read into the receive buffer, skipping CR and LF; False on nothing or STX.",
           "_Z11UsbReadDataPvb", "?UsbReadData@@YA_NPEAX_N@Z"),
    Export("UsbReadData_mult", "UsbReadData_mult", "bool", _p("handle:handle unused:bool"),
           "As UsbReadData, storing from the start of the receive buffer.",
           "_Z16UsbReadData_multPvb", "?UsbReadData_mult@@YA_NPEAX_N@Z"),
    Export("UsbReadStatus", "UsbReadStatus", "bool", _p("handle:handle unused:bool"),
           "One read keeping only its last byte. True when something arrived.",
           "_Z13UsbReadStatusPvb", "?UsbReadStatus@@YA_NPEAX_N@Z"),
    Export("UsbReadStatusDataToBuffer", "UsbReadStatusDataToBuffer", "bool", _p("handle:handle unused:bool"),
           "One read appended to the receive buffer (wrapping). True when something arrived.",
           "_Z25UsbReadStatusDataToBufferPvb", "?UsbReadStatusDataToBuffer@@YA_NPEAX_N@Z"),
    Export("UsbReadDataToBuffer", "UsbReadDataToBuffer", "bool", _p("handle:handle unused:bool"),
           "One read of the code-page answer: True to go on, False at a CR or when nothing arrived.",
           "_Z19UsbReadDataToBufferPvb", "?UsbReadDataToBuffer@@YA_NPEAX_N@Z"),
    Export("comportprintercodepage", "comportprintercodepage", "cstr", (),
           "Asks a COM printer for its code page; the answer up to STX, or b''.",
           "_Z22comportprintercodepagev", "?comportprintercodepage@@YAPEADXZ"),
    Export("ethernetprintercodepage", "ethernetprintercodepage", "cstr", (),
           "Asks the network printer for its code page; the first reply as received.",
           "_Z23ethernetprintercodepagev", "?ethernetprintercodepage@@YAPEADXZ"),
    Export("usbprintercodepage", "usbprintercodepage", "cstr", (),
           "Asks the USB printer for its code page; the answer up to its CR, or b''.",
           "_Z18usbprintercodepagev", "?usbprintercodepage@@YAPEADXZ"),
    Export("comportprinterrestart", "comportprinterrestart", "int", (),
           "Sends the restart command to the COM port. Always 1.",
           "_Z21comportprinterrestartv", "?comportprinterrestart@@YAHXZ"),
    Export("ethernetprinterrestart", "ethernetprinterrestart", "int", (),
           "Sends the restart command on the current socket. Always 1.",
           "_Z22ethernetprinterrestartv", "?ethernetprinterrestart@@YAHXZ"),
    Export("usbprinterrestart", "usbprinterrestart", "int", (),
           "Sends the restart command to the USB printer. 1 sent, -1 no printer, -2 cannot open.",
           "_Z17usbprinterrestartv", "?usbprinterrestart@@YAHXZ"),
    Export("compareport", "compareport", "int", _p("portName:str"),
           "Opens the spooler printer on that port as the current connection. 1 opened, -1 cannot open, 0 not found.",
           "_Z11compareportPc", "?compareport@@YAHPEAD@Z"),
    Export("returndriver", "returndriver", "cstr", _p("portName:str"),
           "Opens the spooler printer on that port (no job) and returns its name as UTF-8, or b'-1'.",
           "_Z12returndriverPc", "?returndriver@@YAPEADPEAD@Z"),
    # ---- form composition
    Export("QOVA_DLLinit", "QOVA_DLLinit", "void", (),
           "Creates or resets the form workspace: settings not set, no forms, no RFID fields."),
    Export("QOVA_DLLexit", "QOVA_DLLexit", "void", (), "Does nothing."),
    Export("QOVA_JobSetup", "QOVA_JobSetup", "int", _p("type:int value:int"),
           "Stores job setting 1..7 (type 0 resets all). 0 stored, 1 rejected."),
    Export("QOVA_FormSetup", "QOVA_FormSetup", "int", _p("type:int value:int"),
           "Stores form setting 1 (create line) or 2 (execute line), values >= 1. 0 stored, 1 rejected."),
    Export("QOVA_Scale", "QOVA_Scale", "int", _p("first:int second:int"),
           "Stores the scale line's values. Always 0."),
    Export("QOVA_FontSetup", "QOVA_FontSetup", "int", _p("type:int text:str"),
           "Font name (0), bold ON/OFF (1), slant R/L (2), code page (3). 0 stored, 1 rejected."),
    Export("QOVA_SetBarcode", "QOVA_SetBarcode", "int", _p("kind:int column:int text:str"),
           "Sets option column 1..9 of barcode kind 0..14 (column 0 resets the row). 0 stored, 1 rejected."),
    Export("QOVA_SetupRFID", "QOVA_SetupRFID", "int", _p("fieldLength:int increment:uchar format:str step:int data:str"),
           "Appends an RFID field record for QOVA_WriteRFID. Always 0."),
    Export("QOVA_CreateForm", "QOVA_CreateForm", "int", _p("name:str"),
           "Starts a form with the header of the current settings; returns its form number."),
    Export("QOVA_DrawBox", "QOVA_DrawBox", "int", _p("form:int b1:int b2:int b3:int b4:int b5:int"),
           "Appends a BOX element. Always 0."),
    Export("QOVA_DrawLine", "QOVA_DrawLine", "int", _p("form:int k:int r1:int c1:int r2:int c2:int"),
           "Appends a HORZ, VERT or DIAG element. Always 0."),
    Export("QOVA_PrintTextEng", "QOVA_PrintTextEng", "int", _p("form:int f1:int f2:int f3:int f4:int text:str"),
           "Appends an ALPHA text element. Always 0."),
    Export("QOVA_PrintTextCH", "QOVA_PrintTextCH", "int", _p("form:int f1:int f2:int f3:int f4:int text:str"),
           "Appends a TWOBYTE text element. Always 0."),
    Export("QOVA_PrintBarcode", "QOVA_PrintBarcode", "int", _p("form:int kind:int f1:int f2:int data:str"),
           "Appends a BARCODE element with the kind's options. 0, or 1 for a kind outside 0..14."),
    Export("QOVA_PrintImage", "QOVA_PrintImage", "int", _p("form:int f1:int f2:int logoName:str"),
           "Appends a LOGO element. Always 0."),
    Export("printer_Logo", "printer_Logo", "block", _p("form:int logoName:str f1:int f2:int"),
           "Appends a LOGO element with LF line ends; returns a copy of it (a caller-owned block)."),
    Export("QOVA_WriteRFID", "QOVA_WriteRFID", "int", _p("form:int lock:str tagHeader:str"),
           "Appends an RFWTAG element of the RFID field records. 0, or 1 when there is no record."),
    Export("QOVA_VerifyRFID", "QOVA_VerifyRFID", "int",
           _p("form:int unlock:str tagHeader:str fieldLength:int format:str"),
           "Appends an RFRTAG and VERIFY element. Always 0."),
    Export("QOVA_GetFormData", "QOVA_GetFormData", "block", _p("form:int"),
           "The complete form text, not sent (a caller-owned block)."),
    Export("QOVA_PrintForm", "QOVA_PrintForm", "block", _p("form:int"),
           "Sends the complete form as UTF-8 on the current connection; returns its text (a caller-owned block) whatever the send did."),
    Export("QOVA_PrintForm_Mult", "QOVA_PrintForm_Mult", "block", _p("slot:int form:int"),
           "As QOVA_PrintForm on a slot."),
    # ---- printer control commands
    Export("QOVA_FORMFEED", "QOVA_FORMFEED", "cstr", (), "Sends a form feed; returns the text sent."),
    Export("QOVA_FORMFEED_Mult", "QOVA_FORMFEED_Mult", "cstr", _p("slot:int"), "As QOVA_FORMFEED on a slot."),
    Export("QOVA_PrinterReset", "QOVA_PrinterReset", "cstr", (), "Sends the reset block; returns the text sent."),
    Export("QOVA_PrinterReset_Mult", "QOVA_PrinterReset_Mult", "cstr", _p("slot:int"),
           "As QOVA_PrinterReset on a slot.",
           "_Z22QOVA_PrinterReset_Multi", "?QOVA_PrinterReset_Mult@@YAPEADH@Z"),
    Export("QOVA_GAPDETECT", "QOVA_GAPDETECT", "cstr", (),
           "Selects the gap sensor and calibrates; returns the text sent."),
    Export("QOVA_GAPDETECT_Mult", "QOVA_GAPDETECT_Mult", "cstr", _p("slot:int"), "As QOVA_GAPDETECT on a slot."),
    Export("QOVA_BLINEDETECT", "QOVA_BLINEDETECT", "cstr", (),
           "Selects the black-line sensor and calibrates; returns the text sent."),
    Export("QOVA_BLINEDETECT_Mult", "QOVA_BLINEDETECT_Mult", "cstr", _p("slot:int"), "As QOVA_BLINEDETECT on a slot."),
    Export("QOVA_SETSENSOR", "QOVA_SETSENSOR", "cstr", _p("value:int"),
           "Sets the media-sensor menu to value; returns the text sent."),
    Export("QOVA_SETSENSOR_Mult", "QOVA_SETSENSOR_Mult", "cstr", _p("slot:int value:int"), "As QOVA_SETSENSOR on a slot."),
    Export("QOVA_RFIDAUTOCALIBRATION", "QOVA_RFIDAUTOCALIBRATION", "cstr", (),
           "Runs the RFID calibration; returns the reply as QOVA_Read does (terminator QOV_END CR LF)."),
    Export("QOVA_RFIDAUTOCALIBRATION_Mult", "QOVA_RFIDAUTOCALIBRATION_Mult", "cstr", _p("slot:int"),
           "Sends the RFID calibration on a slot; reads the reply from the current connection."),
    # ---- one-call formatters and graphics (each sends its text with sendcommand)
    Export("download_format", "download_format", "cstr", _p("name:str"), "Sends and returns ~CREATE;name;X."),
    Export("download_format_define", "download_format_define", "cstr", _p("prefix:str name:str"),
           "Sends and returns prefixCREATE;name;X."),
    Export("printer_label", "printer_label", "cstr", _p("name:str count:int"),
           "Sends and returns END, ~EXECUTE;name;count, ~NORMAL."),
    Export("printer_label_define", "printer_label_define", "cstr", _p("prefix:str name:str count:int"),
           "Sends and returns END, prefixEXECUTE;name;count, prefixNORMAL."),
    Export("printer_dpi", "printer_dpi", "cstr", _p("dpi:int"), "Sends and returns SCALE;DOT;dpi;dpi."),
    Export("printer_codepage", "printer_codepage", "cstr", _p("codepage:str"), "Sends and returns ISET;'codepage'."),
    Export("printer_external_font", "printer_external_font", "cstr", _p("name:str symset:str"),
           "Sends and returns FONT;NAME name;SYMSET 'symset'."),
    Export("printer_internal_font", "printer_internal_font", "cstr", _p("face:str bold:str slant:str symset:str"),
           "Sends and returns FONT;FACE ..;BOLD ..;SLANT ..;SYMSET '..'."),
    Export("printer_font", "printer_font", "cstr", _p("p1:int p2:int p3:int p4:int text:str"),
           "Sends and returns an ALPHA element."),
    Export("printer_font_binary", "printer_font_binary", "cstr", _p("p1:int p2:int p3:int p4:int text:bintext"),
           "As printer_font, the text given as bytes (an unsigned int pointer in C).",
           "_Z19printer_font_binaryiiiiPj", "?printer_font_binary@@YAPEADHHHHPEAI@Z"),
    Export("printer_font_twobyte", "printer_font_twobyte", "cstr", _p("p1:int p2:int p3:int p4:int text:str"),
           "Sends and returns a TWOBYTE element."),
    Export("printer_font_twobyte_binary", "printer_font_twobyte_binary", "cstr",
           _p("p1:int p2:int p3:int p4:int text:str"), "As printer_font_twobyte."),
    Export("printer_barcode", "printer_barcode", "cstr", _p("p1:str p2:str p3:str p4:int p5:int data:str"),
           "Sends and returns a BARCODE element."),
    Export("printer_barcode_humanredable", "printer_barcode_humanredable", "cstr",
           _p("p1:str p2:str p3:str p4:int p5:int data:str"),
           "Sends and returns a BARCODE element with the PDF line."),
    Export("printer_box", "printer_box", "cstr", _p(_I5), "Sends and returns a BOX element."),
    Export("printer_diagonal", "printer_diagonal", "cstr", _p(_I5), "Sends and returns a DIAG element."),
    Export("printer_horizontal", "printer_horizontal", "cstr", _p(_I5), "Sends and returns a HORZ element."),
    Export("printer_vertical", "printer_vertical", "cstr", _p(_I5), "Sends and returns a VERT element."),
    Export("printer_RFID_write", "printer_RFID_write", "cstr", _p("length:int format:str data:int"),
           "Sends and returns an RFWTAG element."),
    Export("printer_PNGLogo_NORMAL", "printer_PNGLogo_NORMAL", "block",
           _p("picture:bytes name:str height:int width:int"),
           "Turns a packed 1-bit picture (rows of (width+4)//8 bytes, 0 = dot) into a logo definition, "
           "sends it and returns it (a caller-owned block)."),
    Export("QOVA_DownloadPCX", "QOVA_DownloadPCX", "int", _p("path:str logoName:str"),
           "Sends an image file framed as a PCX logo. 1 sent, 0 not."),
    # ---- library information
    Export("about", "about", "int", (), "Shows the version message. Always 1."),
    Export("QOVA_GetDllVersion", "QOVA_GetDllVersion", "cstr", (), "The version text of the form API."),
    Export("dllversion", "dllversion", "cstr", (), "The library version, b'2.03'.",
           "_Z10dllversionv", "?dllversion@@YAPEADXZ"),
    Export("savetotext", "savetotext", "int", _p("text:wstr"),
           "Shows text in a message and writes it to testfile.txt. Always 0.",
           "_Z10savetotextPw", "?savetotext@@YAHPEA_W@Z"),
)

BY_KEY: Dict[str, Export] = {e.key: e for e in EXPORTS}

# ---- loading --------------------------------------------------------------

_load_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_functions: Dict[str, Any] = {}


def _declare(lib: ctypes.CDLL) -> Dict[str, Any]:
    functions = {}
    for export in EXPORTS:
        try:
            fn = getattr(lib, export.symbol())
        except AttributeError:
            raise LibraryNotFoundError(f"{lib._name} lacks {export.name} ({export.symbol()})") from None
        fn.restype = _RESULT[export.result][0]
        fn.argtypes = [_ARG[kind][0] for _, kind in export.params]
        functions[export.key] = fn
    return functions


def library(path: Optional[str] = None) -> ctypes.CDLL:
    """Loads the library once (see :func:`qovlib._loader.candidates` for where
    it is looked for), declares every export, and returns it. With *path*,
    loads that file instead; this is only possible before the first load."""
    global _library, _functions
    with _load_lock:
        if _library is None:
            lib = load_library(path)
            _functions = _declare(lib)
            _library = lib
        elif path is not None and path != _library._name:
            raise RuntimeError(f"the library is already loaded from {_library._name}")
        return _library


def function(key: str) -> Any:
    """The declared ctypes function of an export (raw pointers and all)."""
    library()
    return _functions[key]


# ---- conversions ----------------------------------------------------------

if not IS_WINDOWS:
    _libc = ctypes.CDLL(None)
    _free: Optional[Callable[[Any], None]] = _libc.free
    _libc.free.argtypes = [ctypes.c_void_p]
    _libc.free.restype = None
else:
    _free = None


def encode(text: Text) -> bytes:
    """8-bit text for the library: bytes as they are, str in the ANSI code page.
    Text cannot hold a NUL byte (the library would stop there)."""
    data = text.encode(ansi_codec()) if isinstance(text, str) else bytes(text)
    if b"\0" in data:
        raise ValueError("text for the library cannot contain a NUL byte")
    return data


def _argument(kind: str, value: Any) -> Any:
    if kind == "str":
        if value is None:
            raise TypeError("the library needs a text here, not None")
        return encode(value)
    if kind == "wstr":
        if not isinstance(value, str):
            raise TypeError("wide text must be a str")
        if "\0" in value:
            raise ValueError("text for the library cannot contain a NUL character")
        return value
    if kind == "bytes":
        return bytes(value)
    if kind == "bintext":
        data = bytes(value)
        if b"\0" in data:
            raise ValueError("text for the library cannot contain a NUL byte")
        # A NUL-terminated copy, passed as the unsigned int pointer the C++ signature names.
        return ctypes.cast(ctypes.create_string_buffer(data), ctypes.POINTER(ctypes.c_uint))
    if kind == "portptr":
        # Never dereferenced: the port number is the pointer's value.
        return ctypes.cast(ctypes.c_void_p(int(value) & 0xFFFF), ctypes.POINTER(ctypes.c_int))
    if kind == "handle":
        return ctypes.c_void_p(int(value))
    return value


def _take_block(address: Optional[int]) -> bytes:
    if not address:
        raise MemoryError("the library could not allocate the text block")
    data = ctypes.string_at(address)
    if _free is not None:
        _free(address)
    return data


def _result(kind: str, value: Any) -> Any:
    if kind == "cstr":
        return b"" if value is None else value
    if kind == "block":
        return _take_block(value)
    if kind == "char":
        return value[0] if isinstance(value, bytes) else int(value)
    return value


def _check_counted(export: Export, args: List[Any]) -> None:
    """Bounds the library trusts the caller to keep; refused here instead of
    letting it read past a Python buffer."""
    if export.name in ("sendBinaryData", "sendBinaryDataNoCRLF"):
        data, length = args
        if not 0 <= length <= len(data):
            raise ValueError(f"length {length} outside the {len(data)} bytes of data")
    elif export.name == "printer_PNGLogo_NORMAL":
        picture, _, height, width = args
        needed = max(height, 0) * max((width + 4) // 8, 0)
        if len(picture) < needed:
            raise ValueError(f"a {width} x {height} picture needs {needed} bytes, got {len(picture)}")


def _make_wrapper(export: Export) -> Callable[..., Any]:
    kinds = [kind for _, kind in export.params]
    result_kind = export.result

    def call(*args: Any) -> Any:
        if len(args) != len(kinds):
            raise TypeError(f"{export.name}() takes {len(kinds)} arguments ({len(args)} given)")
        converted = [_argument(kind, value) for kind, value in zip(kinds, args)]
        _check_counted(export, converted)
        return _result(result_kind, function(export.key)(*converted))

    call.__name__ = call.__qualname__ = export.key
    call.__doc__ = export.doc + (
        "\n\nReturns a caller-owned block, copied into bytes (no export releases it)."
        if result_kind == "block" else ""
    )
    parameters = [
        inspect.Parameter(name, inspect.Parameter.POSITIONAL_ONLY, annotation=_ARG[kind][1])
        for name, kind in export.params
    ]
    call.__signature__ = inspect.Signature(parameters, return_annotation=_RESULT[result_kind][1])  # type: ignore[attr-defined]
    call.__annotations__ = {name: _ARG[kind][1] for name, kind in export.params}
    call.__annotations__["return"] = _RESULT[result_kind][1]
    call.__module__ = __name__
    return call


_module = sys.modules[__name__]
for _export in EXPORTS:
    setattr(_module, _export.key, _make_wrapper(_export))

_judge2 = getattr(_module, "UsbRead_judge")
_judge3 = getattr(_module, "UsbRead_judge_wait")


def UsbRead_judge(handle: int, terminator: Text, waitTimeout: Optional[int] = None) -> bool:  # noqa: N802
    """Reads a USB handle until terminator: the two-argument overload waits
    5000 ms per read request, the three-argument one waitTimeout ms. On Linux
    the handle is a file descriptor of a printer device node. False only when
    the wait event cannot be made."""
    if waitTimeout is None:
        return _judge2(handle, terminator)
    return _judge3(handle, terminator, waitTimeout)


#: The Python names of all exports (the 114 functions; UsbRead_judge covers
#: both overloads, UsbRead_judge_wait is its three-argument form).
__all__ = [e.key for e in EXPORTS] + ["EXPORTS", "Export", "library", "function", "encode"]
