// Raster jobs: each page becomes a one-bit picture at the printer's
// resolution, sent as logo strips placed by one form that deletes them after
// printing.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "logo_strips.h"
#include "page_picture.h"
#include "printer_driver.h"
#include "printer_jobs.h"
#include "printer_status.h"
#include "qovlib.h"

namespace qovprint {

namespace {

constexpr std::size_t kMaxPageBytes = 16u << 20;  // one page's one-bit picture (600 dpi, 4.25 x 39 in fits)

struct RasterJob {
    JobSettings settings;
    PagePicture page;
    bool pageOpen = false;
    int greyMax = 255;               // the largest grey level the lines carry
    std::vector<std::uint8_t> line;  // a line with its levels stretched
};

std::size_t options_width(const RasterJob* r) { return static_cast<std::size_t>(r->page.inputWidth()); }

// PAPPL hands the lines of a grey PNG of 1, 2 or 4 bits a pixel over with
// their levels as stored (0..1, 0..3, 0..15), not stretched to 0..255: a
// one-bit PNG's white would read as black. The PNG header tells the depth.
int pngGreyMax(const char* path) {
    std::FILE* f = path ? std::fopen(path, "rb") : nullptr;
    if (!f) return 255;
    unsigned char h[26] = {};
    const bool whole = std::fread(h, 1, sizeof h, f) == sizeof h;
    std::fclose(f);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!whole || std::memcmp(h, signature, 8) != 0 || std::memcmp(h + 12, "IHDR", 4) != 0) return 255;
    const int depth = h[24], colourType = h[25];
    if ((colourType == 0 || colourType == 4) && depth < 8) return (1 << depth) - 1;
    return 255;
}

RasterJob* jobData(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

void applySettings(const JobSettings& s) {
    QOVA_DLLinit();
    QOVA_JobSetup(1, s.widthMils);
    QOVA_JobSetup(2, s.lengthMils);
    QOVA_JobSetup(3, s.speedIps);
    QOVA_JobSetup(4, s.intensity);
    QOVA_Scale(s.dpi, s.dpi);
}

bool sendPage(pappl_job_t* job, RasterJob& r, unsigned pageNo) {
    const std::string base = "Q" + std::to_string(papplJobGetID(job) % 100000) + "P" + std::to_string(pageNo % 1000);
    const std::vector<Strip> strips = planStrips(r.page, StripLimits{});
    std::vector<std::string> logos;
    for (std::size_t i = 0; i < strips.size(); ++i) {
        logos.push_back(base + "S" + std::to_string(i + 1));
        char* text = printer_PNGLogo_NORMAL(reinterpret_cast<const char*>(r.page.row(strips[i].firstRow)),
                                            logos.back().c_str(), strips[i].rows, r.page.width());
        if (!text) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Logo conversion failed for page %u.", pageNo);
            return false;
        }
        std::free(text);
    }
    applySettings(r.settings);
    const int form = QOVA_CreateForm(base.c_str());
    if (form < 0) return false;
    for (std::size_t i = 0; i < strips.size(); ++i)
        if (QOVA_PrintImage(form, strips[i].firstRow, 0, logos[i].c_str()) != 0) return false;
    char* text = QOVA_PrintForm(form);
    if (!text) return false;
    std::free(text);
    // The printer keeps what it stores: the job's form and logos go once printed.
    std::string cleanup = "~DELETE FORM;" + base;
    for (const std::string& name : logos) cleanup += "\r\n~DELETE LOGO;" + name;
    const int sent = sendcommand(cleanup.c_str());
    QOVA_DLLinit();
    if (!sent) papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer connection failed on page %u.", pageNo);
    return sent != 0;
}

bool startJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*) {
    auto* r = new RasterJob;
    r->settings = settingsFor(options);
    const char* format = papplJobGetFormat(job);
    if (format && !std::strcmp(format, "image/png")) r->greyMax = pngGreyMax(papplJobGetFilename(job));
    papplJobSetData(job, r);
    if (!waitUntilReady(job)) {
        delete r;
        papplJobSetData(job, nullptr);
        return false;
    }
    QOVA_SETSENSOR(r->settings.sensor);
    return true;
}

bool startPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned) {
    RasterJob* r = jobData(job);
    if (!r) return false;
    const auto& h = options->header;
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "Page raster: %ux%u, %u bits, colour space %d, %u bytes a line.", h.cupsWidth,
                h.cupsHeight, h.cupsBitsPerPixel, h.cupsColorSpace, h.cupsBytesPerLine);
    // The stream may hold any number as its colour space: read it as one.
    unsigned space = 0;
    static_assert(sizeof space == sizeof h.cupsColorSpace, "colour space is one word");
    std::memcpy(&space, &h.cupsColorSpace, sizeof space);
    PagePicture::Input input;
    if (h.cupsBitsPerPixel == 1 && space == CUPS_CSPACE_K)
        input = PagePicture::Input::Black1;
    else if (h.cupsBitsPerPixel == 8 && (space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W))
        input = PagePicture::Input::Grey8;
    else {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported raster: %u bits, colour space %u.", h.cupsBitsPerPixel,
                    space);
        return false;
    }
    // Every line is read as `cupsWidth` dots: a shorter line would be read past its end.
    const unsigned long long needed =
        input == PagePicture::Input::Black1 ? (h.cupsWidth + 7ull) / 8 : static_cast<unsigned long long>(h.cupsWidth);
    if (needed > h.cupsBytesPerLine) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Malformed raster: %u dots a line need %llu bytes, the line has %u.",
                    h.cupsWidth, needed, h.cupsBytesPerLine);
        return false;
    }
    std::string error;
    if (!r->page.start(static_cast<int>(h.cupsWidth), static_cast<int>(h.cupsHeight), input, kMaxPageBytes, &error)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
        return false;
    }
    if (h.HWResolution[0] > 0) r->settings.dpi = static_cast<int>(h.HWResolution[0]);
    r->pageOpen = true;
    return true;
}

bool writeLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line) {
    RasterJob* r = jobData(job);
    if (!r || !r->pageOpen) return false;
    if (r->greyMax != 255 && r->page.input() == PagePicture::Input::Grey8) {
        // Stretch the levels of a low-depth grey PNG to the full range.
        r->line.resize(options_width(r));
        for (std::size_t x = 0; x < r->line.size(); ++x)
            r->line[x] = static_cast<std::uint8_t>(std::min(255, line[x] * 255 / r->greyMax));
        r->page.addLine(static_cast<int>(y), r->line.data());
        return true;
    }
    r->page.addLine(static_cast<int>(y), line);
    return true;
}

bool endPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
    RasterJob* r = jobData(job);
    if (!r || !r->pageOpen) return false;
    r->page.finish();
    r->pageOpen = false;
    if (papplJobIsCanceled(job)) return true;
    return sendPage(job, *r, page);
}

bool endJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    delete jobData(job);
    papplJobSetData(job, nullptr);
    return true;
}

}  // namespace

void installRasterCallbacks(pappl_pr_driver_data_t* d) {
    d->rstartjob_cb = startJob;
    d->rstartpage_cb = startPage;
    d->rwriteline_cb = writeLine;
    d->rendpage_cb = endPage;
    d->rendjob_cb = endJob;
}

}  // namespace qovprint
