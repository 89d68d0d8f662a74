// The backend contract: what every qov::Platform must do as the library
// relies on it. Each case is a typed test over a "rig", one per backend,
// that builds the world the case needs and lets the case look at it from
// the far side. The cases only call the Platform and the rig, so the same
// case runs against the simulated OS, the Linux backend and (under Wine)
// the Windows backend.
//
// A rig is a class (no common base: each backend's rig supplies only what
// the services it is tested on need) constructed fresh for every case:
//
//   static const char* name();              "sim", "posix", "win32"
//   qov::Platform& os();                    the backend under test
//   std::int64_t nowMs();                   the backend's clock in ms (the
//                                           sim's virtual one, else monotonic)
//   std::int64_t calendarNow();             seconds the calendar clock should show
//
// files and devices
//   std::string newFilePath(name);          a path where no file is yet
//   void putFile(path, bytes);              creates or replaces a file
//   std::string fileBytes(path);            a file's content now
//   std::string addPipe();                  a device path (a pipe) to open
//                                           with createFile
//   void pipePut(bytes);                    bytes the device sends now
//   std::string pipeTake(size);             what the library wrote to it
//                                           (waits up to 2 s for `size` bytes)
// serial ports
//   std::string addSerialPort();            its name for createFile ("COM2")
//   void serialPut(bytes);                  the far end of the line sends
//   std::string serialTake(size);           what reached the far end
// sockets (a peer on 127.0.0.1)
//   std::uint16_t listeningPort();          accepts one connection; silent
//                                           until the case makes it talk
//   std::uint16_t refusingPort();           nobody listens there
//   void peerSend(bytes);                   the accepted connection sends
//   std::string peerTake(size);             what it received
//   void peerClose();                       it closes the connection
// spooler
//   bool spoolerReady(std::string* why);    false: the cases skip, saying why
//   void addQueue(name);                    a printer (queue) that accepts jobs
//   std::string queuePort(name);            the port name the spooler gives it
//   std::string queueTake(name, size);      the bytes its documents delivered
//   void setQueueOffline(name);             the printer is taken offline
// USB device interfaces
//   void addUsbPrinter(vid, pid, serial);   a present printer (lower-case hex)
//   std::string usbWritten(index);          bytes written to the n-th added one
// message boxes and standard output
//   void captureUi();                       from now on, boxes and stdout are kept
//   std::string shownBoxes();               "caption: text\n" per box, UTF-8
//   std::string stdoutText();               what writeStdout wrote
#pragma once

#include <cstdint>
#include <string>

namespace qov::contract {

// The interface class GUID every USB device path ends with.
inline const char* usbGuid() { return "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"; }

// The device path the OS gives a USB printer, as the library's vendor
// filter reads it: "\\?\usb#vid_xxxx&pid_xxxx#<serial>#{guid}".
inline std::string usbPath(const std::string& vid, const std::string& pid,
                           const std::string& serial) {
    return "\\\\?\\usb#vid_" + vid + "&pid_" + pid + "#" + serial + "#" + usbGuid();
}

// The management query as the library words it.
inline std::string offlineQuery(const std::string& pattern) {
    return "SELECT * from Win32_Printer WHERE Name LIKE '" + pattern + "'";
}

// A network-order IPv4 address from its four parts.
inline std::uint32_t ipv4(unsigned a, unsigned b, unsigned c, unsigned d) {
    return static_cast<std::uint32_t>(a | (b << 8) | (c << 16) | (d << 24));
}

}  // namespace qov::contract
