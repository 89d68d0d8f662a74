/*
 * print_label: composes a small label with libqovlib, prints it on a printer
 * on the network and shows the printer's status report.
 *
 *     print_label [IPv4 address [port]]     (default 127.0.0.1 9100)
 *
 * Exit status: 0 printed and the status report came back, 1 the printer
 * cannot be reached, 2 bad arguments, 3 the label went out but the printer
 * gave no status report.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qovlib.h"

/* Shows printer text one line per line: CR LF ends a line, other control
 * bytes are written as \xNN so that nothing unseen hides in the output. */
static void show(const char* title, const char* text) {
    printf("---- %s (%u bytes)\n", title, (unsigned)strlen(text));
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p) {
        if (*p == '\r' && p[1] == '\n') continue;
        if (*p == '\n' || (*p >= 0x20 && *p < 0x7f)) putchar(*p);
        else printf("\\x%02x", *p);
    }
    if (*text && text[strlen(text) - 1] != '\n') putchar('\n');
    printf("----\n");
}

static int endsWith(const char* text, const char* tail) {
    const size_t n = strlen(text), m = strlen(tail);
    return n >= m && memcmp(text + n - m, tail, m) == 0;
}

int main(int argc, char** argv) {
    const char* address = argc > 1 ? argv[1] : "127.0.0.1";
    int port = 9100;
    if (argc > 3) {
        fprintf(stderr, "usage: %s [IPv4 address [port]]\n", argv[0]);
        return 2;
    }
    if (argc > 2) {
        char* end = NULL;
        const long value = strtol(argv[2], &end, 10);
        if (*argv[2] == '\0' || *end != '\0' || value < 1 || value > 65535) {
            fprintf(stderr, "%s: not a port number: %s\n", argv[0], argv[2]);
            return 2;
        }
        port = (int)value;
    }
    printf("QOVLIB %s\n", QOVA_GetDllVersion());

    if (openethernet(address, port) != 0) {
        fprintf(stderr, "cannot reach the printer at %s:%d\n", address, port);
        return 1;
    }
    printf("connected to %s:%d\n", address, port);

    /* The job: a 4 x 2 inch label (paper in thousandths of an inch) at
     * 6 ips, form resolution 300, bold ASCII font, coordinates in printer
     * dots at 203 dpi. Settings go into the header of the next form. */
    QOVA_DLLinit();
    QOVA_JobSetup(1, 4000);
    QOVA_JobSetup(2, 2000);
    QOVA_JobSetup(3, 6);
    QOVA_FormSetup(1, 300);
    QOVA_FontSetup(1, "ON");
    QOVA_FontSetup(3, "ASCII");
    QOVA_Scale(203, 203);

    const int form = QOVA_CreateForm("DEMO");
    QOVA_DrawBox(form, 2, 10, 10, 392, 798);          /* frame */
    QOVA_PrintTextEng(form, 60, 30, 2, 2, "QOVLIB demo label");
    QOVA_DrawLine(form, 2, 80, 30, 80, 780);          /* rule under the title */
    QOVA_PrintTextEng(form, 115, 30, 1, 1, "Printed over TCP");
    QOVA_SetBarcode(2, 3, "1");                       /* Code 128 B, narrow module 1/60 in */
    QOVA_SetBarcode(2, 1, "5");                       /* bars half an inch high */
    QOVA_SetBarcode(2, 4, "");                        /* human-readable line under them */
    QOVA_PrintBarcode(form, 2, 140, 30, "QOV-000123");
    QOVA_SetBarcode(7, 3, "1");                       /* QR code, cells of 1/60 in */
    QOVA_PrintBarcode(form, 7, 130, 660, "https://example.invalid/QOV-000123");
    QOVA_DrawLine(form, 1, 270, 30, 380, 380);        /* a diagonal */
    QOVA_DrawLine(form, 2, 260, 420, 380, 420);       /* and a vertical */
    QOVA_PrintTextEng(form, 330, 440, 1, 1, "Lot 4711  Qty 12");

    /* The library keeps no reference to the returned text; it stays ours. */
    char* sent = QOVA_PrintForm(form);
    show("sent to the printer", sent ? sent : "");

    const char* status = QOVA_GetStatus();
    show("status report", status);

    closeport();
    printf("connection closed\n");
    if (!endsWith(status, "END\r\n")) {
        fprintf(stderr, "the printer sent no status report\n");
        return 3;
    }
    return 0;
}
