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

#include "job_claims.h"
#include "logo_strips.h"
#include "page_picture.h"
#include "printer_driver.h"
#include "printer_jobs.h"
#include "printer_status.h"
#include "qovlib.h"
#include "stream_watch.h"

namespace qovprint {

namespace {

constexpr std::size_t kMaxPageBytes = 16u << 20;  // one page's one-bit picture (600 dpi, 4.25 x 39 in fits)
constexpr int kFirstStripRows = 24;               // of a page sent strip by strip as it is built

struct RasterJob {
    JobSettings settings;
    PagePicture page;
    bool pageOpen = false;
    unsigned linesSeen = 0;  // lines of the open page delivered so far
    bool oneBitPng = false;  // the lines are a one-bit PNG's rows, not the header's raster
    // A page known whole before its first line (a decoded PNG) sends each
    // logo strip once its rows are built: the printer reads one strip while
    // the next is converted. A streamed raster may end early and keeps its
    // page until the last line.
    bool sendEarly = false;
    unsigned pageNo = 0;
    StripPlanner planner{StripLimits{}};
    int plannedRows = 0;              // page rows given to the planner
    std::vector<Strip> strips;        // the open page's strips, in order
    std::vector<std::string> logos;   // and their names, once stored
};

RasterJob* jobData(pappl_job_t* job) { return static_cast<RasterJob*>(papplJobGetData(job)); }

// A failing callback lets the job's data go at once: whether PAPPL still
// calls the end-of-job callback after a failure is not ours to rely on.
bool failJob(pappl_job_t* job) {
    unwatchStream(job);
    delete jobData(job);
    papplJobSetData(job, nullptr);
    releaseJob(job);
    return false;
}

void applySettings(const JobSettings& s) {
    QOVA_DLLinit();
    QOVA_JobSetup(1, s.widthMils);
    QOVA_JobSetup(2, s.lengthMils);
    QOVA_JobSetup(3, s.speedIps);
    QOVA_JobSetup(4, s.intensity);
    QOVA_Scale(s.dpi, s.dpi);
}

std::string pageBase(pappl_job_t* job, unsigned pageNo) {
    return "Q" + std::to_string(papplJobGetID(job) % 100000) + "P" + std::to_string(pageNo % 1000);
}

// Converts and stores (sends) the strips planned but not yet stored.
bool storeStrips(pappl_job_t* job, RasterJob& r) {
    const std::string base = pageBase(job, r.pageNo);
    while (r.logos.size() < r.strips.size()) {
        const Strip& s = r.strips[r.logos.size()];
        const std::string name = base + "S" + std::to_string(r.logos.size() + 1);
        char* text = printer_PNGLogo_NORMAL(reinterpret_cast<const char*>(r.page.row(s.firstRow)), name.c_str(), s.rows,
                                            r.page.width());
        if (!text) {
            papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Logo conversion failed for page %u.", r.pageNo);
            return false;
        }
        std::free(text);
        r.logos.push_back(name);
    }
    return true;
}

// Plans the rows the page has finished since the last call.
void planRows(RasterJob& r) {
    Strip closed{0, 0};
    for (const int done = r.page.rowsDone(); r.plannedRows < done; ++r.plannedRows)
        if (r.planner.addRow(r.page, r.plannedRows, &closed)) r.strips.push_back(closed);
}

bool sendPage(pappl_job_t* job, RasterJob& r) {
    planRows(r);
    Strip last{0, 0};
    if (r.planner.finish(&last)) r.strips.push_back(last);
    if (!storeStrips(job, r)) return false;
    const std::string base = pageBase(job, r.pageNo);
    applySettings(r.settings);
    const int form = QOVA_CreateForm(base.c_str());
    if (form < 0) return false;
    for (std::size_t i = 0; i < r.strips.size(); ++i)
        if (QOVA_PrintImage(form, r.strips[i].firstRow, 0, r.logos[i].c_str()) != 0) return false;
    char* text = QOVA_PrintForm(form);
    if (!text) return false;
    std::free(text);
    // The printer keeps what it stores: the job's form and logos go once printed.
    std::string cleanup = "~DELETE FORM;" + base;
    for (const std::string& name : r.logos) cleanup += "\r\n~DELETE LOGO;" + name;
    const int sent = sendcommand(cleanup.c_str());
    QOVA_DLLinit();
    if (!sent) papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer connection failed on page %u.", r.pageNo);
    return sent != 0;
}

// The logos of a page that will not print (cancelled, or its picture failed).
void deleteStoredLogos(RasterJob& r) {
    if (r.logos.empty()) return;
    std::string cleanup;
    for (const std::string& name : r.logos) cleanup += (cleanup.empty() ? "" : "\r\n") + ("~DELETE LOGO;" + name);
    sendcommand(cleanup.c_str());
    QOVA_DLLinit();
    r.logos.clear();
    r.strips.clear();
}

bool startJob(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*) {
    if (!claimJob(job)) return true;  // and the callbacks of this thread do nothing
    auto* r = new RasterJob;
    r->settings = settingsFor(options);
    papplJobSetData(job, r);
    watchStream(job);
    if (!waitUntilReady(job)) return failJob(job);
    QOVA_SETSENSOR(r->settings.sensor);
    return true;
}

bool startPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t*, unsigned page) {
    if (!ownsJob(job)) return true;
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
    if (r->oneBitPng)
        input = PagePicture::Input::White1;
    else if (h.cupsBitsPerPixel == 1 && space == CUPS_CSPACE_K)
        input = PagePicture::Input::Black1;
    else if (h.cupsBitsPerPixel == 8 && (space == CUPS_CSPACE_SW || space == CUPS_CSPACE_W))
        input = PagePicture::Input::Grey8;
    else {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unsupported raster: %u bits, colour space %u.", h.cupsBitsPerPixel,
                    space);
        return failJob(job);
    }
    // Every line is read as `cupsWidth` dots: a shorter line would be read past its end.
    const unsigned long long needed =
        input == PagePicture::Input::Black1 ? (h.cupsWidth + 7ull) / 8 : static_cast<unsigned long long>(h.cupsWidth);
    if (!r->oneBitPng && needed > h.cupsBytesPerLine) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Malformed raster: %u dots a line need %llu bytes, the line has %u.",
                    h.cupsWidth, needed, h.cupsBytesPerLine);
        return failJob(job);
    }
    std::string error;
    if (!r->page.start(static_cast<int>(h.cupsWidth), static_cast<int>(h.cupsHeight), input, kMaxPageBytes, &error)) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", error.c_str());
        return failJob(job);
    }
    if (h.HWResolution[0] > 0) r->settings.dpi = static_cast<int>(h.HWResolution[0]);
    r->pageOpen = true;
    r->linesSeen = 0;
    r->pageNo = page;
    // Sent early, a short first strip lets the printer start on the page
    // while the rest of it is decoded and converted.
    r->planner = StripPlanner(StripLimits{}, r->sendEarly ? kFirstStripRows : 0);
    r->plannedRows = 0;
    r->strips.clear();
    r->logos.clear();
    return true;
}

