"""Previews through qovpreview: the real renderer when it is built, and the
command line and input the package hands it."""
from __future__ import annotations

import os
import sys
from pathlib import Path

import pytest

import qovlib
from qovlib import Barcode, Form, Logo, Printer, RendererNotFoundError, find_qovpreview


def renderer() -> Path:
    try:
        return find_qovpreview()
    except RendererNotFoundError as error:
        pytest.skip(f"qovpreview is not built here ({error})")


def sample_form() -> Form:
    form = Form("PREVIEW", width=2000, length=1000, scale=(203, 203))
    form.add_box(3, 10, 10, 190, 390)
    form.add_text(60, 30, 1, 1, "Preview \u00e9")
    form.add_barcode(Barcode.CODE128B, 100, 30, "QOV-1", x=2, h=5)
    return form


class TestRenderer:
    def test_form_preview_is_a_png_with_ink(self, tmp_path):
        renderer()
        path = sample_form().preview(tmp_path / "label.png")
        assert path == tmp_path / "label.png"
        assert path.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        Image = pytest.importorskip("PIL.Image")
        with Image.open(path) as image:
            assert image.width > 0 and image.height > 0
            assert image.convert("L").getextrema()[0] == 0  # something was drawn

    def test_a_capture_gives_one_picture_per_label(self, emulator, tmp_path):
        renderer()
        with Printer.tcp("127.0.0.1", emulator.port, close_delay=0) as printer:
            sample_form().print(printer)
        capture = sorted(emulator.captures_dir.glob("conn-*-tcp.bin"))
        emulator.stop()
        pictures = qovlib.preview(capture[0], tmp_path / "out")
        assert [p.name for p in pictures] == ["001-PREVIEW.png"]


FAKE = """#!{python}
import pathlib, sys
args = sys.argv[1:]
pathlib.Path({log!r}).write_text("\\n".join(args))
out = pathlib.Path(args[args.index("--out") + 1])
source = pathlib.Path(args[-1])
(out / "001-F.png").write_bytes(b"PNG of " + source.read_bytes())
print(source, "001-F.png")
"""


class TestCommandLine:
    def test_form_preview_runs_qovpreview_on_what_the_printer_would_get(self, tmp_path, monkeypatch):
        log = tmp_path / "args.txt"
        fake = tmp_path / "qovpreview"
        fake.write_text(FAKE.format(python=sys.executable, log=str(log)))
        fake.chmod(0o755)
        monkeypatch.setenv("QOVPREVIEW", str(fake))
        logo = Logo("L1", b"~LOGO;L1;1;8;\n1;1\nEND", 1, 8)
        form = Form("F").add_text(1, 2, 1, 1, "\u00e9").add_logo(3, 4, logo)

        path = form.preview(tmp_path / "pictures" / "f.png", logos=[logo], dpi=300, paper="4000x6000")

        args = log.read_text().split("\n")
        assert args[:6] == ["--dpi", "300", "--paper", "4000x6000", "--out", args[5]]
        expected_input = logo.definition + b"\r\n" + form.text().decode("cp1252").encode("utf-8") + b"\r\n"
        assert path.read_bytes() == b"PNG of " + expected_input
        assert not Path(args[-1]).exists()  # the work folder is gone

    def test_missing_renderer_is_a_clear_error(self, tmp_path, monkeypatch):
        monkeypatch.setenv("QOVPREVIEW", str(tmp_path / "absent"))
        with pytest.raises(RendererNotFoundError, match="QOVPREVIEW"):
            Form("F").preview(tmp_path / "f.png")
        assert not os.path.exists(tmp_path / "f.png")
