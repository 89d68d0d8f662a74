// qovprint: the printer application. Any IPP client (a phone, a browser, a
// CUPS server) prints to the label printers through it; what arrives becomes
// the command language and goes out through libqovlib.
#include <malloc.h>
#include <pappl/pappl.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>

#include "device_schemes.h"
#include "printer_driver.h"
#include "printer_jobs.h"
#include "printer_status.h"
#include "raw_listener.h"
#include "stream_watch.h"

namespace {

constexpr const char* kVersion = "2.0.0";

const char* option(int n, cups_option_t* options, const char* name, const char* fallback) {
    const char* v = cupsGetOption(name, n, options);
    return v && *v ? v : fallback;
}

// Documents in the command language sent as application/octet-stream (raw
// print queues, `nc`, old drivers) are recognised by how they begin.
const char* detectFormat(const unsigned char* header, size_t size, void*) {
    static const char* const starts[] = {"~NORMAL", "~CREATE", "~EXECUTE", "~LOGO", "~DELETE", "~CONFIG",
                                         "~PAPER",  "!QOV_SETUP", "~STATUS"};
    std::string head(reinterpret_cast<const char*>(header), size < 64 ? size : 64);
    const std::size_t first = head.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return nullptr;
    for (const char* s : starts)
        if (head.compare(first, std::strlen(s), s) == 0) return qovprint::kCommandFormat;
    return nullptr;
}

// A port option: 0 to 65535 (0: none, or any free one).
bool parsePort(const char* name, const char* text, long* port) {
    char* end = nullptr;
    *port = std::strtol(text, &end, 10);
    if (!*end && *port >= 0 && *port <= 65535) return true;
    fprintf(stderr, "qovprint: bad %s %s\n", name, text);
    return false;
}

// The raw sockets' options: raw-socket-port (printer n on port + n - 1, 0
// for none), document-idle-limit (seconds; raster streams from IPP clients
// are held to it too) and document-size-limit (bytes, or with K, M, G).
bool rawOptions(int n, cups_option_t* options, qovprint::RawSocketOptions* raw) {
    const char* portText = option(n, options, "raw-socket-port", "9100");
    const char* idleText = option(n, options, "document-idle-limit", "30");
    const char* sizeText = option(n, options, "document-size-limit", "256M");
    long port = 0;
    if (!parsePort("raw-socket-port", portText, &port)) return false;
    char* end = nullptr;
    const double idle = std::strtod(idleText, &end);
    if (*end || !(idle >= 0.1 && idle <= 3600)) {
        fprintf(stderr, "qovprint: bad document-idle-limit %s (seconds, 0.1 to 3600)\n", idleText);
        return false;
    }
    if (!qovprint::parseByteSize(sizeText, &raw->limits.maxBytes)) {
        fprintf(stderr, "qovprint: bad document-size-limit %s (bytes, or with K, M or G)\n", sizeText);
        return false;
    }
    raw->basePort = static_cast<int>(port);
    raw->limits.idle = std::chrono::milliseconds(static_cast<long long>(idle * 1000));
    const char* spool = cupsGetOption("spool-directory", n, options);
    const char* tmp = std::getenv("TMPDIR");
    raw->spoolDir = spool && *spool ? spool : tmp && *tmp ? tmp : "/tmp";
    return true;
}

pappl_system_t* createSystem(int n, cups_option_t* options, void*) {
    const char* portText = option(n, options, "server-port", "0");
    long port = 0;
    if (!parsePort("server-port", portText, &port)) return nullptr;
    const char* levelText = option(n, options, "log-level", "warn");
    pappl_loglevel_t level = PAPPL_LOGLEVEL_WARN;
    static const struct {
        const char* name;
        pappl_loglevel_t level;
    } levels[] = {{"fatal", PAPPL_LOGLEVEL_FATAL}, {"error", PAPPL_LOGLEVEL_ERROR}, {"warn", PAPPL_LOGLEVEL_WARN},
                  {"info", PAPPL_LOGLEVEL_INFO},   {"debug", PAPPL_LOGLEVEL_DEBUG}};
    for (const auto& l : levels)
        if (!std::strcmp(levelText, l.name)) level = l.level;

    qovprint::RawSocketOptions raw;
    if (!rawOptions(n, options, &raw)) return nullptr;

    const char* listen = option(n, options, "listen-hostname", "localhost");
    // No PAPPL_SOPTIONS_RAW_SOCKET: qovprint's own raw sockets are bounded (raw_listener.h).
    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                                PAPPL_SOPTIONS_WEB_SECURITY;
    // On loopback alone TLS guards nothing, and offering it there names an
    // ipps URI that no listener serves.
    const bool loopback = !std::strcmp(listen, "localhost") || !std::strncmp(listen, "127.", 4) || !std::strcmp(listen, "::1");
    raw.loopbackOnly = loopback;
    const char* tls = option(n, options, "tls", loopback ? "no" : "yes");
    if (!std::strcmp(tls, "no")) soptions |= PAPPL_SOPTIONS_NO_TLS;
    pappl_system_t* system =
        papplSystemCreate(soptions, option(n, options, "server-name", "qovprint"), static_cast<int>(port),
                          "_print,_universal", cupsGetOption("spool-directory", n, options),
                          option(n, options, "log-file", "-"), level, cupsGetOption("auth-service", n, options), false);
    if (!system) return nullptr;
    // Loopback unless told otherwise: a site puts it on the network on purpose.
    papplSystemAddListeners(system, listen);
    if (const char* admin = cupsGetOption("admin-group", n, options)) papplSystemSetAdminGroup(system, admin);

    int count = 0;
    pappl_pr_driver_t* drivers = qovprint::driverTable(&count);
    papplSystemSetPrinterDrivers(system, count, drivers, nullptr, nullptr, qovprint::driverCallback, nullptr);
    papplSystemSetFooterHTML(system, "QOVLIB label printers");
    papplSystemSetMIMECallback(system, detectFormat, nullptr);
    qovprint::addRawFilters(system);
    const qovprint::ImageLimits limits;
    qovprint::addPngFilter(system, limits);
    papplSystemSetMaxImageSize(system, limits.maxBytes, limits.maxSide, limits.maxSide);  // JPEG, decoded by PAPPL
    pappl_version_t version = {};
    std::snprintf(version.name, sizeof version.name, "qovprint");
    std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
    version.version[0] = 2;
    papplSystemSetVersions(system, 1, &version);
    if (const char* state = cupsGetOption("state-file", n, options))
        papplSystemLoadState(system, state);
    qovprint::startStatusPolling(system);
    qovprint::startRawSockets(system, raw);
    qovprint::startStreamWatch(raw.limits.idle, papplSystemGetHostPort(system));
    return system;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Every page allocates and frees its picture and logo texts (hundreds of
    // KiB): keep freed memory for the next page instead of handing it back
    // to the kernel each time, which cost four times the conversion itself.
    // Bounded: at most 16 MiB kept free, blocks over 4 MiB mapped apart.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, 16 << 20);
    qovprint::addDeviceSchemes();
    int count = 0;
    pappl_pr_driver_t* drivers = qovprint::driverTable(&count);
    const int status = papplMainloop(argc, argv, kVersion, "QOVLIB label printers", count, drivers, nullptr,
                                     qovprint::driverCallback, nullptr, nullptr, createSystem, nullptr, nullptr);
    qovprint::stopStreamWatch();
    qovprint::stopRawSockets();
    qovprint::stopStatusPolling();
    return status;
}
