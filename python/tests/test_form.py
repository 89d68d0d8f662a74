"""Form: what it composes is what the C API composes for the same calls, on
the wire too; rejected settings raise; forms and threads do not mix up."""
from __future__ import annotations

import threading

import pytest

from qovlib import Barcode, Form, FormError, Printer, exports


def python_form() -> Form:
    form = Form("LABEL1", width=400, speed=6, rotate=90, create_value=300, copies=2, scale=(203, 203),
                font_name="Mono", bold=True, slant="L", code_page="ASCII")
    form.add_box(2, 10, 10, 390, 580)
    form.add_text(40, 30, 2, 2, "Caf\u00e9 *;*")
    form.add_twobyte_text(80, 30, 1, 1, b"\xb0\xa1")
    form.add_line(2, 90, 30, 90, 560).add_line(2, 250, 300, 380, 300).add_line(1, 300, 30, 360, 560)
    form.add_barcode(Barcode.CODE128B, 170, 40, "QOV-000123", x=2, h=60, human_readable=True)
    form.add_barcode(Barcode.QRCODE, 200, 400, "https://example.invalid/1", rotation=90, x=4, e=2)
    form.add_logo(20, 500, "LOGO1")
    form.rfid_field(32, "1234").rfid_field(64, "00AA", format="H", increment=True, step=-5)
    form.add_rfid_write(lock="L1", tag_header="T")
    form.add_rfid_verify(96, format="H", unlock="U", tag_header="T")
    return form


def c_api_form(print_it: bool = False) -> bytes:
    """The same label through the exports, written as a C program would."""
    e = exports
    e.QOVA_DLLinit()
    e.QOVA_JobSetup(1, 400)
    e.QOVA_JobSetup(3, 6)
    e.QOVA_JobSetup(7, 90)
    e.QOVA_FormSetup(1, 300)
    e.QOVA_FormSetup(2, 2)
    e.QOVA_Scale(203, 203)
    e.QOVA_FontSetup(0, "Mono")
    e.QOVA_FontSetup(1, "ON")
    e.QOVA_FontSetup(2, "L")
    e.QOVA_FontSetup(3, "ASCII")
    n = e.QOVA_CreateForm("LABEL1")
    e.QOVA_DrawBox(n, 2, 10, 10, 390, 580)
    e.QOVA_PrintTextEng(n, 40, 30, 2, 2, b"Caf\xe9 *;*")
    e.QOVA_PrintTextCH(n, 80, 30, 1, 1, b"\xb0\xa1")
    e.QOVA_DrawLine(n, 2, 90, 30, 90, 560)
    e.QOVA_DrawLine(n, 2, 250, 300, 380, 300)
    e.QOVA_DrawLine(n, 1, 300, 30, 360, 560)
    e.QOVA_SetBarcode(2, 3, "2")
    e.QOVA_SetBarcode(2, 1, "60")
    e.QOVA_SetBarcode(2, 4, "")
    e.QOVA_PrintBarcode(n, 2, 170, 40, "QOV-000123")
    e.QOVA_SetBarcode(7, 2, "90")
    e.QOVA_SetBarcode(7, 3, "4")
    e.QOVA_SetBarcode(7, 8, "2")
    e.QOVA_PrintBarcode(n, 7, 200, 400, "https://example.invalid/1")
    e.QOVA_PrintImage(n, 20, 500, "LOGO1")
    e.QOVA_SetupRFID(32, 0, "", 0, "1234")
    e.QOVA_SetupRFID(64, 1, "H", -5, "00AA")
    e.QOVA_WriteRFID(n, "L1", "T")
    e.QOVA_VerifyRFID(n, "U", "T", 96, "H")
    return e.QOVA_PrintForm(n) if print_it else e.QOVA_GetFormData(n)


