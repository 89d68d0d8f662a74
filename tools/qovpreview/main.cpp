// qovpreview: draws the labels in files of printer input (an emulator
// capture, or a form's text) as PNG files, one per printed label.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "png_io.h"
#include "preview_options.h"
#include "renderer.h"

namespace {

const char kUsage[] =
    "usage: qovpreview [--dpi 203|300|600] [--paper WxL] [--out DIR] FILE...\n"
    "Reads files of printer input as the printer receives them (an emulator capture,\n"
    "or the text of a form) and writes one PNG per printed label, in print order,\n"
    "named NNN-<form name>.png, into DIR (default: the current folder).\n"
    "  --dpi N      printer resolution: 203 (default), 300 or 600\n"
    "  --texts      after each label, one line per text it draws: rotation and UTF-8 text\n"
    "  --paper WxL  paper width and length until the input sets them, in\n"
    "               thousandths of an inch (default 4000x6000) or in inches\n"
    "               with a decimal point (4.0x6.0)\n"
    "The files are one stream into one printer: forms and logos stored by one file\n"
    "serve the next. For each label one line tells the file, the PNG, its size in\n"
    "dots, what it holds and the copies. Statements that cannot be understood are\n"
    "reported on standard error with their line number and skipped.\n"
    "Exit status: 0 done, 1 a file could not be read or a PNG not written, 2 usage.\n";

}  // namespace

int main(int argc, char** argv) {
    qovpreview::Options options;
    std::string error;
    if (!qovpreview::parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qovpreview: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (mkdir(options.outDir.c_str(), 0755) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "qovpreview: cannot create %s: %s\n", options.outDir.c_str(), std::strerror(errno));
        return 1;
    }
    qovrender::RenderOptions renderOptions;
    renderOptions.dpi = options.dpi;
    qovrender::PrinterMemory memory;
    memory.language.setup.paperWidthMils =
        options.paperWidthMils > 0 ? options.paperWidthMils : renderOptions.metrics.paperWidthMils;
    memory.language.setup.paperLengthMils =
        options.paperLengthMils > 0 ? options.paperLengthMils : renderOptions.metrics.paperLengthMils;

    int status = 0;
    long long number = 0;
    for (const std::string& file : options.files) {
        std::vector<std::uint8_t> bytes;
        if (!qovrender::readFile(file, bytes, error)) {
            std::fprintf(stderr, "qovpreview: %s\n", error.c_str());
            status = 1;
            continue;
        }
        auto onNote = [&](long long line, const std::string& text) {
            std::fprintf(stderr, "%s:%lld: %s\n", file.c_str(), line, text.c_str());
        };
        auto onLabel = [&](const qovrender::PrintedLabel& label) {
            const std::string name = qovrender::labelFileName(++number, label.form.empty() ? "text" : label.form);
            const std::string path = options.outDir + "/" + name;
            std::vector<std::uint8_t> png;
            std::string why;
            if (!qovrender::encodePng(*label.picture, label.dpi, png, why) || !qovrender::writeFile(path, png, why)) {
                std::fprintf(stderr, "qovpreview: %s: %s\n", path.c_str(), why.c_str());
                status = 1;
                return;
            }
            std::printf("%s: %s %dx%d dots: %s; copies %lld\n", file.c_str(), path.c_str(), label.picture->width(),
                        label.picture->height(), label.summary.c_str(), label.copies);
            if (options.texts) {
                for (const auto& t : label.texts) std::printf("  text %d %s\n", t.second, t.first.c_str());
            }
            std::fflush(stdout);
        };
        qovrender::Renderer renderer(renderOptions, onLabel, onNote, &memory);
        std::string ready;
        if (!renderer.glyphs().ready(ready)) std::fprintf(stderr, "qovpreview: %s; text is not drawn\n", ready.c_str());
        renderer.feed(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        renderer.finish();
    }
    return status;
}
