#include "renderer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "label_painter.h"
#include "logo_decode.h"

namespace qovrender {

namespace {

constexpr char kRasterEnd[] = "~RASTEREND";
constexpr std::size_t kRasterEndLength = sizeof(kRasterEnd) - 1;

bool startsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

std::vector<std::string> fields(const std::string& s) {
    std::vector<std::string> out(1);
    for (char c : s) {
        if (c == ';') out.emplace_back();
        else out.back() += c;
    }
    return out;
}

bool parseNumber(const std::string& raw, long long& v) {
    std::size_t a = 0, b = raw.size();
    while (a < b && raw[a] == ' ') ++a;
    while (b > a && raw[b - 1] == ' ') --b;
    const bool negative = a < b && raw[a] == '-';
    if (negative) ++a;
    if (a == b || b - a > 9) return false;
    v = 0;
    for (std::size_t i = a; i < b; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(raw[i]))) return false;
        v = v * 10 + (raw[i] - '0');
    }
    if (negative) v = -v;
    return true;
}

std::string shown(const std::string& s) {
    std::string out;
    for (char c : s.substr(0, 60)) out += (static_cast<unsigned char>(c) < 0x20) ? '?' : c;
    return out;
}

}  // namespace

Renderer::Renderer(RenderOptions options, LabelSink onLabel, NoteSink onNote, PrinterMemory* shared)
    : options_(std::move(options)), onLabel_(std::move(onLabel)), onNote_(std::move(onNote)),
      own_(shared ? nullptr : new PrinterMemory), memory_(shared ? shared : own_.get()), glyphs_(options_.metrics) {
    if (options_.dpi < 100 || options_.dpi > 1200) options_.dpi = options_.metrics.defaultDpi;
    if (own_) {
        own_->paperWidthMils = options_.paperWidthMils > 0 ? options_.paperWidthMils : options_.metrics.paperWidthMils;
        own_->paperLengthMils = options_.paperLengthMils > 0 ? options_.paperLengthMils : options_.metrics.paperLengthMils;
    }
}

Renderer::~Renderer() = default;

void Renderer::note(long long line, const std::string& text) {
    if (onNote_) onNote_(line, text);
}

void Renderer::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        if (mode_ == Mode::Raster) onRasterByte(data[i]);
        else onByte(data[i]);
    }
}

void Renderer::finish() {
    if (mode_ == Mode::Raster) {
        closeBlock("image download without ~RASTEREND");
    } else {
        if (!line_.empty() || lineCut_) onLine();
        if (mode_ != Mode::Command && mode_ != Mode::Skip) closeBlock("not ended before the end of the input");
    }
    mode_ = Mode::Command;
    lastWasCR_ = false;
}

void Renderer::onByte(char c) {
    if (c == '\n' || c == '\r') {
        const bool pairedLF = c == '\n' && lastWasCR_;
        lastWasCR_ = c == '\r';
        if (!pairedLF) {
            onLine();
            ++lineNo_;
        }
        return;
    }
    lastWasCR_ = false;
    if (line_.size() >= options_.metrics.maxLine) {
        lineCut_ = true;
        return;
    }
    line_ += c;
    // The status request comes without a line end; it draws nothing.
    if (line_ == "~STATUS" && mode_ == Mode::Command) line_.clear();
}

void Renderer::onRasterByte(char c) {
    if (rasterSkipLF_) {
        rasterSkipLF_ = false;
        if (c == '\n') return;
    }
    if (c == '\n') ++lineNo_;
    if (c == kRasterEnd[rasterMatch_]) {
        if (++rasterMatch_ == kRasterEndLength) {
            rasterMatch_ = 0;
            finishLogo(true);
        }
        return;
    }
    auto append = [&](const char* p, std::size_t n) {
        if (bodyOver_) return;
        if (raster_.size() + n > options_.metrics.maxLogoBytes) {
            bodyOver_ = true;
            raster_.clear();
            raster_.shrink_to_fit();
            return;
        }
        raster_.append(p, n);
    };
    if (rasterMatch_ > 0) append(kRasterEnd, rasterMatch_);
    rasterMatch_ = c == kRasterEnd[0] ? 1 : 0;
    if (rasterMatch_ == 0) append(&c, 1);
}

void Renderer::onLine() {
    std::string line;
    line.swap(line_);
    if (lineCut_) {
        lineCut_ = false;
        note("line longer than " + std::to_string(options_.metrics.maxLine) + " bytes; the rest was dropped");
    }
    std::size_t a = 0;
    while (a < line.size() && (line[a] == ' ' || line[a] == '\t')) ++a;
    if (a == line.size()) return;
    if (mode_ == Mode::Command) return onCommand(line.substr(a));
    if (mode_ == Mode::Skip) {
        if (line.substr(a) == skipEnd_) mode_ = Mode::Command;
        return;
    }
    // A new command inside a block means the block never got its end line.
    if (line[a] == '~' || line[a] == '\x1b' || startsWith(line.substr(a), "!QOV_SETUP")) {
        closeBlock("not ended; discarded");
        return onCommand(line.substr(a));
    }
    std::size_t b = line.size();
    while (b > a && (line[b - 1] == ' ' || line[b - 1] == '\t')) --b;
    onBlockLine(line.substr(a, b - a));
}

