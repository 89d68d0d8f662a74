// Sequences of form and setup calls decoded from the input (every element
// kind, any numbers and texts), each checked against a small model that
// restates the composition rules on its own: the header, every element
// block and the closing of the output.
//
// Input: a list of calls, each an operation byte and its arguments
// (numbers: a selector byte, then four bytes when it asks for a raw value;
// texts: a length byte and the bytes; form numbers: a selector byte).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "fuzz_input.h"
#include "sim.h"
#include "qovlib.h"

namespace {

using fuzz::Input;

constexpr int kNotSet = -1000;

std::string d(int v) { return std::to_string(v); }

// ---------------------------------------------------------------------------
// The model: the workspace as the rules describe it, and the texts it makes.
// ---------------------------------------------------------------------------

struct Cell {
    bool given = false;
    std::string text;
};
struct RfidField {
    int length;
    std::uint8_t increment;
    std::string format;
    int step;
    std::string data;
};
struct FormEntry {
    std::string text;
    std::string name;
};

struct Model {
    int job[8];
    int formFirst, formSecond, scaleFirst, scaleSecond;
    std::string fontName;
    int slant, bold, codePage;
    Cell barcode[15][10];
    std::vector<RfidField> rfid;
    std::vector<FormEntry> forms;

    Model() { init(); }
    void init() {
        for (int& j : job) j = kNotSet;
        formFirst = formSecond = scaleFirst = scaleSecond = kNotSet;
        fontName.clear();
        slant = bold = codePage = kNotSet;
        for (auto& row : barcode)
            for (auto& c : row) c = Cell{};
        rfid.clear();
        forms.clear();
    }
    bool valid(int form) const { return form >= 0 && form < static_cast<int>(forms.size()); }

    int jobSetup(int type, int value) {
        static const int lo[8] = {0, 100, 100, 1, -15, 0, 0, 0};
        static const int hi[8] = {0, 8500, 99000, 10, 15, 4, 4, 270};
        if (type == 0) {
            for (int& j : job) j = kNotSet;
            return 0;
        }
        if (type < 1 || type > 7 || value < lo[type] || value > hi[type]) return 1;
        if (type == 7 && value % 90 != 0) return 1;
        job[type] = value;
        return 0;
    }
    int formSetup(int type, int value) {
        if ((type != 1 && type != 2) || value < 1) return 1;
        (type == 1 ? formFirst : formSecond) = value;
        return 0;
    }
    int fontSetup(int type, const std::string& t) {
        static const char* const pages[] = {"ASCII", "GB", "BIG5", "KSC", "SJIS", "UTF8"};
        switch (type) {
        case 0: fontName = t; return 0;
        case 1: bold = t == "ON" ? 1 : t == "OFF" ? 0 : kNotSet; return bold == kNotSet;
        case 2: slant = t == "R" ? 0 : t == "L" ? 1 : kNotSet; return slant == kNotSet;
        case 3:
            codePage = kNotSet;
            for (int i = 0; i < 6; ++i)
                if (t == pages[i]) codePage = i;
            return codePage == kNotSet;
        default: return 1;
        }
    }
    int setBarcode(int kind, int column, const std::string& t) {
        if (kind < 0 || kind > 14 || column < 0 || column > 9) return 1;
        if (column == 0) {
            for (auto& c : barcode[kind]) c = Cell{};
        } else {
            barcode[kind][column] = Cell{true, t};
        }
        return 0;
    }

