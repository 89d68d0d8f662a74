/**
 * @file qovlib.h
 * @brief QOVLIB: drive industrial label printers over the spooler, LPT, COM,
 *        USB and TCP (the whole API; see the @ref index "overview").
 */

/**
 * @mainpage QOVLIB reference
 *
 * QOVLIB composes label forms in the printer's command language, sends them
 * to a printer and reads replies back. It is a flat API of 114 functions:
 * no handle or object crosses the interface, every function works on
 * process-global state. It ships as `QOVLIB.dll` (Windows, x64 and x86) and
 * as `libqovlib.so` (Linux); both take this header.
 *
 * @section ov_families Families
 *
 * - @ref conn "Connections": @ref conn_open "opening by name",
 *   @ref conn_usb "USB", @ref conn_eth "Ethernet",
 *   @ref conn_serial "serial set-up", @ref conn_close "closing".
 * - @ref send "Sending": @ref send_cmd "command text",
 *   @ref send_enc "encoded text", @ref send_bin "binary and buffer writes".
 * - @ref read "Reading": @ref read_text "read until a terminator",
 *   @ref read_chunk "USB chunk reads and input clearing".
 * - @ref status "Status and code-page queries", @ref spooler "spooler queries".
 * - @ref forms "Forms": @ref forms_setup "workspace and setup",
 *   @ref forms_elem "elements", @ref forms_out "output and printing",
 *   @ref forms_ctl "printer control commands".
 * - @ref fmt "Formatters, logos and image download".
 * - @ref info "Library information".
 *
 * @section ov_state Process-global state, one thread at a time
 *
 * The library holds one *current connection* and five numbered *connection
 * slots* (1 to 5). The plain calls (`openport`, `sendcommand`, `QOVA_Read`,
 * `closeport`, ...) act on the current connection. Calls whose names end in
 * `mult`, `_mult` or `_Mult` and take a slot number act on that slot
 * (`UsbReadData_mult` is the exception: it reads a handle the caller passes).
 * Slot 1 is not a connection of its own for the spooler and USB: its handle
 * and flags are the current connection's. Its network socket is its own
 * (`openethernetmult(1, ...)`), yet `sendcommand_mult(1, ...)` and the other
 * shared-slot sends use the current connection's socket for slot 1.
 * LPT and COM ports exist only as the current connection.
 *
 * A connection records one flag per transport (spooler, LPT, USB, network,
 * COM) and a *connection-open flag*. The flags are independent, so more than
 * one transport can be open at once (for example `openethernet` after a
 * spooler open); every operation then tests the flags in a fixed order of its
 * own and uses the first one set. Each function states its order. The plain
 * command and binary sends refuse (result 0) while the connection-open flag
 * is 0; no close clears it, only the next open that starts over or fails.
 *
 * There are no threads, locks or callbacks in the library. Every call runs on
 * the caller's thread and all state (connection record, receive buffer, reply
 * texts, result buffers, form workspace) is shared by all functions: call the
 * library from one thread at a time.
 *
 * @section ov_results Results by family
 *
 * | Family | Success | Failure |
 * |---|---|---|
 * | `openport`, `openport_async`, `openport_usbid(_async)`, `openethernet(_async)`, `openethernetmult` | 0 | 1 |
 * | `openportmult`, `openusbportmult` | 1 | 0 |
 * | sends | 1: handed to a transport | 0: no connection, no transport, or (network) the send gave up |
 * | form setup and element calls | 0: stored or appended | 1: rejected, nothing changed |
 * | reads | the reply text | `"Time Out\r\n"`, `"-1"` or `""` |
 *
 * No call keeps an error code for later and none throws: C++ exceptions never
 * leave the library. A failure that the user should see is shown as a message
 * box (see @ref ov_linux for Linux).
 *
 * @section ov_text Who owns returned text
 *
 * Never modify or free a returned pointer unless the table says the caller
 * owns it.
 *
 * | Returned by | Storage | Valid until |
 * |---|---|---|
 * | `QOVA_GetFormData`, `QOVA_PrintForm`, `QOVA_PrintForm_Mult`, `printer_Logo`, `printer_PNGLogo_NORMAL` | a new block from the C library's `malloc`, owned by the caller | the caller frees it; no function of the library ever does |
 * | `QOVA_Read`, `QOVA_Read_withTimeout`, `QOVA_GetStatus`, `QOVA_RFIDAUTOCALIBRATION(_Mult)` | a library copy of the reply, or a fixed text | a reply copy: 15 more replies later (16 are kept); fixed texts: for ever |
 * | `comportprintercodepage`, `usbprintercodepage` | the library's receive buffer | the next read, query or USB chunk read |
 * | `ethernetprintercodepage` | the library's network chunk buffer | the next network read or query |
 * | the one-call formatters (`printer_box`, `download_format`, ...), `QOVA_SETSENSOR`, `QOVA_SETSENSOR_Mult` | a buffer of that one function | the next call of the same function |
 * | `driver_portname`, `returndriver` | a library copy | the end of the process |
 * | the other control commands, `opencomport`, `dllversion`, `QOVA_GetDllVersion` | constant text | for ever |
 *
 * The caller's blocks: on Linux release them with `free()`. On Windows they
 * come from the C runtime of the DLL (`msvcrt.dll`); `free()` them only from
 * code that uses that same runtime, or keep them.
 *
 * @section ov_time Blocking and time limits
 *
 * Every call may block its caller. The bounds:
 *
 * | What | Longest wait |
 * |---|---|
 * | `closeport` of a network connection (also inside `openport` and the other opens that close first) | a fixed 1,000 ms pause |
 * | `closeethernetport`, `closeethernetportmult` | the delay given |
 * | `openethernet`, `openethernetmult` to an address that does not answer | the system's connect time-out (about 21 s on Windows; on Linux `net.ipv4.tcp_syn_retries`, about 2 min by default); a refusal returns at once |
 * | `openethernet_async` | 5 s |
 * | a network send | every byte is written; gives up (result 0) after 30 s in which the printer accepted no byte, or when the connection fails |
 * | a USB write on a handle opened for overlapped I/O, a COM write | until the system completes it (no time-out of the library's own) |
 * | `QOVA_Read` | 5,000 ms of waiting for the whole read (USB, COM), besides the fixed pauses around each request; a request on a handle without overlapped I/O that blocks longer ends the read when it returns; a network read ends once 5 whole calendar seconds have passed (within about 7 s) |
 * | `QOVA_Read_withTimeout` | the caller's limits; see its description |
 * | the USB chunk readers | their fixed pause plus 5,000 ms |
 * | `USB_ClearBuffer`, `Serial_ClearBuffer` | until the printer is quiet, at most 128 requests (65,536 bytes) |
 * | `ethernetprintercodepage`, `usbprintercodepage` | 5 s, plus the pauses |
 * | message boxes (Windows) | until the user closes the box |
 *
 * @section ov_enc Encodings
 *
 * All text is NUL-terminated. 8-bit text is in the ANSI code page (Windows:
 * the system's; Linux: Windows-1252 unless `QOVLIB_ANSI_CODEPAGE` names
 * another, by iconv name or code-page number) unless a function says UTF-8.
 * The command sends put the caller's bytes on the wire unchanged; the UTF-8
 * sends and form printing convert from the ANSI code page to UTF-8;
 * `sendcommandUnicode` takes `wchar_t` text and sends UTF-8. Replies are the
 * printer's bytes, returned up to their first NUL byte. The command
 * language's line end is CR LF (`"\r\n"`).
 *
 * @section ov_linux On Linux
 *
 * - The functions of the C++ section of this header (the 40 exported under
 *   decorated names on Windows) are C++ functions on Linux too; C programs use
 *   the other 74.
 * - The spooler is CUPS (`CUPS_SERVER` is honoured): a printer name is a
 *   queue name (UTF-8, given and returned byte for byte), a document is a raw
 *   job, and a printer's port name is its queue's device URI.
 * - COM1..COM5 are `/dev/ttyS0`..`/dev/ttyS4` and LPT1..LPT4 are
 *   `/dev/lp0`..`/dev/lp3`, unless the environment variables `QOVLIB_COM1`..
 *   `QOVLIB_COM5` and `QOVLIB_LPT1`..`QOVLIB_LPT4` name other device paths.
 * - USB printers are the kernel's usblp devices (`/dev/usb/lpN`), found
 *   through sysfs and named with Windows-form device paths
 *   (`\\?\usb#vid_xxxx&pid_xxxx#serial#{a5dcbf10-6530-11d2-901f-00c04fb951ed}`,
 *   lower case). The vendor filter is the build setting `QOV_USB_VENDOR_ID`.
 * - Devices are opened exclusively as on Windows: a second open of a COM, LPT
 *   or USB device node, in this process or another, fails.
 * - `wchar_t` is UTF-32.
 * - A message box is one line `caption: text` on standard error and returns
 *   at once.
 * - The handle that the USB chunk readers and `UsbRead_judge` take is the
 *   file descriptor of an open printer device node cast to a pointer,
 *   `(void*)(intptr_t)fd`.
 */

#ifndef QOVLIB_H
#define QOVLIB_H

#include <stddef.h>
#include <wchar.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

/**
 * @brief Marks an exported function. Empty on Windows (the export table
 *        lists the exports); default symbol visibility on Linux.
 */
#if defined(_WIN32)
#define QOVLIB_API
#else
#define QOVLIB_API __attribute__((visibility("default")))
#endif

/* ====================================================================== */
/* Groups                                                                  */
/* ====================================================================== */

/**
 * @defgroup conn Connections
 * @brief Opening and closing the current connection and the five slots.
 *
 * `openport`, `openport_async`, `openport_usbid`, `openport_usbid_async` and
 * `compareport` close the current connection first (`closeport`); the
 * Ethernet opens, `openportmult`, `openusbportmult`, `opencomport` and
 * `driver_portname` do not. Which flags each open sets decides where later
 * sends go.
 */

/**
 * @defgroup conn_open Opening by printer name or port name
 * @ingroup conn
 * @brief `openport`, `openport_async`, `openportmult`.
 */

/**
 * @defgroup conn_usb USB discovery and direct USB opening
 * @ingroup conn
 * @brief Opening a USB printer without a driver, by a text in its device
 *        path or by its position.
 *
 * USB discovery lists the present USB device interfaces and keeps those
 * whose device path carries the vendor filter (`vid_` and four hexadecimal
 * digits) right after its `\\?\usb#` prefix, in the system's order. Device
 * paths look like
 * `\\?\usb#vid_xxxx&pid_xxxx#serial#{a5dcbf10-6530-11d2-901f-00c04fb951ed}`.
 * "The last printer" is the last one of that order. Every USB open asks for
 * no sharing, so a printer held by one handle cannot be opened again.
 *
 * @par On Linux
 * The printers are usblp device nodes found through sysfs; their paths are
 * built from the vendor, product and serial (or, without a serial, the bus
 * position), all lower case, and two printers with equal vendor, product and
 * serial still get distinct paths.
 */

