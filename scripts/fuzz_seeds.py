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

# ---- render: the renderer tests' labels and the emulator's sessions ---------
# the printer input, then what the FuzzedDataProvider reads from the end, last
# byte first: resolution (0: 203, 1: 300, 2: 600 dpi), chunk generator seed
# (4), largest chunk shift (up to 2^k bytes a chunk). Small papers keep each
# run short; the fuzzer grows them.


def rform(name, lines, execute=None):
    body = "".join(l + "\r\n" for l in lines)
    return ("~CREATE;%s;X\r\n%sEND\r\n%s\r\n" % (name, body, execute or "~EXECUTE;" + name)).encode("utf-8")


def rseed(name, data, dpi=0, shift=3):
    write("render", name, data + bytes([shift]) + b"\x5a\x11\x3c\x07" + bytes([dpi]))


def pcx(width, height, bpp, planes):
    """A small RLE-coded PCX picture, a checker pattern, as the logo tests build."""
    per_line = (width + 7) // 8 if bpp == 1 else width
    header = bytearray(128)
    header[0:4] = bytes([0x0A, 5, 1, bpp])
    header[8:12] = struct.pack("<HH", width - 1, height - 1)
    header[16:22] = bytes([0, 0, 0, 255, 255, 255])
    header[65] = planes
    header[66:68] = struct.pack("<H", per_line)
    data = bytearray()
    for y in range(height):
        for _ in range(planes):
            if bpp == 1:
                line = bytes(0xAA if (y + i) % 2 else 0x55 for i in range(per_line))
            else:
                line = bytes(0 if (x + y) % 2 else 255 for x in range(per_line))
            for b in line:
                if b >= 0xC0:
                    data.append(0xC1)
                data.append(b)
    return bytes(header) + bytes(data)


STAR = "~LOGO;STAR;9;9\n1;5\n2;4-6\n3;3-7\n4;1-9\n5;2-8\n6;3-7\n7;2-4;6-8\n8;1-2;8-9\n9;1;9\nEND\n"
every = ["SCALE;DOT;203;203", "BOX", "3;5;5;190;390", "STOP",
         "ALPHA", "50;20;2;2;*Every element*", "STOP",
         "ALPHA", "R;90;20;1;1;*REVERSE*", "STOP",
         "ALPHA", "POINT;130;20;14;10;*Point 14*", "STOP",
         "ALPHA", "E;C12;170;20;1;1;*Expanded*", "STOP",
         "HORZ", "2;185;20;380", "STOP", "VERT", "2;300;10;190", "STOP",
         "DIAG", "1;20;20;190;380", "STOP",
         "BARCODE", "C128B;X2;H6;20;200", "*QOV-000123*", "PDF", "STOP",
         "BARCODE", "QRCODE;CW;X2;100;300", "*https://example.invalid/q*", "STOP",
         "LOGO", "150;300;STAR", "STOP",
         "ALPHA", "CW;130;240;1;1;*CW*", "STOP", "ALPHA", "INV;140;280;1;1;*INV*", "STOP",
         "ALPHA", "CCW;195;340;1;1;*CCW*", "STOP"]
rseed("every-element", b"~PAPER;SIZE 2000,1000\r\n" + STAR.encode() + rform("ALL", every))
rseed("every-element-300", b"~PAPER;SIZE 2000,1000\r\n" + STAR.encode() + rform("ALL", every), dpi=1, shift=12)
for turn in (90, 180, 270):
    small = ["SCALE;DOT;203;203", "BOX", "2;5;5;190;395", "STOP", "ALPHA", "60;20;2;2;*TOP LEFT*", "STOP",
             "BARCODE", "C3/9;H4;100;20", "*R90*", "PDF", "STOP"]
    rseed("rotate-%d" % turn, b"~PAPER;SIZE 2000,1000\r\n~PAPER;ROTATE %d\r\n" % turn + rform("ROT", small))