    std::string header(const std::string& name) const {
        static const char* const paper[8] = {"",
                                             "~PAPER;SIZE ",
                                             "~PAPER;SIZE 0,",
                                             "~PAPER;SPEED IPS ",
                                             "~PAPER;INTENSITY ",
                                             "~PAPER;LABELS ",
                                             "~PAPER;MEDIA ",
                                             "~PAPER;ROTATE "};
        std::string lines;
        for (int i = 1; i <= 7; ++i)
            if (job[i] != kNotSet) lines += paper[i] + d(job[i]) + (i == 1 ? ",0\r\n" : "\r\n");
        std::string h = lines.empty() ? "" : "~NORMAL\r\n" + lines;
        h += "~CREATE;" + name + ";X" + (formFirst != kNotSet ? ";" + d(formFirst) : "") + "\r\n";
        if (!fontName.empty() || slant != kNotSet || bold != kNotSet || codePage != kNotSet) {
            static const char* const symset[] = {";SYMSET 0",    ";SYMSET 1100", ";SYMSET 1101",
                                                 ";SYMSET 1102", ";SYMSET 1103", ";SYMSET 'UTF8'"};
            h += "FONT";
            if (!fontName.empty()) h += ";NAME " + fontName;
            if (slant != kNotSet) h += slant == 0 ? ";SLANT RIGHT" : ";SLANT LEFT";
            if (bold != kNotSet) h += bold == 1 ? ";BOLD ON" : ";BOLD OFF";
            if (codePage != kNotSet) h += symset[codePage];
            h += "\r\n";
        }
        if (scaleFirst != kNotSet) h += "SCALE;DOT;" + d(scaleFirst) + ";" + d(scaleSecond) + "\r\n";
        return h;
    }

    std::string barcodeElement(int kind, int f1, int f2, const std::string& data) const {
        static const char* const kinds[] = {"C3/9;",  "C128A;",  "C128B;", "C128C;",
                                            "EAN13;", "UPC-A;",  "MAXICODE;", "QRCODE;",
                                            "PDF417;", "AZTEC;", "DATAMATRIX;", "EAN8;",
                                            "I-2/5;", "CODABAR;", "UCC-128;"};
        const Cell* row = barcode[kind];
        std::string e = std::string("BARCODE\r\n") + kinds[kind];
        if (row[2].given) {
            const std::string& r = row[2].text;
            e += r == "90" ? "CW;" : r == "180" ? "INV;" : r == "270" ? "CCW;" : "";
        }
        const struct { int column; const char* letter; } options[] = {
            {3, "X"}, {1, "H"}, {5, "X"}, {6, "Y"}, {7, "T"}, {8, "E"}, {9, "M"}};
        for (const auto& o : options)
            if (row[o.column].given) e += o.letter + row[o.column].text + ";";
        e += d(f1) + ";" + d(f2) + "\r\n*" + data + "*\r\n";
        if (row[4].given) e += "PDF\r\n";
        return e + "STOP\r\n";
    }

    std::string writeRfidElement(const std::string& lock, const std::string& tag) const {
        std::uint32_t total = 0;  // 32-bit signed addition, wrapping
        std::string fields;
        for (const RfidField& f : rfid) {
            total += static_cast<std::uint32_t>(f.length);
            fields += d(f.length) + ";";
            if (f.increment) fields += "I;";
            fields += (f.format.empty() ? std::string("D") : f.format) + ";";
            if (f.increment) fields += (f.step > 0 ? "STEP+" : "STEP") + d(f.step) + ";";
            fields += "*" + f.data + "*\r\n";
        }
        return "RFWTAG;" + (lock.empty() ? "" : "LOCK" + lock + ";") +
               d(static_cast<int>(total)) + ";" + tag + "\r\n" + fields + "STOP\r\n";
    }

