#!/usr/bin/env bash
# qovprint against qovemu, through its real command line and IPP service.
#   printer_app_tests.sh quick        a printer made by `add` prints a PNG
#                                     (pixel for pixel) and raw jobs (byte for
#                                     byte); the status mapping; the live fault
#                                     test (skipped, with its reason, when
#                                     qovemu has no --http)
#   printer_app_tests.sh faults       only the live fault test
#   printer_app_tests.sh conformance  Debian's ipptool suites (IPP 1.1, 2.0, Everywhere)
#   printer_app_tests.sh loop         grey PWG raster of a Code 128 and a QR code
#                                     from a PDF, decoded from qovemu's picture
#   printer_app_tests.sh cups         a private cupsd's driverless queue prints a PDF
#   printer_app_tests.sh bad-input    hostile documents (a huge PNG, a truncated PWG raster, an
#                                     unknown format, raw socket senders that go silent or never
#                                     stop) fail their job, the server stays up
#   printer_app_tests.sh bench        median job-to-last-byte times against lprint (BENCH_RUNS)
# Ends with the line "N passed, N failed, N skipped".
set -u
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$here/build/linux}"
QOVPRINT="$build/qovprint"
QOVEMU="$build/qovemu"
checks="/usr/bin/python3 $here/tools/qovprint/tests/checks.py"
ipp_tests="$here/tools/qovprint/tests/ipp"
source "$here/scripts/emulator_start.sh"
# For a sanitizer build (BUILD_DIR=.../build/linux-asan): PAPPL's own leaks
# are known (the file says which and why); every other report fails a test.
export LSAN_OPTIONS="suppressions=$here/tools/qovprint/tests/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

passed=0 failed=0 skipped=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
skip() { echo "SKIP: $*"; skipped=$((skipped + 1)); }