/**
 * @defgroup conn_eth Ethernet connections
 * @ingroup conn
 * @brief TCP connections to a printer's dotted IPv4 address.
 *
 * The current connection has one socket (`openethernet`,
 * `openethernet_async`, `closeethernetport`); each slot has one of its own
 * (`openethernetmult`, `closeethernetportmult`). Only dotted-decimal IPv4
 * addresses are accepted; no host name is looked up. Every connected socket
 * gets send and receive time-outs of 1,000 ms. No function of this group
 * shows a message box.
 */

/**
 * @defgroup conn_serial Serial port set-up
 * @ingroup conn
 * @brief Line settings of a COM port.
 *
 * `openport` with "COM1".."COM5" opens a port without touching its line
 * settings; choose them with `SetRS232` before that open.
 */

/**
 * @defgroup conn_close Closing connections
 * @ingroup conn
 * @brief `closeport` and `closeportmult` (the sockets: @ref conn_eth).
 */

/**
 * @defgroup send Sending
 * @brief Command text, encoded text and binary data to the printer.
 *
 * Each send picks one transport by testing the flags in its order and acting
 * on the first one set, then writes with that transport's call:
 *
 * | Transport | Write |
 * |---|---|
 * | spooler | a write into the open document (Linux: the CUPS raw job) |
 * | LPT, USB | a file write; a USB handle opened for overlapped I/O (`openport_async`, `openport_usbid_async`) gets an overlapped write, which waits without time-out and first discards whatever was received and not yet read |
 * | network | socket sends, looped until every byte is written; a send that gets no byte accepted for 30 s, or whose connection fails, writes nothing more (not the line end either) and the call returns 0 |
 * | COM | one overlapped write of text and line end together, waited for without time-out (the COM handle of `openport` has a write time-out of 10 ms per byte plus 50 ms) |
 *
 * Apart from the network rule, a write that the system rejects or shortens is
 * not detected: the result is 1 once a transport was chosen. No send shows a
 * message box or reads a reply. Texts are sent up to their NUL byte; a text
 * longer than 2,147,483,632 bytes is refused (result 0). The caller's text
 * is never modified.
 */

/**
 * @defgroup send_cmd Command sending
 * @ingroup send
 * @brief 8-bit command text, with or without a CR LF line end.
 *
 * | Function | Connection | Order of tests | Line end |
 * |---|---|---|---|
 * | `sendcommand` | current | spooler, LPT, USB, network, COM | CR LF |
 * | `sendcommand_withoutcrlf`, `sendcommandnocrlf` | current | same | none |
 * | `sendcommand_mult` | slot | spooler, USB, network, COM (slot 1: the current connection without its LPT port, socket included; slots 2-5: their own spooler, USB and socket) | CR LF |
 * | `sendcommand_withoutcrlf_mult` | slot | as `sendcommand_mult` | none |
 * | `sendcommandmult` | slot | USB, spooler, the slot's own socket (slot 1: that of `openethernetmult(1, ...)`) | CR LF |
 */

/**
 * @defgroup send_enc Encoded text sending
 * @ingroup send
 * @brief ANSI text sent as UTF-8, and wide text.
 */

/**
 * @defgroup send_bin Binary and buffer sending
 * @ingroup send
 * @brief Counted byte blocks, texts without line end, direct COM, USB and
 *        network writers.
 */

/**
 * @defgroup read Reading
 * @brief Replies from the printer.
 *
 * Incoming bytes are collected into the library's receive buffer (65,536
 * bytes) in requests of 512 bytes (USB, COM) or socket receives. A read
 * ends when the caller's terminator text has arrived anywhere in what was
 * received (NUL bytes do not hide it; the empty terminator matches at the
 * first search, and a NULL terminator counts as empty). The reply is then
 * everything received, up to its first NUL byte, bytes after the terminator
 * included. When 65,536 bytes have arrived without the terminator the read
 * ends as a time-out.
 */

/**
 * @defgroup read_text Reading replies
 * @ingroup read
 * @brief Read until a terminator text, on the current connection or a USB
 *        handle.
 *
 * Results of the read exports:
 * - the reply (terminator found);
 * - `"Time Out\r\n"`: the time limit passed, a request stayed pending for
 *   its whole wait, a COM or USB request brought nothing;
 * - `"-1"`: the network connection failed or was closed by the printer, or
 *   the reader could not start within its limit;
 * - `""`: the connection cannot be read (spooler, LPT: after a 100 ms pause;
 *   nothing open: at once).
 *
 * A network receive error sets the library's socket error flag; from then on
 * every network read returns `"-1"` until `openethernet` or
 * `openethernetmult` clears it (`openethernet_async` does not).
 */

/**
 * @defgroup read_chunk USB chunk reads and input clearing
 * @ingroup read
 * @brief One 512-byte read from a caller's USB handle into the receive
 *        buffer; discarding unread input.
 *
 * The chunk readers read a handle that the caller opened on the printer's
 * USB device and never use the connection record. Each makes one request of
 * 512 bytes, waits up to 5,000 ms when it does not complete at once (and
 * cancels it then), and stores what arrived into the library's receive
 * buffer at the USB receive count. No function returns that buffer except
 * the code-page queries, which clear it first: the chunk readers are the
 * building blocks of those queries, and their result tells only whether
 * something arrived. The second argument is ignored.
 *
 * @par On Linux
 * The handle is the file descriptor of an open printer device node cast to
 * a pointer, `(void*)(intptr_t)fd`. A request on a silent device completes
 * with 0 bytes after 5,000 ms; a device at end of file or hung up is waited
 * on by sleeping, not polled.
 */

/**
 * @defgroup status Status and code-page queries
 * @brief The printer's status report, status reporting set-up, code page and
 *        restart.
 *
 * The code-page and restart calls exist once per transport and each talks to
 * its transport directly, whatever the current connection is: the COM calls
 * write to the current device handle without testing that it is a COM port,
 * the network calls use the current socket, the USB calls open the last USB
 * printer with a handle of their own (and fail while another handle holds
 * it).
 */

/**
 * @defgroup spooler Spooler and management queries
 * @brief Between printer names, port names and the spooler's printers.
 *
 * @par On Linux
 * The spooler is CUPS: printers are queues, a printer's port name is its
 * queue's device URI, and names are UTF-8 bytes, given and returned
 * unchanged.
 */

/**
 * @defgroup forms Form composition
 * @brief Label forms built call by call in the process-wide form workspace,
 *        then fetched or printed.
 *
 * Order of use: `QOVA_DLLinit`, setup calls, `QOVA_CreateForm` (which copies
 * the settings of that moment into the form's header), element calls with
 * the form number it returned, then `QOVA_GetFormData` or `QOVA_PrintForm`.
 * The workspace owns copies of every text given to it; forms live until the
 * next `QOVA_DLLinit`. Numbers are written in decimal, negative ones with a
 * minus sign, never converted or range-checked unless a call says so; texts
 * are copied byte for byte without escaping. The value -1000 means "not set"
 * in the integer settings. Nothing is sent before the form is printed.
 */

/**
 * @defgroup forms_setup Form workspace and setup calls
 * @ingroup forms
 * @brief Resetting the workspace, storing settings and opening forms.
 */

/**
 * @defgroup forms_elem Form elements
 * @ingroup forms
 * @brief Boxes, lines, text, barcodes, logos and RFID operations appended to
 *        a form.
 *
 * Each call appends one element block, ending in a `STOP` line, to the form
 * whose number it is given. They return 0 when the element was appended and
 * 1, with nothing appended, when the form number names no form created since
 * the last `QOVA_DLLinit`, a text argument is NULL, or memory ran out (and
 * for the reasons each call adds).
 */

/**
 * @defgroup forms_out Form output and printing
 * @ingroup forms
 * @brief The complete text of a form, fetched or sent.
 *
 * The complete text is the form's header, its elements in call order, then
 * the lines `END`, `~EXECUTE;` with the form name (and `;` with the second
 * form setting when it is set, read at output time) and `~NORMAL`, each
 * ended by CR LF. Output does not change the form: it can be output again,
 * with any elements appended meanwhile.
 */

/**
 * @defgroup forms_ctl Printer control commands
 * @ingroup forms
 * @brief Fixed commands: form feed, reset, media sensor, RFID calibration.
 *
 * The plain functions send with `sendcommand` (current connection), the
 * `_Mult` ones with `sendcommand_mult` on the slot given; both add CR LF.
 * The result of the send is not reported: the returned text is the same
 * whether or not it reached a printer. They do not touch the form workspace.
 */

/**
 * @defgroup fmt Formatters, logos and image download
 * @brief One-call commands sent at once, logo conversion, image file
 *        download.
 */

/**
 * @defgroup fmt_cmd One-call command formatters
 * @ingroup fmt
 * @brief Each builds one command-language statement, sends it on the
 *        current connection and returns it.
 *
 * The text is sent with `sendcommand`, which adds CR LF; the returned text is
 * without that line end. The connection is not checked and the arguments
 * are not validated: without a connection the text is still returned. A
 * NULL text argument is written as the empty text. The returned text lives
 * in a buffer of that one function (1,024 bytes; a longer text is kept whole
 * in a larger one, never cut), valid until the next call of the same
 * function.
 */

/**
 * @defgroup fmt_logo Logo conversion
 * @ingroup fmt
 * @brief A one-bit picture stored in the printer as a named logo.
 */

/**
 * @defgroup fmt_img Image file download
 * @ingroup fmt
 * @brief An image file stored in the printer as a named logo.
 */

/**
 * @defgroup info Library information
 * @brief Version texts and a diagnostic text writer.
 */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- connections ------------------------------------------------------ */

/**
 * @ingroup conn_open
 * @brief Opens a printer by spooler name or by port name as the current
 *        connection.
 *
 * In this order:
 * 1. closes the first open transport of the current connection (`closeport`)
 *    and clears the spooler, LPT, USB and COM flags (the network flag stays);
 * 2. asks the spooler for the name exactly as given; a known printer is
 *    opened with a document "Printing..." and a page started;
 * 3. otherwise the name is upper-cased and trimmed of surrounding white
 *    space, and:
 *    - "USB": the last USB printer (@ref conn_usb) is opened for reading and
 *      writing, without sharing;
 *    - "LPT1".."LPT4": the port is opened for writing;
 *    - "COM1".."COM5": the port is opened for reading and writing, without
 *      sharing, with read time-outs of 50 ms between bytes and 10 ms per byte
 *      plus 50 ms in total and the same write time-outs; its line settings
 *      are left as they are (see `SetRS232`).
 *
 * @param name Printer name or port name, ANSI text. NULL opens nothing and
 *             returns 1.
 * @retval 0 Opened: the transport's flag and the connection-open flag are set.
 * @retval 1 Not opened; the connection-open flag is 0.
 *
 * @note A name that is neither known to the spooler nor a port name shows
 *       two message boxes with the caption "Error Message": the name as
 *       given, then "Can't Find Printer Driver, Please check Driver Name". A
 *       COM port that cannot be opened shows "Couldn't open the specific COM
 *       port." with the caption "Message". USB and LPT failures show nothing.
 * @note Blocks for 1,000 ms when step 1 closes a network connection, and on
 *       Windows until the user closes any message box.
 * @par On Linux
 * The spooler is CUPS (a queue name; the document is a raw job). COMn and
 * LPTn are `/dev/ttyS<n-1>` and `/dev/lp<n-1>` or the paths in
 * `QOVLIB_COMn` and `QOVLIB_LPTn`. Ports are opened exclusively: a port that
 * another open holds fails. Message boxes go to standard error.
 */
