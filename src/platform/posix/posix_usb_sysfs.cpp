#include "platform/posix/posix_usb_sysfs.h"

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

namespace qov::posix {

namespace {

std::string envOr(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return (v && *v) ? std::string(v) : std::string(fallback);
}

// First line of a sysfs attribute, without its line end; empty when absent.
std::string readAttribute(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' '))
        line.pop_back();
    return line;
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A serial goes between '#' separators: characters that would break the
// path's shape become '_'.
std::string pathSafe(std::string s) {
    for (char& c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '#' || c == '\\' || c == '/') c = '_';
    }
    return s;
}

bool lpNumber(const std::string& name, long* n) {
    if (name.size() < 3 || name.compare(0, 2, "lp") != 0) return false;
    for (std::size_t i = 2; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
    *n = std::strtol(name.c_str() + 2, nullptr, 10);
    return true;
}

std::string parentDir(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string usbInterfacePath(const std::string& vendor, const std::string& product,
                             const std::string& serial) {
    return "\\\\?\\usb#vid_" + lower(vendor) + "&pid_" + lower(product) + "#" +
           lower(pathSafe(serial)) + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
}

std::vector<UsbPrinter> scanUsbPrinters() {
    const std::string sysfs = envOr("QOVLIB_SYSFS_ROOT", "/sys");
    const std::string devRoot = envOr("QOVLIB_USB_DEV_ROOT", "/dev/usb");

    struct Found {
        long number;
        UsbPrinter printer;
        std::string vendor, product, serial, place;
    };
    std::vector<Found> found;
    std::set<std::string> seen;
    for (const char* cls : {"/class/usbmisc", "/class/usb"}) {
        const std::string dir = sysfs + cls;
        DIR* d = ::opendir(dir.c_str());
        if (!d) continue;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            long number = 0;
            if (!lpNumber(name, &number) || seen.count(name)) continue;
            char resolved[PATH_MAX];
            const std::string link = dir + "/" + name + "/device";
            if (!::realpath(link.c_str(), resolved)) continue;
            const std::string usbDevice = parentDir(resolved);
            std::string vendor = readAttribute(usbDevice + "/idVendor");
            std::string product = readAttribute(usbDevice + "/idProduct");
            if (vendor.size() != 4 || product.size() != 4) continue;
            std::string serial = readAttribute(usbDevice + "/serial");
            const std::string place = baseName(usbDevice);
            // Without a serial the device's place on the bus tells it apart.
            if (serial.empty()) serial = place;
            seen.insert(name);
            found.push_back({number,
                             {usbInterfacePath(vendor, product, serial), devRoot + "/" + name},
                             vendor, product, serial, place});
        }
        ::closedir(d);
    }
    std::sort(found.begin(), found.end(),
              [](const Found& a, const Found& b) { return a.number < b.number; });
    // Printers of one model may all carry the same serial: each path must
    // still name one device, so such twins add their place on the bus.
    std::map<std::string, int> uses;
    for (const Found& f : found) ++uses[f.printer.devicePath];
    std::vector<UsbPrinter> out;
    for (Found& f : found) {
        if (uses[f.printer.devicePath] > 1)
            f.printer.devicePath = usbInterfacePath(f.vendor, f.product, f.serial + "&" + f.place);
        out.push_back(std::move(f.printer));
    }
    return out;
}

}  // namespace qov::posix