class TestSameAsTheCApi:
    def test_text_is_what_get_form_data_returns(self):
        text = python_form().text()
        assert text == c_api_form()
        # A few lines that show the calls really reached the text.
        assert b"~CREATE;LABEL1;X;300\r\nFONT;NAME Mono;SLANT LEFT;BOLD ON;SYMSET 0\r\n" in text
        assert b"C128B;X2;H60;170;40\r\n*QOV-000123*\r\nPDF\r\nSTOP" in text
        assert b"QRCODE;CW;X4;E2;200;400\r\n" in text
        assert b"RFWTAG;LOCKL1;96;T\r\n32;D;*1234*\r\n64;I;H;STEP-5;*00AA*\r\nSTOP" in text
        assert text.endswith(b"END\r\n~EXECUTE;LABEL1;2\r\n~NORMAL\r\n")

    def test_bytes_at_the_printer_are_those_of_print_form(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            returned = python_form().print(printer)
        assert exports.openethernet("127.0.0.1", emulator.port) == 0
        c_text = c_api_form(print_it=True)
        exports.closeethernetport(0)
        from_python, from_c = emulator.captures()
        assert returned == c_text
        assert from_python == from_c
        # Sent as UTF-8 (the e-acute of the text is two bytes), then CR LF.
        assert from_python == c_text.decode("cp1252").encode("utf-8") + b"\r\n"
        assert b"Caf\xc3\xa9" in from_python

    def test_the_printer_prints_the_copies(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            Form("F", copies=3).add_text(10, 10, 1, 1, "x").print(printer)
            assert "LABELS PRINTED;3\r\n" in printer.status()


class TestRejected:
    @pytest.mark.parametrize("settings", [
        dict(width=99), dict(length=99001), dict(rotate=45), dict(intensity=16), dict(copies=0),
        dict(bold=True, slant="right"), dict(code_page="utf8"),
    ])
    def test_header_settings_the_library_refuses(self, settings):
        with pytest.raises(FormError):
            Form("F", **settings)

    def test_elements_the_library_refuses(self):
        form = Form("F")
        with pytest.raises(FormError):
            form.add_barcode(15, 1, 1, "X")
        with pytest.raises(FormError, match="QOVA_WriteRFID"):
            form.add_rfid_write(tag_header="T")
        assert form.text() == b"~CREATE;F;X\r\nEND\r\n~EXECUTE;F\r\n~NORMAL\r\n"  # nothing kept


class TestIndependence:
    def test_forms_and_barcode_options_do_not_leak(self):
        first = Form("A", width=400)
        second = Form("B")
        first.add_barcode(Barcode.CODE39, 1, 2, "X", x=4)
        second.add_text(5, 6, 1, 1, "only B")
        first.add_barcode(Barcode.CODE39, 3, 4, "Y")  # no options of its own
        assert first.text() == (b"~NORMAL\r\n~PAPER;SIZE 400,0\r\n~CREATE;A;X\r\n"
                                b"BARCODE\r\nC3/9;X4;1;2\r\n*X*\r\nSTOP\r\n"
                                b"BARCODE\r\nC3/9;3;4\r\n*Y*\r\nSTOP\r\nEND\r\n~EXECUTE;A\r\n~NORMAL\r\n")
        assert second.text() == b"~CREATE;B;X\r\nALPHA\r\n5;6;1;1;*only B*\r\nSTOP\r\nEND\r\n~EXECUTE;B\r\n~NORMAL\r\n"

    def test_threads_composing_at_once_get_their_own_text(self):
        # Each composition resets the one form workspace; without the lock the
        # threads would reset each other's forms half way.
        expected = {}
        for i in range(4):
            form = Form(f"T{i}", speed=i + 1)
            for k in range(20):
                form.add_text(k, i, 1, 1, f"thread {i} line {k}")
            expected[i] = (form, form.text())
        wrong = []

        def compose(i):
            form, text = expected[i]
            for _ in range(25):
                if form.text() != text:
                    wrong.append(i)

        threads = [threading.Thread(target=compose, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert wrong == []