QOVLIB_API int openport(const char* name);

/**
 * @ingroup conn_open
 * @brief Opens the last USB printer for overlapped I/O as the current
 *        connection.
 *
 * Closes the first open transport of the current connection (`closeport`)
 * and clears the overlapped-USB flag, then upper-cases and trims the name.
 * Only "USB" is accepted; the spooler is not asked. The printer is opened for
 * reading and writing, without sharing, for overlapped I/O; sends
 * then use the overlapped write (see @ref send) and `QOVA_Read` the
 * overlapped reader.
 *
 * @param name Port name; only "USB" (any case, surrounding blanks allowed)
 *             opens anything. NULL returns 1.
 * @retval 0 Opened: the USB, overlapped-USB and connection-open flags are set.
 * @retval 1 Another name (the close of step one has still happened), no
 *           printer, or the printer cannot be opened. No message box.
 * @note Blocks for 1,000 ms when it closes a network connection.
 */
QOVLIB_API int openport_async(const char* name);

/**
 * @ingroup conn_usb
 * @brief Opens the USB printer whose device path contains a text, into a
 *        slot.
 *
 * Closes the first open transport of the current connection (`closeport`),
 * clears the USB and connection-open flags, and keeps the text upper-cased
 * and trimmed as the last port name. Then it opens the last present printer
 * that passes the vendor filter and whose device path contains the text in
 * lower case (the empty text matches every printer), for reading and writing
 * without sharing, as the slot's USB handle.
 *
 * @param slot Slot 1 to 5. Slot 1 is the current connection: it becomes open
 *             for the plain sends. Slots 2 to 5 are reached only through the
 *             slot functions (`sendcommand_mult(slot, ...)`); the current
 *             connection then stays closed (plain sends return 0).
 * @param id   Any part of the device path, for example `pid_0123` or a
 *             serial number; compared in lower case. NULL returns 1.
 * @retval 0 Opened.
 * @retval 1 Slot outside 1 to 5, no printer, no printer with that text, or
 *           the printer cannot be opened (also when the slot itself already
 *           holds it: that handle stays open). No message box.
 * @note Blocks for 1,000 ms when it closes a network connection.
 */
QOVLIB_API int openport_usbid(int slot, const char* id);

/**
 * @ingroup conn_usb
 * @brief As `openport_usbid`, opening the printer for overlapped I/O.
 *
 * The printer is opened without sharing, for overlapped I/O, and
 * the slot's overlapped-USB flag is set: its sends use the overlapped write
 * (see @ref send) and, for slot 1, `QOVA_Read` uses the overlapped reader.
 *
 * @param slot Slot 1 to 5 (see `openport_usbid`).
 * @param id   Text the device path must contain (see `openport_usbid`).
 *             NULL returns 1.
 * @retval 0 Opened.
 * @retval 1 Not opened (see `openport_usbid`).
 */
QOVLIB_API int openport_usbid_async(int slot, const char* id);

/**
 * @ingroup conn_eth
 * @brief Connects the current connection's socket to a printer (blocking
 *        connect).
 *
 * Clears the socket error flag (see @ref read_text), connects a TCP socket,
 * sets 1,000 ms send and receive time-outs and waits 50 ms for the printer to
 * settle. A socket already held by the current connection is replaced, not
 * closed. The other transport flags are left as they are: if a spooler, LPT,
 * USB or COM connection is also open, the plain sends still go there first.
 *
 * @param address Dotted-decimal IPv4 address, for example "192.168.0.50".
 *                NULL returns 1.
 * @param port    TCP port, 1 to 65535, for example 9100; any other value
 *                returns 1 at once.
 * @retval 0 Connected: the network and connection-open flags are set. A
 *           socket the connection held before is closed.
 * @retval 1 Not connected (no such address, refused, unreachable); nothing
 *           changes: an earlier connection stays open.
 * @note Blocks for the system's connect time-out when the address does not
 *       answer (about 21 s on Windows, about 2 min on Linux by default); a
 *       refusal returns at once.
 */
QOVLIB_API int openethernet(const char* address, int port);

/**
 * @ingroup conn_eth
 * @brief Connects the current connection's socket to a printer, waiting at
 *        most 5 seconds.
 *
 * The socket is non-blocking, and stays so for every later send and read:
 * sends wait for it to become writable (see @ref send), reads poll it. Unlike
 * `openethernet`, this call does not clear the socket error flag.
 *
 * @param address Dotted-decimal IPv4 address. NULL returns 1.
 * @param port    TCP port, 1 to 65535; any other value returns 1 at once.
 * @retval 0 Connected: the network and connection-open flags are set. A
 *           socket the connection held before is closed.
 * @retval 1 Not connected within 5 s (flags unchanged) or the connect failed
 *           (the network and connection-open flags are cleared); the socket
 *           is closed.
 * @note Blocks at most 5 s.
 */
QOVLIB_API int openethernet_async(const char* address, int port);

/**
 * @ingroup conn_close
 * @brief Closes the first open transport of the current connection.
 *
 * Tests the flags in this order and closes only the first one set: spooler
 * (ends the page and the document, which prints it, and closes the printer),
 * LPT, USB, COM (with the library's events for that port), network (after a
 * 1,000 ms pause, so that the printer takes the last data). The
 * connection-open flag is not cleared, so repeated calls close the remaining
 * transports one by one, then return 0.
 *
 * @retval 1 A transport was closed.
 * @retval 0 Nothing open, or the connection-open flag is 0.
 * @note Blocks for 1,000 ms when it closes a network connection.
 */
QOVLIB_API int closeport(void);

/* ---- sending ---------------------------------------------------------- */

/**
 * @ingroup send_cmd
 * @brief Sends a command text and CR LF on the current connection.
 *
 * Order of tests: spooler, LPT, USB, network, COM (see @ref send for the
 * writes).
 *
 * @param text Command text, ANSI bytes sent unchanged up to the NUL byte.
 *             NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 The connection-open flag is 0, no transport flag is set, the COM
 *           write could not get its event, or a network send gave up (no
 *           byte accepted for 30 s, or the connection failed).
 * @note Blocks as the chosen transport's write does (see @ref send).
 */
QOVLIB_API int sendcommand(const char* text);

/**
 * @ingroup send_cmd
 * @brief Sends a command text without line end on the current connection.
 *
 * Same bytes and order of tests as `sendcommand_withoutcrlf`; on a COM port
 * the write is waited for on the port handle instead of an event of its own.
 *
 * @param text Command text, sent up to its NUL byte. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendcommand`).
 */
QOVLIB_API int sendcommandnocrlf(const char* text);

/**
 * @ingroup send_enc
 * @brief Sends ANSI text as UTF-8, with CR LF, on the current connection.
 *
 * The text is converted from the ANSI code page to UTF-8 (on a Windows-1252
 * system the byte E9 (e acute) goes out as C3 A9), then sent as `sendcommand` sends
 * (order of tests spooler, LPT, USB, network, COM). `QOVA_PrintForm` sends
 * forms through this function.
 *
 * @param text Text in the ANSI code page. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendcommand`), or the text cannot be converted.
 * @par On Linux
 * The ANSI code page is Windows-1252 or the one `QOVLIB_ANSI_CODEPAGE` names.
 */
QOVLIB_API int sendcommandutf8(const char* text);

/**
 * @ingroup send_bin
 * @brief Sends a counted byte block and CR LF on the current connection.
 *
 * Exactly `length` bytes are written, zero bytes included, then CR LF. Order
 * of tests: spooler, LPT or USB, COM (block and line end as two writes, each
 * waited for on the port handle), network.
 *
 * @param data   The bytes; the library does not copy or keep them. NULL
 *               returns 0.
 * @param length Number of bytes, 0 or more; a negative length returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 The connection-open flag is 0, no transport flag is set, or a
 *           network send gave up.
 */
QOVLIB_API int sendBinaryData(const char* data, int length);

/**
 * @ingroup send_bin
 * @brief Sends a counted byte block without line end on the current
 *        connection.
 *
 * As `sendBinaryData` without the CR LF. On a COM port the write goes through
 * the connection's port overlapped record, whose event it uses up (a later
 * call makes a new one).
 *
 * @param data   The bytes. NULL returns 0.
 * @param length Number of bytes, 0 or more; negative returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendBinaryData`).
 */
QOVLIB_API int sendBinaryDataNoCRLF(const char* data, int length);

/* ---- reading and status ----------------------------------------------- */

/**
 * @ingroup read_text
 * @brief Reads the printer's reply on the current connection until a
 *        terminator text has arrived.
 *
 * The reader is chosen by the current connection, in this order:
 * - spooler or LPT: no read, `""` after 100 ms;
 * - USB: 512-byte requests, each waited for up to 5,000 ms. On a handle
 *   opened for overlapped I/O, 3,000 ms pause before and 300 ms after each
 *   request;
 * - COM: 512-byte requests with a 100 ms pause before and 1,000 ms after each,
 *   each waited for up to 5,000 ms; a request that brings nothing ends the
 *   read with `"Time Out\r\n"`;
 * - network: a receive every 100 ms until 5 whole calendar seconds have
 *   passed (`"Time Out\r\n"`). A receive error is noted and turns into the
 *   socket error flag, and `"-1"`, at the start of the next round; a receive
 *   that times out on the last round before the limit ends the read as a
 *   time-out with the flag left 0;
 * - nothing open: `""` at once.
 *
 * @param terminator Text that ends the printer's answer, for example
 *                   "END\r\n". NULL counts as the empty text.
 * @return The reply, `"Time Out\r\n"`, `"-1"` or `""` (see @ref read_text).
 *         The text belongs to the library: a reply copy stays valid for 15
 *         more replies, the fixed texts for ever. Do not modify or free it.
 * @note A USB or COM read ends at the terminator, at the first request that
 *       stays pending for its wait, after 65,536 bytes, or once it has
 *       waited 5,000 ms in all, counted from its start (chunks that keep
 *       coming do not renew it; the pauses around each request do not
 *       count). A network read ends within about 7 s (5 whole
 *       calendar seconds, and a receive on a socket of `openethernet` waits
 *       up to 1 s).
 * @par On Linux
 * A request on a silent USB printer completes with 0 bytes after 5,000 ms,
 * as on Windows.
 */
QOVLIB_API const char* QOVA_Read(const char* terminator);

