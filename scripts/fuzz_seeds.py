#!/usr/bin/python3
"""Writes the committed seeds of the fuzz targets, fuzz/corpus/<target>/,
from the cases of the unit tests, in each target's input format (see the
comment at the top of fuzz/<target>_fuzz.cpp). Run from the repository root."""
import os
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus")


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def le32(v):
    return struct.pack("<i", v)


def fdp_int(v):
    """An int as FuzzedDataProvider::ConsumeIntegral<int> reads it from the end."""
    return struct.pack("<I", (v + 2**31) & 0xFFFFFFFF)


# ---- codepages: texts of the encoded-send tests ---------------------------
# code-page index: 0 ANSI, 1 UTF-8, 2 1252, ...
for i, (text, cp) in enumerate([(b"caf\xe9", 0), (b"\x80", 0), (b"", 1),
                                 ("A\u00e9\u20ac\U0001F600".encode(), 1),
                                 (b"~NORMAL\r\n~PAPER;LENGTH 100\r\nEND", 2),
                                 (b"\xc3\x28\xed\xa0\x80", 1)]):
    write("codepages", "platform-%d" % i, text + bytes([1, cp, 1]))
for i, (ansi, wide) in enumerate([(b"caf\xe9", "A\u00e9\u20ac\U0001F600"), (b"\x80", "X"),
                                   (b"", "Az"), (b"\xe9", "")]):
    chars = [ord(c) for c in wide]
    tail = b"".join(struct.pack("<I", c) for c in reversed(chars))
    write("codepages", "sends-%d" % i, ansi + tail + bytes([len(chars), 0]))

# ---- logo: pictures of the logo conversion tests ---------------------------
# name, "\\;" (ends the name), the bits, width (4 bytes), 0 (raw width), height.
for i, (bits, name, height, width) in enumerate([
        (b"\xff\x0f\x7f\xff", b"A", 2, 16), (b"\xf0", b"E", 1, 8), (bytes(100), b"S", 1, 800),
        (b"\xff" * 192, b"B", 3, 512), (b"\x0f", b"Z", 1, 4), (b"\xff\x7f", b"T", 2, 10),
        (b"\x3f\xfe", b"T", 1, 19), (b"\xff\xb7", b"W", 1, 12), (bytes(8), b"Z", -2, 16),
        (bytes(8), b"Z", 4, -12)]):
    write("logo", "picture-%d" % i, name + b"\\;" + bits + fdp_int(width) + b"\x00" + fdp_int(height))

# ---- emulator: what the session tests send ---------------------------------
# the bytes, then what the FuzzedDataProvider reads from the end, last byte
# first: line cap, form cap (2), forms, logo cap (2), logos, menu items,
# code page, chunk generator seed (4), largest chunk shift (3: up to 8 bytes).
form = (b"~NORMAL\r\n~PAPER;SIZE 400,0\r\n~CREATE;F1;X;300\r\nFONT;BOLD ON\r\n"
        b"BOX\r\n2;10;20;110;220\r\nSTOP\r\nEND\r\n~EXECUTE;F1;2\r\n~NORMAL\r\n")
sessions = [
    b"~NORMAL\r\n~STATUS",
    b"~!I\n OUT \"\x02\"\n",
    b"~!I\n\rOUT \"\x02\"\n\r",
    form,
    b"~LOGO;L1;2;16;\n1;1-4\n2;9\nEND\n~STATUS",
    b"~LOGO;P1;PCX;2;8\r\n\x00\xff~RASTEREND\r\nEND\r\n",
    b"!QOV_SETUP\r\nRFID-RFID_CAL;\r\nQOV_END\r\n\r\n",
    b"~NORMAL\r\n~CONFIG\r\nSNOOP;STATUS;ETH\r\nCONFIG-SETMENU;A;B\r\nEND\r\n~STATUS",
    b"\x1b!R\n~STATUS",
]
for i, s in enumerate(sessions):
    limits = bytes([3, 1, 2, 3, 4, 1, 4, 4, 0xFF, 0xFF, 4, 0xFF, 0xFF, 0x7F])
    write("emulator", "session-%d" % i, s + limits)

# ---- replies: the reading tests' printers ----------------------------------
# transport: 0 USB overlapped, 1 USB, 2 COM, 3 COM overlapped, 4 TCP blocking,
# 5 TCP non-blocking, 6 LPT, 7 spooler, 8 none.
def reply(data, delay=0):
    return bytes([0]) + struct.pack("<HH", delay, len(data)) + data

def expect(index):
    return bytes([5, 0, 0, index])

def close(delay=0):
    return bytes([6]) + struct.pack("<H", delay)

def fail(delay=0):
    return bytes([7]) + struct.pack("<H", delay)

def fill(byte, blocks, delay=0):
    return bytes([4]) + struct.pack("<H", delay) + bytes([byte, blocks])

def call(op, term=b"", wait=0, before=0, after=0, slot=1):
    return bytes([op, len(term)]) + term + struct.pack("<HHH", wait, before, after) + bytes([slot])

def script(transport, steps, calls, failing_events=0):
    return bytes([transport, failing_events, len(steps)]) + b"".join(steps) + b"".join(calls)

