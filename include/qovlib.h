/*
 * QOVLIB: a library for driving industrial label printers.
 *
 * A flat API over process-global state: open a connection (spooler printer,
 * LPT, COM, USB or TCP), compose label forms in the printer's command
 * language, send them, and read replies back. Call it from one thread at a
 * time.
 *
 * Results by family: opens return 0 for success and 1 for failure
 * (openportmult and openusbportmult: 1 and 0); sends return 1 when the data
 * was handed to a transport, 0 otherwise; form setup and element calls return
 * 0 accepted, 1 rejected; reads return text ("Time Out\r\n", "-1", "" or the
 * reply). Texts returned by reads, queries and formatters belong to the
 * library; texts returned by QOVA_GetFormData, QOVA_PrintForm(_Mult),
 * printer_Logo and printer_PNGLogo_NORMAL are new blocks the caller keeps.
 *
 * On Linux (libqovlib.so):
 *  - the functions of the C++ section below are C++ functions there too
 *    (Itanium-decorated names), so C programs use the plain functions;
 *  - wide text (sendcommandUnicode, savetotext) is the platform's wchar_t,
 *    UTF-32 on Linux;
 *  - the handle the USB chunk readers take is the file descriptor of an open
 *    printer device node, cast to a pointer: (void*)(intptr_t)fd;
 *  - COM1..COM5 and LPT1..LPT4 map to /dev/ttySn and /dev/lpn unless the
 *    environment variables QOVLIB_COM1.. and QOVLIB_LPT1.. name other device
 *    paths; QOVLIB_ANSI_CODEPAGE names the ANSI code page (default
 *    Windows-1252).
 */
#ifndef QOVLIB_H
#define QOVLIB_H

#include <stddef.h>
#include <wchar.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#define QOVLIB_API
#else
#define QOVLIB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- connections ------------------------------------------------------ */
QOVLIB_API int openport(const char* name);
QOVLIB_API int openport_async(const char* name);
QOVLIB_API int openport_usbid(int slot, const char* id);
QOVLIB_API int openport_usbid_async(int slot, const char* id);
QOVLIB_API int openethernet(const char* address, int port);
QOVLIB_API int openethernet_async(const char* address, int port);
QOVLIB_API int closeport(void);

/* ---- sending ---------------------------------------------------------- */
QOVLIB_API int sendcommand(const char* text);
QOVLIB_API int sendcommandnocrlf(const char* text);
QOVLIB_API int sendcommandutf8(const char* text);
QOVLIB_API int sendBinaryData(const char* data, int length);
QOVLIB_API int sendBinaryDataNoCRLF(const char* data, int length);

/* ---- reading and status ----------------------------------------------- */
QOVLIB_API const char* QOVA_Read(const char* terminator);
QOVLIB_API const char* QOVA_Read_withTimeout(const char* terminator, int waitTimeout,
                                             int delayBefore, int delayAfter);
QOVLIB_API void USB_ClearBuffer(void);
QOVLIB_API char Serial_ClearBuffer(void);
QOVLIB_API const char* QOVA_GetStatus(void);
QOVLIB_API int QOVA_SetupStatus(int mode);
QOVLIB_API int driver_status(const char* printerName);
QOVLIB_API const char* driver_portname(const char* printerName);

/* ---- form composition ------------------------------------------------- */
QOVLIB_API void QOVA_DLLinit(void);
QOVLIB_API void QOVA_DLLexit(void);
QOVLIB_API int QOVA_JobSetup(int type, int value);
QOVLIB_API int QOVA_FormSetup(int type, int value);
QOVLIB_API int QOVA_Scale(int first, int second);
QOVLIB_API int QOVA_FontSetup(int type, const char* text);
QOVLIB_API int QOVA_SetBarcode(int kind, int column, const char* text);
QOVLIB_API int QOVA_SetupRFID(int fieldLength, unsigned char increment, const char* format,
                              int step, const char* data);
QOVLIB_API int QOVA_CreateForm(const char* name);
QOVLIB_API int QOVA_DrawBox(int form, int b1, int b2, int b3, int b4, int b5);
QOVLIB_API int QOVA_DrawLine(int form, int k, int r1, int c1, int r2, int c2);
QOVLIB_API int QOVA_PrintTextEng(int form, int f1, int f2, int f3, int f4, const char* text);
QOVLIB_API int QOVA_PrintTextCH(int form, int f1, int f2, int f3, int f4, const char* text);
QOVLIB_API int QOVA_PrintBarcode(int form, int kind, int f1, int f2, const char* data);
QOVLIB_API int QOVA_PrintImage(int form, int f1, int f2, const char* logoName);
QOVLIB_API char* printer_Logo(int form, const char* logoName, int f1, int f2);
QOVLIB_API int QOVA_WriteRFID(int form, const char* lock, const char* tagHeader);
QOVLIB_API int QOVA_VerifyRFID(int form, const char* unlock, const char* tagHeader,
                               int fieldLength, const char* format);
QOVLIB_API char* QOVA_GetFormData(int form);
QOVLIB_API char* QOVA_PrintForm(int form);
QOVLIB_API char* QOVA_PrintForm_Mult(int slot, int form);

