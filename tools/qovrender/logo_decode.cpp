#include "logo_decode.h"

#include <algorithm>
#include <cstdlib>

namespace qovrender {

namespace {

bool readNumber(const std::string& s, std::size_t& pos, long long& v) {
    const std::size_t start = pos;
    v = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && pos - start < 9) v = v * 10 + (s[pos++] - '0');
    return pos > start;
}

unsigned u16(const std::string& f, std::size_t at) {
    return static_cast<unsigned char>(f[at]) | (static_cast<unsigned>(static_cast<unsigned char>(f[at + 1])) << 8);
}

int luminance(int r, int g, int b) { return (299 * r + 587 * g + 114 * b) / 1000; }

}  // namespace

bool decodeLogoRows(int height, int width, const std::string& rows, const ModelMetrics& m, Raster& out,
                    std::string& note) {
    if (height < 1 || width < 1 || height > m.maxRasterRows || width > m.maxRasterColumns ||
        static_cast<long long>(height) * width > m.maxLogoDots) {
        note = "logo size " + std::to_string(height) + " x " + std::to_string(width) + " out of range";
        return false;
    }
    out = Raster(width, height);
    bool outside = false, malformed = false;
    std::size_t start = 0;
    while (start < rows.size()) {
        std::size_t end = rows.find('\n', start);
        if (end == std::string::npos) end = rows.size();
        const std::string line = rows.substr(start, end - start);
        start = end + 1;
        std::size_t pos = 0;
        long long row = 0;
        if (!readNumber(line, pos, row)) {
            malformed = !line.empty() || malformed;
            continue;
        }
        while (pos < line.size()) {
            if (line[pos] != ';') {
                malformed = true;
                break;
            }
            ++pos;
            long long a = 0, b = 0;
            if (!readNumber(line, pos, a)) {
                malformed = true;
                break;
            }
            b = a;
            if (pos < line.size() && line[pos] == '-') {
                ++pos;
                if (!readNumber(line, pos, b)) {
                    malformed = true;
                    break;
                }
            }
            if (b < a) std::swap(a, b);
            if (row < 1 || row > height || a < 1 || b > width) outside = true;
            if (row >= 1 && row <= height) out.fillRect(a - 1, row - 1, std::min<long long>(b, width) - a + 1, 1);
        }
    }
    if (outside) note = "logo dots outside its size dropped";
    if (malformed) note += std::string(note.empty() ? "" : "; ") + "malformed logo rows skipped";
    return true;
}

bool decodePcx(const std::string& f, const ModelMetrics& m, Raster& out, std::string& error) {
    if (f.size() < 128 || static_cast<unsigned char>(f[0]) != 0x0A) {
        error = "not a PCX file";
        return false;
    }
    const int encoding = static_cast<unsigned char>(f[2]);
    const int bpp = static_cast<unsigned char>(f[3]);
    const long long w = static_cast<long long>(u16(f, 8)) - u16(f, 4) + 1;
    const long long h = static_cast<long long>(u16(f, 10)) - u16(f, 6) + 1;
    const int planes = static_cast<unsigned char>(f[65]);
    const long long bytesPerLine = u16(f, 66);
    const bool mono = bpp == 1 && planes == 1, indexed = bpp == 8 && planes == 1, rgb = bpp == 8 && planes == 3;
    if (!mono && !indexed && !rgb) {
        error = "PCX with " + std::to_string(bpp) + " bits and " + std::to_string(planes) + " planes is not supported";
        return false;
    }
    if (w < 1 || h < 1 || w > m.maxRasterColumns || h > m.maxRasterRows || w * h > m.maxLogoDots ||
        bytesPerLine * (mono ? 8 : 1) < w) {
        error = "PCX size " + std::to_string(w) + " x " + std::to_string(h) + " out of range";
        return false;
    }
    // 256-colour palette at the end, after the byte 0x0C.
    const unsigned char* palette = nullptr;
    if (indexed && f.size() >= 128 + 769 && static_cast<unsigned char>(f[f.size() - 769]) == 0x0C)
        palette = reinterpret_cast<const unsigned char*>(f.data() + f.size() - 768);
    const std::size_t dataEnd = palette ? f.size() - 769 : f.size();
    // Monochrome: the header's first two palette entries say which is dark.
    const auto* hp = reinterpret_cast<const unsigned char*>(f.data() + 16);
    const bool zeroIsInk = luminance(hp[0], hp[1], hp[2]) <= luminance(hp[3], hp[4], hp[5]);

    const long long lineBytes = bytesPerLine * planes;
    std::vector<unsigned char> line(static_cast<std::size_t>(lineBytes));
    std::size_t pos = 128;
    out = Raster(static_cast<int>(w), static_cast<int>(h));
    bool truncated = false;
    for (long long y = 0; y < h; ++y) {
        long long filled = 0;
        while (filled < lineBytes) {
            if (pos >= dataEnd) {
                truncated = true;
                break;
            }
            unsigned char c = static_cast<unsigned char>(f[pos++]);
            long long count = 1;
            if (encoding == 1 && (c & 0xC0) == 0xC0) {
                count = c & 0x3F;
                if (pos >= dataEnd) {
                    truncated = true;
                    break;
                }
                c = static_cast<unsigned char>(f[pos++]);
            }
            // Runs do not cross line ends; any excess of a bad run is dropped.
            for (long long k = 0; k < count && filled < lineBytes; ++k) line[static_cast<std::size_t>(filled++)] = c;
        }
        if (truncated) break;
        for (long long x = 0; x < w; ++x) {
            bool ink;
            if (mono) {
                const bool bit = (line[static_cast<std::size_t>(x >> 3)] >> (7 - (x & 7))) & 1;
                ink = zeroIsInk ? !bit : bit;
            } else if (indexed) {
                const unsigned idx = line[static_cast<std::size_t>(x)];
                ink = palette ? luminance(palette[3 * idx], palette[3 * idx + 1], palette[3 * idx + 2]) < 128 : idx < 128;
            } else {
                ink = luminance(line[static_cast<std::size_t>(x)], line[static_cast<std::size_t>(bytesPerLine + x)],
                                line[static_cast<std::size_t>(2 * bytesPerLine + x)]) < 128;
            }
            if (ink) out.set(static_cast<int>(x), static_cast<int>(y));
        }
    }
    if (truncated) error = "PCX data ends early; the rest of the picture is blank";
    return true;
}

}  // namespace qovrender
