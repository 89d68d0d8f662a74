#!/usr/bin/python3
"""The workbench page in a real browser against a live qovemu.

qovemu runs with two printers and its HTTP service on loopback; Debian's
chromium, driven headless through chromedriver, loads the page and uses it as
a person would: the editor draws a typed label (its size and barcodes checked
on the PNG the page shows, decoded with zxing-cpp), a fault switch changes the
printer's status on the page and at the API, labels sent to a printer's port
appear in its gallery without a reload, and a qovemu that went away is shown
while polling goes on.

Chromium runs with --headless=new, and with --no-sandbox because this test
runs as root here (chromium refuses to start as root with its sandbox).

Usage: workbench_page_test.py [--qovemu PATH] [unittest options]
(QOVEMU in the environment works too; default build/linux/qovemu.)
"""
import base64
import http.client
import io
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import zxingcpp
from PIL import Image
from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

REPO = Path(__file__).resolve().parents[2]
QOVEMU = Path(os.environ.get("QOVEMU", REPO / "build" / "linux" / "qovemu"))
CHROMIUM = os.environ.get("CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("CHROMEDRIVER", "/usr/bin/chromedriver")
WAIT = 8          # seconds for anything the page does after a poll or a render
                  # (generous: the machine is shared with other builds)
START_WAIT = 10   # seconds for qovemu to print its listening lines


def label_program(form, barcodes, scale=203):
    """A form holding a title and the barcodes given as (option line, data),
    executed once; the paper is the request's."""
    lines = ["~NORMAL", "~CREATE;%s;X" % form, "SCALE;DOT;%d;%d" % (scale, scale),
             "ALPHA", 'POINT;60;40;12;12;"%s"' % form, "STOP"]
    for options, data in barcodes:
        lines += ["BARCODE", options, '"%s"' % data, "STOP"]
    lines += ["END", "~EXECUTE;%s;1" % form, "~NORMAL", ""]
    return "\n".join(lines)


EDITOR_LABEL = label_program("WBPAGE", [("QRCODE;XD6;T2;E1;120;60;", "WB-PAGE-4711"),
                                        ("C128B;XD2;H6;120;300", "QOV12345")])
SECOND_LABEL = label_program("SECOND", [("C128B;XD2;H6;120;60", "SECOND-77")])


class Qovemu:
    """A running qovemu; its stdout and stderr go to a log file that the
    start-up lines are read from."""

    def __init__(self, workdir, args):
        self.log_path = Path(workdir) / ("qovemu-%d.log" % time.monotonic_ns())
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen([str(QOVEMU)] + args, stdout=self._log,
                                        stderr=subprocess.STDOUT)
        self.http_port = None
        self.printer_ports = {}
        self._wait_started([a.split(":")[0] for a in args[args.index("--printer"):][1::2]]
                           if "--printer" in args else [])

    def _wait_started(self, names):
        deadline = time.monotonic() + START_WAIT
        while time.monotonic() < deadline:
            for line in self.log().splitlines():
                words = line.split()
                if words[:2] == ["http", "listening"]:
                    self.http_port = int(words[2].rsplit(":", 1)[1])
                elif len(words) == 4 and words[0] == "printer" and words[2] == "listening":
                    self.printer_ports[words[1]] = int(words[3].rsplit(":", 1)[1])
            if self.http_port and all(n in self.printer_ports for n in names):
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.02)
        self.stop()
        raise RuntimeError("qovemu did not start:\n" + self.log())

    def log(self):
        return self.log_path.read_text(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=5)
        if not self._log.closed:
            self._log.close()
            # Under the sanitizer build a report lands in the log, not in a result.
            log = self.log()
            if any(s in log for s in ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:")):
                raise AssertionError("qovemu's sanitizer report:\n" + log[-4000:])

    def call(self, method, path, body=None, headers=None):
        """One HTTP request: (status, headers, body bytes)."""
        conn = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=WAIT)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            response = conn.getresponse()
            return response.status, dict(response.getheaders()), response.read()
        finally:
            conn.close()

    def printer(self, name):
        status, _, body = self.call("GET", "/printers/" + name)
        if status != 200:
            raise AssertionError("GET /printers/%s: %d %r" % (name, status, body))
        return json.loads(body)

    def send_job(self, name, data):
        """The bytes of a job to the printer's port, as a host sends them."""
        with socket.create_connection(("127.0.0.1", self.printer_ports[name]), timeout=WAIT) as s:
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)

    def wait_printer(self, name, what, condition):
        """Polls GET /printers/NAME until condition(PRINTER) holds."""
        deadline = time.monotonic() + WAIT
        while True:
            printer = self.printer(name)
            if condition(printer):
                return printer
            if time.monotonic() > deadline:
                raise AssertionError("waited %d s for %s: %r" % (WAIT, what, printer))
            time.sleep(0.05)