void Renderer::closeBlock(const char* why) {
    const char* what = mode_ == Mode::FormBody ? "form " : "logo ";
    note(std::string(what) + shown(blockName_) + " " + why);
    mode_ = Mode::Command;
    body_.clear();
    raster_.clear();
    rasterMatch_ = 0;
}

void Renderer::onCommand(const std::string& line) {
    if (rasterTrailer_) {
        rasterTrailer_ = false;
        if (line == "END") return;  // the END after ~RASTEREND belongs to the download
    }
    if (startsWith(line, "\x1b!R")) {  // restart: the printer forgets its forms and logos
        memory_->forms.clear();
        memory_->logos.clear();
        return;
    }
    if (line[0] == '\x1b') return;  // other escape sequences: printer control, nothing to draw
    if (line == "~NORMAL" || line == "~!I" || startsWith(line, "OUT")) return;
    if (startsWith(line, "~PAPER;")) {
        const std::string what = line.substr(7);
        long long a = 0, b = 0;
        if (startsWith(what, "SIZE ")) {
            const std::size_t comma = what.find(',');
            if (comma == std::string::npos || !parseNumber(what.substr(5, comma - 5), a) ||
                !parseNumber(what.substr(comma + 1), b) || a < 0 || b < 0 || a > 100000 || b > 1000000) {
                note("paper size not understood, skipped: " + shown(line));
                return;
            }
            if (a > 0) memory_->paperWidthMils = static_cast<int>(a);
            if (b > 0) memory_->paperLengthMils = static_cast<int>(b);
        } else if (startsWith(what, "ROTATE ")) {
            if (!parseNumber(what.substr(7), a) || (a != 0 && a != 90 && a != 180 && a != 270)) {
                note("paper rotation must be 0, 90, 180 or 270; skipped");
                return;
            }
            memory_->rotate = static_cast<int>(a);
        } else if (!(startsWith(what, "SPEED") || startsWith(what, "INTENSITY") || startsWith(what, "LABELS") ||
                     startsWith(what, "MEDIA"))) {
            note("paper setting not understood, skipped: " + shown(line));
        }
        return;
    }
    if (startsWith(line, "~CREATE;")) {
        const auto f = fields(line);
        mode_ = Mode::FormBody;
        blockName_ = f.size() > 1 ? f[1] : std::string();
        blockLine_ = lineNo_;
        body_.clear();
        bodyBytes_ = 0;
        bodyOver_ = false;
        return;
    }
    if (startsWith(line, "~EXECUTE;")) return execute(line);
    if (startsWith(line, "~LOGO;")) {
        const auto f = fields(line);
        blockName_ = f.size() > 1 ? f[1] : std::string();
        blockLine_ = lineNo_;
        bodyOver_ = false;
        raster_.clear();
        if (f.size() > 2 && f[2] == "PCX") {
            mode_ = Mode::Raster;
            rasterMatch_ = 0;
            rasterSkipLF_ = lastWasCR_;  // the header's CR LF is one line end
            return;
        }
        long long h = 0, w = 0;
        if (f.size() < 4 || !parseNumber(f[2], h) || !parseNumber(f[3], w)) {
            note("logo header needs a name, height and width; skipped");
            mode_ = Mode::Skip;
            skipEnd_ = "END";
            return;
        }
        mode_ = Mode::LogoRows;
        logoHeight_ = static_cast<int>(h);
        logoWidth_ = static_cast<int>(w);
        return;
    }
    if (line == "!QOV_SETUP") {
        mode_ = Mode::Skip;
        skipEnd_ = "QOV_END";
        return;
    }
    if (line == "~CONFIG") {
        mode_ = Mode::Skip;
        skipEnd_ = "END";
        return;
    }
    if (line == kRasterEnd) {
        note("~RASTEREND without an image download");
        return;
    }
    note("statement not understood, skipped: " + shown(line));
}

void Renderer::onBlockLine(const std::string& line) {
    if (mode_ == Mode::FormBody) {
        if (line == "END") return finishForm();
        if (bodyOver_) return;
        bodyBytes_ += line.size() + 2;
        if (bodyBytes_ > options_.metrics.maxFormBytes) {
            bodyOver_ = true;
            body_.clear();
            body_.shrink_to_fit();
            return;
        }
        body_.push_back(FormLine{lineNo_, line});
        return;
    }
    // Logo rows.
    if (line == "END") return finishLogo(false);
    if (bodyOver_) return;
    if (raster_.size() + line.size() + 1 > options_.metrics.maxLogoBytes) {
        bodyOver_ = true;
        raster_.clear();
        raster_.shrink_to_fit();
        return;
    }
    raster_ += line;
    raster_ += '\n';
}

