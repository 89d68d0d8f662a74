/*
 * print_label: composes a small label with QOVLIB.dll and prints it on a
 * printer on the network.
 *
 *     print_label.exe <IPv4 address> <port>
 *
 * The plain exports are called directly through the import library. The
 * exports with C++-decorated names carry the Microsoft decoration of their
 * signatures, which no C compiler produces, so they are reached through
 * GetProcAddress by their exported names.
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "qovlib.h"

/* The Microsoft decoration of a pointer differs between x64 and x86. */
#ifdef _WIN64
#define QOV_PTR "PEA"
#else
#define QOV_PTR "PA"
#endif

typedef char* (*dllversion_fn)(void);
typedef int (*closeethernetport_fn)(int);

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s <IPv4 address> <port>\n", argv[0]);
        return 2;
    }
    const char* address = argv[1];
    const int port = atoi(argv[2]);

    HMODULE library = GetModuleHandleA("QOVLIB.dll");
    dllversion_fn dllversion =
        (dllversion_fn)(void*)GetProcAddress(library, "?dllversion@@YA" QOV_PTR "DXZ");
    closeethernetport_fn closeethernetport =
        (closeethernetport_fn)(void*)GetProcAddress(library, "?closeethernetport@@YAHH@Z");
    if (!dllversion || !closeethernetport) {
        fprintf(stderr, "QOVLIB.dll lacks its decorated exports\n");
        return 1;
    }
    printf("QOVLIB %s (%s)\n", dllversion(), QOVA_GetDllVersion());

    /* Compose the label: paper, form settings, font, scale, then elements. */
    QOVA_DLLinit();
    QOVA_JobSetup(1, 400);
    QOVA_JobSetup(3, 6);
    QOVA_FormSetup(1, 300);
    QOVA_FontSetup(1, "ON");
    QOVA_FontSetup(3, "ASCII");
    QOVA_Scale(203, 203);
    int form = QOVA_CreateForm("LABEL1");
    QOVA_PrintTextEng(form, 10, 20, 1, 1, "Hello from QOVLIB");
    QOVA_SetBarcode(7, 3, "4");
    QOVA_PrintBarcode(form, 7, 100, 200, "QOVLIB");
    QOVA_DrawBox(form, 2, 10, 20, 110, 220);

    if (openethernet(address, port) != 0) {
        fprintf(stderr, "cannot reach the printer at %s:%d\n", address, port);
        return 1;
    }
    char* sent = QOVA_PrintForm(form);
    fputs(sent, stdout);
    /* Give the printer half a second to take the last bytes. */
    closeethernetport(500);
    printf("label sent: %u bytes\n", (unsigned)strlen(sent));
    return 0;
}