/**
 * @ingroup read_text
 * @brief As `QOVA_Read`, with the caller's time-out and pauses.
 *
 * @param terminator  Text that ends the answer. NULL counts as empty.
 * @param waitTimeout Milliseconds to wait for one pending request (COM and
 *                    USB opened for overlapped I/O; a USB handle without
 *                    overlapped I/O always waits 5,000 ms). It is also the
 *                    whole read's limit on USB and COM (at least 1,000 ms),
 *                    counted from the start without the pauses; the
 *                    request waits shrink to what is left of it. For a network
 *                    connection the whole read ends after waitTimeout / 1000
 *                    whole seconds (integer division; 1 when that is 0).
 *                    A negative value means the default 5,000 ms; values
 *                    above 600,000 (10 minutes) mean 600,000.
 * @param delayBefore Milliseconds of pause before each request (COM and
 *                    overlapped USB only); negative counts as 0, values
 *                    above 60,000 as 60,000.
 * @param delayAfter  Milliseconds of pause after each request (COM and
 *                    overlapped USB only); negative counts as 0, values
 *                    above 60,000 as 60,000.
 * @return The reply, `"Time Out\r\n"`, `"-1"` or `""`, owned by the library
 *         as for `QOVA_Read`.
 * @note With waitTimeout 500 on a network connection the read gives up after
 *       1 whole second, with 2500 after 2.
 */
QOVLIB_API const char* QOVA_Read_withTimeout(const char* terminator, int waitTimeout,
                                             int delayBefore, int delayAfter);

/**
 * @ingroup read_chunk
 * @brief Discards what a USB printer on the current connection has sent and
 *        nobody has read.
 *
 * Without a USB connection it returns at once. On a handle without
 * overlapped I/O it reads and drops at most one chunk of 512 bytes. On a
 * handle opened for overlapped I/O it drains: a 300 ms pause, a request, a
 * 300 ms pause, up to 300 ms of waiting, repeated until a request stays
 * pending or brings nothing (at least 900 ms, 600 ms more per chunk), 128
 * requests at most. The reply text of `QOVA_Read` may be changed.
 *
 * @note On Linux, a silent printer on a handle without overlapped I/O ends
 *       the call after about 5 s.
 */
QOVLIB_API void USB_ClearBuffer(void);

/**
 * @ingroup read_chunk
 * @brief Discards what the printer on the current COM port has sent and
 *        nobody has read.
 *
 * Reads and drops 512-byte chunks until a request brings nothing or stays
 * pending for 1,000 ms, 128 requests at most. When the read event cannot be
 * created it tries again every 50 ms for 3 s, then returns 1 with the input
 * as it was.
 *
 * @retval 1 Cleared.
 * @retval 0 The current connection is not a COM port (returns at once).
 */
QOVLIB_API char Serial_ClearBuffer(void);

/**
 * @ingroup status
 * @brief Asks the printer for its status report and returns it.
 *
 * On a spooler or LPT connection returns `""` after 100 ms. On a USB, COM or
 * network connection (tested in that order) sends "~NORMAL\r\n~STATUS"
 * without line end (`sendcommand_withoutcrlf`), then returns
 * `QOVA_Read("END\r\n")`: the report up to and including its first END line
 * and anything after it in the same read. Nothing open: `""` at once.
 *
 * @return As `QOVA_Read`; the text belongs to the library.
 * @note Blocks as `QOVA_Read` does.
 */
QOVLIB_API const char* QOVA_GetStatus(void);

/**
 * @ingroup status
 * @brief Sets on which interface the printer volunteers status reports.
 *
 * Sends one configuration block with `sendcommand`:
 * | mode | block |
 * |---|---|
 * | 0 | `~NORMAL`, `~CONFIG`, `SNOOP;OFF`, `END` (reports off) |
 * | 1 | ... `SNOOP;STATUS;SER` ... (serial) |
 * | 2 | ... `SNOOP;STATUS;PAR` ... (parallel) |
 * | 3 | ... `SNOOP;STATUS;ETH` ... (network) |
 *
 * @param mode 0 to 3.
 * @return The result of `sendcommand`: 1 sent, 0 not sent; 0 for another
 *         mode, with nothing sent.
 */
QOVLIB_API int QOVA_SetupStatus(int mode);

/**
 * @ingroup spooler
 * @brief Tells whether a spooler printer is online.
 *
 * Looks the name up as a LIKE pattern (so `%` and `_` are wildcards) and
 * looks at the first match only. The connection is not touched.
 *
 * @param printerName Printer name or LIKE pattern. NULL returns -1.
 * @retval 1 Online.
 * @retval 0 Offline, or no printer matches.
 * @retval -1 The management service failed, or the name is too long for the
 *            128-byte query (about 75 characters).
 * @note Windows asks the management service (class Win32_Printer, property
 *       WorkOffline) and initialises the component runtime on the calling
 *       thread. Blocks for the query.
 * @par On Linux
 * The CUPS queues are matched with the same LIKE rules; a queue is offline
 * when it is stopped, rejects jobs, or reports itself offline or paused.
 */
QOVLIB_API int driver_status(const char* printerName);

/**
 * @ingroup spooler
 * @brief Opens a spooler printer as the current connection and returns the
 *        port it is attached to.
 *
 * Unlike `openport` it does not close or reset the current connection first.
 * The printer is opened with a document "Printing..." and a page started;
 * the spooler and connection-open flags are set.
 *
 * @param printerName Printer name, exactly as the spooler knows it. NULL
 *                    returns "cannot find printer".
 * @return The printer's port name (empty if the spooler does not tell it),
 *         or "cannot find printer". The text belongs to the library and stays
 *         valid for the life of the process.
 * @par On Linux
 * The port name is the queue's device URI; names are UTF-8 bytes, unchanged.
 */
QOVLIB_API const char* driver_portname(const char* printerName);

/* ---- form composition ------------------------------------------------- */

/**
 * @ingroup forms_setup
 * @brief Resets the form workspace.
 *
 * Every setting becomes not set (-1000; the font name empty), every form,
 * form name and RFID record is discarded, and the next `QOVA_CreateForm`
 * returns 0. May be called at any time; blocks handed out earlier remain the
 * caller's. The workspace exists from load on, so calls made before the first
 * `QOVA_DLLinit` see a fresh workspace.
 */
QOVLIB_API void QOVA_DLLinit(void);

/**
 * @ingroup forms_setup
 * @brief Does nothing; the workspace stays until the next `QOVA_DLLinit` or
 *        the library is unloaded.
 */
QOVLIB_API void QOVA_DLLexit(void);

/**
 * @ingroup forms_setup
 * @brief Stores a paper or job setting for the headers of later forms.
 *
 * | type | accepted values | header line |
 * |---|---|---|
 * | 1 | 100 to 8500 | `~PAPER;SIZE value,0` |
 * | 2 | 100 to 99000 | `~PAPER;SIZE 0,value` |
 * | 3 | 1 to 10 | `~PAPER;SPEED IPS value` |
 * | 4 | -15 to 15 | `~PAPER;INTENSITY value` |
 * | 5 | 0 to 4 | `~PAPER;LABELS value` |
 * | 6 | 0 to 4 | `~PAPER;MEDIA value` |
 * | 7 | 0, 90, 180, 270 | `~PAPER;ROTATE value` |
 *
 * A header with any of these lines starts with `~NORMAL`.
 *
 * @param type  1 to 7 as above; 0 resets all seven settings.
 * @param value The value (ignored for type 0).
 * @retval 0 Stored, or reset.
 * @retval 1 Other type or value out of range; nothing changes.
 */
QOVLIB_API int QOVA_JobSetup(int type, int value);

/**
 * @ingroup forms_setup
 * @brief Stores one of the two form settings.
 *
 * @param type  1: written as `;value` on the `~CREATE;` line of later forms;
 *              2: written as `;value` on the `~EXECUTE;` line when a form is
 *              output (read at output time).
 * @param value 1 or more.
 * @retval 0 Stored.
 * @retval 1 Other type or value below 1; the previous value stays.
 */
QOVLIB_API int QOVA_FormSetup(int type, int value);

/**
 * @ingroup forms_setup
 * @brief Stores the scale line `SCALE;DOT;first;second` for later headers.
 *
 * Both values are stored unchecked; the line is written when `first` is not
 * -1000 (not set).
 *
 * @param first  First value.
 * @param second Second value.
 * @return 0, always.
 */
QOVLIB_API int QOVA_Scale(int first, int second);

/**
 * @ingroup forms_setup
 * @brief Stores a font setting for the FONT line of later headers.
 *
 * Words are compared whole and case-sensitively.
 *
 * @param type 0: font name (`;NAME text`; empty removes it);
 *             1: bold, "ON" or "OFF"; 2: slant, "R" (right) or "L" (left);
 *             3: code page, "ASCII", "GB", "BIG5", "KSC", "SJIS" or "UTF8"
 *             (`;SYMSET 0`, `1100`, `1101`, `1102`, `1103`, `'UTF8'`).
 * @param text The name or word. NULL returns 1.
 * @retval 0 Stored.
 * @retval 1 Another type (nothing changes), or a word the type does not know:
 *           that item then becomes not set.
 */
QOVLIB_API int QOVA_FontSetup(int type, const char* text);

/**
 * @ingroup forms_setup
 * @brief Stores an option of one barcode kind, for every later barcode of
 *        that kind.
 *
 * Columns: 1 `H`, 2 rotation ("90" `CW`, "180" `INV`, "270" `CCW`, other
 * texts nothing), 3 `X`, 4 adds a human-readable `PDF` line (text unused),
 * 5 a second `X`, 6 `Y`, 7 `T`, 8 `E`, 9 `M`; each written as its letter,
 * the text and `;` (see `QOVA_PrintBarcode`).
 *
 * @param kind   Barcode kind 0 to 14 (see `QOVA_PrintBarcode`).
 * @param column 1 to 9 sets that column; 0 resets the kind's whole row.
 * @param text   The option's text, copied unchecked (an empty text counts as
 *               given). Not read for column 0; otherwise NULL returns 1.
 * @retval 0 Stored or reset.
 * @retval 1 Kind or column out of range.
 */
QOVLIB_API int QOVA_SetBarcode(int kind, int column, const char* text);

/**
 * @ingroup forms_setup
 * @brief Appends one field to the RFID setup list that `QOVA_WriteRFID`
 *        writes.
 *
 * Records are kept in call order, never merged or replaced, until
 * `QOVA_DLLinit`.
 *
 * @param fieldLength Field length; the lengths of all records add up to the
 *                    tag length.
 * @param increment   Non-zero: the field increments (`I;` and a `STEP` part).
 * @param format      Format text; empty is written as `D`. NULL returns 1.
 * @param step        Increment step (used only with `increment`).
 * @param data        Field data, written between `*`. NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 A NULL text, or no memory.
 */
QOVLIB_API int QOVA_SetupRFID(int fieldLength, unsigned char increment, const char* format,
                              int step, const char* data);

/**
 * @ingroup forms_setup
 * @brief Opens a new form and returns its number.
 *
 * The header is composed from the settings of this moment (later setup calls
 * only affect later forms): `~NORMAL` and the paper lines of the job
 * settings 1 to 7 that are set, then `~CREATE;name;X` (and `;value` of form
 * setting 1), then the FONT line (name, slant, bold, symbol set, in that
 * order) and the SCALE line when set.
 *
 * @param name Form name, copied unchecked (empty allowed). NULL returns -1.
 * @return The form number: 0 for the first form after `QOVA_DLLinit`, then
 *         1, 2, ...; -1 for a NULL name or no memory.
 */
