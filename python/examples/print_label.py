#!/usr/bin/env python3
"""print_label.py: prints a label on a network printer with the qovlib
package and shows the printer's status report.

    print_label.py [address [port]]      (default 127.0.0.1 9100)

Exit status: 0 printed and the status report came back, 1 the printer cannot
be reached, 2 bad arguments, 3 the label went out but no status report came.
"""
import sys

import qovlib
from qovlib import Barcode, Form, Printer


def main(argv):
    if len(argv) > 3 or (len(argv) > 2 and not argv[2].isdigit()):
        print(__doc__.strip().splitlines()[3].strip(), file=sys.stderr)
        return 2
    address = argv[1] if len(argv) > 1 else "127.0.0.1"
    port = int(argv[2]) if len(argv) > 2 else 9100
    print(f"qovlib {qovlib.__version__} from {qovlib.__file__}")
    print(f"library {qovlib.exports.library()._name}: {qovlib.exports.QOVA_GetDllVersion().decode()}")

    form = Form("PYDEMO", width=4000, length=2000, speed=6, bold=True, code_page="ASCII", scale=(203, 203))
    form.add_box(2, 10, 10, 390, 790)
    form.add_text(60, 30, 2, 2, "qovlib for Python")
    form.add_line(2, 90, 30, 90, 770)
    form.add_barcode(Barcode.CODE128B, 120, 40, "PY-000123", x=2, h=6, human_readable=True)

    try:
        with Printer.tcp(address, port) as printer:
            sent = form.print(printer)
            print(f"---- sent to {printer.target} ({len(sent)} bytes)")
            print(sent.decode("cp1252").replace("\r\n", "\n"), end="")
            try:
                status = printer.status()
            except qovlib.QovlibError as error:
                print(f"no status report: {error}", file=sys.stderr)
                return 3
    except qovlib.OpenError as error:
        print(error, file=sys.stderr)
        return 1
    print("---- status report")
    print(status.replace("\r\n", "\n"), end="")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
