#include "job_reader.h"

#include <algorithm>
#include <cmath>
#include <cctype>
#include <cstdlib>

#include "text_fields.h"

namespace qovread {

namespace {

const char* const kModeKeywords[] = {"CREATE", "EXECUTE", "NORMAL", "PAPER", "DELETE", "LOGO",
                                     "CONFIG", "STATUS",  "QUIET",  "LISTEN", "LPI",   "RESET"};

// Keywords of statements that may stand inline in plain text.
const char* const kInlineKeywords[] = {"FONT", "EXPAND", "DENSITY", "ISET", "LPI"};

std::string stripTrailing(const std::string& s) {
    std::size_t b = s.size();
    while (b > 0 && (s[b - 1] == ' ' || s[b - 1] == '\t')) --b;
    return s.substr(0, b);
}

std::size_t firstNonBlank(const std::string& s) {
    std::size_t a = 0;
    while (a < s.size() && (s[a] == ' ' || s[a] == '\t')) ++a;
    return a;
}

bool keywordAt(const std::string& s, std::size_t at, const char* word) {
    const std::size_t n = std::char_traits<char>::length(word);
    if (s.compare(at, n, word) != 0) return false;
    return at + n == s.size() || s[at + n] == ';' || s[at + n] == ' ' || s[at + n] == '\t';
}

}  // namespace

bool TextPage::blank() const {
    for (const TextLine& l : lines) {
        for (char c : l.bytes) {
            if (c != ' ') return false;
        }
    }
    return true;
}

JobReader::JobReader(ReaderSink& sink, Memory* memory, ReaderLimits limits)
    : sink_(sink), own_(memory ? nullptr : new Memory), memory_(memory ? memory : own_.get()), limits_(limits),
      splitter_(LineSplitter::Handler{
                    [this](std::string& t, long long l, bool ff, bool cut) { statement(t, l, ff, cut); },
                    [this](std::string& t) { partial(t); },
                    [this](const char* d, std::size_t n) {
                        if (!logo_ || over_) return;
                        if (logo_->image.size() + n > limits_.maxLogoBytes) {
                            over_ = true;
                            logo_->image.clear();
                            logo_->image.shrink_to_fit();
                            return;
                        }
                        logo_->image.append(d, n);
                    },
                    [this]() { storeLogo(); rasterTrailer_ = true; }},
                limits.maxLine) {}

JobReader::~JobReader() = default;

std::size_t JobReader::heldBytes() const {
    std::size_t n = splitter_.held();
    if (logo_) n += logo_->image.size() + logo_->rows.size();
    if (form_) n += form_->bytes;
    return n;
}

void JobReader::feed(const char* data, std::size_t size) { splitter_.feed(data, size); }

void JobReader::finish() {
    if (splitter_.inImage()) {
        line_ = splitter_.line();
        endDefinition((std::string("without ") + cc_ + "RASTEREND before the end of the input").c_str());
    }
    splitter_.finish();
    line_ = splitter_.line();
    switch (mode_) {
    case Mode::Form:
    case Mode::LogoRows:
        endDefinition("not ended before the end of the input");
        break;
    case Mode::Execute: endExecute(); break;
    case Mode::Config:
    case Mode::Setup: note("block not ended before the end of the input"); break;
    default: break;
    }
    if (mode_ == Mode::Setup) sink_.setupEnd(calibrate_);
    mode_ = Mode::Normal;
    flushTextPage();
}

void JobReader::partial(std::string& text) {
    // The status request comes without a line end: it is taken as soon as
    // its last byte is in.
    if (text.size() != 7 || text[6] != 'S' || text[0] != cc_ || text.compare(1, 6, "STATUS") != 0) return;
    if (mode_ == Mode::Form || mode_ == Mode::LogoRows) {
        line_ = splitter_.line();
        endDefinition("interrupted by a status request");
    }
    if (mode_ == Mode::Execute) endExecute();
    text.clear();
    rasterTrailer_ = false;
    if (codePagePending_) {
        codePagePending_ = false;
        sink_.codePageQuery();
    }
    sink_.status();
}

bool JobReader::stripEnvelopes(std::string& text) {
    bool changed = false;
    for (;;) {
        if (startsWith(text, "\x1b%-12345X")) {
            text.erase(0, 9);
            changed = true;
        } else if (startsWith(text, "<xpml>")) {
            const std::size_t close = text.find("</xpml>");
            text.erase(0, close == std::string::npos ? text.size() : close + 7);
            changed = true;
        } else {
            break;
        }
    }
    if (startsWith(text, "@PJL")) {
        text.clear();
        changed = true;
    }
    return changed;
}

// A control statement under a new character: a printable byte that is no
// letter, digit or delimiter-like byte, then a mode keyword.
bool JobReader::detectControl(const std::string& text) {
    const std::size_t a = firstNonBlank(text);
    if (a >= text.size()) return false;
    const unsigned char c = static_cast<unsigned char>(text[a]);
    if (c == static_cast<unsigned char>(cc_)) return true;
    if (c <= 0x20 || c >= 0x7f || std::isalnum(c) || std::string("/!<\"'*").find(static_cast<char>(c)) != std::string::npos) {
        return false;
    }
    for (const char* k : kModeKeywords) {
        if (keywordAt(text, a + 1, k)) {
            cc_ = static_cast<char>(c);
            note(std::string("control character is now '") + cc_ + "'");
            return true;
        }
    }
    return false;
}

bool JobReader::isStatement(const std::string& text) const {
    const std::size_t a = firstNonBlank(text);
    return a < text.size() && text[a] == cc_;
}

void JobReader::statement(std::string& raw, long long line, bool formFeed, bool cut) {
    line_ = line;
    if (cut) note("line longer than " + std::to_string(limits_.maxLine) + " bytes; the rest was dropped", true);
    const bool enveloped = stripEnvelopes(raw);
    std::string text = stripTrailing(raw);
    if (enveloped && text.empty()) {
        if (formFeed) normalLine(text, true);
        return;
    }
    if (rasterTrailer_) {
        if (text.empty()) return;
        rasterTrailer_ = false;
        if (trimBlanks(text) == "END") return;  // the END after the image closes the download
    }
    switch (mode_) {
    case Mode::Quiet:
        if (isStatement(text) && keywordAt(text, firstNonBlank(text) + 1, "LISTEN")) mode_ = Mode::Normal;
        return;
    case Mode::Ignore:
        if (isStatement(text) && keywordAt(text, firstNonBlank(text) + 1, "IGOFF")) mode_ = Mode::Normal;
        return;
    case Mode::Form:
    case Mode::LogoRows: return blockLine(text);
    case Mode::Config: return configLine(text);
    case Mode::Setup: return setupLine(text);
    case Mode::Execute:
        executeLine(text);
        if (formFeed && mode_ == Mode::Execute) printPage();
        else if (formFeed) normalLine(std::string(), true);
        return;
    default: return normalLine(text, formFeed);
    }
}

void JobReader::normalLine(const std::string& text, bool formFeed) {
    const std::size_t a = firstNonBlank(text);
    if (a < text.size()) {
        const std::string body = text.substr(a);
        if (body[0] == '\x1b') {
            if (startsWith(body, "\x1b!R")) {
                memory_->forms.clear();
                memory_->logos.clear();
                sink_.restart();
            } else {
                note("printer-control sequence ignored");
            }
        } else if (startsWith(body, "!QOV_SETUP")) {
            mode_ = Mode::Setup;
            calibrate_ = false;
            setupStopped_ = false;
            setupEntries_ = 0;
            const std::string rest = trimBlanks(body.substr(10));
            if (!rest.empty()) setupLine(rest);
        } else if (startsWith(body, "OUT") && body.find_first_not_of(' ', 3) != std::string::npos &&
                   body[body.find_first_not_of(' ', 3)] == '"') {
            const std::size_t first = body.find('"'), last = body.rfind('"');
            if (codePagePending_) {
                codePagePending_ = false;
                sink_.codePageQuery();
            }
            if (last > first) sink_.out(body.substr(first + 1, last - first - 1));
            else note("OUT without its closing quote", true);
        } else if (detectControl(text)) {
            control(body.substr(1));
        } else {
            textLine(text);
        }
    } else if (!formFeed) {
        textLine(std::string());
    }
    if (formFeed && mode_ == Mode::Normal) flushTextPage();
}

void JobReader::control(const std::string& rest) {
    if (codePagePending_ && rest != "!I") {
        codePagePending_ = false;
        sink_.codePageQuery();
    }
    const auto f = splitFields(rest);
    const std::string& k = f[0];
    if (k == "NORMAL") return resetText();
    if (k == "CREATE") return startCreate(rest);
    if (k == "EXECUTE") return startExecute(rest);
    if (k == "LOGO") return startLogo(rest);
    if (k == "PAPER") return paperStatement(rest);
    if (k == "!I") {
        codePagePending_ = true;
        return;
    }
    if (k == "DELETE FORM" || k == "DELETE LOGO") {
        const bool forms = k == "DELETE FORM";
        const std::string name = f.size() > 1 ? f[1] : std::string();
        if (name == "*ALL") {
            if (forms) memory_->forms.clear();
            else memory_->logos.clear();
        } else if (forms ? memory_->forms.erase(name) == 0 : memory_->logos.erase(name) == 0) {
            note(std::string(forms ? "form " : "logo ") + shown(name) + " to delete is not stored");
        }
        sink_.forgotten(forms, name);
        return;
    }
    if (k == "RESET") {
        for (auto it = memory_->forms.begin(); it != memory_->forms.end();) it = it->second->disk ? std::next(it) : memory_->forms.erase(it);
        for (auto it = memory_->logos.begin(); it != memory_->logos.end();) it = it->second->disk ? std::next(it) : memory_->logos.erase(it);
        resetText();
        lineAdvance_ = 1.0 / 6;
        sink_.reset();
        return;
    }
    if (k == "CONFIG") {
        if (f.size() > 1 && f[1] == "RESET") {
            memory_->setup.upcDescenders = true;
            memory_->setup.uppercase = false;
            memory_->setup.autoWrap = false;
            memory_->setup.hostFormLength = true;
            textFont_ = FontState();
            return;
        }
        mode_ = Mode::Config;
        return;
    }
    if (k == "QUIET") {
        note("QUIET: nothing is read until LISTEN");
        mode_ = Mode::Quiet;
        return;
    }
    if (k == "LISTEN" || k == "PIOFF" || k == "PION" || k == "SFON" || k == "SFOFF" || k == "STATUS") return;
    if (k == "IGON") {
        mode_ = Mode::Ignore;
        return;
    }
    if (k == "IGOFF") return;
    if (k == "REPEAT" || k == "IDENTITY" || k == "EMULATION" || k == "SETUP" || k == "DIRECTORY") {
        return note(k + " ignored");
    }
    if (k == "SFCC") {
        const std::string v = f.size() > 1 ? f[1] : std::string();
        long long code = 0;
        char c = 0;
        if ((v.size() == 2 || v.size() == 3) && readInt(v, code) && code > 0x20 && code < 0x7f) c = static_cast<char>(code);
        else if (!v.empty() && static_cast<unsigned char>(v[0]) > 0x20 && static_cast<unsigned char>(v[0]) < 0x7f) c = v[0];
        if (!c) return note("SFCC needs the new control character", true);
        cc_ = c;
        return note(std::string("control character is now '") + cc_ + "'");
    }
    if (k == "RASTEREND") return note("image end marker without an image download");
    long long n = 0;
    if (k == "LPI" || k == "DENSITY") {
        if (f.size() != 2 || !readInt(f[1], n) || n < 1 || n > 1000) return note(k + " needs a number from 1", true);
        if (k == "LPI") lineAdvance_ = 1.0 / static_cast<double>(n);
        else charAdvance_ = 1.0 / static_cast<double>(n);
        return;
    }
    if (k == "LFORM6" || k == "LFORM8") {
        if (f.size() != 2 || !readInt(f[1], n) || n < 1 || n > 10000) return note(k + " needs a line count", true);
        textPageLength_ = static_cast<double>(n) / (k == "LFORM6" ? 6 : 8);
        return;
    }
    if (k == "EXPAND") {
        long long ve = 0, he = 0;
        if (f.size() != 3 || !readInt(f[1], ve) || !readInt(f[2], he) || ve < 0 || he < 0 || ve > 113 || he > 113 ||
            (ve == 0) != (he == 0)) {
            return note("EXPAND needs VE;HE from 0 to 113, both zero or both not", true);
        }
        expandVe_ = static_cast<int>(ve);
        expandHe_ = static_cast<int>(he);
        return;
    }
    if (k == "FONT" || k == "ISET") {
        Form scratch;
        FormReader r(scratch, textFont_, limits_, [this](long long, const std::string& t, bool e) { note(t, e); });
        r.line(rest, line_);
        textFont_ = r.font();
        return;
    }
    bool lower = false;
    for (char c : k) lower |= std::islower(static_cast<unsigned char>(c)) != 0;
    if (lower) return note("keyword in lower case not recognised: " + shown(rest), true);
    note("statement not understood, skipped: " + shown(rest), true);
}

void JobReader::resetText() {
    textFont_ = FontState();
    textFont_.iset = formFontBase_.iset;
    expandVe_ = expandHe_ = 0;
}

void JobReader::paperStatement(const std::string& rest) {
    const auto f = splitFields(rest);
    PrinterSetup& s = memory_->setup;
    for (std::size_t i = 1; i < f.size(); ++i) {
        const std::string o = trimBlanks(f[i]);
        long long a = 0, b = 0;
        sink_.paper(o, line_);
        if (startsWith(o, "SIZE ")) {
            const auto wl = splitFields(o.substr(5), ',');
            if (wl.size() != 2 || !readInt(wl[0], a) || !readInt(wl[1], b) || a < 0 || b < 0 || a > 100000 || b > 1000000) {
                note("paper size not understood, skipped: " + shown(o), true);
                continue;
            }
            if (a > 0) s.paperWidthMils = static_cast<int>(a);
            if (b > 0) s.paperLengthMils = static_cast<int>(b);
        } else if (startsWith(o, "ROTATE ")) {
            if (!readInt(o.substr(7), a) || (a != 0 && a != 90 && a != 180 && a != 270)) {
                note("paper rotation must be 0, 90, 180 or 270; skipped", true);
                continue;
            }
            s.rotate = static_cast<int>(a);
        } else if (o == "LANDSCAPE") {
            s.rotate = 90;
        } else if (o == "EJECT") {
            flushTextPage();
        } else if (startsWith(o, "WIDTH ") || startsWith(o, "LENGTH ")) {
            note("paper " + shown(o) + ": units unknown, ignored");
        } else {
            static const char* const kKnown[] = {"INTENSITY ", "SPEED IPS ", "SLEW IPS ", "MEDIA ", "TYPE ", "LABELS ",
                                                 "CUT ", "PAUSE ", "TEAR ", "FEED SHIFT ", "CALIBRATE"};
            if (std::none_of(std::begin(kKnown), std::end(kKnown), [&](const char* p) { return startsWith(o, p); })) {
                note("paper option not known, ignored: " + shown(o));
            }
        }
    }
}

// ~CREATE;[/]name[;FL][;NOMOTION][;DISK]
void JobReader::startCreate(const std::string& rest) {
    const auto f = splitFields(rest);
    form_ = std::make_shared<Form>();
    form_->line = line_;
    std::string name = f.size() > 1 ? f[1] : std::string();
    if (!name.empty() && name[0] == '/') {
        form_->debug = true;
        name = name.substr(1);
    }
    if (name.empty() || name.size() > 64) {
        note("form name must be 1 to 64 bytes; form skipped", true);
        name = name.substr(0, 64);
    } else if (name.size() > 15) {
        note("form name longer than 15 characters");
    }
    form_->name = name;
    bool lengthSeen = false;
    for (std::size_t i = 2; i < f.size(); ++i) {
        const std::string o = trimBlanks(f[i]);
        long long n = 0;
        if (o == "NOMOTION") form_->noMotion = true;
        else if (o == "DISK") form_->disk = true;
        else if (o == "X") {
            form_->lengthKind = Form::Length::Physical;
            lengthSeen = true;
        } else if (readInt(o, n) && n >= 0 && n <= 65535) {
            if (lengthSeen) {
                note("number after X ignored");
                continue;
            }
            lengthSeen = true;
            if (n == 0) form_->lengthKind = Form::Length::Lowest;
            else {
                form_->lengthKind = Form::Length::Dots;
                form_->length = static_cast<double>(n) / 72.0;
            }
        } else if (!o.empty()) {
            note("CREATE option " + shown(o) + " not understood", true);
        }
    }
    if (!memory_->setup.hostFormLength) form_->lengthKind = Form::Length::Physical;
    FontState base;
    base.iset = textFont_.iset;
    formReader_ = std::make_unique<FormReader>(*form_, base, limits_,
                                               [this](long long l, const std::string& t, bool e) { sink_.note(l, t, e); });
    over_ = false;
    mode_ = Mode::Form;
}

// ~LOGO;name;VL;HL[;DOT][;DISK] or ~LOGO;name;PCX|TIFF[;DISK]
void JobReader::startLogo(const std::string& rest) {
    const auto f = splitFields(rest);
    logo_ = std::make_shared<Logo>();
    logo_->line = line_;
    logo_->name = f.size() > 1 ? f[1] : std::string();
    over_ = false;
    if (logo_->name.empty()) note("logo without a name", true);
    if (f.size() > 2 && (f[2] == "PCX" || f[2] == "TIFF")) {
        logo_->kind = f[2] == "PCX" ? Logo::Kind::Pcx : Logo::Kind::Tiff;
        logo_->disk = f.size() > 3 && f[3] == "DISK";
        mode_ = Mode::LogoImage;
        splitter_.startImage(std::string(1, cc_) + "RASTEREND");
        return;
    }
    long long h = 0, w = 0;
    if (f.size() < 4 || !readInt(f[2], h) || !readInt(f[3], w) || h < 1 || w < 1 || h > 100000 || w > 100000) {
        note("logo header needs a name, height and width; logo skipped", true);
        logo_->height = logo_->width = 0;
        over_ = true;
    } else {
        logo_->height = static_cast<int>(h);
        logo_->width = static_cast<int>(w);
        if (h > 252 || w > 240) note("logo larger than 252 x 240 dots");
    }
    for (std::size_t i = 4; i < f.size(); ++i) {
        if (f[i] == "DISK") logo_->disk = true;
        else if (f[i] != "DOT" && !f[i].empty()) note("logo option " + shown(f[i]) + " ignored");
    }
    mode_ = Mode::LogoRows;
}

void JobReader::endDefinition(const char* why) {
    const bool isForm = mode_ == Mode::Form;
    const std::string name = isForm ? (form_ ? form_->name : std::string()) : (logo_ ? logo_->name : std::string());
    note(std::string(isForm ? "form " : "logo ") + shown(name) + " " + why + "; discarded", true);
    form_.reset();
    formReader_.reset();
    logo_.reset();
    mode_ = Mode::Normal;
}

void JobReader::blockLine(const std::string& text) {
    if (isStatement(text)) {
        endDefinition("not ended");
        return normalLine(text, false);
    }
    const std::string t = trimBlanks(text);
    if (t.empty()) return;
    if (mode_ == Mode::LogoRows) {
        if (t == "END") return storeLogo();
        if (over_) return;
        if (logo_->rows.size() + t.size() + 1 > limits_.maxLogoBytes) {
            over_ = true;
            logo_->rows.clear();
            return note("logo larger than " + std::to_string(limits_.maxLogoBytes) + " bytes; discarded", true);
        }
        logo_->rows += t;
        logo_->rows += '\n';
        return;
    }
    if (t == "END") {
        formReader_->finish(line_);
        return storeForm();
    }
    if (over_) return;
    if (form_->bytes + t.size() + 2 > limits_.maxFormBytes) {
        over_ = true;
        form_->elements.clear();
        form_->elements.shrink_to_fit();
        form_->body.clear();
        form_->body.shrink_to_fit();
        form_->bytes = 0;
        return note("form " + shown(form_->name) + " larger than " + std::to_string(limits_.maxFormBytes) + " bytes; discarded", true);
    }
    form_->bytes += t.size() + 2;
    form_->body += t;
    form_->body += "\r\n";
    if (t[0] == '/') return;  // a comment
    formReader_->line(t, line_);
}

void JobReader::storeForm() {
    mode_ = Mode::Normal;
    std::shared_ptr<Form> form = std::move(form_);
    formReader_.reset();
    if (over_ || !form || form->name.empty()) return;
    if (!memory_->forms.count(form->name) && memory_->forms.size() >= limits_.maxForms) {
        return note("form " + shown(form->name) + " refused: " + std::to_string(limits_.maxForms) + " forms stored already", true);
    }
    for (const Element& e : form->elements) {
        if (const auto* t = std::get_if<TextElement>(&e)) form->counts |= t->incremental;
    }
    memory_->forms[form->name] = form;
    sink_.formStored(*form);
}

void JobReader::storeLogo() {
    mode_ = Mode::Normal;
    std::shared_ptr<Logo> logo = std::move(logo_);
    if (!logo) return;
    if (over_) {
        if (logo->kind != Logo::Kind::Dots) note("logo larger than " + std::to_string(limits_.maxLogoBytes) + " bytes; discarded", true);
        return;
    }
    if (logo->name.empty()) return;
    if (!memory_->logos.count(logo->name) && memory_->logos.size() >= limits_.maxLogos) {
        return note("logo " + shown(logo->name) + " refused: " + std::to_string(limits_.maxLogos) + " logos stored already", true);
    }
    memory_->logos[logo->name] = logo;
    sink_.logoStored(*logo);
}

void JobReader::configLine(const std::string& text) {
    if (isStatement(text)) {
        note("~CONFIG block not ended by END");
        mode_ = Mode::Normal;
        return normalLine(text, false);
    }
    const std::string t = trimBlanks(text);
    if (t.empty()) return;
    if (t == "END") {
        mode_ = Mode::Normal;
        return;
    }
    const std::size_t semi = t.find(';');
    const std::string name = t.substr(0, semi), value = semi == std::string::npos ? std::string() : t.substr(semi + 1);
    sink_.configItem(name, value, line_);
    PrinterSetup& s = memory_->setup;
    if (name == "UPC DESCENDERS") s.upcDescenders = value != "0";
    else if (name == "UPPERCASE") s.uppercase = value == "1";
    else if (name == "AUTO WRAP") s.autoWrap = value == "1";
    else if (name == "HOST FORM LENGTH") s.hostFormLength = value != "0";
    else if (name == "SNOOP") return;
    else note("configuration item " + shown(name) + " noted; it changes nothing");
}

void JobReader::setupLine(const std::string& text) {
    const std::string t = trimBlanks(text);
    if (t == "QOV_END" || t == "!QOV_END") {
        mode_ = Mode::Normal;
        sink_.setupEnd(calibrate_);
        calibrate_ = false;
        return;
    }
    if (setupStopped_ || t.empty()) return;
    std::string entry;
    for (std::size_t i = 0; i <= t.size() && !setupStopped_; ++i) {
        if (i == t.size() || t[i] == ' ' || t[i] == '\t' || t[i] == ',') {
            if (!entry.empty()) setupEntry(entry);
            entry.clear();
        } else {
            entry += t[i];
        }
    }
}

void JobReader::setupEntry(const std::string& entry) {
    if (++setupEntries_ > limits_.maxSetupEntries) {
        if (setupEntries_ == limits_.maxSetupEntries + 1) note("setup block longer than " + std::to_string(limits_.maxSetupEntries) + " entries; the rest is skipped");
        return;
    }
    PrinterSetup& s = memory_->setup;
    auto apply = [&](const std::string& command, const std::string& values) {
        long long n = 0;
        if (command == "ENGINE-WIDTH" || command == "ENGINE-LENGTH") {
            if (!readInt(values, n) || n < 1 || n > 100000) {
                note(command + " needs a size in 1/1000 inch", true);
                return true;
            }
            (command == "ENGINE-WIDTH" ? s.paperWidthMils : s.paperLengthMils) = static_cast<int>(n);
            return true;
        }
        if (command == "ENGINE-MIRROR") {
            if (values != "0") note("ENGINE-MIRROR is not applied");
            return true;
        }
        if (command == "ENGINE-IMAGE_SHFT_H" || command == "ENGINE-IMAGE_SHFT_V" || command == "CONFIG-LOAD") {
            note(command + " is not applied");
            return true;
        }
        if (command == "RFID-RFID_CAL") {
            calibrate_ = true;
            return true;
        }
        if (command == "CONFIG-SETMENU" || command == "CONFIG-RESET") {
            sink_.setupCommand(command, values, line_);
            return true;
        }
        note("unknown setup command " + shown(command) + "; the rest of the block is skipped", true);
        setupStopped_ = true;
        return false;
    };
    if (entry.find(':') != std::string::npos || entry.back() == '.') {
        // CATEGORY-param;value:param;value.
        std::string e = entry.back() == '.' ? entry.substr(0, entry.size() - 1) : entry;
        const std::size_t dash = e.find('-');
        if (dash == std::string::npos) {
            note("setup entry " + shown(entry) + " not understood; the rest of the block is skipped", true);
            setupStopped_ = true;
            return;
        }
        const std::string category = e.substr(0, dash);
        for (const std::string& p : splitFields(e.substr(dash + 1), ':')) {
            const std::size_t semi = p.find(';');
            if (!apply(category + "-" + p.substr(0, semi), semi == std::string::npos ? std::string() : p.substr(semi + 1))) return;
        }
        return;
    }
    const std::size_t semi = entry.find(';');
    std::string values = semi == std::string::npos ? std::string() : entry.substr(semi + 1);
    apply(entry.substr(0, semi), values);
}

// ~EXECUTE;name[;PAGE n][;count][;ICNTn][;IRSTn][;DISK]
void JobReader::startExecute(const std::string& rest) {
    const auto f = splitFields(rest);
    job_ = LabelJob();
    job_.line = line_;
    job_.overlay.line = line_;
    pageData_ = false;
    copies_ = 1;
    execOk_ = true;
    mode_ = Mode::Execute;
    overlayNext_ = -1;
    const std::string name = f.size() > 1 ? f[1] : std::string();
    for (std::size_t i = 2; i < f.size(); ++i) {
        const std::string o = trimBlanks(f[i]);
        long long n = 0;
        if (startsWith(o, "PAGE ") && readInt(o.substr(5), n) && n >= 0 && n <= limits_.maxPageNumber) job_.firstPage = n;
        else if (readInt(o, n)) {
            if (n < 1 || n > limits_.maxCopies) {
                note("count must be 1 to " + std::to_string(limits_.maxCopies) + "; nothing printed", true);
                execOk_ = false;
            }
            copies_ = n;
        } else if (startsWith(o, "ICNT") || startsWith(o, "IRST")) note(o + " ignored");
        else if (o == "DISK" || o.empty()) continue;
        else {
            note("EXECUTE option " + shown(o) + " not understood; nothing printed", true);
            execOk_ = false;
        }
    }
    auto it = memory_->forms.find(name);
    if (it == memory_->forms.end()) {
        if (execOk_) note("form " + shown(name) + " is not stored; nothing printed", true);
        execOk_ = false;
        return;
    }
    job_.form = it->second;
    job_.copies = copies_;
    if (execOk_) sink_.executeStarted(job_);
}

bool JobReader::dataLine(const std::string& t) {
    std::size_t k = 0;
    while (k < t.size() && std::isupper(static_cast<unsigned char>(t[k]))) ++k;
    const std::string key = t.substr(0, k);
    if (key != "AF" && key != "BF" && key != "GF" && key != "IAF" && key != "IBF") return false;
    std::size_t d = k;
    while (d < t.size() && std::isdigit(static_cast<unsigned char>(t[d]))) ++d;
    if (d == k || d >= t.size() || t[d] != ';') return false;
    std::string value;
    if (!readDelimited(t.substr(d + 1), value)) {
        note("data line without its closing delimiter; ignored", true);
        return true;
    }
    const std::string field = t.substr(0, d);
    const int n = std::atoi(t.c_str() + k);
    if (job_.form) {
        for (const Element& e : job_.form->elements) {
            int len = -1;
            if (const auto* x = std::get_if<TextElement>(&e); x && x->field == n && (key == "AF" || key == "IAF")) len = x->fieldLength;
            if (const auto* b = std::get_if<BarcodeElement>(&e); b && b->field == n && (key == "BF" || key == "IBF")) len = b->fieldLength;
            if (len >= 0 && static_cast<int>(value.size()) > len) {
                note(field + " data longer than its " + std::to_string(len) + " characters; cut");
                value.resize(static_cast<std::size_t>(len));
            }
        }
    }
    if (value.size() > limits_.maxFieldBytes) value.resize(limits_.maxFieldBytes);
    if (job_.data.size() < limits_.maxDataLines || job_.data.count(field)) job_.data[field] = value;
    pageData_ = true;
    return true;
}

void JobReader::executeLine(const std::string& text) {
    const std::size_t a = firstNonBlank(text);
    const std::string t = text.substr(a);
    if (!t.empty() && t[0] == cc_) {
        if (dataLine(t.substr(1))) return;
        if (keywordAt(t, 1, "REPEAT")) return note("REPEAT ignored");
        endExecute();
        return normalLine(text, false);
    }
    if (detectControl(text)) {
        endExecute();
        return normalLine(text, false);
    }
    if (startsWith(t, "\x1b") || startsWith(t, "!QOV_SETUP")) {
        endExecute();
        return normalLine(text, false);
    }
    if (dataLine(t)) return;
    // Overlay text, laid out like plain text from the label's corner.
    if (job_.overlay.lines.size() >= limits_.maxDataLines) return;
    TextLine l;
    l.line = line_;
    for (char c : text) {
        if (c == '\t') l.bytes.append(8 - l.bytes.size() % 8, ' ');
        else if (static_cast<unsigned char>(c) >= 0x20) l.bytes += c;
    }
    l.baseline = overlayNext_ < 0 ? 1.0 / 6 : overlayNext_;
    overlayNext_ = l.baseline + 1.0 / 6;
    if (l.bytes.find_first_not_of(' ') != std::string::npos) pageData_ = true;
    job_.overlay.lines.push_back(l);
}

void JobReader::printPage() {
    const bool print = execOk_ && (pageData_ || job_.firstOfExecute);
    if (print) {
        flushTextPage();
        sink_.label(job_);
    }
    const long long pages = job_.firstPage + (job_.form && job_.form->counts ? job_.copies : 0);
    std::shared_ptr<const Form> form = job_.form;
    const long long line = job_.line, copies = job_.copies;
    job_ = LabelJob();
    job_.form = form;
    job_.line = line;
    job_.copies = copies;
    job_.firstPage = print ? std::min(pages, limits_.maxPageNumber) : pages;
    job_.firstOfExecute = false;
    pageData_ = false;
    overlayNext_ = -1;
}

void JobReader::endExecute() {
    printPage();
    mode_ = Mode::Normal;
    execOk_ = false;
}

double JobReader::pageLength() const {
    return textPageLength_ > 0 ? textPageLength_ : memory_->setup.paperLengthMils / 1000.0;
}

void JobReader::textLine(const std::string& raw) {
    // Inline statements are taken out of the text.
    std::string text;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == cc_) {
            const char* const* k = std::find_if(std::begin(kInlineKeywords), std::end(kInlineKeywords),
                                                [&](const char* w) { return raw.compare(i + 1, std::char_traits<char>::length(w), w) == 0; });
            if (k != std::end(kInlineKeywords)) {
                const std::size_t close = raw.find(cc_, i + 1);
                note(std::string("inline ") + *k + " statement is not applied");
                if (close == std::string::npos) break;
                i = close;
                continue;
            }
        }
        if (raw[i] == '\t') text.append(8 - text.size() % 8, ' ');
        else if (static_cast<unsigned char>(raw[i]) >= 0x20) text += raw[i];
    }
    const double charAdvance = expandHe_ > 0 ? expandHe_ * 0.1 : charAdvance_;
    // AUTO WRAP;1: the characters past the right edge go on to the next
    // line, as many lines as they need; otherwise they are clipped.
    const PrinterSetup& setup = memory_->setup;
    const bool quarter = setup.rotate == 90 || setup.rotate == 270;
    const double width = (quarter ? setup.paperLengthMils : setup.paperWidthMils) / 1000.0;
    const std::size_t perLine = static_cast<std::size_t>(std::max(1.0, std::floor(width / charAdvance + 1e-9)));
    std::size_t from = 0;
    do {
        const std::size_t n = setup.autoWrap ? perLine : std::string::npos;
        pushTextLine(text.substr(from, n), charAdvance);
        from = n == std::string::npos ? text.size() : from + n;
    } while (from < text.size());
}

void JobReader::pushTextLine(std::string text, double charAdvance) {
    if (page_.lines.size() >= limits_.maxPageLines) flushTextPage();
    const double advance = expandVe_ > 0 ? expandVe_ * lineAdvance_ : lineAdvance_;
    const double baseline = nextBaseline_ < 0 || page_.lines.empty() ? advance : nextBaseline_;
    if (!page_.lines.empty() && baseline > pageLength() + 1e-9) flushTextPage();
    TextLine l;
    l.line = line_;
    l.bytes = std::move(text);
    l.baseline = page_.lines.empty() ? advance : baseline;
    l.cellHeight = expandVe_ > 0 ? expandVe_ * 0.1 : 0.1;
    l.advance = charAdvance;
    if (page_.lines.empty()) {
        page_.line = line_;
        page_.font = textFont_;
    }
    nextBaseline_ = l.baseline + advance;
    page_.lines.push_back(std::move(l));
}

void JobReader::flushTextPage() {
    if (!page_.lines.empty() && !page_.blank()) sink_.textPage(page_);
    page_ = TextPage();
    nextBaseline_ = -1;
}

}  // namespace qovread
