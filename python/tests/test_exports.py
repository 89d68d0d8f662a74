"""The one-to-one layer: its table against the library's export tables, and
the argument and result conversions that cross into C."""
from __future__ import annotations

import ctypes
import os
import re
import subprocess
import sys
from pathlib import Path

import pytest

import qovlib
from qovlib import exports

from conftest import REPO


def def_file_entries():
    """(decorated x64 name, Itanium symbol) pairs and plain names of QOVLIB.def."""
    decorated, plain = {}, set()
    for line in (REPO / "QOVLIB.def").read_text().splitlines():
        line = line.strip()
        if not line or line.startswith(";") or line.startswith(("LIBRARY", "EXPORTS")):
            continue
        if "=" in line:
            msvc, itanium = line.split("=")
            decorated[msvc] = itanium
        else:
            plain.add(line)
    return decorated, plain


class TestTable:
    def test_matches_the_export_definition_file(self):
        decorated, plain = def_file_entries()
        assert len(exports.EXPORTS) == 114
        assert {e.msvc: e.itanium for e in exports.EXPORTS if e.msvc} == decorated
        assert {e.name for e in exports.EXPORTS if not e.msvc} == plain

    @pytest.mark.parametrize("arch,x64", [("x64", True), ("x86", False)])
    def test_windows_names_are_those_each_dll_exports(self, arch, x64):
        listed = (REPO / "tests" / "wine" / "exports" / f"QOVLIB-{arch}.txt").read_text().split()
        assert sorted(e.symbol(windows=True, x64=x64) for e in exports.EXPORTS) == sorted(listed)

    def test_linux_symbols_are_exactly_the_librarys_api(self):
        lib = exports.library()
        dump = subprocess.run(["nm", "-D", "--defined-only", lib._name], capture_output=True, text=True, check=True)
        symbols = {line.split()[-1] for line in dump.stdout.splitlines() if line.strip()}
        # The C++ standard library's template instances the .so also carries are not API.
        api = {s for s in symbols if not re.match(r"_Z(N|Z|St)", s)}
        assert api == {e.symbol(windows=False) for e in exports.EXPORTS}

    def test_every_wrapper_is_public_under_the_export_name(self):
        for export in exports.EXPORTS:
            assert callable(getattr(exports, export.key)), export.key
            assert export.key in exports.__all__

    def test_type_stub_is_up_to_date(self):
        from qovlib import _stubgen

        stub = Path(exports.__file__).with_name("exports.pyi")
        assert stub.read_text() == _stubgen.render(), "regenerate: python3 -m qovlib._stubgen > qovlib/exports.pyi"


@pytest.mark.skipif(not os.environ.get("QOVLIB_EXPECT_INSTALLED"), reason="runs on the installed wheel only")
def test_the_installed_wheel_loads_the_library_it_bundles():
    package = Path(qovlib.__file__).resolve().parent
    assert str(package).startswith(str(Path(os.environ["QOVLIB_EXPECT_INSTALLED"]).resolve()))
    assert Path(exports.library()._name).resolve() == package / "libqovlib.so"


def test_a_library_that_cannot_be_loaded_is_a_clear_error(tmp_path):
    # A process of its own: the library loads once per process.
    script = ("import qovlib\n"
              "try:\n    qovlib.exports.dllversion()\n"
              "except qovlib.LibraryNotFoundError as e:\n    print('not found:', e)\n")
    env = dict(os.environ, QOVLIB_LIBRARY=str(tmp_path / "libqovlib.so"),
               PYTHONPATH=str(Path(qovlib.__file__).resolve().parents[1]))
    run = subprocess.run([sys.executable, "-c", script], env=env, capture_output=True, text=True, timeout=60,
                         cwd=tmp_path)
    assert run.stdout.startswith("not found: cannot load the QOVLIB library; set QOVLIB_LIBRARY")
    assert str(tmp_path / "libqovlib.so") in run.stdout