for kind, data in [("C3/9", "ABC-123"), ("C128A", "LOT 42"), ("C128C", "12345678"), ("EAN13", "590123412345"),
                   ("UPC-A", "03600029145"), ("EAN8", "9638507"), ("I-2/5", "1234567890"), ("CODABAR", "A40156B"),
                   ("UCC-128", "(01)09501101530003"), ("PDF417", "PDF417 data"), ("AZTEC", "Aztec 12345"),
                   ("DATAMATRIX", "DM-0042"), ("MAXICODE", "MAXICODE TEST 12345")]:
    options = "X1;H3;E2;Y4;T2;M3;PDF;A" if kind == "PDF417" else "X1;H3.5;"
    rseed("barcode-" + kind.replace("/", ""), b"~PAPER;SIZE 1500,1000\r\n" +
          rform("B", ["SCALE;DOT;203;203", "BARCODE", kind + ";CCW;" + options.split("PDF")[0] + "20;20",
                      "*" + data + "*", "PDF;A" if kind == "PDF417" else "PDF", "STOP"]))
for symset, text in [("1100", "\xb5\xc4"), ("1101", "\xa4\xa4"), ("1102", "\xb0\xa1"), ("1103", "\x82\xa0"),
                     ("'UTF8'", "\u4e2d\u6587")]:
    rseed("two-byte-" + symset.strip("'"), b"~PAPER;SIZE 1000,1000\r\n" +
          rform("W", ["SCALE;DOT;203;203", "FONT;SYMSET " + symset + ";BOLD ON;SLANT LEFT", "TWOBYTE",
                      "60;10;2;2;*" + text + "*", "STOP"]).replace(text.encode("utf-8"), text.encode("latin-1"))
          if symset != "'UTF8'" else
          b"~PAPER;SIZE 1000,1000\r\n" + rform("W", ["FONT;SYMSET 'UTF8';SLANT RIGHT", "TWOBYTE",
                                                       "2;2;2;2;*" + text + "*", "STOP"]))
rseed("char-scale", b"~PAPER;SIZE 1000,1000\r\n" + rform("C", ["SCALE;CHAR;8;12", "FONT;NAME DejaVuSerif;BOLD OFF",
                                                               "ALPHA", "2;2;3;3;*Ab*", "STOP", "BOX", "2;1;1;4;9",
                                                               "STOP"], "~EXECUTE;C;3\r\n~NORMAL"))
rseed("logo-rows", b"~PAPER;SIZE 500,500\r\n~LOGO;MARK;4;16\n1;1-4\n2;9\n3;5-16;1\n4;16-1\nEND\n" +
      rform("L", ["LOGO", "2;3;MARK", "STOP", "LOGO", "1;1;NOPE", "STOP"]))
for bpp, planes in [(1, 1), (8, 1), (8, 3)]:
    rseed("pcx-%d-%d" % (bpp, planes), b"~PAPER;SIZE 500,500\r\n~LOGO;PIC;PCX;DISK\r\n" + pcx(13, 5, bpp, planes) +
          b"~RASTEREND\r\nEND\r\n" + rform("P", ["SCALE;DOT;203;203", "LOGO", "10;20;PIC", "STOP"]))
rseed("bad-input", b"~NORMAL\r\n~BOGUS\r\n~STATUS~CREATE;F;X\r\nALPHA\r\n10;10;1;1;*ok*\r\nSTOP\r\nWHAT\r\n"
      b"RFWTAG;96;T\r\n32;D;*1234*\r\nSTOP\r\nEND\r\n~EXECUTE;F;0\r\n~EXECUTE;NONE\r\n~CREATE;Z;X\r\nHORZ\r\n")
for i, s in enumerate(sessions):
    rseed("session-%d" % i, s, shift=i % 5)

# ---- reader: the example jobs, as printers receive them --------------------
JOBS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared", "jobs")
if os.path.isdir(JOBS):
    for name in sorted(os.listdir(JOBS)):
        if name.endswith(".txt"):
            with open(os.path.join(JOBS, name), "rb") as f:
                write("reader", name, f.read())

# ---- render_api: POST /render with its query, Accept and body ---------------
# The dpi, paper and index texts first (each ended by a backslash and a
# blank), the body, then the bits of the ones in the query and the Accept
# choice (0 none, 1 */*, 2 image/png, 3 json, 4 zip, 5 text/html, 6 a list, 7 image/*;q=0).
DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "bench", "workbench_render", "demo-label.prn")


def aseed(name, body, dpi=b"", paper=b"", index=b"", present=0, accept=0):
    write("render_api", name, b"".join(t + b"\\ " for t in (dpi, paper, index)) + body + bytes([present, accept]))


with open(DEMO, "rb") as f:
    demo = f.read()