work="$(mktemp -d /tmp/qovprint-tests.XXXXXX)"
name="qovprint-test-$$"   # the program's name sets its socket and state file
pids=()
cups_dir=""  # the private cupsd's folder while one runs
cleanup() {
  local p
  [ -z "$cups_dir" ] || bash "$here/scripts/private_cups.sh" stop "$cups_dir" || true
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  rm -f "/var/lib/$name.state" "/run/$name.sock" "${TMPDIR:-/tmp}/$name$(id -u).sock" "/run/lprint-bench-$$.sock"
  if [ "${KEEP_WORK:-0}" = 1 ]; then echo "work files kept in $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# start_qovemu DIR [--capture-only] [ARGS...]: qovemu with captures and
# pictures (or captures alone: it then draws nothing) under DIR; sets emu_port.
start_qovemu() {
  local dir="$1" preview
  shift
  mkdir -p "$dir/capture" "$dir/preview"
  preview=(--preview-dir "$dir/preview")
  if [ "${1:-}" = --capture-only ]; then preview=(); shift; fi
  start_emulator "$QOVEMU" "$dir/emu.log" --capture-dir "$dir/capture" "${preview[@]}" "$@" || return 1
  pids+=("$emulator_pid")
  emu_port="$port"
}

# start_qovprint: the server on a free port, private spool and log, short
# raw-socket limits; sets qp, qp_port, qp_pid, raw_base.
start_qovprint() {
  mkdir -p "$work/spool"
  ln -sf "$QOVPRINT" "$work/$name"
  qp="$work/$name"
  qp_port="$($checks fresh-port)"
  raw_base="$($checks fresh-port)"   # printer n's raw socket: raw_base + n - 1
  "$qp" server -o server-port="$qp_port" -o log-level="${LOG_LEVEL:-info}" -o log-file="$work/server.log" \
    -o spool-directory="$work/spool" -o raw-socket-port="$raw_base" -o document-idle-limit=2 \
    -o document-size-limit=1M >"$work/server.out" 2>&1 &
  qp_pid=$!
  pids+=("$qp_pid")
  # The subcommands reach the server by its socket; one that finds none
  # starts a server of its own, so wait for this one's socket and port first.
  local sock="/run/$name.sock"
  [ "$(id -u)" = 0 ] || sock="${TMPDIR:-/tmp}/$name$(id -u).sock"
  for _ in $(seq 100); do
    if [ -S "$sock" ] && curl -s -o /dev/null "http://localhost:$qp_port/"; then
      return 0
    fi
    kill -0 "$qp_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "qovprint did not start:" >&2
  cat "$work/server.out" "$work/server.log" >&2
  return 1
}

printer_uri() { echo "ipp://localhost:$qp_port/ipp/print/$1"; }

# wait_pictures DIR N [SECONDS]: waits until DIR holds N pictures.
wait_pictures() {
  local dir="$1" n="$2" limit="${3:-10}" i
  for i in $(seq $((limit * 10))); do
    [ "$(ls "$dir" 2>/dev/null | wc -l)" -ge "$n" ] && return 0
    sleep 0.1
  done
  return 1
}

# reasons PRINTER: its printer-state-reasons, comma-separated.
reasons() {
  ipptool -T 5 "$(printer_uri "$1")" "$ipp_tests/printer-state.test" 2>/dev/null |
    sed -n 3p | tr -d ' '   # ipptool's table: the name, a rule, the value
}

# wait_reason PRINTER KEYWORD yes|no SECONDS: waits until KEYWORD is (not) among the reasons.
wait_reason() {
  local printer="$1" keyword="$2" want="$3" limit="$4" start now r
  start=$(date +%s%N)
  while :; do
    r="$(reasons "$printer")"
    if [[ ",$r," == *",$keyword,"* ]]; then [ "$want" = yes ] && break; else [ "$want" = no ] && break; fi
    now=$(date +%s%N)
    [ $(((now - start) / 1000000)) -gt $((limit * 1000)) ] && return 1
    sleep 0.1
  done
  now=$(date +%s%N)
  waited_ms=$(((now - start) / 1000000))
}

make_pictures() {
  /usr/bin/python3 - "$work" <<'PY'
import sys
from PIL import Image, ImageDraw
d = sys.argv[1]
im = Image.new("1", (812, 1218), 1)           # 4 x 6 in at 203 dpi
g = ImageDraw.Draw(im)
g.rectangle([10, 10, 801, 1207], outline=0, width=4)
for i in range(0, 700, 14):
    g.rectangle([50 + i, 100, 56 + i, 400], fill=0)
g.ellipse([200, 600, 600, 1000], outline=0, width=9)
for y in range(1050, 1150, 3):
    for x in range(60, 760, 3):
        im.putpixel((x, y), 0)
im.save(f"{d}/label-1bit.png", dpi=(203, 203))
grey = Image.new("L", (812, 1218), 255)
gg = ImageDraw.Draw(grey)
for i in range(8):
    gg.rectangle([50 + i * 90, 100, 120 + i * 90, 600], fill=i * 32)
grey.save(f"{d}/label-grey.png", dpi=(203, 203))
PY
  printf '~CREATE;RAWT;X\r\nSCALE;DOT;203;203\r\nALPHA\r\n100;50;2;2;*RAW JOB*\r\nSTOP\r\nEND\r\n~EXECUTE;RAWT\r\n~NORMAL\r\n' \
    >"$work/raw.txt"
}

quick() {
  "$build/tools/qovprint/qovprint_tests" --gtest_brief=1 >"$work/unit.log" 2>&1 &&
    pass "status mapping, pictures, strips and device URIs (qovprint_tests)" ||
    { cat "$work/unit.log"; fail "qovprint_tests"; }

  local e="$work/emu-quick"
  start_qovemu "$e" || { fail "qovemu starts"; return; }
  "$qp" add -d lbl -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >"$work/add.out" 2>&1 &&
    pass "add creates a printer" || { cat "$work/add.out"; fail "add"; return; }

  "$qp" submit -d lbl "$work/label-1bit.png" >/dev/null
  if wait_pictures "$e/preview" 1 && why="$($checks same "$work/label-1bit.png" "$(ls -d "$e"/preview/* | head -1)")"; then
    pass "a one-bit 4x6 PNG comes out of qovemu pixel for pixel"
  else
    fail "one-bit PNG: ${why:-no picture}"
  fi

  "$qp" submit -d lbl "$work/raw.txt" >/dev/null
  "$qp" submit -d lbl -o document-format=application/vnd.cups-raw "$work/raw.txt" >/dev/null
  if wait_pictures "$e/preview" 3; then
    # Both raw jobs, each in one piece.
    cap="$(ls "$e"/capture/* | head -1)"
    if why="$($checks contains "$cap" "$work/raw.txt")"; then
      [ "$(grep -c 'RAW JOB' "$cap")" -eq 2 ] && pass "raw jobs (detected, and application/vnd.cups-raw) arrive byte for byte" ||
        fail "raw jobs: $(grep -c 'RAW JOB' "$cap") copies in the capture"
    else
      fail "raw job: $why"
    fi
  else
    fail "raw jobs printed no label"
  fi

  "$qp" submit -d lbl "$work/label-grey.png" >/dev/null
  wait_pictures "$e/preview" 4 && pass "an 8-bit grey PNG prints" || fail "grey PNG printed no label"
  faults_live
}

faults_live() {
  local e="$work/emu-faults"
  if ! "$QOVEMU" --help 2>&1 | grep -q -- '--http'; then
    skip "faults: this qovemu has no --http (no fault switches to set)"
    return
  fi
  local http_port
  http_port="$($checks fresh-port)"
  start_qovemu "$e" --http "127.0.0.1:$http_port" || { fail "qovemu --http starts"; return; }
  local printer="${QOVEMU_PRINTER:-}"
  if [ -z "$printer" ]; then
    printer="$(curl -s "http://127.0.0.1:$http_port/printers" | /usr/bin/python3 -c '
import json, sys
d = json.load(sys.stdin)
items = d.get("printers", d) if isinstance(d, dict) else d
first = items[0]
print(first["name"] if isinstance(first, dict) else first)' 2>/dev/null)"
  fi
  [ -n "$printer" ] || { fail "faults: qovemu names no printer at /printers"; return; }
  local faults_url="http://127.0.0.1:$http_port/printers/$printer/faults"
  "$qp" add -d flt -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >/dev/null 2>&1 || { fail "faults: add"; return; }
  wait_reason flt none yes 5 || true

  local fault keyword
  for fault in paper-out:media-empty ribbon-out:marker-supply-empty head-open:cover-open paused:paused offline:offline; do
    keyword="${fault#*:}"
    fault="${fault%%:*}"
    curl -sf -X PUT "$faults_url/$fault" >/dev/null || { fail "faults: PUT $fault"; continue; }
    if wait_reason flt "$keyword" yes 2; then
      local shown=$waited_ms
      curl -sf -X DELETE "$faults_url/$fault" >/dev/null
      if wait_reason flt "$keyword" no 2; then
        pass "fault $fault shows as $keyword in ${shown} ms and clears in ${waited_ms} ms"
      else
        fail "fault $fault: $keyword still shown 2 s after clearing ($(reasons flt))"
      fi
    else
      curl -sf -X DELETE "$faults_url/$fault" >/dev/null
      fail "fault $fault: no $keyword within 2 s ($(reasons flt))"
    fi
  done

  # A job sent while the paper is out waits (media-needed), then prints.
  curl -sf -X PUT "$faults_url/paper-out" >/dev/null
  wait_reason flt media-empty yes 2
  local before
  before=$(ls "$e/preview" | wc -l)
  "$qp" submit -d flt "$work/label-1bit.png" >/dev/null
  sleep 2
  if [ "$(ls "$e/preview" | wc -l)" -eq "$before" ] && wait_reason flt media-needed yes 2; then
    curl -sf -X DELETE "$faults_url/paper-out" >/dev/null
    wait_pictures "$e/preview" $((before + 1)) 5 && pass "a job sent while paper is out waits (media-needed) and prints after" ||
      fail "the waiting job did not print after the paper came back"
  else
    curl -sf -X DELETE "$faults_url/paper-out" >/dev/null
    fail "a job sent while paper is out printed at once or showed no media-needed ($(reasons flt))"
  fi
}

# PWG raster samples the way ipp-everywhere.test names them, made by
# Ghostscript's pwgraster device from a photo-like and a grey 4x6 picture and
# from A4 and Letter pages, at DPI in black_1 and sgray_8 (the types the
# printers take). ipptool stops at the first FILE it cannot read, even in a
# test it skips, so the samples of other resolutions and types (whose tests
# are skipped by SKIP-IF-NOT-DEFINED) are empty files.
make_samples() {
  local dir="$1" dpi="$2" kind src cs bits size f
  grep 'FILE pwg-raster-samples' "$dir/ipp-everywhere.test" | awk '{print $NF}' | sort -u | while read -r f; do
    mkdir -p "$dir/$(dirname "$f")"
    : >"$dir/$f"
  done
  /usr/bin/python3 - "$dir" <<'PY'
import sys
from PIL import Image, ImageDraw
d = sys.argv[1]
def page(mode, w, h):
    im = Image.new(mode, (w, h), "white")
    g = ImageDraw.Draw(im)
    for i in range(10):
        fill = (25 * i, 255 - 25 * i, 120) if mode == "RGB" else 25 * i
        g.rectangle([w // 20 + i * w // 11, h // 15, w // 20 + i * w // 11 + w // 15, h - h // 15], fill=fill)
    g.ellipse([w // 4, h // 3, 3 * w // 4, h // 3 + w // 2], outline="black" if mode == "RGB" else 0, width=12)
    return im
page("RGB", 600, 900).save(f"{d}/color.jpg-4x6.pdf", resolution=150)
page("L", 600, 900).save(f"{d}/gray.jpg-4x6.pdf", resolution=150)
for name, w, h in (("a4", 1240, 1754), ("letter", 1275, 1650)):
    page("L", w, h).save(f"{d}/onepage-{name}.pdf", resolution=150)
    first = page("L", w, h)
    first.save(f"{d}/document-{name}.pdf", resolution=150, save_all=True, append_images=[page("RGB", w, h)])
PY
  for src in color.jpg-4x6:288x432 gray.jpg-4x6:288x432 onepage-a4:595x842 document-a4:595x842 \
    onepage-letter:612x792 document-letter:612x792; do
    size="${src#*:}"
    src="${src%%:*}"
    for kind in black-1:3:1 sgray-8:18:8; do
      cs="$(echo "$kind" | cut -d: -f2)"
      bits="$(echo "$kind" | cut -d: -f3)"
      kind="${kind%%:*}"
      gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -r"$dpi" -dcupsColorSpace="$cs" -dcupsBitsPerColor="$bits" \
        -dDEVICEWIDTHPOINTS="${size%x*}" -dDEVICEHEIGHTPOINTS="${size#*x}" -dFIXEDMEDIA -dPDFFitPage \
        -sOutputFile="$dir/pwg-raster-samples-${dpi}dpi/$kind/$src-$kind-${dpi}dpi.pwg" "$dir/$src.pdf" 2>/dev/null ||
        return 1
    done
  done
}

# Debian's ipptool suites against a printer of each resolution, qovemu behind it.
conformance() {
  local e="$work/emu-conformance" suites="$work/ipptool" dpi printer t out
  mkdir -p "$suites"
  cp /usr/share/cups/ipptool/ipp-1.1.test /usr/share/cups/ipptool/ipp-2.0.test /usr/share/cups/ipptool/ipp-everywhere.test "$suites/"
  make_samples "$suites" 300 || { fail "conformance: PWG raster samples"; return; }
  start_qovemu "$e" || { fail "conformance: qovemu starts"; return; }
  for dpi in 203 300; do
    printer="conf$dpi"
    "$qp" add -d "$printer" -v "socket://127.0.0.1:$emu_port" -m "qovlib_${dpi}dpi" >/dev/null || { fail "add $printer"; continue; }
  done
  sleep 2   # printer-up-time must be above 0
  for dpi in 203 300; do
    printer="conf$dpi"
    for t in ipp-1.1 ipp-2.0 ipp-everywhere; do
      out="$work/$t-$dpi.out"
      (cd "$suites" && ipptool -tI -T 60 -f "$work/label-1bit.png" "$(printer_uri "$printer")" "$t.test") >"$out" 2>&1
      local p f s
      p=$(grep -c '\[PASS\]' "$out"); f=$(grep -c '\[FAIL\]' "$out"); s=$(grep -c '\[SKIP\]' "$out")
      echo "  $t at $dpi dpi: $p pass, $f fail, $s skip"
      [ "$f" -eq 0 ] && pass "$t at $dpi dpi ($p pass, $s skip)" ||
        { grep -A12 '\[FAIL\]' "$out" | head -60; fail "$t at $dpi dpi: $f FAIL"; }
    done
  done
}

# make_barcode_pdf DIR [BAR_DOTS QR_DOTS]: a 4x6 PDF holding a Code 128 of
# 2-dot modules and a QR code of 4-dot modules (or the sizes given), drawn as
# vector shapes a third of a dot off the 203 dpi grid, and the PWG raster a
# client's CUPS makes of it with Ghostscript: sgray_8, anti-aliased, so every
# edge of every bar is grey.
make_barcode_pdf() {
  local dir="$1" bar="${2:-2}" qr="${3:-4}"
  ZXingWriter -margin 0 Code128 "QOV-12345678" "$dir/c128.png" >/dev/null &&
    ZXingWriter -margin 0 QRCode "https://qovlib.invalid/label/42" "$dir/qr.png" >/dev/null || return 1
  /usr/bin/python3 - "$dir" "$bar" "$qr" <<'PY' || return 1
import sys
from PIL import Image
d, bar, qrdots = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
dot = 72 / 203                      # one printer dot in points
def runs(row):
    out, x = [], 0
    while x < len(row):
        if row[x] < 128:
            s = x
            while x < len(row) and row[x] < 128:
                x += 1
            out.append((s, x - s))
        else:
            x += 1
    return out
ps = ["%!PS", "<</PageSize [288 432]>> setpagedevice", "0 setgray"]
c = Image.open(f"{d}/c128.png").convert("L")
row = list(c.crop((0, c.height // 2, c.width, c.height // 2 + 1)).getdata())
unit = min(w for _, w in runs(row))          # pixels a module in ZXingWriter's picture
x0, top, h = 60.3 * dot, 432 - 60, 120 * dot
for s, w in runs(row):
    ps.append(f"{x0 + s / unit * bar * dot:.4f} {top - h:.4f} {w / unit * bar * dot:.4f} {h:.4f} rectfill")
q = Image.open(f"{d}/qr.png").convert("L")
first = runs(list(q.crop((0, 0, q.width, 1)).getdata()))[0][1]
m = first / 7                                # the finder pattern is 7 modules
n = round(q.width / m)
qx, qy = 80.3 * dot, 432 - 160
for j in range(n):
    for i in range(n):
        if q.getpixel((int((i + 0.5) * m), int((j + 0.5) * m))) < 128:
            ps.append(f"{qx + i * qrdots * dot:.4f} {qy - (j + 1) * qrdots * dot:.4f} {qrdots * dot:.4f} {qrdots * dot:.4f} rectfill")
ps.append("showpage")
open(f"{d}/barcodes.ps", "w").write("\n".join(ps) + "\n")
PY
  gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite -sOutputFile="$dir/barcodes.pdf" "$dir/barcodes.ps" 2>/dev/null &&
    gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pwgraster -r203 -dcupsColorSpace=18 -dcupsBitsPerColor=8 \
      -dGraphicsAlphaBits=4 -dTextAlphaBits=4 -sOutputFile="$dir/barcodes.pwg" "$dir/barcodes.pdf" 2>/dev/null &&
    gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pgmraw -r203 -dGraphicsAlphaBits=4 \
      -sOutputFile="$dir/barcodes.pgm" "$dir/barcodes.pdf" 2>/dev/null
}

# decoded PNG: the Code 128 and QR texts ZXingReader finds in the picture, one a line.
# Debian's ZXingReader (1.4) aborts on an assertion when the downscaled
# passes find the same Code 128 again: the full-size pass is tried first.
decoded() {
  local f t
  for f in Code128 QRCode; do
    t="$(ZXingReader -noscale -format "$f" "$1" 2>/dev/null | sed -n 's/^Text: *//p' | tr -d '"')"
    [ -n "$t" ] || t="$(ZXingReader -format "$f" "$1" 2>/dev/null | sed -n 's/^Text: *//p' | tr -d '"')"
    [ -z "$t" ] || echo "$t"
  done
}

closed_loop() {
  local e="$work/emu-loop" grey
  make_barcode_pdf "$work" || { fail "closed loop: the barcode PDF and its PWG raster"; return; }
  grey="$(/usr/bin/python3 -c "
from PIL import Image
im = Image.open('$work/barcodes.pgm')
print(sum(1 for v in im.getdata() if 0 < v < 255))")"
  start_qovemu "$e" || { fail "closed loop: qovemu starts"; return; }
  "$qp" add -d loop -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >/dev/null || { fail "closed loop: add"; return; }
  ipptool -T 30 -d filename="$work/barcodes.pwg" -d format=image/pwg-raster -d user=test "$(printer_uri loop)" \
    "$ipp_tests/print-file.test" >"$work/loop-print.out" 2>&1
  if ! wait_pictures "$e/preview" 1; then
    cat "$work/loop-print.out"
    fail "closed loop: the grey PWG raster printed no label"
    return
  fi
  local pic texts
  pic="$(ls -d "$e"/preview/* | head -1)"
  texts="$(decoded "$pic")"
  if grep -qx "QOV-12345678" <<<"$texts" && grep -qx "https://qovlib.invalid/label/42" <<<"$texts"; then
    pass "anti-aliased grey PWG raster ($grey grey dots) of a Code 128 and a QR code decodes from qovemu's picture"
  else
    fail "closed loop: decoded [$texts] from $pic ($grey grey dots in the input)"
  fi
}

# Through CUPS: a private cupsd (scripts/private_cups.sh) with a driverless
# IPP Everywhere queue made from qovprint's own attributes; `lp` prints a PDF
# of a Code 128 and a QR code of 3-dot modules (CUPS scales a page to its
# margins, and 3 dots stay readable), CUPS's filters make the raster, and
# qovemu's picture decodes.
through_cups() {
  local e="$work/emu-cups" d="$work/cups" out server pic texts i took
  if [ "$(id -u)" != 0 ]; then skip "cups: needs root (cupsd runs its backends as lp)"; return; fi
  for i in lpadmin lp lpstat /usr/sbin/cupsd /usr/lib/cups/filter/pdftopdf; do
    command -v "$i" >/dev/null || { skip "cups: $i is not installed (make deps)"; return; }
  done
  mkdir -p "$d"
  make_barcode_pdf "$d" 3 4 || { fail "cups: the barcode PDF"; return; }
  start_qovemu "$e" || { fail "cups: qovemu starts"; return; }
  "$qp" add -d cupsq -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >/dev/null || { fail "cups: add"; return; }
  out="$(bash "$here/scripts/private_cups.sh" start 2>&1)" || { fail "cups: private cupsd: $out"; return; }
  cups_dir="$(sed -n 's/^QOV_CUPS_DIR=//p' <<<"$out")"
  server="$(sed -n 's/^QOV_CUPS_SERVER=//p' <<<"$out")"
  if ! lpadmin -h "$server" -p qovlabels -E -v "$(printer_uri cupsq)" -m everywhere >"$work/lpadmin.out" 2>&1; then
    cat "$work/lpadmin.out"
    fail "cups: lpadmin made no driverless queue"
    return
  fi
  local t0 raster
  t0=$(date +%s%N)
  lp -h "$server" -d qovlabels "$d/barcodes.pdf" >"$work/lp.out" 2>&1 || { cat "$work/lp.out"; fail "cups: lp"; return; }
  if ! wait_pictures "$e/preview" 1 60; then
    lpstat -h "$server" -l -p qovlabels -o 2>&1 | head -20
    tail -20 "$cups_dir/log/error_log" 2>/dev/null
    fail "cups: the PDF printed no label within 60 s"
    return
  fi
  took=$(ms_since "$t0")
  pic="$(ls -d "$e"/preview/* | head -1)"
  texts="$(decoded "$pic")"
  raster="$(grep '\[Printer cupsq\]\|raster data is' "$work/server.log" | sed -n 's/.*Page 1 raster data is \(.*\)/\1/p' | tail -1)"
  if grep -qx "QOV-12345678" <<<"$texts" && grep -qx "https://qovlib.invalid/label/42" <<<"$texts"; then
    pass "a PDF printed with lp through a private cupsd's driverless queue (CUPS sent ${raster:-its raster}) decodes from qovemu's picture, $took ms after lp"
  else
    KEEP_WORK=1
    fail "cups: decoded [$texts] from $pic"
  fi
}

# job_state PRINTER ID: the job's state name (pending, processing, completed, aborted, ...).
job_state() {
  ipptool -T 5 -d job="$2" "$(printer_uri "$1")" "$ipp_tests/job-state.test" 2>/dev/null | sed -n 3p | tr -d ' '
}

# submit_ipp PRINTER FILE FORMAT: Print-Job; prints the job id (empty when refused, the reply in $work/submit.out).
submit_ipp() {
  # shellcheck disable=SC2086
  ipptool ${IPPTOOL_OPTS:-} -T 30 -d filename="$2" -d format="$3" -d user=test "$(printer_uri "$1")" "$ipp_tests/print-file.test" \
    >"$work/submit.out" 2>&1
  sed -n 3p "$work/submit.out" | tr -d ' '
}

# wait_job_end PRINTER ID SECONDS: waits until the job is completed, aborted or canceled; prints the state.
wait_job_end() {
  local st i
  for i in $(seq $(($3 * 10))); do
    st="$(job_state "$1" "$2")"
    case "$st" in completed | aborted | canceled) echo "$st"; return 0 ;; esac
    sleep 0.1
  done
  echo "${st:-unknown}"
}

# raw_port PRINTER: the port of its raw socket, as the server's log tells it.
raw_port() {
  local i p
  for i in $(seq 30); do
    p="$(sed -n "s/.*\[Printer $1\] Raw socket on port \([0-9]*\)\./\1/p" "$work/server.log" | tail -1)"
    [ -n "$p" ] && { echo "$p"; return 0; }
    sleep 0.1
  done
  return 1
}

# job_message PRINTER ID: the job's job-state-message.
job_message() {
  ipptool -T 5 -d job="$2" "$(printer_uri "$1")" "$ipp_tests/job-message.test" 2>/dev/null | sed -n '3p' | sed 's/^ *//'
}

# last_job PRINTER: the id of the printer's newest job.
last_job() {
  ipptool -T 5 "$(printer_uri "$1")" "$ipp_tests/jobs.test" 2>/dev/null | tail -n +3 | tr -d ' ' | sort -n | tail -1
}

# ms_since T0: milliseconds since T0 (date +%s%N).
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# Hostile documents: each fails its job (or is refused) promptly with a
# message saying why, nothing of it is printed, and the server stays up with
# its memory bounded. The server runs with a raw-socket idle limit of 2 s
# and a size limit of 1 MiB (start_qovprint).
bad_input() {
  local e="$work/emu-bad" id st rss t0 took msg before cap size
  start_qovemu "$e" || { fail "bad input: qovemu starts"; return; }
  "$qp" add -d bad -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >/dev/null || { fail "bad input: add"; return; }
  # A header whose lines are shorter than its width (a fuzzing find: each line
  # used to be read past its end).
  tail -c +6 fuzz/corpus/printapp/finding-short-raster-line >"$work/short-lines.pwg"
  id="$(submit_ipp bad "$work/short-lines.pwg" image/pwg-raster)"
  st="$( [ -n "$id" ] && wait_job_end bad "$id" 30)"
  [ -z "$id" ] || [ "$st" = aborted ] && pass "a PWG raster whose lines are shorter than its width fails (job ${id:-refused} $st)" ||
    fail "short-line PWG raster: job $id $st"

  /usr/bin/python3 -c "
from PIL import Image
Image.new('1', (20000, 20000), 1).save('$work/huge.png')"
  t0=$(date +%s%N)
  id="$(submit_ipp bad "$work/huge.png" image/png)"
  st="$(wait_job_end bad "$id" 30)"
  took=$(ms_since "$t0")
  msg="$(job_message bad "$id")"
  if [ "$st" = aborted ] && [[ "$msg" == *"20000 x 20000 pixels is larger than 16384 pixels a side"* ]]; then
    pass "a 20,000 x 20,000 PNG fails its job in $took ms: $msg"
  else
    fail "20,000 x 20,000 PNG: job ${id:-refused} $st [$msg]"
  fi

  # Cut in the page's lines. Sent with a length, the end shows at once; sent
  # chunked (ipptool's default, and CUPS's), PAPPL's read would wait a minute
  # for a next chunk: the idle limit (2 s here) ends it.
  make_barcode_pdf "$work" >/dev/null 2>&1
  head -c $(($(stat -c %s "$work/barcodes.pwg") / 2)) "$work/barcodes.pwg" >"$work/truncated.pwg"
  local how limit
  for how in length:1000 chunked:5000; do
    limit="${how#*:}"
    how="${how%%:*}"
    before=$(ls "$e/preview" | wc -l)
    t0=$(date +%s%N)
    id="$(IPPTOOL_OPTS="$([ "$how" = length ] && echo -L)" submit_ipp bad "$work/truncated.pwg" image/pwg-raster)"
    st="$( [ -n "$id" ] && wait_job_end bad "$id" 30)"
    took=$(ms_since "$t0")
    msg="$(job_message bad "$id")"
    if [ "$st" = aborted ] && [ "$took" -lt "$limit" ] && [ "$(ls "$e/preview" | wc -l)" -eq "$before" ] &&
      [[ "$msg" == *"stopped arriving"* || "$msg" == *"ended in the middle of page 1"* ]]; then
      pass "a truncated PWG raster sent $how fails in $took ms, nothing printed: $msg"
    else
      fail "truncated PWG raster sent $how: job ${id:-refused} $st after $took ms [$msg], $(($(ls "$e/preview" | wc -l) - before)) labels printed"
    fi
  done

  id="$(submit_ipp bad "$work/raw.txt" application/x-no-such-format)"
  st="$( [ -n "$id" ] && wait_job_end bad "$id" 10)"
  if grep -q 'document-format-not-supported' "$work/submit.out" || [ "$st" = aborted ]; then
    pass "an unknown document format is refused or fails its job"
  else
    fail "unknown format: job ${id:-refused} ${st:-}"
  fi

  raw_socket_bounds "$e"

  rss="$(awk '/VmHWM/ {print $2}' "/proc/$qp_pid/status")"
  if kill -0 "$qp_pid" && curl -s -o /dev/null "http://localhost:$qp_port/" && [ "${rss:-999999}" -lt 100000 ]; then
    pass "the server stays up, its peak memory ${rss} kB (under 100 MB)"
  else
    fail "after the bad input: server up? $(kill -0 "$qp_pid" 2>/dev/null && echo yes || echo no), peak memory ${rss:-?} kB"
  fi
}

# The printer's raw socket: a whole document prints byte for byte; a sender
# that goes silent, and one that never stops, are cut and fail their job.
raw_socket_bounds() {
  local e="$1" port id st msg took before size sent
  port="$(raw_port bad)" || { fail "raw socket: the log names no port for printer bad"; return; }
  before=$(ls "$e/preview" | wc -l)
  # The printer's connections so far, in one file (a failed status read opens a new one).
  captures() { cat "$e"/capture/* >"$work/captures.bin"; echo "$work/captures.bin"; }
  if $checks raw-send "$port" "$work/raw.txt" && wait_pictures "$e/preview" $((before + 1)) &&
    why="$($checks contains "$(captures)" "$work/raw.txt")"; then
    pass "a document on the raw socket (port $port) prints byte for byte"
  else
    fail "raw socket: ${why:-no label from port $port}"
  fi
  # The status polls go on meanwhile: what must not reach the printer is
  # counted by its own text.
  size=$(grep -c '~CREATE;RAWT' "$(captures)")
  before=$(ls "$e/preview" | wc -l)

  head -c 40 "$work/raw.txt" >"$work/half.txt"
  took="$($checks raw-send "$port" "$work/half.txt" 10)"
  id="$(last_job bad)"
  st="$(wait_job_end bad "$id" 10)"
  msg="$(job_message bad "$id")"
  if [ -n "$took" ] && [ "$st" = aborted ] && [[ "$msg" == *"no data for 2 s after 40 bytes"* ]] &&
    [ "$(grep -c '~CREATE;RAWT' "$(captures)")" -eq "$size" ]; then
    pass "a raw sender silent after 40 bytes is cut after $took s and its job fails, nothing sent: $msg"
  else
    fail "silent raw sender: cut after ${took:-never} s, job $id $st [$msg], forms in the capture $size -> $(grep -c '~CREATE;RAWT' "$(captures)")"
  fi

  sent="$($checks raw-flood "$port" 20)"
  id="$(last_job bad)"
  st="$(wait_job_end bad "$id" 10)"
  msg="$(job_message bad "$id")"
  if [[ "$sent" =~ ^[0-9]+$ ]] && [ "$st" = aborted ] && [[ "$msg" == *"larger than 1 MiB"* ]] &&
    [ -z "$(find "$work/spool" -type f -size +1024k)" ] && ! grep -q FLOOD "$(captures)" &&
    [ "$(ls "$e/preview" | wc -l)" -eq "$before" ]; then
    pass "an endless raw sender is cut after $sent bytes and its job fails, nothing spooled or sent: $msg"
  else
    fail "endless raw sender: ${sent:-no end}, job $id $st [$msg], spool: $(find "$work/spool" -type f -size +1024k | head -3)"
  fi
}

# Side by side in one run, job for job in turn (bench/printer_app): for the
# same documents, the time from sending the job to the last byte at the
# printer's end (qovemu's captures, or the peer's output file), median of
# BENCH_RUNS jobs, qovprint into qovemu and Debian's lprint into a file with
# its ZPL driver.
bench() {
  local e="$work/emu-bench" lp lp_port lp_name="lprint-bench-$$" out="$work/lprint-out.zpl"
  start_qovemu "$e" --capture-only || { fail "bench: qovemu starts"; return; }
  "$qp" add -d bench -v "socket://127.0.0.1:$emu_port" -m qovlib_203dpi >/dev/null || { fail "bench: add"; return; }
  ln -sf "$(command -v lprint)" "$work/$lp_name"
  lp="$work/$lp_name"
  lp_port="$($checks fresh-port)"
  mkdir -p "$work/lpspool" "$work/lphome"
  # Its state goes to $HOME/.lprint.conf: a home of its own keeps it there.
  HOME="$work/lphome" "$lp" server -o server-port="$lp_port" -o log-level=error -o log-file="$work/lprint.log" \
    -o spool-directory="$work/lpspool" >/dev/null 2>&1 &
  pids+=("$!")
  for _ in $(seq 100); do [ -S "/run/$lp_name.sock" ] && curl -s -o /dev/null "http://localhost:$lp_port/" && break; sleep 0.1; done
  : >"$out"
  HOME="$work/lphome" "$lp" add -d zpl -v "file://$out" -m zpl_4inch-203dpi-dt >/dev/null || { fail "bench: lprint add"; return; }
  local doc out_lines
  for doc in label-1bit.png label-grey.png; do
    out_lines="$("$build/bench_printer_jobs" "${BENCH_RUNS:-41}" image/png "$work/$doc" \
      "qovprint=$(printer_uri bench)=$e/capture" "lprint=ipp://localhost:$lp_port/ipp/print/zpl=$out" 2>&1)" ||
      { fail "bench: $doc: exit $?: $out_lines"; return; }
    echo "$out_lines"
  done
  pass "bench ran"
}

[ -x "$QOVPRINT" ] || { echo "no $QOVPRINT: build the linux preset with libpappl-dev installed" >&2; exit 1; }
make_pictures
start_qovprint || exit 1
for what in "${@:-quick}"; do
  case "$what" in
  quick) quick ;;
  faults) faults_live ;;
  conformance) conformance ;;
  loop) closed_loop ;;
  cups) through_cups ;;
  bad-input) bad_input ;;
  bench) bench ;;
  *) echo "unknown part: $what" >&2; exit 2 ;;
  esac
done
# The server ends as a service manager ends it; a sanitizer build reports
# what it found (errors, leaks) on its way out.
kill -TERM "$qp_pid" 2>/dev/null
for _ in $(seq 100); do kill -0 "$qp_pid" 2>/dev/null || break; sleep 0.1; done
if grep -q 'Sanitizer\|runtime error' "$work/server.out"; then
  grep -A30 'Sanitizer\|runtime error' "$work/server.out" | head -60
  fail "the server's sanitizer reported on its way out"
elif grep -q 'QOV_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  pass "the server ended with no sanitizer report"
fi
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
