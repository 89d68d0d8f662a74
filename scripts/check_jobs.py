#!/usr/bin/python3
"""Checks every example job against its expect.json.

Each job is rendered on its own with qovpreview (pictures, sizes, the texts
it draws, its notes), its barcodes are decoded back with zxing-cpp, and the
same bytes go to a fresh qovemu over TCP (replies, labels and errors from its
status report). The expected words are also read back from the pictures with
tesseract, each picture turned back by the text's rotation, so that a word
drawn turned the wrong way, too small or clipped is caught; where a word gives
`at` (its run's baseline row and start column and its capital height, in
inches on the label) the word read back must stand there at that size. Prints one PASS or the differences per job, then
"N passed, N failed"; exits 1 when any job fails.
"""
import argparse
import csv
import io
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

import zxingcpp
from PIL import Image, ImageOps

FAULT_WORDS = ("not understood", "unknown", "skipped", "ignored")
OCR_BORDER = 20
# How far a word read back may stand from where the job puts it, in inches,
# and how far its capitals' height may differ (a share of the height).
PLACE_TOLERANCE = 0.03
CAP_TOLERANCE = 0.2


def norm(text):
    # Case-insensitive, O/0 and I/1/l alike, punctuation ignored.
    t = re.sub(r"[^0-9A-Z]", "", text.upper())
    return t.replace("O", "0").replace("I", "1").replace("L", "1")


def render(preview, job, path, out_dir):
    args = [preview, "--dpi", str(job["dpi"]), "--texts", "--out", out_dir]
    if job.get("paper"):
        args += ["--paper", job["paper"]]
    run = subprocess.run(args + [path], capture_output=True, timeout=120)
    labels = []
    for line in run.stdout.decode("utf-8", "replace").splitlines():
        m = re.match(r"^.*?: (\S+\.png) (\d+)x(\d+) dots: ", line)
        if m:
            labels.append({"png": m.group(1), "w": int(m.group(2)), "h": int(m.group(3)), "texts": []})
        elif line.startswith("  text ") and labels:
            rot, _, text = line[7:].partition(" ")
            # qovpreview gives the clockwise turn; expect.json the counter-clockwise one.
            labels[-1]["texts"].append(((360 - int(rot)) % 360, text))
    notes = []
    base = os.path.basename(path)
    for line in run.stderr.decode("utf-8", "replace").splitlines():
        m = re.match(r"^(.*?):(\d+): (.*)$", line)
        if m and os.path.basename(m.group(1)) == base:
            notes.append((int(m.group(2)), m.group(3)))
        elif line.strip():
            notes.append((0, line))
    return run.returncode, labels, notes


def decode(png, kinds):
    # Only the kinds the job names: fewer false finds, and text pages are
    # not searched at all.
    image = Image.open(png).convert("L")
    formats = zxingcpp.barcode_formats_from_str("|".join(sorted(kinds)))
    found = set()
    for picture in candidates(image):
        found |= {(b.format.name, b.text) for b in zxingcpp.read_barcodes(picture, formats=formats, try_downscale=False)}
    return sorted(found)


