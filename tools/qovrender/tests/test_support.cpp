#include "test_support.h"

#include <ZXing/ReadBarcode.h>

#include <algorithm>

namespace qovtest {

bool Output::noted(const std::string& part) const {
    for (const Note& n : notes)
        if (n.text.find(part) != std::string::npos) return true;
    return false;
}

Output render(const std::string& input, int dpi, std::size_t chunk, qovrender::RenderOptions options) {
    Output out;
    options.dpi = dpi;
    qovrender::Renderer r(
        options,
        [&](const qovrender::PrintedLabel& l) {
            out.labels.push_back(Label{l.form, l.copies, l.line, l.summary, *l.picture});
        },
        [&](long long line, const std::string& text) { out.notes.push_back(Note{line, text}); });
    if (chunk == 0) {
        r.feed(input);
    } else {
        for (std::size_t i = 0; i < input.size(); i += chunk) r.feed(input.data() + i, std::min(chunk, input.size() - i));
    }
    r.finish();
    return out;
}

std::string form(const std::string& name, const std::vector<std::string>& lines, const std::string& execute) {
    std::string s = "~CREATE;" + name + ";X\r\n";
    for (const std::string& l : lines) s += l + "\r\n";
    s += "END\r\n~EXECUTE;" + name + execute + "\r\n~NORMAL\r\n";
    return s;
}

Box inkBox(const qovrender::Raster& r, int x0, int y0, int x1, int y1) {
    Box b{1 << 30, 1 << 30, -1, -1};
    for (int y = std::max(0, y0); y < std::min(r.height(), y1); ++y)
        for (int x = std::max(0, x0); x < std::min(r.width(), x1); ++x)
            if (r.get(x, y)) {
                b.left = std::min(b.left, x);
                b.top = std::min(b.top, y);
                b.right = std::max(b.right, x);
                b.bottom = std::max(b.bottom, y);
            }
    if (b.right < 0) b = Box{};
    return b;
}

namespace {

std::vector<std::string> decodeArea(const qovrender::Raster& r, const Box& area) {
    const int margin = 40;
    const int w = area.width() + 2 * margin, h = area.height() + 2 * margin;
    std::vector<std::uint8_t> gray(static_cast<std::size_t>(w) * h, 255);
    for (int y = area.top; y <= area.bottom; ++y)
        for (int x = area.left; x <= area.right; ++x)
            if (r.get(x, y)) gray[static_cast<std::size_t>(y - area.top + margin) * w + x - area.left + margin] = 0;
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    hints.setTryRotate(true);
    std::vector<std::string> out;
    for (const auto& result : ZXing::ReadBarcodes(ZXing::ImageView(gray.data(), w, h, ZXing::ImageFormat::Lum), hints))
        if (result.isValid()) out.push_back(result.text());
    return out;
}

}  // namespace

std::vector<std::string> decode(const qovrender::Raster& r) {
    // The ink with a white margin first (some detectors search from the
    // centre), then the whole label as a scanner would see it.
    const Box ink = inkBox(r);
    if (ink.empty()) return {};
    auto found = decodeArea(r, ink);
    if (found.empty()) found = decodeArea(r, Box{0, 0, r.width() - 1, r.height() - 1});
    return found;
}

}  // namespace qovtest