/* ---- printer control commands ----------------------------------------- */
QOVLIB_API const char* QOVA_FORMFEED(void);
QOVLIB_API const char* QOVA_FORMFEED_Mult(int slot);
QOVLIB_API const char* QOVA_PrinterReset(void);
QOVLIB_API const char* QOVA_GAPDETECT(void);
QOVLIB_API const char* QOVA_GAPDETECT_Mult(int slot);
QOVLIB_API const char* QOVA_BLINEDETECT(void);
QOVLIB_API const char* QOVA_BLINEDETECT_Mult(int slot);
QOVLIB_API const char* QOVA_SETSENSOR(int value);
QOVLIB_API const char* QOVA_SETSENSOR_Mult(int slot, int value);
QOVLIB_API const char* QOVA_RFIDAUTOCALIBRATION(void);
QOVLIB_API const char* QOVA_RFIDAUTOCALIBRATION_Mult(int slot);

/* ---- one-call formatters and graphics --------------------------------- */
QOVLIB_API char* download_format(const char* name);
QOVLIB_API char* download_format_define(const char* prefix, const char* name);
QOVLIB_API char* printer_label(const char* name, int count);
QOVLIB_API char* printer_label_define(const char* prefix, const char* name, int count);
QOVLIB_API char* printer_dpi(int dpi);
QOVLIB_API char* printer_codepage(const char* codepage);
QOVLIB_API char* printer_external_font(const char* name, const char* symset);
QOVLIB_API char* printer_internal_font(const char* face, const char* bold, const char* slant,
                                       const char* symset);
QOVLIB_API char* printer_font(int p1, int p2, int p3, int p4, const char* text);
QOVLIB_API char* printer_font_twobyte(int p1, int p2, int p3, int p4, const char* text);
QOVLIB_API char* printer_font_twobyte_binary(int p1, int p2, int p3, int p4, const char* text);
QOVLIB_API char* printer_barcode(const char* p1, const char* p2, const char* p3, int p4, int p5,
                                 const char* data);
QOVLIB_API char* printer_barcode_humanredable(const char* p1, const char* p2, const char* p3,
                                              int p4, int p5, const char* data);
QOVLIB_API char* printer_box(int p1, int p2, int p3, int p4, int p5);
QOVLIB_API char* printer_diagonal(int p1, int p2, int p3, int p4, int p5);
QOVLIB_API char* printer_horizontal(int p1, int p2, int p3, int p4, int p5);
QOVLIB_API char* printer_vertical(int p1, int p2, int p3, int p4, int p5);
QOVLIB_API char* printer_RFID_write(int length, const char* format, int data);
QOVLIB_API char* printer_PNGLogo_NORMAL(const char* picture, const char* name, int height,
                                        int width);
QOVLIB_API int QOVA_DownloadPCX(const char* path, const char* logoName);

/* ---- library information ---------------------------------------------- */
QOVLIB_API int about(void);
QOVLIB_API const char* QOVA_GetDllVersion(void);

#ifdef __cplusplus
} /* extern "C" */

/* ---- exported under C++-decorated names ------------------------------- */
/* Under Windows these carry the Microsoft C++ decoration of exactly these
 * signatures; a MinGW program reaches them through GetProcAddress. */
QOVLIB_API int openportmult(int slot, char* name);
QOVLIB_API int openusbportmult(int slot);
QOVLIB_API int openethernetmult(int slot, char* address, int* port);
QOVLIB_API int closeethernetport(int delay);
QOVLIB_API int closeethernetportmult(int slot, int delay);
QOVLIB_API int closeportmult(int slot);
QOVLIB_API char* opencomport(char* name);
QOVLIB_API int SetRS232(char* name, int baud, int parity, int dataBits, int stopBits);
QOVLIB_API int comportdefault(void);

QOVLIB_API int sendcommand_withoutcrlf(char* text);
QOVLIB_API int sendcommand_mult(int slot, char* text);
QOVLIB_API int sendcommand_withoutcrlf_mult(int slot, char* text);
QOVLIB_API int sendcommandmult(int slot, char* text);
QOVLIB_API int sendcommandutf8_mult(int slot, char* text);
QOVLIB_API int sendcommandUnicode(wchar_t* text);
QOVLIB_API int ZULOutBuffer(char* text);
QOVLIB_API int ZULOutBuffermult(int slot, char* text);
QOVLIB_API int ComportSendData(char* text);
QOVLIB_API int usbportwrite(char* text);
QOVLIB_API int Ethernetsend(char* text);

QOVLIB_API bool UsbRead_judge(void* handle, char* terminator);
QOVLIB_API bool UsbRead_judge(void* handle, char* terminator, int waitTimeout);
QOVLIB_API bool UsbReadData(void* handle, bool unused);
QOVLIB_API bool UsbReadData_mult(void* handle, bool unused);
QOVLIB_API bool UsbReadStatus(void* handle, bool unused);
QOVLIB_API bool UsbReadStatusDataToBuffer(void* handle, bool unused);
QOVLIB_API bool UsbReadDataToBuffer(void* handle, bool unused);
QOVLIB_API int QOVA_SetupStatus_Mult(int slot, int mode);
QOVLIB_API char* comportprintercodepage(void);
QOVLIB_API char* ethernetprintercodepage(void);
QOVLIB_API char* usbprintercodepage(void);
QOVLIB_API int comportprinterrestart(void);
QOVLIB_API int ethernetprinterrestart(void);
QOVLIB_API int usbprinterrestart(void);
QOVLIB_API int compareport(char* portName);
QOVLIB_API char* returndriver(char* portName);

QOVLIB_API char* QOVA_PrinterReset_Mult(int slot);
QOVLIB_API char* printer_font_binary(int p1, int p2, int p3, int p4, unsigned int* text);

QOVLIB_API char* dllversion(void);
QOVLIB_API int savetotext(wchar_t* text);
#endif /* __cplusplus */

#endif /* QOVLIB_H */