def candidates(image):
    # The picture, then the picture without its long rules (a frame line
    # closer to a symbol than the decoder's quiet zone), then its quarters
    # (a decoder finds a symbol beside larger ones more easily alone).
    yield image
    w, h = image.size
    px = image.load()
    clean = image.copy()
    cp = clean.load()
    for x in range(w):
        if sum(1 for y in range(h) if px[x, y] < 128) > h * 0.6:
            for y in range(h):
                cp[x, y] = 255
    for y in range(h):
        if sum(1 for x in range(w) if px[x, y] < 128) > w * 0.6:
            for x in range(w):
                cp[x, y] = 255
    yield clean
    for left, top in ((0, 0), (w // 2, 0), (0, h // 2), (w // 2, h // 2), (w // 4, h // 4)):
        yield image.crop((left, top, left + w // 2 + w // 8, top + h // 2 + h // 8))


def ocr(png, rotation):
    # The picture turned clockwise by the text's counter-clockwise rotation,
    # so the text stands upright; words with their boxes (in the turned
    # picture, without the white border added for the OCR) and their line.
    image = Image.open(png).convert("L")
    if rotation:
        image = image.rotate(-rotation, expand=True, fillcolor=255)
    image = ImageOps.expand(image, OCR_BORDER, fill=255)
    buf = io.BytesIO()
    image.save(buf, "PNG")
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    run = subprocess.run(["tesseract", "stdin", "stdout", "--psm", "11", "tsv"], input=buf.getvalue(),
                         capture_output=True, timeout=60, env=env)
    words = []
    for row in csv.DictReader(io.StringIO(run.stdout.decode("utf-8", "replace")), delimiter="\t", quoting=csv.QUOTE_NONE):
        if row.get("level") == "5" and (row.get("text") or "").strip():
            words.append({"text": row["text"], "line": (row["block_num"], row["par_num"], row["line_num"]),
                          "left": int(row["left"]) - OCR_BORDER, "top": int(row["top"]) - OCR_BORDER,
                          "height": int(row["height"])})
    return words


def turned(x, y, w, h, rotation):
    # Where a dot of the label lies once the picture is turned as in ocr().
    return {0: (x, y), 90: (h - 1 - y, x), 180: (w - 1 - x, h - 1 - y), 270: (y, w - 1 - x)}[rotation]


def close_enough(want, got):
    # OCR slips a character now and then: one edit in eight characters,
    # only for words long enough that a wrong word cannot pass.
    if len(want) < 6 or abs(len(want) - len(got)) > len(want) // 8:
        return False
    row = list(range(len(got) + 1))
    for i, a in enumerate(want, 1):
        prev, row[0] = row[0], i
        for j, b in enumerate(got, 1):
            prev, row[j] = row[j], min(row[j] + 1, row[j - 1] + 1, prev + (a != b))
    return row[-1] <= len(want) // 8


def check_read_back(t, label, words, dpi):
    # The word on one line read back, and when `at` is given, its place and size.
    want = norm(t["word"])
    lines = {}
    for w in words:
        lines.setdefault(w["line"], []).append(w)
    if not any(want in "".join(norm(w["text"]) for w in ws) for ws in lines.values()) and \
            not any(close_enough(want, norm(w["text"])) for w in words):
        return "text %r (turned %d) not read back from picture %d" % (t["word"], t["rotation"], t["label"])
    at = t.get("at")
    if not at:
        return None
    token = next((w for w in words if want in norm(w["text"]) or close_enough(want, norm(w["text"]))), None)
    if token is None:
        return "text %r read back only across several words; its place is not checked" % t["word"]
    x, y = turned(round(at["col"] * dpi), round(at["row"] * dpi), label["w"], label["h"], t["rotation"])
    bottom = token["top"] + token["height"]
    problems = []
    if abs(bottom - y) > PLACE_TOLERANCE * dpi:
        problems.append("its baseline %.3f in from where the job puts it" % ((bottom - y) / dpi))
    if at.get("start", True) and abs(token["left"] - x) > PLACE_TOLERANCE * dpi:
        problems.append("it starts %.3f in from where the job puts it" % ((token["left"] - x) / dpi))
    cap = at["cap"] * dpi
    if abs(token["height"] - cap) > CAP_TOLERANCE * cap:
        problems.append("its capitals are %.3f in tall, expected %.3f" % (token["height"] / dpi, at["cap"]))
    if problems:
        return "text %r on picture %d: %s" % (t["word"], t["label"], "; ".join(problems))
    return None


def note_matches(note, entry):
    line, text = note
    if "line" in entry and entry["line"] != line:
        return False
    return entry.get("contains", "").lower() in text.lower()


def emulate(emulator, data):
    proc = subprocess.Popen([emulator, "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    try:
        port = None
        deadline = time.time() + 10
        while time.time() < deadline and port is None:
            line = proc.stdout.readline().decode("utf-8", "replace")
            m = re.match(r"^listening 127\.0\.0\.1:(\d+)$", line.strip())
            if m:
                port = int(m.group(1))
            if not line and proc.poll() is not None:
                break
        if port is None:
            return None, None, None
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(data)
            replies = read_until(s, None, 0.5)
            # A line end first, so that a last statement without one ends.
            s.sendall(b"\r\n~NORMAL\r\n~STATUS")
            report = read_until(s, b"END\r\n", 5.0)
        labels = re.search(rb"LABELS PRINTED;(\d+)\r\n", report)
        errors = re.search(rb"ERRORS;(\d+)\r\n", report)
        return replies, int(labels.group(1)) if labels else None, int(errors.group(1)) if errors else None
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=5)
        except subprocess.TimeoutExpired:
            proc.kill()


def read_until(sock, end, wait):
    data = b""
    deadline = time.time() + wait
    sock.settimeout(0.1)
    while time.time() < deadline and len(data) < 1 << 20:
        try:
            chunk = sock.recv(65536)
        except socket.timeout:
            if end is None and data:
                break
            continue
        if not chunk:
            break
        data += chunk
        if end is not None and data.endswith(end):
            break
    return data


def check(job, jobs_dir, build, work):
    path = os.path.join(jobs_dir, job["file"])
    problems = []
    out_dir = os.path.join(work, os.path.splitext(job["file"])[0])
    os.makedirs(out_dir, exist_ok=True)
    rc, labels, notes = render(os.path.join(build, "qovpreview"), job, path, out_dir)
    if rc != 0:
        problems.append("qovpreview exit status %d" % rc)
    if len(labels) != job["labels"]:
        problems.append("%d pictures, expected %d" % (len(labels), job["labels"]))
    for i, (w, h) in enumerate(job.get("sizes_in", [])):
        if i < len(labels):
            got = (labels[i]["w"], labels[i]["h"])
            want = (round(w * job["dpi"]), round(h * job["dpi"]))
            if abs(got[0] - want[0]) > 2 or abs(got[1] - want[1]) > 2:
                problems.append("picture %d is %dx%d dots, expected %dx%d" % (i + 1, got[0], got[1], want[0], want[1]))
    decoded = {}
    wanted = job.get("barcodes", []) + job.get("absent_barcodes", [])
    for i, label in enumerate(labels):
        kinds = {b["kind"] for b in wanted if b["label"] == i + 1}
        decoded[i + 1] = decode(label["png"], kinds) if kinds else []
    for b in job.get("barcodes", []):
        if (b["kind"], b["text"]) not in decoded.get(b["label"], []):
            problems.append("barcode %s %r not read on picture %d (read: %s)" % (b["kind"], b["text"], b["label"], decoded.get(b["label"])))
    for b in job.get("absent_barcodes", []):
        if any(t == b["text"] for _, t in decoded.get(b["label"], [])):
            problems.append("barcode %r should not be there" % b["text"])
    for t in job.get("texts", []):
        i = t["label"] - 1
        runs = labels[i]["texts"] if i < len(labels) else []
        if not any(rot == t["rotation"] and norm(t["word"]) in norm(text) for rot, text in runs):
            problems.append("text %r (turned %d) not drawn on picture %d" % (t["word"], t["rotation"], t["label"]))
    read_back = {}
    for t in job.get("texts", []):
        i = t["label"] - 1
        if i >= len(labels):
            continue
        key = (i, t["rotation"])
        if key not in read_back:
            read_back[key] = ocr(labels[i]["png"], t["rotation"])
        problem = check_read_back(t, labels[i], read_back[key], job["dpi"])
        if problem:
            problems.append(problem)
    expected = job.get("notes_expected", [])
    allowed = job.get("notes_allowed", [])
    for e in expected:
        if not any(note_matches(n, e) for n in notes):
            problems.append("no note on line %d containing %r" % (e["line"], e["contains"]))
    for n in notes:
        if any(note_matches(n, e) for e in expected + allowed):
            continue
        if any(w in n[1].lower() for w in FAULT_WORDS):
            problems.append("unexpected note %d: %s" % n)
    emu = job.get("emulator", {})
    with open(path, "rb") as f:
        data = f.read()
    replies, count, errors = emulate(os.path.join(build, "qovemu"), data)
    if count is None:
        problems.append("qovemu gave no status report")
    else:
        if "labels" in emu and emu["labels"] != count:
            problems.append("emulator counted %d labels, expected %d" % (count, emu["labels"]))
        if "errors" in emu and emu["errors"] != errors:
            problems.append("emulator counted %d errors, expected %d" % (errors, emu["errors"]))
        if "replies" in emu:
            want = (emu["replies"] or "").encode("latin-1")
            if replies != want:
                problems.append("emulator replied %r, expected %r" % (replies, want))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--jobs", default="tests/jobs")
    parser.add_argument("--build", default="build/linux")
    parser.add_argument("--keep", help="folder for the pictures (default: a temporary one)")
    args = parser.parse_args()
    with open(os.path.join(args.jobs, "expect.json"), encoding="utf-8") as f:
        spec = json.load(f)
    work = args.keep or tempfile.mkdtemp(prefix="qov-jobs-")
    passed = failed = 0
    for job in spec["jobs"]:
        problems = check(job, args.jobs, args.build, work)
        if problems:
            failed += 1
            print("FAIL %s" % job["file"])
            for p in problems:
                print("     %s" % p)
        else:
            passed += 1
            print("PASS %s" % job["file"])
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
