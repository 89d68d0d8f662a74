"""Logos from Pillow images: the packing the library reads, and the logo
stored in the printer."""
from __future__ import annotations

import pytest

from qovlib import Form, Printer, StateError, logo_from_image

Image = pytest.importorskip("PIL.Image", reason="Pillow (python3-pil) is not installed")


def picture(width: int, height: int, dots, mode: str = "L", background=255, ink=0):
    image = Image.new(mode, (width, height), background)
    for x, y in dots:
        image.putpixel((x, y), ink)
    return image


class TestConversion:
    def test_dots_become_runs_per_row(self):
        # Row 1: columns 9 to 12; row 2: column 1 (the library's own example picture).
        image = picture(16, 2, [(x, 0) for x in range(8, 12)] + [(0, 1)])
        logo = logo_from_image(image, "A")
        assert logo.definition == b"~LOGO;A;2;16;\n1;9-12\n2;1\nEND"
        assert (logo.name, logo.height, logo.width) == ("A", 2, 16)

    def test_last_columns_of_odd_widths_are_kept(self):
        # At width 9 the library reads one byte per row and would lose column 9;
        # the image is widened to 12 blank-padded columns instead.
        logo = logo_from_image(picture(9, 1, [(8, 0)]), "W")
        assert logo.definition == b"~LOGO;W;1;12;\n1;9\nEND"

    def test_threshold_colour_and_transparency(self):
        image = Image.new("RGBA", (8, 1), (255, 255, 255, 255))
        image.putpixel((0, 0), (0, 0, 0, 255))       # black: a dot
        image.putpixel((1, 0), (0, 0, 0, 0))         # transparent black: paper
        image.putpixel((2, 0), (100, 100, 100, 255))  # dark grey: a dot at 128
        image.putpixel((3, 0), (200, 200, 200, 255))  # light grey: paper
        assert logo_from_image(image, "C").definition == b"~LOGO;C;1;8;\n1;1;3\nEND"
        assert logo_from_image(image, "C", threshold=90).definition == b"~LOGO;C;1;8;\n1;1\nEND"


class TestInThePrinter:
    def test_logo_is_stored_and_placed_on_a_form(self, emulator):
        image = picture(24, 3, [(x, y) for x in range(4, 20) for y in range(3)])
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            logo = logo_from_image(image, "BOXLOGO", printer=printer)
            Form("WITHLOGO").add_logo(10, 20, logo).print(printer)
            report = printer.status()
        assert "LOGOS STORED;1\r\n" in report and "LABELS PRINTED;1\r\n" in report
        capture = emulator.captures()[0]
        assert capture.startswith(b"~LOGO;BOXLOGO;3;24;\n1;5-20\n2;5-20\n3;5-20\nEND\r\n")
        assert b"LOGO\r\n10;20;BOXLOGO\r\nSTOP\r\n" in capture

    def test_printer_must_be_the_open_one(self, emulator):
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            pass
        with pytest.raises(StateError):
            logo_from_image(picture(8, 1, [(0, 0)]), "X", printer=printer)
