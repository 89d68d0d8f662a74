// USB device interfaces through SetupAPI: the present interfaces of
// GUID_DEVINTERFACE_USB_DEVICE and their device paths, in enumeration order.
#include "platform/win32/win32_platform.h"

#include <setupapi.h>

#include <cstddef>
#include <new>
#include <utility>

namespace qov::win32 {

namespace {

// GUID_DEVINTERFACE_USB_DEVICE, {A5DCBF10-6530-11D2-901F-00C04FB951ED}.
const GUID kUsbDeviceInterface = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

// The device path of one interface, or false when its detail data cannot be
// fetched (the interface is then skipped).
bool devicePath(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& iface, std::string& path) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(list, &iface, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
    std::vector<BYTE> buffer(size, 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);  // the fixed part only
    SP_DEVINFO_DATA info{};
    info.cbSize = sizeof(info);
    if (!SetupDiGetDeviceInterfaceDetailA(list, &iface, detail, size, nullptr, &info))
        return false;
    // The path ends inside the buffer: never read past it even if the
    // system left it unterminated.
    const std::size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const char* begin = detail->DevicePath;
    std::size_t length = 0;
    while (offset + length < size && begin[length] != '\0') ++length;
    path.assign(begin, length);
    return true;
}

}  // namespace

bool Win32Platform::enumUsbDevicePaths(std::vector<std::string>& out) {
    out.clear();
    HDEVINFO list = SetupDiGetClassDevsA(&kUsbDeviceInterface, nullptr, nullptr,
                                         DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (list == INVALID_HANDLE_VALUE) return false;
    try {
        for (DWORD index = 0;; ++index) {
            SP_DEVICE_INTERFACE_DATA iface{};
            iface.cbSize = sizeof(iface);
            if (!SetupDiEnumDeviceInterfaces(list, nullptr, &kUsbDeviceInterface, index, &iface))
                break;
            std::string path;
            if (devicePath(list, iface, path)) out.push_back(std::move(path));
        }
    } catch (const std::bad_alloc&) {
        // Keep what was listed; the rest of the interfaces are not seen.
    }
    SetupDiDestroyDeviceInfoList(list);
    return true;
}

}  // namespace qov::win32
