#!/usr/bin/python3
"""Checks every example job against its expect.json.

Each job is rendered on its own with qovpreview (pictures, sizes, the texts
it draws, its notes), its barcodes are decoded back with zxing-cpp, and the
same bytes go to a fresh qovemu over TCP (replies, labels and errors from its
status report). Prints one PASS or the differences per job, then
"N passed, N failed"; exits 1 when any job fails.
"""
import argparse
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import time

import zxingcpp
from PIL import Image

FAULT_WORDS = ("not understood", "unknown", "skipped", "ignored")


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