class TestConversions:
    def setup_method(self):
        exports.QOVA_DLLinit()

    def test_text_is_encoded_in_the_ansi_code_page(self):
        form = exports.QOVA_CreateForm("F1")
        exports.QOVA_PrintTextEng(form, 10, 20, 1, 1, "Grüße")
        exports.QOVA_PrintTextEng(form, 10, 20, 1, 1, b"\xe9")
        assert exports.QOVA_GetFormData(form) == (
            b"~CREATE;F1;X\r\nALPHA\r\n10;20;1;1;*Gr\xfc\xdfe*\r\nSTOP\r\n"
            b"ALPHA\r\n10;20;1;1;*\xe9*\r\nSTOP\r\nEND\r\n~EXECUTE;F1\r\n~NORMAL\r\n")

    def test_text_the_library_would_cut_is_refused(self):
        with pytest.raises(ValueError):
            exports.QOVA_CreateForm("A\0B")
        with pytest.raises(UnicodeEncodeError):
            exports.QOVA_CreateForm("\u4e2d")  # not in Windows-1252
        with pytest.raises(TypeError):
            exports.QOVA_CreateForm(None)

    def test_counted_blocks_may_not_reach_past_the_data(self):
        with pytest.raises(ValueError):
            exports.sendBinaryData(b"abc", 4)
        with pytest.raises(ValueError):
            exports.printer_PNGLogo_NORMAL(b"\xff" * 3, "A", 2, 16)  # needs 2 rows of 2 bytes

    def test_caller_owned_blocks_are_copied(self):
        form = exports.QOVA_CreateForm("F")
        element = exports.printer_Logo(form, "LOGO1", 50, 60)
        assert element == b"LOGO\n50;60;LOGO1\nSTOP\n"
        first, second = exports.QOVA_GetFormData(form), exports.QOVA_GetFormData(form)
        assert first == second and first.startswith(b"~CREATE;F;X\r\n" + element)
        # Logo conversion of a packed picture: rows of (width + 4) // 8 bytes, 0 = dot.
        assert exports.printer_PNGLogo_NORMAL(bytes.fromhex("FF0F7FFF"), "A", 2, 16) == \
            b"~LOGO;A;2;16;\n1;9-12\n2;1\nEND"

    def test_library_owned_texts_and_small_results(self):
        assert exports.QOVA_GetDllVersion() == b"Halvendorm DLL version 1.00b1"
        assert exports.dllversion() == b"2.03"
        # The package carries the version of the library it bundles, written as the library writes it.
        assert qovlib.__version__.encode() == exports.dllversion()
        assert exports.QOVA_SETSENSOR(-1) == b"!QOV_SETUP\r\nCONFIG-SETMENU;-1;mediasensor\r\nQOV_END\r\n"
        assert exports.Serial_ClearBuffer() == 0  # a C char, as an int
        assert exports.printer_font_binary(1, 2, 3, 4, b"AB") == b"ALPHA\r\n1;2;3;4;*AB*\r\nSTOP"

    def test_declared_types_are_the_c_signatures(self):
        judge3 = exports.function("UsbRead_judge_wait")
        assert judge3.argtypes == [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        assert judge3.restype is ctypes.c_bool
        assert exports.function("QOVA_SetupRFID").argtypes[1] is ctypes.c_ubyte
        assert exports.function("sendcommandUnicode").argtypes == [ctypes.c_wchar_p]
        assert exports.function("QOVA_GetFormData").restype is ctypes.c_void_p


class TestOnTheWire:
    """Exports whose conversion only shows in the bytes that arrive."""

    def test_slot_port_travels_as_the_pointer_value_and_wide_text_as_utf8(self, emulator):
        assert exports.openethernetmult(2, "127.0.0.1", emulator.port) == 0
        assert exports.sendcommand_mult(2, "SLOT2") == 1
        assert exports.closeethernetportmult(2, 0) == 1
        assert exports.openethernet("127.0.0.1", emulator.port) == 0
        assert exports.sendcommandUnicode("Grüße \u2713") == 1
        assert exports.sendBinaryDataNoCRLF(b"A\0B", 3) == 1
        assert exports.closeethernetport(0) == 1
        assert emulator.captures() == [b"SLOT2\r\n", "Grüße \u2713".encode("utf-8") + b"\r\nA\0B"]
