#include "device_uri.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstdlib>
#include <cstring>

namespace qovprint {

namespace {

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// %XX in a path, as URIs carry blanks and the like.
bool unescape(const std::string& in, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            *out += in[i];
            continue;
        }
        if (i + 2 >= in.size() || !std::isxdigit(static_cast<unsigned char>(in[i + 1])) ||
            !std::isxdigit(static_cast<unsigned char>(in[i + 2])))
            return false;
        *out += static_cast<char>(std::strtol(in.substr(i + 1, 2).c_str(), nullptr, 16));
        i += 2;
    }
    return out->find('\0') == std::string::npos;
}

bool resolveIPv4(const std::string& host, std::string* dotted) {
    in_addr a{};
    if (inet_pton(AF_INET, host.c_str(), &a) == 1) {
        *dotted = host;
        return true;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return false;
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(res->ai_addr)->sin_addr, buf, sizeof buf);
    freeaddrinfo(res);
    *dotted = buf;
    return true;
}

}  // namespace

int baudIndex(long baud) {
    static const long rates[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    for (int i = 0; i < 13; ++i)
        if (rates[i] == baud) return i;
    return -1;
}

bool parseDeviceUri(const std::string& uri, DeviceTarget* t, std::string* error) {
    *t = DeviceTarget{};
    if (startsWith(uri, "socket://")) {
        std::string rest = uri.substr(9);
        rest = rest.substr(0, rest.find_first_of("/?"));
        std::string host = rest;
        const std::size_t colon = rest.rfind(':');
        if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            const std::string digits = rest.substr(colon + 1);
            char* end = nullptr;
            const long port = std::strtol(digits.c_str(), &end, 10);
            if (digits.empty() || *end || port < 1 || port > 65535) {
                *error = "bad port in " + uri;
                return false;
            }
            t->port = static_cast<int>(port);
        }
        if (host.empty() || !resolveIPv4(host, &t->host)) {
            *error = "unknown host in " + uri;
            return false;
        }
        t->transport = Transport::Network;
        return true;
    }
    struct PathScheme {
        const char* prefix;
        Transport transport;
    };
    static const PathScheme schemes[] = {
        {"file://", Transport::File}, {"serial://", Transport::Serial}, {"parallel://", Transport::Parallel}};
    for (const PathScheme& s : schemes) {
        if (!startsWith(uri, s.prefix)) continue;
        std::string rest = uri.substr(std::strlen(s.prefix));
        std::string query;
        const std::size_t q = rest.find('?');
        if (q != std::string::npos) {
            query = rest.substr(q + 1);
            rest.resize(q);
        }
        if (rest.empty() || rest[0] != '/' || !unescape(rest, &t->path)) {
            *error = "bad path in " + uri;
            return false;
        }
        t->transport = s.transport;
        if (s.transport == Transport::Serial && startsWith(query, "baud=")) {
            t->baudIndex = baudIndex(std::strtol(query.c_str() + 5, nullptr, 10));
            if (t->baudIndex < 0) {
                *error = "unsupported baud rate in " + uri;
                return false;
            }
        }
        return true;
    }
    if (startsWith(uri, "usb://")) {
        t->transport = Transport::Usb;
        if (!unescape(uri.substr(6), &t->path)) {
            *error = "bad USB id in " + uri;
            return false;
        }
        return true;
    }
    *error = "unsupported device URI " + uri;
    return false;
}

}  // namespace qovprint