small = rform("T", ["SCALE;DOT;203;203", "ALPHA", '100;50;0;0;"AB"', "STOP", "BOX", "2;10;20;110;220", "STOP",
                    "BARCODE", "C128B;XRD2:2:4:4:6:6:8:8;H10;300;40", '"QOV1"', "STOP"]) * 2
aseed("demo-png", demo, b"203", b"4000x2000", b"0", 7, 0)
aseed("demo-json-300", demo, b"300", present=1, accept=3)
aseed("small-zip", small, b"600", b"2000x1000", present=3, accept=4)
aseed("small-index-404", small, index=b"5", present=4, accept=2)
aseed("bad-query", small, b"72", b"4000", b"-1", 7, 1)
aseed("paper-too-big", small, b"600", b"100000x100000", present=3)
aseed("endless-executes", small + b"~EXECUTE;T;1\r\n" * 40, accept=3)
aseed("page-copies", rform("P", ["PAGE;1;1"], "~EXECUTE;P;999999"), index=b"7", present=4)
aseed("no-end", b'~CREATE;F;X\r\nALPHA\r\n1;1;0;0;"x\r\nSTOP\r\n', accept=3)
aseed("rotate-90", b"~PAPER;ROTATE 90\r\n" + small, paper=b"3000x2000", present=2, accept=6)

# ---- http: what clients send the workbench on one connection ---------------
# The raw bytes of one or more requests; the target's printers are "a"
# (labels 1 and 2) and "b" (label 1).
def req(line, *headers, body=b"", length=True):
    head = line.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1\r\n" + b"".join(h.encode() + b"\r\n" for h in headers)
    if body and length:
        head += b"Content-Length: %d\r\n" % len(body)
    return head + b"\r\n" + body


def chunked(data, size=7):
    parts = [data[i:i + size] for i in range(0, len(data), size)]
    return b"".join(b"%x\r\n" % len(p) + p + b"\r\n" for p in parts) + b"0\r\n\r\n"


tiny = b"~PAPER;SIZE 1000,500\r\n" + rform("T", ["SCALE;DOT;203;203", "ALPHA", '10;10;0;0;"AB"', "STOP",
                                                "BARCODE", "C128B;X1;H4;40;20", '"QOV1"', "STOP"])
http = {
    "printers": req("GET /printers"),
    "printer-a": req("GET /printers/a"),
    "printer-missing": req("GET /printers/zz"),
    "labels-since-limit": req("GET /printers/a/labels?since=1&limit=1"),
    "labels-bad-limit": req("GET /printers/b/labels?limit=-1"),
    "label-png": req("GET /printers/a/labels/1.png"),
    "label-txt": req("GET /printers/b/labels/1.txt"),
    "label-not-kept": req("GET /printers/a/labels/77.txt"),
    "range-label-txt": req("GET /printers/a/labels/2.txt", "Range: bytes=5-"),
    "range-label-suffix": req("HEAD /printers/a/labels/1.png", "Range: bytes=-16"),
    "range-label-several": req("GET /printers/a/labels/1.txt", "Range: bytes=0-1,4-5"),
    "range-label-past-end": req("GET /printers/b/labels/1.txt", "Range: bytes=99999-"),
    "range-unknown-path": req("GET /ptxt", "Range: bytes=05-"),
    "range-json-bad": req("GET /printers", "Range: bytes=0-1,5-2"),
    "faults-pipelined": req("PUT /printers/a/faults/paper-out") + req("GET /printers/a", "Range: bytes=0-3")
    + req("DELETE /printers/a/faults/paper-out", body=b"ignored"),
    "fault-unknown": req("PUT /printers/b/faults/jammed"),
    "labels-deleted": req("DELETE /printers/b/labels") + req("GET /printers/b/labels/1.png"),
    "render-png": req("POST /render?dpi=203&paper=1000x500", body=tiny),
    "render-json": req("POST /render?dpi=300&paper=1000x500", "Accept: application/json", body=tiny),
    "render-zip": req("POST /render?paper=1000x500&index=0", "Accept: application/zip", body=tiny + tiny),
    "render-chunked": req("POST /render?paper=1000x500", "Transfer-Encoding: chunked", body=chunked(tiny),
                          length=False),
    "render-expect": req("POST /render?paper=1000x500&index=3", "Expect: 100-continue", "Accept: image/png",
                         body=tiny),
    "render-too-large": req("POST /render", "Content-Length: 99999999"),
    "bad-head": b"GET /printers\r\nHost x\r\n\r\nGET / HTTP/1.1\r\n\r\n",
    "page-http10": b"GET / HTTP/1.0\r\n\r\n",
    "escaped-keep-alive": req("GET /printers/%61/labels") + req("OPTIONS /printers") + req("GET /app.js",
                                                                                        "Connection: close"),
}
for name, data in http.items():
    write("http", name, data)

