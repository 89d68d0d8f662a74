#include "render_query.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace qovemu {

namespace {

// Digits only, no sign, at most `max`.
bool readNumber(const std::string& text, long long max, long long& out) {
    if (text.empty() || text.size() > 12) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v > max) return false;
    out = v;
    return true;
}

std::string trim(const std::string& s) {
    std::size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The q parameter of one media range (1 without one, 0 when malformed).
double quality(const std::string& params) {
    std::size_t at = 0;
    while (at < params.size()) {
        std::size_t end = params.find(';', at);
        if (end == std::string::npos) end = params.size();
        const std::string p = lower(trim(params.substr(at, end - at)));
        if (p.size() > 2 && p[0] == 'q' && p[1] == '=') {
            char* stop = nullptr;
            const double q = std::strtod(p.c_str() + 2, &stop);
            return stop && *stop == '\0' && q >= 0 && q <= 1 ? q : 0;
        }
        at = end + 1;
    }
    return 1;
}

bool chooseFormat(const std::string& accept, RenderFormat& out) {
    if (trim(accept).empty()) {
        out = RenderFormat::Png;
        return true;
    }
    double best = 0;
    std::size_t at = 0;
    while (at <= accept.size()) {
        std::size_t end = accept.find(',', at);
        if (end == std::string::npos) end = accept.size();
        const std::string range = accept.substr(at, end - at);
        const std::size_t semi = range.find(';');
        const std::string type = lower(trim(range.substr(0, semi)));
        const double q = semi == std::string::npos ? 1 : quality(range.substr(semi + 1));
        RenderFormat f;
        bool known = true;
        if (type == "image/png" || type == "image/*" || type == "*/*") f = RenderFormat::Png;
        else if (type == "application/json") f = RenderFormat::Json;
        else if (type == "application/zip") f = RenderFormat::Zip;
        else known = false;
        if (known && q > best) {
            best = q;
            out = f;
        }
        at = end + 1;
    }
    return best > 0;
}

}  // namespace

bool parseRenderQuery(const std::map<std::string, std::string>& query, const std::string& accept,
                      const RenderLimits& limits, RenderQuery& out, QueryError& error) {
    error = QueryError();
    if (auto it = query.find("dpi"); it != query.end()) {
        if (it->second != "203" && it->second != "300" && it->second != "600") {
            error.message = "dpi must be 203, 300 or 600";
            return false;
        }
        out.dpi = std::atoi(it->second.c_str());
    }
    if (auto it = query.find("paper"); it != query.end()) {
        const std::string& p = it->second;
        const std::size_t x = p.find('x');
        long long w = 0, l = 0;
        if (x == std::string::npos || !readNumber(p.substr(0, x), limits.maxPaperMils, w) ||
            !readNumber(p.substr(x + 1), limits.maxPaperMils, l) || w < 1 || l < 1) {
            error.message = "paper must be WIDTHxLENGTH in thousandths of an inch, each 1 to " +
                            std::to_string(limits.maxPaperMils);
            return false;
        }
        out.paperWidthMils = static_cast<int>(w);
        out.paperLengthMils = static_cast<int>(l);
    }
    const long long across = std::llround(out.paperWidthMils * out.dpi / 1000.0);
    const long long along = std::llround(out.paperLengthMils * out.dpi / 1000.0);
    if (across * along > limits.maxPictureDots) {
        error.message = "paper " + std::to_string(out.paperWidthMils) + "x" + std::to_string(out.paperLengthMils) + " at " +
                        std::to_string(out.dpi) + " dpi is " + std::to_string(across * along) + " dots; at most " +
                        std::to_string(limits.maxPictureDots) + " are drawn";
        return false;
    }
    if (auto it = query.find("index"); it != query.end()) {
        if (!readNumber(it->second, 999999999999LL, out.index)) {
            error.message = "index must be a label number from 0";
            return false;
        }
    }
    if (!chooseFormat(accept, out.format)) {
        error.status = 406;
        error.message = "Accept must allow image/png, application/json or application/zip";
        return false;
    }
    return true;
}

}  // namespace qovemu