bool writeLine(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned y, const unsigned char* line) {
    if (!ownsJob(job)) return true;
    RasterJob* r = jobData(job);
    if (!r || !r->pageOpen) return false;
    r->page.addLine(static_cast<int>(y), line);
    if (y + 1 > r->linesSeen) r->linesSeen = y + 1;
    streamProgress(job);
    if (r->sendEarly) {
        const std::size_t stored = r->strips.size();
        planRows(*r);
        if (r->strips.size() != stored && !storeStrips(job, *r)) return failJob(job);
    }
    return true;
}

bool endPage(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*, unsigned page) {
    if (!ownsJob(job)) return true;
    RasterJob* r = jobData(job);
    if (!r || !r->pageOpen) return false;
    r->page.finish();
    r->pageOpen = false;
    if (papplJobIsCanceled(job)) {
        deleteStoredLogos(*r);
        return true;
    }
    // A stream cut short ends its page early: half a label is not printed.
    if (r->linesSeen < static_cast<unsigned>(r->page.height())) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u ended after %u of its %d lines: not printed.", page, r->linesSeen,
                    r->page.height());
        papplJobSetMessage(job, "The document ended in the middle of page %u.", page);
        return failJob(job);
    }
    if (r->logos.empty()) r->pageNo = page;
    return sendPage(job, *r) || failJob(job);
}

bool endJob(pappl_job_t* job, pappl_pr_options_t*, pappl_device_t*) {
    if (!ownsJob(job)) return true;
    unwatchStream(job);
    delete jobData(job);
    papplJobSetData(job, nullptr);
    releaseJob(job);
    return true;
}

}  // namespace

// A page that cannot be finished: the logos already stored for it go.
bool dropPage(pappl_job_t* job) {
    if (RasterJob* r = jobData(job)) deleteStoredLogos(*r);
    return failJob(job);
}

bool printPlacedPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* device,
                     const std::function<const std::uint8_t*(unsigned y)>& rowAt, int bitsPerDot) {
    const unsigned height = options->header.cupsHeight;
    const int copies = options->copies > 0 ? options->copies : 1;
    papplJobSetImpressions(job, 1);
    if (!startJob(job, options, device)) return false;
    if (RasterJob* r = jobData(job)) {
        r->oneBitPng = bitsPerDot == 1;
        r->sendEarly = true;  // the rows come in order and all of them, or the page is dropped
    }
    bool ok = true;
    for (int copy = 1; ok && copy <= copies && !papplJobIsCanceled(job); ++copy) {
        ok = startPage(job, options, device, static_cast<unsigned>(copy));
        for (unsigned y = 0; ok && y < height; ++y) {
            const std::uint8_t* line = rowAt(y);
            ok = line ? writeLine(job, options, device, y, line) : dropPage(job);
        }
        ok = ok && endPage(job, options, device, static_cast<unsigned>(copy));
        if (ok) papplJobSetImpressionsCompleted(job, 1);
    }
    endJob(job, options, device);
    return ok;
}

void installRasterCallbacks(pappl_pr_driver_data_t* d) {
    d->rstartjob_cb = startJob;
    d->rstartpage_cb = startPage;
    d->rwriteline_cb = writeLine;
    d->rendpage_cb = endPage;
    d->rendjob_cb = endJob;
}

}  // namespace qovprint
