#include "label_description.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace qovemu {

namespace {

using nlohmann::json;

// Input bytes are ISO-8859-1 unless they are already UTF-8 (decoded text).
bool validUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
        if (more < 0 || (more > 0 && i + more >= s.size())) return false;
        for (int k = 1; k <= more; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2) return false;
        }
        i += static_cast<std::size_t>(more) + 1;
    }
    return true;
}

std::string utf8(const std::string& s) {
    if (validUtf8(s)) return s;
    std::string out;
    out.reserve(s.size() * 2);
    for (char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

json notesJson(const std::vector<RenderNote>& notes) {
    json list = json::array();
    for (const RenderNote& n : notes) list.push_back({{"line", n.line}, {"text", utf8(n.text)}, {"error", n.error}});
    return list;
}

std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace

std::string describeLabels(const RenderQuery& query, const std::vector<RenderedLabel>& labels,
                           const std::vector<RenderNote>& notes) {
    json out;
    out["dpi"] = query.dpi;
    out["paper"] = {{"width", query.paperWidthMils}, {"length", query.paperLengthMils}};
    json list = json::array();
    for (std::size_t i = 0; i < labels.size(); ++i) {
        const RenderedLabel& l = labels[i];
        json elements = json::array();
        for (const qovrender::DrawnElement& e : l.elements) {
            json el = {{"kind", e.kind}, {"line", e.line}, {"x", e.x}, {"y", e.y}, {"width", e.width},
                       {"height", e.height}, {"rotation", e.rotation}, {"data", utf8(e.data)}};
            if (!e.symbology.empty()) el["symbology"] = utf8(e.symbology);
            elements.push_back(std::move(el));
        }
        list.push_back({{"index", i}, {"form", utf8(l.form)}, {"copies", l.copies}, {"line", l.line},
                        {"width", l.width}, {"height", l.height}, {"summary", utf8(l.summary)},
                        {"elements", std::move(elements)}});
    }
    out["labels"] = std::move(list);
    out["notes"] = notesJson(notes);
    return dump(out);
}

std::string errorBody(const std::string& error, const std::vector<RenderNote>* notes) {
    json out = {{"error", utf8(error)}};
    if (notes) out["notes"] = notesJson(*notes);
    return dump(out);
}

std::string notesHeader(const std::vector<RenderNote>& notes, std::size_t maxBytes) {
    std::string out;
    for (const RenderNote& n : notes) {
        std::string item = (out.empty() ? "" : "; ") + std::to_string(n.line) + ": ";
        for (char ch : n.text) {
            const unsigned char c = static_cast<unsigned char>(ch);
            if (c >= 0x20 && c < 0x7F && c != '\\') {
                item += ch;
            } else {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                item += hex;
            }
        }
        if (out.size() + item.size() > maxBytes) {
            // The cut may fall in the notes already taken, and never halves
            // an escape: every backslash here starts one of four bytes.
            const std::string more = std::string("...").substr(0, maxBytes);
            out += item;
            out.resize(maxBytes - more.size());
            const std::size_t slash = out.rfind('\\');
            if (slash != std::string::npos && slash + 4 > out.size()) out.resize(slash);
            out += more;
            break;
        }
        out += item;
    }
    return out;
}

}  // namespace qovemu
