// The one reader of the command language, fed the input twice with small
// caps: once whole and once in chunks whose sizes come from the input. Both
// readings must give the same events, stay within the caps, number every
// note with a line that exists, and run their RFID statements in bounds.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "job_reader.h"
#include "rfid_tag.h"

namespace {

struct Events : qovread::ReaderSink {
    std::string log;  // every event in order, as text
    const qovread::JobReader* reader = nullptr;
    void note(long long line, const std::string& text, bool error) override {
        FUZZ_CHECK(line >= 1 && !text.empty());
        if (reader) FUZZ_CHECK(line <= reader->line());
        log += "N" + std::to_string(line) + (error ? "E" : "") + text + "\n";
    }
    void textPage(const qovread::TextPage& page) override {
        FUZZ_CHECK(!page.lines.empty() && !page.blank());
        log += "T" + std::to_string(page.lines.size()) + "\n";
    }
    void label(const qovread::LabelJob& job) override {
        FUZZ_CHECK(job.form != nullptr);
        FUZZ_CHECK(job.copies >= 1 && job.copies <= 1000000);
        FUZZ_CHECK(job.firstPage >= 0 && job.firstPage <= 99999999);
        qovread::SimulatedTag tag(1);
        const qovread::TagRun run = tag.run(*job.form, nullptr);
        FUZZ_CHECK(run.replies.size() <= 64 * 1024 * 1024);
        log += "L" + job.form->name + ";" + std::to_string(job.copies) + ";" + std::to_string(job.data.size()) + "\n";
    }
    void status() override { log += "S\n"; }
    void out(const std::string& q) override { log += "O" + q + "\n"; }
    void setupEnd(bool calibrate) override { log += calibrate ? "C\n" : "E\n"; }
};

qovread::ReaderLimits smallLimits() {
    qovread::ReaderLimits l;
    l.maxLine = 256;
    l.maxFormBytes = 4096;
    l.maxForms = 4;
    l.maxLogoBytes = 4096;
    l.maxLogos = 4;
    l.maxElements = 64;
    l.maxDataLines = 32;
    l.maxPageLines = 64;
    return l;
}

void checkBounds(const qovread::JobReader& r, const qovread::ReaderLimits& l) {
    FUZZ_CHECK(r.memory().forms.size() <= l.maxForms);
    FUZZ_CHECK(r.memory().logos.size() <= l.maxLogos);
    FUZZ_CHECK(r.heldBytes() <= l.maxLine + l.maxFormBytes + l.maxLogoBytes);
    for (const auto& f : r.memory().forms) {
        FUZZ_CHECK(f.second->elements.size() <= l.maxElements);
        FUZZ_CHECK(f.second->body.size() <= l.maxFormBytes);
    }
    for (const auto& g : r.memory().logos) FUZZ_CHECK(g.second->image.size() + g.second->rows.size() <= l.maxLogoBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const qovread::ReaderLimits limits = smallLimits();
    const char* bytes = reinterpret_cast<const char*>(data);
    Events whole, parts;
    qovread::JobReader one(whole, nullptr, limits), many(parts, nullptr, limits);
    whole.reader = &one;
    parts.reader = &many;
    one.feed(bytes, size);
    checkBounds(one, limits);
    std::uint32_t state = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) state = (state ^ data[i]) * 16777619u;
    for (std::size_t at = 0; at < size;) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t n = std::min<std::size_t>(1 + state % 64, size - at);
        many.feed(bytes + at, n);
        checkBounds(many, limits);
        at += n;
    }
    one.finish();
    many.finish();
    FUZZ_CHECK(whole.log == parts.log);
    FUZZ_CHECK(one.memory().forms.size() == many.memory().forms.size());
    FUZZ_CHECK(one.controlChar() == many.controlChar());
    return 0;
}