QOVLIB_API int QOVA_CreateForm(const char* name);

/**
 * @ingroup forms_elem
 * @brief Appends a box: `BOX`, `b1;b2;b3;b4;b5`, `STOP`.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param b1 First value, written in argument order as the others.
 * @param b2 Second value.
 * @param b3 Third value.
 * @param b4 Fourth value.
 * @param b5 Fifth value.
 * @retval 0 Appended.
 * @retval 1 No such form, or no memory.
 */
QOVLIB_API int QOVA_DrawBox(int form, int b1, int b2, int b3, int b4, int b5);

/**
 * @ingroup forms_elem
 * @brief Appends a straight line from (r1, c1) to (r2, c2).
 *
 * Equal rows give `HORZ` with `k;r1;c1;c2`; otherwise equal columns give
 * `VERT` with `k;c1;r1;r2`; otherwise `DIAG` with `k;r1;c1;r2;c2`. The points
 * are written in the order given, never sorted; a single point is `HORZ`.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param k  Value written first in the line (the printer's line parameter).
 * @param r1 Row of the first point.
 * @param c1 Column of the first point.
 * @param r2 Row of the second point.
 * @param c2 Column of the second point.
 * @retval 0 Appended.
 * @retval 1 No such form, or no memory.
 */
QOVLIB_API int QOVA_DrawLine(int form, int k, int r1, int c1, int r2, int c2);

/**
 * @ingroup forms_elem
 * @brief Appends a text element: `ALPHA`, `f1;f2;f3;f4;*text*`, `STOP`.
 *
 * The element carries no font of its own: the form's header does.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param f1 First field (passed to the printer in the order given).
 * @param f2 Second field.
 * @param f3 Third field.
 * @param f4 Fourth field.
 * @param text Text, copied unchanged between `*` (ANSI; converted to UTF-8
 *             when the form is printed). NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 No such form, NULL text, or no memory.
 */
QOVLIB_API int QOVA_PrintTextEng(int form, int f1, int f2, int f3, int f4, const char* text);

/**
 * @ingroup forms_elem
 * @brief As `QOVA_PrintTextEng` with the keyword `TWOBYTE`, for two-byte
 *        character sets (code pages GB, BIG5, KSC, SJIS).
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param f1 First field.
 * @param f2 Second field.
 * @param f3 Third field.
 * @param f4 Fourth field.
 * @param text Text, copied unchanged between `*`. NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 No such form, NULL text, or no memory.
 */
QOVLIB_API int QOVA_PrintTextCH(int form, int f1, int f2, int f3, int f4, const char* text);

/**
 * @ingroup forms_elem
 * @brief Appends a barcode with the options stored for its kind.
 *
 * The element is `BARCODE`, then the kind's symbology text, the rotation,
 * the options of columns 3, 1, 5, 6, 7, 8, 9 that are set
 * (`QOVA_SetBarcode`), `f1;f2`; then `*data*`, a `PDF` line when column 4
 * is set, and `STOP`.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param kind 0 Code 39 (`C3/9`), 1-3 Code 128 A/B/C, 4 EAN-13, 5 UPC-A,
 *             6 MaxiCode, 7 QR Code, 8 PDF417, 9 Aztec, 10 Data Matrix,
 *             11 EAN-8, 12 Interleaved 2 of 5, 13 Codabar, 14 UCC/EAN-128.
 * @param f1   First field.
 * @param f2   Second field.
 * @param data Barcode data, copied unchanged. NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 Kind outside 0 to 14, no such form, NULL data, or no memory.
 */
QOVLIB_API int QOVA_PrintBarcode(int form, int kind, int f1, int f2, const char* data);

/**
 * @ingroup forms_elem
 * @brief Appends a logo stored in the printer: `LOGO`, `f1;f2;name`, `STOP`.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param f1 First field.
 * @param f2 Second field.
 * @param logoName Name of a logo stored in the printer (`printer_PNGLogo_NORMAL`,
 *                 `QOVA_DownloadPCX`). NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 No such form, NULL name, or no memory.
 */
QOVLIB_API int QOVA_PrintImage(int form, int f1, int f2, const char* logoName);

/**
 * @ingroup forms_elem
 * @brief Appends a logo element with LF line ends and returns a copy of it.
 *
 * The element is `"LOGO\nf1;f2;name\nSTOP\n"` (LF alone, unlike the other
 * elements); note the argument order.
 *
 * @param form Form number from `QOVA_CreateForm`. A number that names no form
 *             still gets the text back; nothing is appended then.
 * @param logoName Name of a logo stored in the printer. NULL returns NULL.
 * @param f1 First field.
 * @param f2 Second field.
 * @return A new block holding the element; the caller owns it (see
 *         @ref ov_text). NULL for a NULL name or no memory.
 */
QOVLIB_API char* printer_Logo(int form, const char* logoName, int f1, int f2);

/**
 * @ingroup forms_elem
 * @brief Appends an RFID tag write of every field of the RFID setup list.
 *
 * The element is `RFWTAG;` (with `LOCK`, the lock text and `;` when the lock
 * text is not empty), the total of the field lengths, `;`, the tag header;
 * then one line per record (`QOVA_SetupRFID`): length `;`, `I;` when
 * incrementing, format or `D`, `;`, `STEP+n;` or `STEPn;` when incrementing,
 * `*data*`; then `STOP`. The list is not cleared.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param lock Lock text; empty for none. NULL returns 1.
 * @param tagHeader Text at the end of the `RFWTAG;` line. NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 The RFID setup list is empty, no such form, a NULL text, or no
 *           memory.
 */
QOVLIB_API int QOVA_WriteRFID(int form, const char* lock, const char* tagHeader);

/**
 * @ingroup forms_elem
 * @brief Appends an RFID tag read and verify of one field, from the
 *        arguments alone.
 *
 * The element is `RFRTAG;` (with `UNLOCK`, the text and `;` when the unlock
 * text is not empty) `fieldLength;tagHeader`, then `fieldLength;DF1;format`,
 * `STOP`, and `VERIFY;DF1;format` followed by the ten characters
 * semicolon, two asterisks, semicolon, asterisk, backslash, `r`, backslash,
 * `n`, asterisk (printable characters, not CR LF).
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @param unlock Unlock text; empty for none. NULL returns 1.
 * @param tagHeader Text at the end of the `RFRTAG;` line. NULL returns 1.
 * @param fieldLength Field length, written on the first two lines.
 * @param format Format text. NULL returns 1.
 * @retval 0 Appended.
 * @retval 1 No such form, a NULL text, or no memory.
 */
QOVLIB_API int QOVA_VerifyRFID(int form, const char* unlock, const char* tagHeader,
                               int fieldLength, const char* format);

/**
 * @ingroup forms_out
 * @brief Returns the complete text of a form without sending it.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @return A new block holding the complete text (up to any NUL byte inside
 *         it), in the ANSI code page; the caller owns it (see @ref ov_text).
 *         NULL when the number names no form, or no memory.
 */
QOVLIB_API char* QOVA_GetFormData(int form);

/**
 * @ingroup forms_out
 * @brief Prints a form on the current connection and returns its text.
 *
 * The complete text is sent with `sendcommandutf8` (converted to UTF-8,
 * followed by CR LF). Whether the send succeeded is not reported.
 *
 * @param form Form number from `QOVA_CreateForm`.
 * @return A new block holding the complete text before conversion (ANSI);
 *         the caller owns it. NULL, with nothing sent, when the number names
 *         no form or memory ran out.
 * @note Blocks as the send does (see @ref send).
 */
QOVLIB_API char* QOVA_PrintForm(int form);

/**
 * @ingroup forms_out
 * @brief Prints a form on a connection slot and returns its text.
 *
 * As `QOVA_PrintForm`, sending with `sendcommandutf8_mult` on the slot.
 *
 * @param slot Slot 1 to 5; with another number nothing is sent and the text
 *             is still returned.
 * @param form Form number from `QOVA_CreateForm`.
 * @return A new block the caller owns, or NULL (see `QOVA_PrintForm`).
 */
QOVLIB_API char* QOVA_PrintForm_Mult(int slot, int form);

/* ---- printer control commands ----------------------------------------- */

/**
 * @ingroup forms_ctl
 * @brief Feeds one blank label: defines and executes an empty form FEED.
 *
 * Sends `"~CREATE;FEED;X\r\nEND\r\n~EXECUTE;FEED\r\n~NORMAL\r\n"`.
 *
 * @return The text sent; constant, owned by the library.
 */
QOVLIB_API const char* QOVA_FORMFEED(void);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_FORMFEED`, on a slot.
 * @param slot Slot 1 to 5; another number sends nothing.
 * @return The text, constant, owned by the library.
 */
QOVLIB_API const char* QOVA_FORMFEED_Mult(int slot);

/**
 * @ingroup forms_ctl
 * @brief Resets the printer's configuration.
 *
 * Sends `"!QOV_SETUP\r\nCONFIG-RESET;\r\nQOV_END\r\n"`.
 *
 * @return The text sent; constant, owned by the library.
 */
QOVLIB_API const char* QOVA_PrinterReset(void);

/**
 * @ingroup forms_ctl
 * @brief Selects the gap sensor (media sensor 2) and runs a calibration.
 * @return The text sent; constant, owned by the library.
 */
QOVLIB_API const char* QOVA_GAPDETECT(void);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_GAPDETECT`, on a slot.
 * @param slot Slot 1 to 5; another number sends nothing.
 * @return The text, constant, owned by the library.
 */
QOVLIB_API const char* QOVA_GAPDETECT_Mult(int slot);

/**
 * @ingroup forms_ctl
 * @brief Selects the black-line sensor (media sensor 1) and runs a
 *        calibration.
 * @return The text sent; constant, owned by the library.
 */