    std::string output(int form) const {
        const FormEntry& f = forms[static_cast<std::size_t>(form)];
        return f.text + "END\r\n~EXECUTE;" + f.name +
               (formSecond != kNotSet ? ";" + d(formSecond) : "") + "\r\n~NORMAL\r\n";
    }
};

// ---------------------------------------------------------------------------
// Decoding
// ---------------------------------------------------------------------------

// Numbers: the edges of every accepted range, the not-set value, the ends
// of int32, or any value.
int number(Input& in) {
    static const int picks[] = {0,    1,     -1,    2,     3,  4,   5,   7,   8,   10,
                                11,   14,    15,    -15,   16, 90,  180, 270, 45,  99,
                                100,  8500,  8501,  99000, 99001, kNotSet, INT32_MIN,
                                INT32_MAX};
    const std::uint8_t s = in.u8();
    const std::size_t n = sizeof picks / sizeof picks[0];
    if (s < n) return picks[s];
    if (s < 200) return static_cast<int>(s) - 100;
    return static_cast<int>(in.u32());
}

// Texts: the words the setup calls know, or any bytes (cut at a NUL, as the
// C text they become).
std::string text(Input& in) {
    static const char* const words[] = {"ON", "OFF", "R", "L", "ASCII", "GB", "BIG5", "KSC",
                                        "SJIS", "UTF8", "90", "180", "270", "on", ""};
    const std::uint8_t s = in.u8();
    if (s < 15) return words[s];
    return std::string(in.bytes(s % 40).c_str());
}

int formNumber(Input& in, const Model& m) {
    const std::uint8_t s = in.u8();
    if (s < 240 && !m.forms.empty()) return s % static_cast<int>(m.forms.size());
    return s == 255 ? INT32_MIN : static_cast<int>(m.forms.size()) + (s & 3) - 2;
}

// Appends `element` to the model's form when it exists, and checks the
// call's result: 0 when appended, 1 for a form number that names no form.
void expectAppend(Model& m, int form, const std::string& element, int result) {
    if (m.valid(form)) {
        FUZZ_CHECK(result == 0);
        m.forms[static_cast<std::size_t>(form)].text += element;
    } else {
        FUZZ_CHECK(result == 1);
    }
}

void checkForm(const Model& m, int form) {
    char* text = QOVA_GetFormData(form);
    if (!m.valid(form)) {
        FUZZ_CHECK(text == nullptr);
        return;
    }
    FUZZ_CHECK(text != nullptr);
    FUZZ_CHECK(text == m.output(form));
    std::free(text);
}

void step(Input& in, Model& m) {
    const std::uint8_t op = in.u8() % 18;
    switch (op) {
    case 0:
        QOVA_DLLinit();
        m.init();
        break;
    case 1: {
        const int type = number(in), value = number(in);
        FUZZ_CHECK(QOVA_JobSetup(type, value) == m.jobSetup(type, value));
        break;
    }
    case 2: {
        const int type = number(in), value = number(in);
        FUZZ_CHECK(QOVA_FormSetup(type, value) == m.formSetup(type, value));
        break;
    }
    case 3: {
        const int a = number(in), b = number(in);
        FUZZ_CHECK(QOVA_Scale(a, b) == 0);
        m.scaleFirst = a;
        m.scaleSecond = b;
        break;
    }
    case 4: {
        const int type = number(in);
        const std::string t = text(in);
        FUZZ_CHECK(QOVA_FontSetup(type, t.c_str()) == m.fontSetup(type, t));
        break;
    }
    case 5: {
        const int kind = number(in), column = number(in);
        const std::string t = text(in);
        FUZZ_CHECK(QOVA_SetBarcode(kind, column, t.c_str()) == m.setBarcode(kind, column, t));
        break;
    }
    case 6: {
        RfidField f;
        f.length = number(in);
        f.increment = in.u8();
        f.format = text(in);
        f.step = number(in);
        f.data = text(in);
        FUZZ_CHECK(QOVA_SetupRFID(f.length, f.increment, f.format.c_str(), f.step,
                                  f.data.c_str()) == 0);
        m.rfid.push_back(f);
        break;
    }
    case 7: {
        const std::string name = text(in);
        const int form = QOVA_CreateForm(name.c_str());
        FUZZ_CHECK(form == static_cast<int>(m.forms.size()));
        m.forms.push_back({m.header(name), name});
        break;
    }
    case 8: {
        const int form = formNumber(in, m);
        int b[5];
        for (int& v : b) v = number(in);
        expectAppend(m, form,
                     "BOX\r\n" + d(b[0]) + ";" + d(b[1]) + ";" + d(b[2]) + ";" + d(b[3]) + ";" +
                         d(b[4]) + "\r\nSTOP\r\n",
                     QOVA_DrawBox(form, b[0], b[1], b[2], b[3], b[4]));
        break;
    }
    case 9: {
        const int form = formNumber(in, m);
        const int k = number(in), r1 = number(in), c1 = number(in), r2 = number(in),
                  c2 = number(in);
        std::string e;
        if (r1 == r2)
            e = "HORZ\r\n" + d(k) + ";" + d(r1) + ";" + d(c1) + ";" + d(c2);
        else if (c1 == c2)
            e = "VERT\r\n" + d(k) + ";" + d(c1) + ";" + d(r1) + ";" + d(r2);
        else
            e = "DIAG\r\n" + d(k) + ";" + d(r1) + ";" + d(c1) + ";" + d(r2) + ";" + d(c2);
        expectAppend(m, form, e + "\r\nSTOP\r\n", QOVA_DrawLine(form, k, r1, c1, r2, c2));
        break;
    }
    case 10:
    case 11: {
        const int form = formNumber(in, m);
        int f[4];
        for (int& v : f) v = number(in);
        const std::string t = text(in);
        const std::string e = std::string(op == 10 ? "ALPHA" : "TWOBYTE") + "\r\n" + d(f[0]) +
                              ";" + d(f[1]) + ";" + d(f[2]) + ";" + d(f[3]) + ";*" + t +
                              "*\r\nSTOP\r\n";
        const int r = op == 10 ? QOVA_PrintTextEng(form, f[0], f[1], f[2], f[3], t.c_str())
                               : QOVA_PrintTextCH(form, f[0], f[1], f[2], f[3], t.c_str());
        expectAppend(m, form, e, r);
        break;
    }
    case 12: {
        const int form = formNumber(in, m);
        const int kind = number(in), f1 = number(in), f2 = number(in);
        const std::string data = text(in);
        const int r = QOVA_PrintBarcode(form, kind, f1, f2, data.c_str());
        if (kind < 0 || kind > 14)
            FUZZ_CHECK(r == 1);
        else
            expectAppend(m, form, m.barcodeElement(kind, f1, f2, data), r);
        break;
    }
    case 13: {
        const int form = formNumber(in, m);
        const int f1 = number(in), f2 = number(in);
        const std::string name = text(in);
        expectAppend(m, form, "LOGO\r\n" + d(f1) + ";" + d(f2) + ";" + name + "\r\nSTOP\r\n",
                     QOVA_PrintImage(form, f1, f2, name.c_str()));
        break;
    }
    case 14: {
        const int form = formNumber(in, m);
        const int f1 = number(in), f2 = number(in);
        const std::string name = text(in);
        const std::string e = "LOGO\n" + d(f1) + ";" + d(f2) + ";" + name + "\nSTOP\n";
        char* copy = printer_Logo(form, name.c_str(), f1, f2);
        FUZZ_CHECK(copy != nullptr && copy == e);  // its copy, whatever the form number
        std::free(copy);
        expectAppend(m, form, e, 0 + !m.valid(form));
        break;
    }
    case 15: {
        const int form = formNumber(in, m);
        const std::string lock = text(in), tag = text(in);
        const int r = QOVA_WriteRFID(form, lock.c_str(), tag.c_str());
        if (m.rfid.empty())
            FUZZ_CHECK(r == 1);
        else
            expectAppend(m, form, m.writeRfidElement(lock, tag), r);
        break;
    }
    case 16: {
        const int form = formNumber(in, m);
        const std::string unlock = text(in), tag = text(in);
        const int length = number(in);
        const std::string format = text(in);
        const std::string e = "RFRTAG;" + (unlock.empty() ? "" : "UNLOCK" + unlock + ";") +
                              d(length) + ";" + tag + "\r\n" + d(length) + ";DF1;" + format +
                              "\r\nSTOP\r\nVERIFY;DF1;" + format + ";**;*\\r\\n*\r\n";
        expectAppend(m, form, e,
                     QOVA_VerifyRFID(form, unlock.c_str(), tag.c_str(), length, format.c_str()));
        break;
    }
    default:
        checkForm(m, formNumber(in, m));
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    qov::sim::SimScope sim;
    Model m;
    QOVA_DLLinit();
    for (int calls = 0; calls < 64 && !in.done(); ++calls) step(in, m);
    for (int form = 0; form < static_cast<int>(m.forms.size()); ++form) checkForm(m, form);
    FUZZ_CHECK(sim->writes.empty());  // composing sends nothing
    return 0;
}
