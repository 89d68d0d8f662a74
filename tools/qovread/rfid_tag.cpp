#include "rfid_tag.h"

#include <cctype>

namespace qovread {

namespace {

std::vector<bool> bitsOf(const RfidField& f, std::string& why) {
    std::vector<bool> bits;
    const std::string& d = f.data;
    switch (f.format) {
    case 'H':
        for (char c : d) {
            if (!std::isxdigit(static_cast<unsigned char>(c))) {
                why = "not hexadecimal";
                return {};
            }
            const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
            for (int b = 3; b >= 0; --b) bits.push_back((v >> b) & 1);
        }
        break;
    case 'B':
        for (char c : d) {
            if (c != '0' && c != '1') {
                why = "not binary";
                return {};
            }
            bits.push_back(c == '1');
        }
        break;
    case 'A':
        for (char c : d) {
            for (int b = 7; b >= 0; --b) bits.push_back((static_cast<unsigned char>(c) >> b) & 1);
        }
        break;
    default: {  // D: a decimal number, right-aligned in the field
        std::uint64_t v = 0;
        for (char c : d) {
            if (!std::isdigit(static_cast<unsigned char>(c)) || v > (UINT64_MAX - 9) / 10) {
                why = "not a decimal number of 64 bits";
                return {};
            }
            v = v * 10 + static_cast<std::uint64_t>(c - '0');
        }
        for (int b = f.bits - 1; b >= 0; --b) bits.push_back(b < 64 && ((v >> b) & 1));
    }
    }
    // Right-aligned: shorter data is padded with zeros in front, longer cut.
    if (static_cast<int>(bits.size()) < f.bits) bits.insert(bits.begin(), static_cast<std::size_t>(f.bits) - bits.size(), false);
    if (static_cast<int>(bits.size()) > f.bits) bits.erase(bits.begin(), bits.end() - f.bits);
    return bits;
}

std::string format(const std::vector<bool>& bits, char how) {
    std::string out;
    if (how == 'B') {
        for (bool b : bits) out += b ? '1' : '0';
    } else if (how == 'D' && bits.size() <= 64) {
        std::uint64_t v = 0;
        for (bool b : bits) v = (v << 1) | (b ? 1 : 0);
        out = std::to_string(v);
    } else if (how == 'S' || how == 'A') {
        for (std::size_t i = 0; i + 8 <= bits.size(); i += 8) {
            int v = 0;
            for (std::size_t k = 0; k < 8; ++k) v = (v << 1) | (bits[i + k] ? 1 : 0);
            out += static_cast<char>(v);
        }
    } else {
        static const char kHex[] = "0123456789ABCDEF";
        for (std::size_t i = 0; i < bits.size(); i += 4) {
            int v = 0;
            for (std::size_t k = 0; k < 4; ++k) v = (v << 1) | (i + k < bits.size() && bits[i + k] ? 1 : 0);
            out += kHex[v];
        }
    }
    return out;
}

}  // namespace

SimulatedTag::SimulatedTag(std::uint64_t labelNumber) {
    banks_["PC"] = std::vector<bool>(16, false);
    banks_["EPC"] = std::vector<bool>(96, false);
    banks_["USR"] = std::vector<bool>(512, false);
    banks_["ACS"] = std::vector<bool>(32, false);
    banks_["KIL"] = std::vector<bool>(32, false);
    std::vector<bool> tid(64, false);
    const std::uint64_t id = (0xE2ULL << 56) | (labelNumber & 0x00FFFFFFFFFFFFFFULL);
    for (int b = 0; b < 64; ++b) tid[static_cast<std::size_t>(b)] = (id >> (63 - b)) & 1;
    banks_["TID"] = tid;
}

TagRun SimulatedTag::run(const Form& form, const std::function<void(long long, const std::string&)>& note) {
    TagRun r;
    std::vector<const RfidElement*> after;
    for (const Element& e : form.elements) {
        const auto* x = std::get_if<RfidElement>(&e);
        if (!x) continue;
        ++r.operations;
        if (x->kind == RfidKind::Verify || x->kind == RfidKind::HostOut) {
            after.push_back(x);
            continue;
        }
        std::vector<bool>& bank = banks_[x->bank];
        std::size_t at = 0;
        for (const RfidField& f : x->fields) {
            const std::size_t n = static_cast<std::size_t>(f.bits);
            if (at + n > bank.size()) {
                if (x->bank == "USR" || x->bank == "EPC") bank.resize(at + n, false);
                else {
                    if (note) note(x->line, "RFID field past the end of the " + x->bank + " bank; skipped");
                    break;
                }
            }
            if (x->kind == RfidKind::Write) {
                std::string why;
                const std::vector<bool> bits = bitsOf(f, why);
                if (!why.empty()) {
                    if (note) note(x->line, "RFID data " + why + "; not written");
                } else {
                    std::copy(bits.begin(), bits.end(), bank.begin() + static_cast<long>(at));
                }
            } else if (f.field > 0) {
                r.fields[f.field] = format(std::vector<bool>(bank.begin() + static_cast<long>(at), bank.begin() + static_cast<long>(at + n)), f.format);
            }
            at += n;
        }
    }
    for (const RfidElement* x : after) {
        if (x->kind == RfidKind::HostOut) {
            r.replies += controlEscapes(replaceFields(x->header, r.fields));
            continue;
        }
        auto it = r.fields.find(x->field);
        std::string value = it == r.fields.end() ? std::string() : it->second;
        r.replies += controlEscapes(x->header) + value + controlEscapes(x->trailer);
    }
    return r;
}

std::string replaceFields(const std::string& text, const std::map<int, std::string>& fields) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "<DF") == 0) {
            std::size_t k = i + 3;
            int n = 0;
            while (k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])) && n < 10000) n = n * 10 + (text[k++] - '0');
            if (k < text.size() && text[k] == '>' && k > i + 3) {
                auto it = fields.find(n);
                if (it != fields.end()) out += it->second;
                i = k;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string controlEscapes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && (text[i + 1] == 'r' || text[i + 1] == 'n')) {
            out += text[++i] == 'r' ? '\r' : '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

}  // namespace qovread