QOVLIB_API const char* QOVA_BLINEDETECT(void);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_BLINEDETECT`, on a slot.
 * @param slot Slot 1 to 5; another number sends nothing.
 * @return The text, constant, owned by the library.
 */
QOVLIB_API const char* QOVA_BLINEDETECT_Mult(int slot);

/**
 * @ingroup forms_ctl
 * @brief Sets the media sensor menu to a value, without calibration.
 *
 * Sends `!QOV_SETUP`, `CONFIG-SETMENU;value;mediasensor`, `QOV_END`.
 *
 * @param value Sensor value, not checked (negative values keep their sign).
 * @return The text sent, in a buffer of this function: valid until its next
 *         call.
 */
QOVLIB_API const char* QOVA_SETSENSOR(int value);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_SETSENSOR`, on a slot.
 * @param slot  Slot 1 to 5; another number sends nothing.
 * @param value Sensor value, not checked.
 * @return The text, in a buffer of this function (separate from
 *         `QOVA_SETSENSOR`'s): valid until its next call.
 */
QOVLIB_API const char* QOVA_SETSENSOR_Mult(int slot, int value);

/**
 * @ingroup forms_ctl
 * @brief Runs the printer's RFID calibration and returns its answer.
 *
 * Sends `!QOV_SETUP`, `RFID-RFID_CAL;`, `QOV_END`, then returns
 * `QOVA_Read("QOV_END\r\n")`.
 *
 * @return As `QOVA_Read`: the answer, `"Time Out\r\n"`, `"-1"` or `""`;
 *         owned by the library.
 * @note Blocks as `QOVA_Read` does.
 */
QOVLIB_API const char* QOVA_RFIDAUTOCALIBRATION(void);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_RFIDAUTOCALIBRATION`, sending on a slot.
 *
 * The answer is read from the current connection: there is no slot read.
 *
 * @param slot Slot 1 to 5; another number sends nothing.
 * @return As `QOVA_Read`; owned by the library.
 */
QOVLIB_API const char* QOVA_RFIDAUTOCALIBRATION_Mult(int slot);

/* ---- one-call formatters and graphics --------------------------------- */

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `~CREATE;name;X` (starts a form definition).
 * @param name Form name.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* download_format(const char* name);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `prefixCREATE;name;X`: `download_format` with the
 *        caller's text in place of `~`.
 * @param prefix Text written before `CREATE`.
 * @param name   Form name.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* download_format_define(const char* prefix, const char* name);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `END`, `~EXECUTE;name;count`, `~NORMAL` (lines
 *        joined by CR LF): ends a form definition and prints it.
 * @param name  Form name.
 * @param count Number written after the name.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_label(const char* name, int count);

/**
 * @ingroup fmt_cmd
 * @brief As `printer_label` with the caller's text in place of `~` before
 *        `EXECUTE` and `NORMAL`.
 * @param prefix Text written before `EXECUTE` and before `NORMAL`.
 * @param name   Form name.
 * @param count  Number written after the name.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_label_define(const char* prefix, const char* name, int count);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `SCALE;DOT;dpi;dpi`.
 * @param dpi Dots per inch, written twice.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_dpi(int dpi);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `ISET;'codepage'`.
 * @param codepage Code-page name of the printer.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_codepage(const char* codepage);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `FONT;NAME name;SYMSET 'symset'`.
 * @param name   Font name.
 * @param symset Symbol set.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_external_font(const char* name, const char* symset);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns `FONT;FACE face;BOLD bold;SLANT slant;SYMSET 'symset'`.
 * @param face   Type face.
 * @param bold   Bold word, for example "ON".
 * @param slant  Slant word, for example "RIGHT".
 * @param symset Symbol set.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_internal_font(const char* face, const char* bold, const char* slant,
                                       const char* symset);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a text element: `ALPHA`, `p1;p2;p3;p4;*text*`,
 *        `STOP` (lines joined by CR LF).
 * @param p1 First field.
 * @param p2 Second field.
 * @param p3 Third field.
 * @param p4 Fourth field.
 * @param text Text.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_font(int p1, int p2, int p3, int p4, const char* text);

/**
 * @ingroup fmt_cmd
 * @brief As `printer_font` with the keyword `TWOBYTE`.
 * @param p1 First field.
 * @param p2 Second field.
 * @param p3 Third field.
 * @param p4 Fourth field.
 * @param text Text in a two-byte character set.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_font_twobyte(int p1, int p2, int p3, int p4, const char* text);

/**
 * @ingroup fmt_cmd
 * @brief Same as `printer_font_twobyte` (a buffer of its own).
 * @param p1 First field.
 * @param p2 Second field.
 * @param p3 Third field.
 * @param p4 Fourth field.
 * @param text Text in a two-byte character set, up to its first zero byte.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_font_twobyte_binary(int p1, int p2, int p3, int p4, const char* text);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a barcode: `BARCODE`, `p1;p2;p3;p4;p5;*data*`,
 *        `STOP` (lines joined by CR LF).
 * @param p1 First field, text (the printer's symbology, for example "C3/9").
 * @param p2 Second field, text.
 * @param p3 Third field, text.
 * @param p4 Fourth field.
 * @param p5 Fifth field.
 * @param data Barcode data.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_barcode(const char* p1, const char* p2, const char* p3, int p4, int p5,
                                 const char* data);

/**
 * @ingroup fmt_cmd
 * @brief As `printer_barcode` with a `PDF` line (human-readable text) before
 *        `STOP`.
 * @param p1 First field, text.
 * @param p2 Second field, text.
 * @param p3 Third field, text.
 * @param p4 Fourth field.
 * @param p5 Fifth field.
 * @param data Barcode data.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_barcode_humanredable(const char* p1, const char* p2, const char* p3,
                                              int p4, int p5, const char* data);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a box: `BOX`, `p1;p2;p3;p4;p5`, `STOP`.
 * @param p1 First value.
 * @param p2 Second value.
 * @param p3 Third value.
 * @param p4 Fourth value.
 * @param p5 Fifth value.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_box(int p1, int p2, int p3, int p4, int p5);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a diagonal line: `DIAG`, `p1;p2;p3;p4;p5`, `STOP`.
 * @param p1 First value.
 * @param p2 Second value.
 * @param p3 Third value.
 * @param p4 Fourth value.
 * @param p5 Fifth value.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_diagonal(int p1, int p2, int p3, int p4, int p5);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a horizontal line: `HORZ`, `p1;p2;p3;p4;p5`,
 *        `STOP`.
 * @param p1 First value.
 * @param p2 Second value.
 * @param p3 Third value.
 * @param p4 Fourth value.
 * @param p5 Fifth value.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_horizontal(int p1, int p2, int p3, int p4, int p5);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns a vertical line: `VERT`, `p1;p2;p3;p4;p5`, `STOP`.
 * @param p1 First value.
 * @param p2 Second value.
 * @param p3 Third value.
 * @param p4 Fourth value.
 * @param p5 Fifth value.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_vertical(int p1, int p2, int p3, int p4, int p5);

/**
 * @ingroup fmt_cmd
 * @brief Sends and returns an EPC tag write: `RFWTAG;length,EPC`,
 *        `length;format;*data*`, `STOP`.
 * @param length Tag length, written twice.
 * @param format Format text.
 * @param data   Data, written as a decimal number between `*`.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_RFID_write(int length, const char* format, int data);

/**
 * @ingroup fmt_logo
 * @brief Converts a one-bit picture into a logo definition, stores it in the
 *        printer under a name and returns the definition.
 *
 * The picture has `height` rows of `width` pixels, packed eight to a byte,
 * most significant bit first; a 0 bit is a dot, a 1 bit is blank. Each row
 * takes exactly (width + 4) / 8 bytes (integer division): for widths 8k+1 to
 * 8k+3 the last one to three pixels are not in the data. The definition is
 * `~LOGO;name;height;width;`, then for every row with dots a line (LF, the
 * row number from 1, and `;first-last` or `;column` for each run of dots,
 * columns from 1), then `"\nEND"`. It is sent with `sendcommand` (current
 * connection, CR LF added); the result of the send is not reported.
 *
 * @param picture The packed picture, height x (width + 4) / 8 bytes, which
 *                the caller vouches for. NULL is allowed only when there are
 *                no rows (height 0 or less, or width below 4).
 * @param name    Logo name, copied unchanged. NULL returns NULL.
 * @param height  Number of rows.
 * @param width   Pixels per row.
 * @return A new block holding the definition (without the CR LF of the send);
 *         the caller owns it (see @ref ov_text). NULL for a NULL name, a
 *         NULL picture with rows, or no memory (nothing is sent then).
 */
QOVLIB_API char* printer_PNGLogo_NORMAL(const char* picture, const char* name, int height,
                                        int width);

/**
 * @ingroup fmt_img
 * @brief Downloads an image file into the printer as a PCX logo.
 *
 * Reads the whole file and sends, on the current connection:
 * `"~LOGO;name;PCX;DISK\r\n"` (through `ZULOutBuffer`), the file's bytes
 * unchanged in one write on the first transport of spooler, LPT, USB, COM,
 * network, then `"~RASTEREND\r\nEND\r\n"`. The file is not interpreted.
 *
 * @param path     Path of the file.
 * @param logoName Name under which the printer stores the logo; forms place
 *                 it with `QOVA_PrintImage`.
 * @retval 1 Sent.
 * @retval 0 No open connection (no message), the file cannot be opened
 *           ("Could not open file"), is too large or memory ran out ("Out of
 *           memory"), cannot be read ("File read unsuccessfully", caption
 *           "Read File Message"), no transport flag is set, or a network
 *           send gave up. The first two boxes have the caption "Error
 *           Message".
 * @note The whole file is held in memory. Blocks for the reading and the
 *       writes (see @ref send), and on Windows until the user closes any
 *       message box.
 */
QOVLIB_API int QOVA_DownloadPCX(const char* path, const char* logoName);

/* ---- library information ---------------------------------------------- */

/**
 * @ingroup info
 * @brief Shows the library version in a message box.
 *
 * Text "QOV Windows DLL Version V2.03", caption "DLL Version", information
 * icon.
 *
 * @return 1, after the user has closed the box (Windows).
 * @par On Linux
 * The box is a line on standard error; the call returns at once.
 */
QOVLIB_API int about(void);

/**
 * @ingroup info
 * @brief The version of the form-composition interface.
 * @return "Halvendorm DLL version 1.00b1" (it differs from the library's own
 *         version of `dllversion`); constant, owned by the library.
 */
QOVLIB_API const char* QOVA_GetDllVersion(void);

#ifdef __cplusplus
} /* extern "C" */

/* ---- exported under C++-decorated names ------------------------------- */
/* Under Windows these carry the Microsoft C++ decoration of exactly these
 * signatures; a MinGW program reaches them through GetProcAddress. */

/**
 * @ingroup conn_open
 * @brief Opens a spooler printer into a connection slot.
 *
 * Only the spooler is asked, with the name exactly as given (no case change
 * or trimming); the printer is opened with a document "Printing..." and a
 * page started. What the slot held before is not closed: the new handle
 * replaces it. A name the spooler does not know leaves the slot as it was.
 *
 * @param slot Slot 1 to 5. Slot 1 is the current connection's spooler handle
 *             (shared with `openport`) and also sets the connection-open
 *             flag; slots 2 to 5 leave the current connection as it is.
 * @param name Printer name. NULL returns 0.
 * @retval 1 Opened.
 * @retval 0 Slot outside 1 to 5, or the spooler does not know the name. No
 *           message box.
 * @par On Linux
 * The name is a CUPS queue name.
 */
QOVLIB_API int openportmult(int slot, char* name);

/**
 * @ingroup conn_usb
 * @brief Opens the n-th present USB printer into slot n.
 *
 * The printers passing the vendor filter are numbered 1, 2, ... in the
 * system's order; the one numbered `slot` is opened for reading and writing
 * without sharing as the slot's USB handle. Nothing is closed first; a
 * handle the slot already held is replaced. The connection-open flag then
 * follows slot 1's USB flag.
 *
 * @param slot Slot 1 to 5.
 * @retval 1 Opened.
 * @retval 0 Not opened, with a message box (caption "Error Message"):
 *           "Can't using USB_Mult port" for a slot of 0 or less (an open
 *           spooler document of the current connection is first ended and
 *           its printer closed; the spooler and connection-open flags are
 *           cleared); "Can't find printer by USB." when no printer is
 *           present; "Couldn't create port by USB." when fewer printers than
 *           `slot` are present, the slot is above 5, or the printer cannot
 *           be opened.
 * @note On Windows blocks until the user closes the message box.
 */
QOVLIB_API int openusbportmult(int slot);

/**
 * @ingroup conn_eth
 * @brief Connects a slot's own socket to a printer (blocking connect).
 *
 * As `openethernet` for the slot's socket: clears the socket error flag,
 * sets 1,000 ms time-outs, waits 50 ms, and sets the slot's network flag and
 * the connection-open flag. The current connection's socket and network flag
 * are not touched, so the plain sends do not reach this socket;
 * `sendcommandmult(slot, ...)` does.
 *
 * @param slot    Slot 1 to 5.
 * @param address Dotted-decimal IPv4 address. NULL returns 1.
 * @param port    The TCP port *as the pointer's value*, never dereferenced:
 *                pass `(int*)(intptr_t)9100`. Its low 16 bits are used; 0
 *                there returns 1 at once.
 * @retval 0 Connected; a socket the slot held before is closed.
 * @retval 1 Slot outside 1 to 5, or not connected.
 * @note Blocks for the system's connect time-out when the address does not
 *       answer (see `openethernet`).
 */
QOVLIB_API int openethernetmult(int slot, char* address, int* port);

/**
 * @ingroup conn_eth
 * @brief Closes the current connection's socket after a pause.
 *
 * Sleeps, closes the socket and clears the network flag, whether or not it
 * was set. The connection-open flag stays: a later plain send returns 0
 * unless another transport is open.
 *
 * @param delay Milliseconds to wait first, so that the printer takes the
 *              last data; 0 or negative: no wait; at most 60,000.
 * @return 1, always.
 */
QOVLIB_API int closeethernetport(int delay);

/**
 * @ingroup conn_eth
 * @brief Closes a slot's socket after a pause.
 *
 * @param slot  Slot 1 to 5 (slot 1: the socket of `openethernetmult(1, ...)`).
 * @param delay Milliseconds to wait first; 0 or negative: no wait; at most
 *              60,000.
 * @retval 1 Closed (or nothing was open).
 * @retval 0 Slot outside 1 to 5: returns at once, without waiting.
 */
QOVLIB_API int closeethernetportmult(int slot, int delay);

/**
 * @ingroup conn_close
 * @brief Closes the USB or spooler connection of a slot.
 *
 * For slot 1 to 5 tests the slot's USB flag, then its spooler flag (slot 1:
 * the current connection's), and closes the first one set (a spooler
 * printer: page and document ended, printer closed). When the slot has
 * neither, or the number is outside 1 to 5, it closes the current
 * connection's LPT port, or else its USB printer. COM ports and sockets are
 * never closed here.
 *
 * @param slot Slot number.
 * @return 1, always.
 */
QOVLIB_API int closeportmult(int slot);

/**
 * @ingroup conn_serial
 * @brief Opens a COM port for overlapped I/O at 9600 baud, 8 data bits, no
 *        parity, one stop bit, as the current connection.
 *
 * The previous connection is not closed, other transport flags are not
 * cleared, no time-outs are set. The serial and connection-open flags are set
 * even when the port cannot be opened: later sends then go to an invalid
 * handle and have no effect.
 *
 * @param name Port name, for example "COM1". NULL opens nothing.
 * @return "1", always: constant text owned by the library.
 * @par On Linux
 * COMn is `/dev/ttyS<n-1>` or the path in `QOVLIB_COMn`, opened exclusively.
 */
QOVLIB_API char* opencomport(char* name);

/**
 * @ingroup conn_serial
 * @brief Writes line settings to a COM port and closes it again.
 *
 * The port is opened with a handle of its own, so an open connection keeps
 * its handle. Only the fields chosen change; values outside the tables keep
 * the port's current setting.
 *
 * @param name     Port name, for example "COM1". NULL changes nothing.
 * @param baud     Index: 0 110, 1 300, 2 600, 3 1200, 4 2400, 5 4800, 6 9600,
 *                 7 14400, 8 19200, 9 38400, 10 56000, 11 57600, 12 115200.
 * @param parity   0 none, 1 odd, 2 even.
 * @param dataBits 0 eight, 1 seven.
 * @param stopBits 0 one, 1 one and a half, 2 two.
 * @return 1, always, also when the port cannot be opened. A port held by an
 *         open connection cannot be opened again (no sharing) and keeps its
 *         settings: set the line before `openport`.
 */
QOVLIB_API int SetRS232(char* name, int baud, int parity, int dataBits, int stopBits);

/**
 * @ingroup conn_serial
 * @brief Sets 9600 baud, 8 data bits, no parity, one stop bit on the current
 *        connection's device handle.
 *
 * Which transport the handle belongs to is not tested; a handle that is not a
 * serial port is left as it is.
 *
 * @return 1, always.
 */
QOVLIB_API int comportdefault(void);

/**
 * @ingroup send_cmd
 * @brief Sends a command text without line end on the current connection.
 *
 * As `sendcommand` without the CR LF. `QOVA_GetStatus` sends its request
 * with it.
 *
 * @param text Command text. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendcommand`).
 */