# ---- printapp: pages of the printer application -----------------------------
# byte 0: 0 PWG raster, 1 PNG, 2 lines given directly; strip rows limit (2),
# strip text limit / 64 - 1 (2); then the stream.
import zlib


def raster_header(width, height, bits, space, dpi=203):
    """A page header (1,796 bytes, big-endian as PWG raster has it)."""
    h = bytearray(1796)
    h[0:9] = b"PwgRaster"
    def put(offset, value):
        h[offset:offset + 4] = struct.pack(">I", value)
    put(276, dpi); put(280, dpi)                  # HWResolution
    put(372, width); put(376, height)             # cupsWidth, cupsHeight
    put(384, bits); put(388, bits)                # bits per colour, per pixel
    put(392, (width * bits + 7) // 8)             # cupsBytesPerLine
    put(400, space)                               # cupsColorSpace
    put(420, 1)                                   # cupsNumColors
    return bytes(h)


def pwg_lines(lines):
    """Each line compressed as PWG raster does: a line repeat byte, then runs;
    here every byte a run of one."""
    return b"".join(b"\x00" + b"".join(b"\x00" + bytes([c]) for c in line) for line in lines)


def png_grey(width, height, depth, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, 0, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


LIMITS = struct.pack("<HH", 251, 8191)          # 252 rows, 512 KiB: the application's own
SMALL = struct.pack("<HH", 2, 0)                # 3 rows, 64 bytes: many strips
black = [bytes([0xF0, 0x0F]), bytes(2), bytes([0xFF, 0xFF]), bytes([0x81, 0x80])]
write("printapp", "pwg-black", b"\x00" + LIMITS + b"RaS2" + raster_header(13, 4, 1, 3) + pwg_lines(black))
write("printapp", "pwg-black-strips", b"\x00" + SMALL + b"RaS2" + raster_header(13, 4, 1, 3) + pwg_lines(black * 3))
grey = [bytes([0, 128, 255, 40, 200, 8, 247, 100, 0, 0]), bytes([255] * 10), bytes(range(0, 250, 25))]
write("printapp", "pwg-grey", b"\x00" + LIMITS + b"RaS2" + raster_header(10, 3, 8, 18) + pwg_lines(grey))
write("printapp", "pwg-grey-w", b"\x00" + LIMITS + b"RaS2" + raster_header(10, 3, 8, 0) + pwg_lines(grey))
write("printapp", "pwg-header-only", b"\x00" + LIMITS + b"RaS2" + raster_header(600, 900, 8, 18))
write("printapp", "png-grey8", b"\x01" + LIMITS + png_grey(10, 3, 8, grey))
write("printapp", "png-grey1", b"\x01" + LIMITS + png_grey(16, 2, 1, [b"\xf0\x0f", b"\xaa\x55"]))
write("printapp", "direct-black", b"\x02" + SMALL + struct.pack("<hhB", 13, 4, 0) + b"".join(black))
write("printapp", "direct-grey", b"\x02" + LIMITS + struct.pack("<hhB", 10, 3, 1) + b"".join(grey))
write("printapp", "direct-empty", b"\x02" + LIMITS + struct.pack("<hhB", 0, -3, 1))

# ---- replies: printers found by the long runs -------------------------------
# 2 KB every 42 s without the terminator on a USB handle without overlapped
# I/O: the read must end at its wait, not when the buffer is full.
write("replies", "trickle-usb-sync", script(1, [reply(b"A" * 2047, 42000)] * 20, [call(0, END)]))
write("replies", "trickle-usb-overlapped", script(0, [reply(b"B" * 512, 4900)] * 20, [call(1, END, 5000)]))
write("replies", "trickle-com", script(2, [reply(b"C" * 512, 4000)] * 20, [call(0, END)]))
