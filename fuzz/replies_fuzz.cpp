// Printer replies: the readers (QOVA_Read, QOVA_Read_withTimeout,
// QOVA_GetStatus, the code-page queries, the USB chunk readers, the RFID
// calibration, the input clearing) on every transport, against a scripted
// printer on the simulated OS whose chunks, gaps, closes and failures come
// from the input. Time is virtual; every read must end within a bounded
// virtual time, keep the receive state in bounds and return terminated text.
//
// Input (bytes from the front; missing bytes read as 0):
//   transport, failing event count, step count, steps, then calls to the end.
//   step: kind, delay (u16 ms), then for a reply a u16 length and its bytes,
//         for a repeated reply a byte and a count of 512-byte blocks, for an
//         expect the index of a request text.
//   call: reader, terminator (length byte, up to 16 bytes), wait (u16, 0-30000),
//         delays before and after (u16 ms each), slot.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "connections/connection_record.h"
#include "connections/usb_discovery.h"
#include "fuzz_check.h"
#include "fuzz_input.h"
#include "sim.h"
#include "qovlib.h"
#include "reading/receive_state.h"

namespace {

using qov::sim::DeviceKind;
using qov::sim::SimPlatform;
using qov::sim::Step;

using fuzz::Input;

enum Transport { UsbAsync, UsbSync, ComPlain, ComOverlapped, NetBlocking, NetAsync, Lpt, Spooler,
                 None, kTransports };

// What the library sends before it reads: an expect step waits for one.
const char* const kRequests[] = {
    "~NORMAL\r\n~STATUS",
    "~!I\n OUT \"\x02\"\n",
    "~!I\n\rOUT \"\x02\"\n\r",
    "!QOV_SETUP\r\nRFID-RFID_CAL;\r\nQOV_END\r\n",
};

std::vector<Step> readScript(Input& in) {
    std::vector<Step> script;
    const int steps = in.u8() % 24;
    for (int i = 0; i < steps && !in.done(); ++i) {
        const std::uint8_t kind = in.u8();
        const std::uint32_t delay = in.u16();
        switch (kind % 8) {
        case 0: case 1: case 2: case 3:
            script.push_back(qov::sim::reply(in.bytes(in.u16() % 2048), delay));
            break;
        case 4: {  // long replies reach the ends of the buffers
            const char fill = static_cast<char>(in.u8());
            script.push_back(qov::sim::reply(std::string(512u * (in.u8() % 160), fill), delay));
            break;
        }
        case 5:
            script.push_back(qov::sim::expect(kRequests[in.u8() % 4]));
            break;
        case 6:
            script.push_back(qov::sim::closeAfter(delay));
            break;
        default:
            script.push_back(qov::sim::failAfter(delay));
            break;
        }
    }
    return script;
}

std::string usbPath(const char* serial) {
    return std::string("\\\\?\\usb#") + qov::vendorFilter() + "&pid_0042#" + serial +
           "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

// The printer on the chosen transport, opened through the library's exports.
void connect(SimPlatform& os, Transport t, const std::vector<Step>& script) {
    switch (t) {
    case UsbAsync:
    case UsbSync: {
        const std::string path = usbPath("PR0001");
        os.addUsbInterface(path);
        os.addDevice(path, DeviceKind::Usb).io.script = script;
        FUZZ_CHECK((t == UsbAsync ? openport_async("USB") : openport("USB")) == 0);
        break;
    }
    case ComPlain:
    case ComOverlapped: {
        os.addDevice("COM1", DeviceKind::Com).io.script = script;
        char name[] = "COM1";
        if (t == ComPlain)
            FUZZ_CHECK(openport("COM1") == 0);
        else
            opencomport(name);
        break;
    }
    case NetBlocking:
    case NetAsync:
        os.addPeer("10.0.0.9", 9100).script = script;
        FUZZ_CHECK((t == NetAsync ? openethernet_async("10.0.0.9", 9100)
                                  : openethernet("10.0.0.9", 9100)) == 0);
        break;
    case Lpt:
        os.addDevice("LPT1", DeviceKind::Lpt).io.script = script;
        FUZZ_CHECK(openport("LPT1") == 0);
        break;
    case Spooler:
        os.addPrinter("ZP-1", "USB001").io.script = script;
        FUZZ_CHECK(openport("ZP-1") == 0);
        break;
    default:
        break;
    }
}

// Text a reader returned: present and terminated within the largest buffer.
void checkText(const char* text) {
    FUZZ_CHECK(text != nullptr);
    FUZZ_CHECK(strnlen(text, qov::kNetworkChunkSize + 1) <= qov::kNetworkChunkSize);
}

void checkReceiveState() {
    const auto& rs = qov::receiveState();
    const int cap = static_cast<int>(qov::kReceiveBufferSize);
    FUZZ_CHECK(rs.usbCount >= 0 && rs.usbCount <= cap);
    FUZZ_CHECK(rs.serialCount >= 0 && rs.serialCount <= cap);
    FUZZ_CHECK(rs.networkCount >= 0 && rs.networkCount <= cap);
    FUZZ_CHECK(rs.receiveBuffer[qov::kReceiveBufferSize] == 0);
    FUZZ_CHECK(rs.networkChunk[qov::kNetworkChunkSize] == 0);
}

// Calls one reader. Returns the caller's own delay per request (before +
// after).
std::int64_t callReader(Input& in, void* usbHandle) {
    const std::uint8_t op = in.u8();
    std::string term = in.bytes(in.u8() % 17);
    // Waits of 0 to 30 s: a negative wait is that many milliseconds taken
    // unsigned (-1 for ever), a wait the caller chose to be endless.
    const int wait = in.u16() % 30001;
    const int before = in.u16();
    const int after = in.u16();
    const int slot = in.u8() % 7;
    char* t = &term[0];
    switch (op % 16) {
    case 0: checkText(QOVA_Read(term.c_str())); break;
    case 1: checkText(QOVA_Read_withTimeout(term.c_str(), wait, before, after)); break;
    case 2: checkText(QOVA_GetStatus()); break;
    case 3: checkText(comportprintercodepage()); break;
    case 4: checkText(ethernetprintercodepage()); break;
    case 5: checkText(usbprintercodepage()); break;
    case 6: UsbReadData(usbHandle, false); break;
    case 7: UsbReadData_mult(usbHandle, false); break;
    case 8: UsbReadStatus(usbHandle, false); break;
    case 9: UsbReadStatusDataToBuffer(usbHandle, false); break;
    case 10: UsbReadDataToBuffer(usbHandle, false); break;
    case 11: UsbRead_judge(usbHandle, t); checkText(qov::receiveState().replyText); break;
    case 12: UsbRead_judge(usbHandle, t, wait); checkText(qov::receiveState().replyText); break;
    case 13: checkText(QOVA_RFIDAUTOCALIBRATION()); break;
    case 14: checkText(QOVA_RFIDAUTOCALIBRATION_Mult(slot)); break;
    default:
        if (op & 0x10) USB_ClearBuffer(); else Serial_ClearBuffer();
        break;
    }
    return op % 16 == 1 ? before + after : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    qov::sim::SimScope sim;
    SimPlatform& os = sim.os();
    const auto transport = static_cast<Transport>(in.u8() % kTransports);
    const int failingEvents = in.u8() % 4;
    const std::vector<Step> script = readScript(in);
    connect(os, transport, script);

    // The USB chunk readers take a handle: the connection's own on USB,
    // otherwise one of a second printer with the same script.
    void* usbHandle = reinterpret_cast<void*>(qov::connection().current.handle);
    if (transport != UsbAsync && transport != UsbSync) {
        const std::string path = usbPath("CHUNK1");
        os.addDevice(path, DeviceKind::Usb).io.script = script;
        usbHandle = reinterpret_cast<void*>(
            os.createFile(path.c_str(), qov::kAccessRead | qov::kAccessWrite,
                          qov::kShareRead | qov::kShareWrite, qov::Disposition::OpenExisting,
                          qov::kFlagOverlapped));
    }
    os.failNextEvents = failingEvents;

    for (int calls = 0; calls < 4 && !in.done(); ++calls) {
        const std::uint64_t start = os.nowMs();
        const int readsBefore = os.countCalls("ReadFile ") + os.countCalls("recv ");
        const std::int64_t delays = callReader(in, usbHandle);
        checkReceiveState();
        // Every wait is bounded: apart from the caller's own delays around
        // each request, no read may take more than a few virtual minutes,
        // whatever the printer does.
        const int reads = os.countCalls("ReadFile ") + os.countCalls("recv ") - readsBefore;
        FUZZ_CHECK(os.nowMs() - start <= 10u * 60u * 1000u + std::uint64_t(delays) * reads);
    }
    closeport();
    return 0;
}