QOVLIB_API int sendcommand_withoutcrlf(char* text);

/**
 * @ingroup send_cmd
 * @brief Sends a command text and CR LF on a connection slot.
 *
 * No test of the connection-open flag. Slot 1: the current connection in the
 * order spooler, USB, network (the current connection's socket, not that of
 * `openethernetmult(1, ...)`), COM; its LPT port is not reachable. Slots 2 to
 * 5: the slot's spooler, USB and socket, in that order.
 *
 * @param slot Slot 1 to 5.
 * @param text Command text. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Slot outside 1 to 5, nothing open for the slot, or a network send
 *           gave up.
 */
QOVLIB_API int sendcommand_mult(int slot, char* text);

/**
 * @ingroup send_cmd
 * @brief As `sendcommand_mult` without the line end.
 * @param slot Slot 1 to 5.
 * @param text Command text. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendcommand_mult`).
 */
QOVLIB_API int sendcommand_withoutcrlf_mult(int slot, char* text);

/**
 * @ingroup send_cmd
 * @brief Sends a command text and CR LF on a slot's own handle or socket.
 *
 * Order: the slot's USB (an overlapped write for a handle opened for
 * overlapped I/O), its spooler, its own socket (for slot 1 the socket of
 * `openethernetmult(1, ...)`, not that of `openethernet`). No COM or LPT. No
 * test of the connection-open flag.
 *
 * @param slot Slot 1 to 5.
 * @param text Command text. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Slot outside 1 to 5, nothing open for the slot, or a network send
 *           gave up.
 */
QOVLIB_API int sendcommandmult(int slot, char* text);

/**
 * @ingroup send_enc
 * @brief Sends ANSI text as UTF-8, with CR LF, on a connection slot.
 *
 * Converts as `sendcommandutf8`, then sends as `sendcommand_mult` (no test of
 * the connection-open flag; slot 1 without its LPT port).
 *
 * @param slot Slot 1 to 5.
 * @param text Text in the ANSI code page. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Slot outside 1 to 5, nothing open for the slot, the text cannot
 *           be converted, or a network send gave up.
 */
QOVLIB_API int sendcommandutf8_mult(int slot, char* text);

/**
 * @ingroup send_enc
 * @brief Sends wide text as UTF-8, with CR LF, on the current connection.
 *
 * Order of tests as `sendcommand`. Code units that are no character (a lone
 * surrogate, a value above U+10FFFF) go out as U+FFFD.
 *
 * @param text Zero-terminated wide text (UTF-16 on Windows). NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 Not sent (see `sendcommand`).
 * @par On Linux
 * `wchar_t` is UTF-32.
 */
QOVLIB_API int sendcommandUnicode(wchar_t* text);

/**
 * @ingroup send_bin
 * @brief Sends a text without line end on the current connection, whether or
 *        not the connection-open flag is set.
 *
 * Order of tests: spooler, LPT or USB, COM, network. `QOVA_DownloadPCX`
 * frames its data with it.
 *
 * @param text Text, up to its NUL byte. NULL returns 0.
 * @retval 1 Handed to a transport.
 * @retval 0 No transport flag set, the COM write could not get its event, or
 *           a network send gave up.
 */
QOVLIB_API int ZULOutBuffer(char* text);

/**
 * @ingroup send_bin
 * @brief Writes a text without line end to a slot's device handle.
 *
 * Slot 1 to 5: a file write when the slot holds a USB printer, otherwise a
 * spooler write to the slot's handle, whether or not a printer is open
 * there. Any other number: the current connection's LPT, USB or COM handle,
 * in that order. No network.
 *
 * @param slot Slot number.
 * @param text Text, up to its NUL byte. NULL returns 0.
 * @retval 1 Written (the write's own result is not checked).
 * @retval 0 A slot outside 1 to 5 with no LPT, USB or COM open.
 */
QOVLIB_API int ZULOutBuffermult(int slot, char* text);

/**
 * @ingroup send_bin
 * @brief Writes a text to the current device handle as to a COM port.
 *
 * No flag is tested and no line end is added: the caller must know that the
 * current connection is a COM port. The write is waited for without time-out.
 *
 * @param text Text, up to its NUL byte. NULL returns 0.
 * @retval 1 Written.
 * @retval 0 The write could not get its event.
 */
QOVLIB_API int ComportSendData(char* text);

/**
 * @ingroup send_bin
 * @brief Writes one line to the last USB printer through a handle of its
 *        own.
 *
 * Opens the printer for reading and writing without sharing, writes the
 * text, a blank and CR LF, then another CR LF, and closes it. The connection
 * record is not touched.
 *
 * @param text Text, up to its NUL byte.
 * @retval 0 Written (the writes' own results are not checked).
 * @retval -1 No printer found, or a NULL text (nothing written).
 * @retval -2 The printer cannot be opened (for example while a connection
 *            holds it).
 */
QOVLIB_API int usbportwrite(char* text);

/**
 * @ingroup send_bin
 * @brief A diagnostic exchange on the current socket: sends a text and
 *        shows every answer in a message box.
 *
 * Sends the text (no line end), then receives up to 500 bytes at a time and
 * shows each piece as a message box, until the printer closes the
 * connection (then a box "Hi" and "Connection Closed." on standard output)
 * or a receive fails (then a box with the receive's result and a box "end").
 * All boxes have the caption "Error Message". Clears the receive buffer.
 *
 * @param text Text to send. NULL returns 0.
 * @return 1 when the exchange ended; 0 for a NULL text, or when the send of
 *         the text gave up (see @ref send; nothing is received then).
 * @note Each receive waits up to 1 s, so the exchange ends about 1 s after
 *       the printer's last data: on a socket of `openethernet` through its
 *       receive time-out, on the non-blocking socket of `openethernet_async`
 *       by polling every 50 ms. On Windows every box waits for the user.
 */
QOVLIB_API int Ethernetsend(char* text);