void Renderer::finishForm() {
    mode_ = Mode::Command;
    if (bodyOver_) {
        note(blockLine_, "form " + shown(blockName_) + " larger than " + std::to_string(options_.metrics.maxFormBytes) +
                             " bytes; discarded");
        return;
    }
    auto it = memory_->forms.find(blockName_);
    if (it == memory_->forms.end() && memory_->forms.size() >= options_.metrics.maxForms) {
        note(blockLine_, "form " + shown(blockName_) + " refused: " + std::to_string(options_.metrics.maxForms) +
                             " forms stored already");
        body_.clear();
        return;
    }
    StoredForm form;
    form.line = blockLine_;
    form.model = parseForm(body_, options_.dpi, options_.metrics,
                           [this](const std::string& name) { return glyphs_.findFont(name); }, onNote_);
    body_.clear();
    memory_->forms[blockName_] = std::move(form);
}

void Renderer::finishLogo(bool raster) {
    mode_ = Mode::Command;
    if (raster) rasterTrailer_ = true;
    std::string data;
    data.swap(raster_);
    if (bodyOver_) {
        note(blockLine_, "logo " + shown(blockName_) + " larger than " + std::to_string(options_.metrics.maxLogoBytes) +
                             " bytes; discarded");
        return;
    }
    auto it = memory_->logos.find(blockName_);
    if (it == memory_->logos.end() && memory_->logos.size() >= options_.metrics.maxLogos) {
        note(blockLine_, "logo " + shown(blockName_) + " refused: " + std::to_string(options_.metrics.maxLogos) +
                             " logos stored already");
        return;
    }
    Raster picture;
    std::string remark;
    const bool ok = raster ? decodePcx(data, options_.metrics, picture, remark)
                           : decodeLogoRows(logoHeight_, logoWidth_, data, options_.metrics, picture, remark);
    if (!remark.empty()) note(blockLine_, "logo " + shown(blockName_) + ": " + remark);
    if (!ok) return;
    memory_->logos[blockName_] = std::move(picture);
}

void Renderer::execute(const std::string& line) {
    const auto f = fields(line);
    const std::string name = f.size() > 1 ? f[1] : std::string();
    long long copies = 1;
    if (f.size() > 2 && !f[2].empty() && (!parseNumber(f[2], copies) || copies < 1 || copies > options_.metrics.maxCopies)) {
        note("copies must be 1 to " + std::to_string(options_.metrics.maxCopies) + "; label not printed");
        return;
    }
    auto it = memory_->forms.find(name);
    if (it == memory_->forms.end()) {
        note("form " + shown(name) + " is not stored; nothing printed");
        return;
    }
    const ModelMetrics& m = options_.metrics;
    const int dpi = options_.dpi;
    // The picture keeps the paper's width across; a quarter turn lays the
    // form out on the paper turned, then turns the picture onto it.
    long long across = std::llround(static_cast<double>(memory_->paperWidthMils) * dpi / 1000.0);
    long long along = std::llround(static_cast<double>(memory_->paperLengthMils) * dpi / 1000.0);
    if (across > m.maxRasterColumns || along > m.maxRasterRows) {
        note("label larger than " + std::to_string(m.maxRasterColumns) + " x " + std::to_string(m.maxRasterRows) +
             " dots; cut to that size");
    }
    across = std::clamp<long long>(across, 1, m.maxRasterColumns);
    along = std::clamp<long long>(along, 1, m.maxRasterRows);
    const bool quarter = memory_->rotate == 90 || memory_->rotate == 270;
    Raster canvas(static_cast<int>(quarter ? along : across), static_cast<int>(quarter ? across : along));
    const long long executeLine = lineNo_;
    const std::string summary = paintLabel(
        it->second.model, canvas, dpi, m, glyphs_,
        [this](const std::string& logo) -> const Raster* {
            auto l = memory_->logos.find(logo);
            return l == memory_->logos.end() ? nullptr : &l->second;
        },
        [&](const std::string& text) { note(executeLine, "form " + shown(name) + ": " + text); });
    const Raster picture = memory_->rotate ? canvas.rotated(memory_->rotate) : Raster();
    PrintedLabel label;
    label.form = name;
    label.copies = copies;
    label.line = executeLine;
    label.dpi = dpi;
    label.picture = memory_->rotate ? &picture : &canvas;
    label.summary = summary;
    ++labels_;
    if (onLabel_) onLabel_(label);
}

}  // namespace qovrender
