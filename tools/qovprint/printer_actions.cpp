// The printer's own actions: identify, the test page, and the job callbacks' table.
#include <cstdlib>
#include <string>

#include "library_link.h"
#include "png_io.h"
#include "printer_driver.h"
#include "printer_jobs.h"
#include "printer_status.h"
#include "qovlib.h"
#include "renderer.h"

namespace qovprint {

void installRasterCallbacks(pappl_pr_driver_data_t* d);
void installRawCallbacks(pappl_pr_driver_data_t* d);

namespace {

using namespace std::chrono_literals;

// Identify: the printer feeds one blank label, the one thing every label printer can show.
void identify(pappl_printer_t* printer, pappl_identify_actions_t, const char*) {
    const char* uri = papplPrinterGetDeviceURI(printer);
    Lease lease(uri ? uri : "", 10s);
    if (!lease.held()) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Identify: %s", lease.error().c_str());
        return;
    }
    QOVA_FORMFEED();
}

const char* testPage(pappl_printer_t* printer, char* buffer, std::size_t size) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const int dpi = driverDpi(papplPrinterGetDriverName(printer));
    const pappl_media_col_t& m = data.media_ready[0].size_name[0] ? data.media_ready[0] : data.media_default;
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = tmp && *tmp ? tmp : "/tmp";
    std::string error;
    const std::string path =
        writeTestPage(dir + "/qovprint-" + std::to_string(papplPrinterGetID(printer)), dpi ? dpi : 203,
                      static_cast<int>(m.size_width * 1000L / 2540), static_cast<int>(m.size_length * 1000L / 2540),
                      &error);
    if (path.empty() || path.size() >= size) {
        papplLogPrinter(printer, PAPPL_LOGLEVEL_ERROR, "Test page: %s", error.c_str());
        return nullptr;
    }
    std::snprintf(buffer, size, "%s", path.c_str());
    return buffer;
}

}  // namespace

std::string writeTestPage(const std::string& stem, int dpi, int widthMils, int lengthMils, std::string* error) {
    std::string form;
    {
        Lease lease("", 10s);  // the form workspace is the library's, shared by every job
        if (!lease.held()) {
            *error = lease.error();
            return "";
        }
        const int w = widthMils * dpi / 1000, h = lengthMils * dpi / 1000;
        const int margin = dpi / 10;
        QOVA_DLLinit();
        QOVA_JobSetup(1, widthMils);
        QOVA_JobSetup(2, lengthMils);
        QOVA_Scale(dpi, dpi);
        QOVA_SetBarcode(2, 3, ("XD" + std::to_string(dpi / 100)).c_str());
        QOVA_SetBarcode(2, 1, "H6");
        QOVA_SetBarcode(7, 3, ("XD" + std::to_string(dpi / 40)).c_str());
        const int f = QOVA_CreateForm("QOVTEST");
        QOVA_DrawBox(f, 3, margin, margin, h - margin, w - margin);
        QOVA_PrintTextEng(f, margin * 3, margin * 2, 2, 2, "QOVPRINT TEST");
        QOVA_PrintTextEng(f, margin * 5, margin * 2, 0, 0, (std::to_string(dpi) + " DPI").c_str());
        QOVA_PrintBarcode(f, 2, margin * 6, margin * 2, "QOVPRINT-TEST");
        QOVA_PrintBarcode(f, 7, margin * 14, margin * 2, "https://qovlib.invalid/test");
        char* text = QOVA_GetFormData(f);
        if (text) form = text;
        std::free(text);
        QOVA_DLLinit();
    }
    if (form.empty()) {
        *error = "the library composed no form";
        return "";
    }
    qovrender::RenderOptions options;
    options.dpi = dpi;
    options.paperWidthMils = widthMils;
    options.paperLengthMils = lengthMils;
    std::vector<std::uint8_t> png;
    bool drawn = false;
    qovrender::Renderer renderer(
        options,
        [&](const qovrender::PrintedLabel& label) {
            if (!drawn && label.picture) drawn = qovrender::encodePng(*label.picture, dpi, png, *error);
        },
        [](long long, const std::string&) {});
    renderer.feed(form);
    renderer.finish();
    if (!drawn) {
        if (error->empty()) *error = "the renderer drew no label";
        return "";
    }
    const std::string path = stem + "-testpage.png";
    if (!qovrender::writeFile(path, png, *error)) return "";
    return path;
}

void installJobCallbacks(pappl_pr_driver_data_t* d) {
    installRasterCallbacks(d);
    installRawCallbacks(d);
    d->status_cb = statusCallback;
    d->identify_cb = identify;
    d->testpage_cb = testPage;
}

}  // namespace qovprint