/**
 * @ingroup read_text
 * @brief Reads from a USB handle until a terminator text has arrived, waiting
 *        5,000 ms for each request.
 *
 * Clears the receive buffer, pauses 50 ms, then issues 512-byte requests.
 * Found: the reply becomes the library's reply text (returned by `QOVA_Read`
 * when it calls this reader). A request that stays pending for the whole
 * wait, or a quiet spell as long as the wait, ends the read with the reply
 * text unchanged.
 *
 * @param handle     A handle opened on the printer's USB device (Windows: from
 *                   CreateFile on its device path, with or without overlapped
 *                   I/O).
 * @param terminator Text that ends the answer. NULL counts as empty.
 * @retval true  The read ended (terminator, time-out, or 65,536 bytes).
 * @retval false The read could not start (no wait event).
 * @par On Linux
 * The handle is the file descriptor of an open printer device node,
 * `(void*)(intptr_t)fd`; a silent device ends the read after 5,000 ms.
 */
QOVLIB_API bool UsbRead_judge(void* handle, char* terminator);

/**
 * @ingroup read_text
 * @brief As the two-argument `UsbRead_judge`, with the caller's wait.
 *
 * @param handle      A handle opened on the printer's USB device (Linux: a
 *                    file descriptor cast to a pointer).
 * @param terminator  Text that ends the answer. NULL counts as empty.
 * @param waitTimeout Milliseconds to wait for one pending request; a
 *                    negative value means 5,000, values above 600,000 mean
 *                    600,000.
 * @retval true  The read ended.
 * @retval false The read could not start.
 */
QOVLIB_API bool UsbRead_judge(void* handle, char* terminator, int waitTimeout);

/**
 * @ingroup read_chunk
 * @brief Reads one chunk of text after a 50 ms pause, appending it to the
 *        receive buffer without CR and LF.
 *
 * Bytes are appended at the USB receive count; CR and LF are skipped; an STX
 * (0x02) stops the chunk.
 *
 * @param handle A handle opened on the printer's USB device (Linux: a file
 *               descriptor cast to a pointer).
 * @param unused Ignored.
 * @retval true  Bytes arrived.
 * @retval false Nothing arrived within 5,000 ms (the receive count is reset),
 *               an STX was met, or no wait event.
 */
QOVLIB_API bool UsbReadData(void* handle, bool unused);

/**
 * @ingroup read_chunk
 * @brief As `UsbReadData`, storing from the start of the receive buffer, with
 *        100 ms pauses before and after the read.
 *
 * The buffer is not cleared: bytes of a longer earlier reply stay behind the
 * new ones.
 *
 * @param handle A handle opened on the printer's USB device (Linux: a file
 *               descriptor cast to a pointer).
 * @param unused Ignored.
 * @retval true  Bytes arrived.
 * @retval false Nothing arrived within 5,000 ms, an STX was met, or no wait
 *               event.
 */
QOVLIB_API bool UsbReadData_mult(void* handle, bool unused);

/**
 * @ingroup read_chunk
 * @brief Reads one chunk and keeps only its last byte, at the USB receive
 *        count (which does not advance); 100 ms pauses before and after.
 *
 * @param handle A handle opened on the printer's USB device (Linux: a file
 *               descriptor cast to a pointer).
 * @param unused Ignored.
 * @retval true  Bytes arrived.
 * @retval false Nothing arrived within 5,000 ms, or no wait event.
 */
QOVLIB_API bool UsbReadStatus(void* handle, bool unused);

/**
 * @ingroup read_chunk
 * @brief Reads one chunk after a 100 ms pause and appends every byte to the
 *        receive buffer, wrapping to its start after 65,536 bytes.
 *
 * @param handle A handle opened on the printer's USB device (Linux: a file
 *               descriptor cast to a pointer).
 * @param unused Ignored.
 * @retval true  Bytes arrived.
 * @retval false Nothing arrived within 5,000 ms, or no wait event.
 */
QOVLIB_API bool UsbReadStatusDataToBuffer(void* handle, bool unused);

/**
 * @ingroup read_chunk
 * @brief Reads one chunk of a code-page answer after a 100 ms pause (the
 *        reader of `usbprintercodepage`).
 *
 * Bytes are appended (wrapping after 65,536); an STX (0x02) ends the chunk
 * unstored; a CR is stored and ends the answer.
 *
 * @param handle A handle opened on the printer's USB device (Linux: a file
 *               descriptor cast to a pointer).
 * @param unused Ignored.
 * @retval true  Read on: the chunk ended without CR (or at an STX).
 * @retval false Stop: a CR was stored, nothing arrived within 5,000 ms, or no
 *               wait event.
 */
QOVLIB_API bool UsbReadDataToBuffer(void* handle, bool unused);

/**
 * @ingroup status
 * @brief As `QOVA_SetupStatus`, sent with `sendcommand_mult` on a slot.
 * @param slot Slot 1 to 5.
 * @param mode 0 to 3 (see `QOVA_SetupStatus`).
 * @return The result of `sendcommand_mult`; 0 for another mode (nothing
 *         sent).
 */
QOVLIB_API int QOVA_SetupStatus_Mult(int slot, int mode);

/**
 * @ingroup status
 * @brief Asks the printer on the COM port for its code page.
 *
 * Clears the receive buffer, writes the 13-byte query (`~!I` and an `OUT`
 * of the single byte STX, 0x02, which the printer sends after its answer)
 * to the current device handle (`ComportSendData`, no flag test), pauses
 * 500 ms and makes one read of up to 500 bytes, keeping the bytes before the
 * printer's STX.
 *
 * @return The answer, in the library's receive buffer: valid until the next
 *         read or query. Empty when the read request did not complete at
 *         once (no answer waiting after the 500 ms on a port opened for
 *         overlapped I/O) or brought nothing.
 * @note Blocks for the write (no time-out) and 500 ms.
 */
QOVLIB_API char* comportprintercodepage(void);

/**
 * @ingroup status
 * @brief Asks the printer on the current socket for its code page.
 *
 * Sends the 13-byte query, then polls every 50 ms until a receive brings
 * data, for at most 5 whole seconds, or until the printer closes the
 * connection. A receive error sets the socket error flag.
 *
 * @return The bytes of the first receive that brought data, as received (line
 *         ends and the STX included), in the library's network chunk buffer:
 *         valid until the next network read or query. Empty when nothing
 *         came.
 * @note Blocks at most about 5 s.
 */
QOVLIB_API char* ethernetprintercodepage(void);

/**
 * @ingroup status
 * @brief Asks the last USB printer for its code page, through a handle of
 *        its own.
 *
 * Opens the printer for overlapped I/O without sharing, writes the 14-byte
 * query (as the COM query, with LF CR line ends), then collects chunks
 * (`UsbReadDataToBuffer`) until a CR, a chunk after the STX, or a read that
 * brings nothing within 5,000 ms, and closes the handle.
 *
 * @return The answer up to and including its CR, in the library's receive
 *         buffer: valid until the next read or query. Empty when no printer
 *         is found or it cannot be opened (for example while a connection
 *         holds it); nothing is sent then.
 * @note Ends within about 5 s even when the printer streams without ever
 *       sending CR.
 */
QOVLIB_API char* usbprintercodepage(void);

/**
 * @ingroup status
 * @brief Restarts the printer on the COM port: ESC `!R` LF through
 *        `ComportSendData` on the current device handle (no flag test).
 *
 * Clears the receive buffer first.
 *
 * @return 1, always.
 */
QOVLIB_API int comportprinterrestart(void);

/**
 * @ingroup status
 * @brief Restarts the printer on the current socket: ESC `!R` LF.
 * @return 1, always.
 */
QOVLIB_API int ethernetprinterrestart(void);

/**
 * @ingroup status
 * @brief Restarts the last USB printer: ESC `!R` CR, through a handle of its
 *        own (no sharing).
 * @retval 1 Sent.
 * @retval -1 No printer found.
 * @retval -2 The printer cannot be opened (for example while a connection
 *            holds it).
 */
QOVLIB_API int usbprinterrestart(void);

/**
 * @ingroup spooler
 * @brief Opens the spooler printer attached to a port as the current
 *        connection.
 *
 * Closes the current connection (`closeport`) and clears its spooler, LPT,
 * USB, COM and connection-open flags, then looks for the first local
 * printer, in the spooler's order, whose port name equals the argument
 * exactly (case-sensitive), and opens it with a document "Printing..." and a
 * page started.
 *
 * @param portName Port name, for example "USB001". NULL counts as empty.
 * @retval 1 Opened: the spooler and connection-open flags are set.
 * @retval -1 Found, but it cannot be opened.
 * @retval 0 No printer on that port, after two message boxes with the caption
 *           "Error Message": the port name, then "Can't Find Printer Driver,
 *           Please check Driver Name".
 * @note Blocks for 1,000 ms when it closes a network connection, and on
 *       Windows until the user closes the boxes.
 * @par On Linux
 * A port name is a queue's device URI, for example `socket://10.0.0.5:9100`.
 */
QOVLIB_API int compareport(char* portName);

/**
 * @ingroup spooler
 * @brief Opens the spooler printer attached to a port and returns its name.
 *
 * As `compareport`, but the printer is only opened: no document is started
 * and the connection-open flag stays 0, so the plain sends refuse until the
 * next open. No message box.
 *
 * @param portName Port name (Linux: a device URI). NULL counts as empty.
 * @return The printer's name as UTF-8 (Windows: converted from the ANSI code
 *         page; Linux: the queue name byte for byte), or "-1" when nothing
 *         is found or it cannot be opened. The text belongs to the library
 *         and stays valid for the life of the process.
 */
QOVLIB_API char* returndriver(char* portName);

/**
 * @ingroup forms_ctl
 * @brief As `QOVA_PrinterReset`, on a slot.
 * @param slot Slot 1 to 5; another number sends nothing.
 * @return The text sent; constant, owned by the library (do not modify it).
 */
QOVLIB_API char* QOVA_PrinterReset_Mult(int slot);

/**
 * @ingroup fmt_cmd
 * @brief As `printer_font`, taking the text through an `unsigned int`
 *        pointer.
 * @param p1 First field.
 * @param p2 Second field.
 * @param p3 Third field.
 * @param p4 Fourth field.
 * @param text Read as bytes up to the first zero byte, whatever the pointer's
 *             type.
 * @return The text, in this function's buffer.
 */
QOVLIB_API char* printer_font_binary(int p1, int p2, int p3, int p4, unsigned int* text);

/**
 * @ingroup info
 * @brief The library's version.
 * @return "2.03"; constant, owned by the library (do not modify it).
 */
QOVLIB_API char* dllversion(void);

/**
 * @ingroup info
 * @brief Shows a wide text in a message box and writes it to "testfile.txt".
 *
 * The box has the caption "Error Message". The file, in the current
 * directory, is opened or created and written from its start with the
 * text's UTF-16LE bytes (no byte-order mark, no terminator); a longer earlier
 * content beyond them is kept. A file that cannot be written is not reported.
 *
 * @param text Zero-terminated wide text. NULL counts as empty.
 * @return 0, always.
 * @par On Linux
 * `wchar_t` is UTF-32; the file still gets UTF-16LE, and the box is a line
 * on standard error.
 */
QOVLIB_API int savetotext(wchar_t* text);
#endif /* __cplusplus */

#endif /* QOVLIB_H */