END = b"END\r\n"
replies = {
    "status-tcp": script(5, [expect(0), reply(b"STATUS;OK\r\nEND\r\nNEXT")], [call(2)]),
    "status-usb": script(0, [expect(0), reply(b"S1\r\nEND\r\n")], [call(2)]),
    "read-usb-split": script(0, [reply(b"EN"), reply(b"D\r\n+")], [call(0, END)]),
    "read-usb-sync": script(1, [reply(b"EN"), reply(b"D\r\n+")], [call(0, END)]),
    "read-usb-closed": script(0, [close()], [call(1, END, 1000, 100, 100)]),
    "read-usb-full": script(0, [fill(0x41, 130)], [call(1, END, 1000)]),
    "read-com": script(2, [reply(b"AB"), reply(b"END\r\n", 30)], [call(0, END)]),
    "read-com-overlapped": script(3, [reply(b"x"), reply(b"END\r\n", 400)], [call(1, END, 300, 10, 10)]),
    "read-tcp": script(4, [reply(b"ab", 100), reply(b"END\r\n", 900)], [call(0, END)]),
    "read-tcp-fail": script(4, [fail(250)], [call(0, END)]),
    "read-lpt": script(6, [], [call(0, END)]),
    "read-spooler": script(7, [], [call(2)]),
    "codepage-com": script(2, [expect(1), reply(b"CP 1252\r\n\x02TAIL")], [call(3)]),
    "codepage-tcp": script(5, [expect(1), reply(b"CP 1252\r\n\x02")], [call(4)]),
    "codepage-tcp-full": script(5, [reply(b"short"), fill(0x43, 128)], [call(4)]),
    "codepage-usb": script(8, [expect(2), reply(b"CP "), reply(b"1252\r\nX")], [call(5)]),
    "chunks-usb": script(8, [reply(b"AB\r\nC"), reply(b"DE"), reply(b"XY\x02Z")],
                         [call(6), call(7), call(8), call(9)]),
    "chunks-judge": script(8, [reply(b"A"), reply(b"B;", 200)], [call(11, b";"), call(12, b";", 100)]),
    "calibration-tcp": script(5, [expect(3), reply(b"RFID;CAL;"), reply(b"OK\r\nQOV_END\r\n", 250)],
                              [call(13)]),
    "calibration-usb": script(0, [expect(3), reply(b"RFID;CAL;OK\r\nQOV_END\r\n")], [call(14, slot=1)]),
    "clear-com": script(2, [reply(b"junk"), reply(b"more", 20)], [call(15), call(0, END)]),
    "events-fail": script(0, [reply(END)], [call(1, END, 1000)], failing_events=3),
}
for name, data in replies.items():
    write("replies", name, data)

# ---- forms: the form tests' sequences --------------------------------------
# op byte, then arguments: numbers are a selector byte (< 28: a pick of the
# table in forms_fuzz.cpp, < 200: value - 100, else 4 raw bytes), texts a
# selector byte (< 15: a word, else (selector % 40) bytes), form numbers a
# selector byte.
def num(v):
    if -100 <= v < 100 and v + 100 >= 28:
        return bytes([v + 100])
    return bytes([255]) + le32(v)

WORDS = ["ON", "OFF", "R", "L", "ASCII", "GB", "BIG5", "KSC", "SJIS", "UTF8", "90", "180", "270"]

def txt(t):
    if t in WORDS:
        return bytes([WORDS.index(t)])
    data = t.encode("latin-1")
    assert len(data) < 40
    return bytes([40 + len(data) if len(data) >= 15 else 80 + len(data)]) + data

def op(n, *args):
    return bytes([n]) + b"".join(args)

FORM0 = bytes([0])
forms = {
    "header-example": op(1, num(1), num(400)) + op(1, num(3), num(6)) + op(1, num(7), num(90))
    + op(2, num(1), num(300)) + op(4, num(1), txt("ON")) + op(4, num(3), txt("ASCII"))
    + op(3, num(203), num(203)) + op(7, txt("LABEL1")) + op(17, FORM0),
    "font-only": op(4, num(0), txt("Arial")) + op(4, num(2), txt("L")) + op(7, txt("F1")),
    "elements": op(7, txt("F1")) + op(8, FORM0, num(2), num(10), num(20), num(110), num(220))
    + op(9, FORM0, num(3), num(50), num(10), num(50), num(200))
    + op(9, FORM0, num(3), num(10), num(40), num(300), num(40))
    + op(9, FORM0, num(3), num(10), num(20), num(30), num(40))
    + op(10, FORM0, num(10), num(20), num(1), num(1), txt("ABC"))
    + op(11, FORM0, num(-5), num(0), num(2), num(3), txt("*;X"))
    + op(13, FORM0, num(50), num(60), txt("LOGO1")) + op(14, FORM0, num(50), num(60), txt("LOGO1"))
    + op(17, FORM0),
    "barcode": op(5, num(7), num(2), txt("90")) + op(5, num(7), num(3), txt("4"))
    + op(5, num(7), num(4), txt("")) + op(7, txt("B")) + op(12, FORM0, num(7), num(100), num(200), txt("ABC"))
    + op(5, num(7), num(0), txt("")) + op(12, FORM0, num(7), num(1), num(2), txt("D"))
    + op(12, FORM0, num(15), num(1), num(2), txt("D")),
    "rfid": op(6, num(32), b"\x00", txt(""), num(0), txt("1234"))
    + op(6, num(64), b"\x01", txt("H"), num(1), txt("00AA")) + op(7, txt("R"))
    + op(15, FORM0, txt(""), txt("T")) + op(16, FORM0, txt(""), txt("T"), num(96), txt("H"))
    + op(15, FORM0, txt("K"), txt("T")) + op(17, FORM0),
    "reset": op(7, txt("A")) + op(7, txt("B")) + op(0) + op(7, txt("C")) + op(17, FORM0),
    "rejects": op(1, num(1), num(99)) + op(1, num(7), num(45)) + op(2, num(1), num(0))
    + op(4, num(1), txt("on")) + op(5, num(15), num(1), txt("x")) + op(1, num(0), num(5))
    + op(7, txt("")) + op(8, bytes([255]), num(1), num(1), num(1), num(1), num(1)),
}
for name, data in forms.items():
    write("forms", name, data)