def start_chromium(workdir):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    options.add_argument("--headless=new")
    options.add_argument("--no-sandbox")             # root: see the module's note
    options.add_argument("--disable-dev-shm-usage")
    options.add_argument("--disable-gpu")
    options.add_argument("--window-size=1400,1000")
    options.add_argument("--user-data-dir=" + str(Path(workdir) / "chromium-profile"))
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(WAIT)
    driver.set_script_timeout(WAIT)
    return driver


# One chromium for the whole run (it takes seconds to start); stopped at the
# end even when a test or a set-up fails.
WORKDIR = None
DRIVER = None


def setUpModule():
    global WORKDIR, DRIVER
    WORKDIR = tempfile.mkdtemp(prefix="qov-browser-")
    unittest.addModuleCleanup(shutil.rmtree, WORKDIR, ignore_errors=True)
    DRIVER = start_chromium(WORKDIR)
    unittest.addModuleCleanup(DRIVER.quit)


class BrowserCase(unittest.TestCase):
    """A qovemu with printers `left` (203 dpi, its model's paper) and `right`
    (300 dpi, 3 x 2 in), its page loaded in the browser; qovemu is stopped at
    the end even when setting up fails half way."""

    @classmethod
    def setUpClass(cls):
        cls.workdir = WORKDIR
        cls.driver = DRIVER
        cls.emu = Qovemu(cls.workdir, ["--http", "127.0.0.1:0",
                                       "--printer", "left:0",
                                       "--printer", "right:0:dpi=300:paper=3000x2000"])
        cls.addClassCleanup(cls.emu.stop)
        cls.driver.get("http://127.0.0.1:%d/" % cls.emu.http_port)

    def wait_for(self, what, condition, timeout=WAIT):
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=0.05).until(
                lambda d: condition())
        except TimeoutException:
            self.fail("waited %d s for %s; page says: %s" % (timeout, what, self.page_text()))

    def element(self, element_id):
        return self.driver.find_element(By.ID, element_id)

    def text(self, element_id):
        found = self.driver.find_elements(By.ID, element_id)
        return found[0].text if found else None

    def page_text(self):
        try:
            return self.driver.find_element(By.TAG_NAME, "body").text[:2000]
        except Exception as err:   # the report must not hide the failure itself
            return "(no page: %s)" % err

    def type_into_editor(self, program, dpi="203", paper="", paste=False):
        """Sets the editor's options, then types the program key by key, or
        pastes it (one input event, as a paste makes)."""
        Select(self.element("editor-dpi")).select_by_value(dpi)
        paper_box = self.element("editor-paper")
        paper_box.clear()
        if paper:
            paper_box.send_keys(paper)
        box = self.element("editor-input")
        box.clear()
        if paste:
            self.driver.execute_script(
                "arguments[0].value = arguments[1];"
                "arguments[0].dispatchEvent(new InputEvent('input', {bubbles: true,"
                " inputType: 'insertFromPaste'}));", box, program)
        else:
            box.send_keys(program)

    def shown_picture(self):
        """The PNG the editor shows, read back from its blob URL."""
        data = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const img = document.getElementById('editor-image');
            fetch(img.src).then(r => r.arrayBuffer()).then(buf => {
                let s = '';
                for (const b of new Uint8Array(buf)) s += String.fromCharCode(b);
                done(btoa(s));
            }).catch(e => done('error: ' + e));""")
        self.assertFalse(data.startswith("error:"), data)
        raw = base64.b64decode(data)
        self.assertEqual(raw[:8], b"\x89PNG\r\n\x1a\n")
        return Image.open(io.BytesIO(raw))

    def wait_drawn(self, label_number, count, width, height):
        """Waits until the editor shows label `label_number` of `count` at the
        given natural size, fully drawn (not left over from a former input)."""
        state = "Label %d of %d, %d \u00d7 %d dots." % (label_number, count, width, height)
        self.wait_for("the picture (%s)" % state, lambda: (
            self.text("editor-state") == state
            and self.driver.execute_script(
                "const i = document.getElementById('editor-image');"
                "return !i.hidden && i.complete && !i.classList.contains('stale')"
                " && [i.naturalWidth, i.naturalHeight];") == [width, height]))


class WorkbenchPageTest(BrowserCase):

    def test_both_printers_listed_with_their_setup(self):
        self.wait_for("both printers", lambda: self.text("status-left") == "READY"
                      and self.text("status-right") == "READY")
        names = [e.get_attribute("id") for e in
                 self.driver.find_elements(By.CSS_SELECTOR, "#printers > .printer")]
        self.assertEqual(names, ["printer-left", "printer-right"])   # command-line order
        right = self.element("printer-right").text
        self.assertIn("port %d" % self.emu.printer_ports["right"], right)
        self.assertIn("300 dpi", right)
        self.assertIn("paper 3000 \u00d7 2000", right)
        self.assertEqual(self.element("connection").get_attribute("data-state"), "connected")

    def test_editor_draws_as_one_types(self):
        self.type_into_editor(EDITOR_LABEL, dpi="300", paper="3000x2000")
        self.wait_drawn(1, 1, 900, 600)          # 3 x 2 in at 300 dpi
        found = {(r.format.name, r.text) for r in zxingcpp.read_barcodes(self.shown_picture())}
        self.assertEqual(found, {("QRCode", "WB-PAGE-4711"), ("Code128", "QOV12345")})
        self.assertEqual(self.text("editor-count"), "1")

        # Another resolution and paper redraw the same input.
        self.type_into_editor(EDITOR_LABEL, dpi="203", paper="4000x2000", paste=True)
        self.wait_drawn(1, 1, 812, 406)
        found = {r.text for r in zxingcpp.read_barcodes(self.shown_picture())}
        self.assertEqual(found, {"WB-PAGE-4711", "QOV12345"})

        # Two labels: the chooser offers both and draws the one chosen.
        self.type_into_editor(EDITOR_LABEL + SECOND_LABEL, dpi="203", paper="4000x2000",
                              paste=True)
        self.wait_drawn(1, 2, 812, 406)
        chooser = Select(self.element("editor-index"))
        self.assertEqual([o.text for o in chooser.options], ["1", "2"])
        chooser.select_by_value("1")
        self.wait_drawn(2, 2, 812, 406)
        self.assertEqual([r.text for r in zxingcpp.read_barcodes(self.shown_picture())],
                         ["SECOND-77"])

        # The second label removed: the editor falls back to the one left.
        self.type_into_editor(EDITOR_LABEL, dpi="203", paper="4000x2000", paste=True)
        self.wait_drawn(1, 1, 812, 406)

    def test_editor_shows_errors_and_notes(self):
        # A program that prints nothing: the server's 4xx error in the notes.
        self.type_into_editor("~EXECUTE;NOSUCHFORM;1\n~NORMAL\n")
        self.wait_for("the error", lambda: (self.text("editor-error") or "").endswith("(422)"))
        self.assertTrue(self.text("editor-state").startswith("Not drawn:"))
        self.assertEqual(self.text("editor-count"), "0")
        notes = self.driver.find_elements(By.CSS_SELECTOR, "#editor-notes li:not(#editor-error)")
        self.assertTrue(any("NOSUCHFORM" in n.text for n in notes),
                        [n.text for n in notes])

        # A note on a drawn label, listed with its line.
        program = EDITOR_LABEL.replace("SCALE;DOT;203;203", "SCALE;DOT;203;203\nPAPER;EJECT", 1)
        self.type_into_editor(program, paste=True)
        self.wait_drawn(1, 1, 812, 1218)
        self.wait_for("a note of line 4", lambda: any(
            n.text.startswith("line 4: ") for n in
            self.driver.find_elements(By.CSS_SELECTOR, "#editor-notes li")))

        # A paper size that is not WxL is refused on the page itself.
        self.element("editor-paper").send_keys("12x")
        self.wait_for("the paper complaint", lambda: "WIDTHxLENGTH" in (self.text("editor-error") or ""))
        self.assertIn("stale", self.element("editor-image").get_attribute("class"))

    def test_fault_switch_holds_labels_until_cleared(self):
        switch = self.wait_for("the paper-out switch of left",
                               lambda: self.driver.find_elements(By.ID, "fault-left-paper-out"))[0]
        labels_before = self.emu.printer("left")["counters"]["labels"]
        switch.click()
        self.wait_for("left in fault", lambda: self.text("status-left") == "FAULT: paper-out")
        api = self.emu.printer("left")
        self.assertEqual((api["status"], api["faults"]), ("FAULT", ["paper-out"]))
        self.assertEqual(self.emu.printer("right")["status"], "READY")
        self.assertEqual(self.text("status-right"), "READY")

        # A label sent meanwhile waits, and the page shows it waiting.
        self.emu.send_job("left", EDITOR_LABEL.encode())
        self.wait_for("one label waiting", lambda: self.text("counter-left-waiting") == "1")
        self.assertEqual(self.emu.printer("left")["counters"]["labels"], labels_before)

        # A second fault is listed after the first, in the fixed order.
        self.element("fault-left-offline").click()
        self.wait_for("two faults", lambda: self.text("status-left") == "FAULT: paper-out, offline")
        self.element("fault-left-paper-out").click()
        self.wait_for("offline alone", lambda: self.text("status-left") == "FAULT: offline")
        self.assertEqual(self.emu.printer("left")["faults"], ["offline"])
        self.assertEqual(self.text("counter-left-waiting"), "1")

        self.element("fault-left-offline").click()
        self.wait_for("left ready", lambda: self.text("status-left") == "READY")
        api = self.emu.printer("left")
        self.assertEqual((api["status"], api["faults"]), ("READY", []))
        self.wait_for("the held label printed", lambda: self.text("counter-left-labels")
                      == str(labels_before + 1) and self.text("counter-left-waiting") == "0")
        self.assertFalse(self.element("fault-left-paper-out").is_selected())

    def test_fault_set_elsewhere_shows_on_the_page(self):
        self.wait_for("right listed", lambda: self.text("status-right") is not None)
        status, _, _ = self.emu.call("PUT", "/printers/right/faults/head-open")
        self.assertEqual(status, 200)
        try:
            self.wait_for("right in fault", lambda: self.text("status-right") == "FAULT: head-open"
                          and self.element("fault-right-head-open").is_selected())
        finally:
            self.emu.call("DELETE", "/printers/right/faults/head-open")
        self.wait_for("right ready", lambda: self.text("status-right") == "READY"
                      and not self.element("fault-right-head-open").is_selected())

    def test_gallery_updates_live_and_clears(self):
        self.wait_for("right's gallery", lambda: self.text("gallery-right") is not None)
        self.driver.execute_script("window.__sameDocument = true;")
        newest = self.emu.printer("right")["gallery"]["newest"]
        job = SECOND_LABEL.encode()
        self.emu.send_job("right", job)
        # The second job only once the first is in: two connections may be read at once.
        self.emu.wait_printer("right", "the first label", lambda p: p["gallery"]["newest"] == newest + 1)
        self.emu.send_job("right", EDITOR_LABEL.encode())
        first, second = "label-right-%d" % (newest + 1), "label-right-%d" % (newest + 2)
        self.wait_for("both labels in the gallery", lambda: self.driver.find_elements(By.ID, second)
                      and self.driver.find_elements(By.ID, first))
        self.assertTrue(self.driver.execute_script("return window.__sameDocument === true;"),
                        "the page was reloaded")
        shown = [e.get_attribute("id") for e in
                 self.driver.find_elements(By.CSS_SELECTOR, "#gallery-right > li")]
        self.assertEqual(shown[:2], [second, first])   # newest first
        self.assertIn("SECOND", self.element(first).text)

        # Its picture loads at the printer's size, and its job link gives the bytes sent.
        self.wait_for("the gallery picture", lambda: self.driver.execute_script(
            "const i = document.querySelector('#%s img');"
            "return i.complete && [i.naturalWidth, i.naturalHeight];" % first) == [900, 600])
        href = self.element(first).find_element(By.CSS_SELECTOR, "a.label-job").get_attribute("href")
        path = href.split("://", 1)[1].split("/", 1)[1]
        status, headers, body = self.emu.call("GET", "/" + path)
        self.assertEqual((status, body), (200, job))

        self.element("clear-right").click()
        self.wait_for("an empty gallery", lambda: not self.driver.find_elements(
            By.CSS_SELECTOR, "#gallery-right > li"))
        status, _, body = self.emu.call("GET", "/printers/right/labels")
        self.assertEqual((status, json.loads(body)["labels"]), (200, []))

        # Ids go on counting after a clear, and the page goes on showing them.
        self.emu.send_job("right", job)
        self.wait_for("a label after the clear", lambda: self.driver.find_elements(
            By.ID, "label-right-%d" % (newest + 3)))


class ServerGoneTest(BrowserCase):

    def test_lost_server_shown_and_polling_goes_on(self):
        self.wait_for("connected", lambda: self.text("status-left") == "READY")
        port = self.emu.http_port
        self.emu.stop()
        self.wait_for("the lost connection", lambda: self.element("connection")
                      .get_attribute("data-state") == "lost")
        self.assertIn("Retrying", self.text("connection"))

        # A new qovemu on the same port, with other printers: the page follows.
        self.__class__.emu = Qovemu(self.workdir, ["--http", "127.0.0.1:%d" % port,
                                                   "--printer", "solo:0"])
        self.addCleanup(self.emu.stop)
        self.wait_for("the new printer", lambda: self.text("status-solo") == "READY")
        self.assertIsNone(self.text("status-left"))
        self.assertEqual(self.element("connection").get_attribute("data-state"), "connected")


def main():
    argv = sys.argv[:1]
    args = iter(sys.argv[1:])
    for arg in args:
        if arg == "--qovemu":
            global QOVEMU
            QOVEMU = Path(next(args))
        else:
            argv.append(arg)
    if not os.access(QOVEMU, os.X_OK):
        sys.exit("%s is missing: run make build (or pass --qovemu)" % QOVEMU)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
