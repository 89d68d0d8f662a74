// PNG jobs: decoded by qovprint (png_decode) and handed to PAPPL's image
// placement, which calls the raster callbacks. PAPPL's own PNG filter keeps
// 1, 2 and 4-bit grey levels unstretched and tells a refused size only its
// log; this one fails the job with a message that says why.
#include "job_claims.h"
#include "png_decode.h"
#include "printer_driver.h"
#include "printer_jobs.h"

namespace qovprint {

namespace {

ImageLimits gLimits;

// The picture is the page dot for dot (a label drawn for this printer): PAPPL's
// placement would copy it unchanged, at a third of the job's time.
bool alreadyPlaced(const GreyPicture& p, const pappl_pr_options_t& o) {
    const auto& h = o.header;
    const bool sameDots = h.cupsWidth == static_cast<unsigned>(p.width) &&
                          h.cupsHeight == static_cast<unsigned>(p.height) && h.cupsBitsPerPixel == 8 &&
                          h.cupsBytesPerLine == h.cupsWidth;
    const bool sameScale = p.ppi == static_cast<int>(h.HWResolution[0]) ||
                           (p.ppi == 0 && o.print_scaling != PAPPL_SCALING_NONE);
    const bool upright = o.orientation_requested == IPP_ORIENT_PORTRAIT || o.orientation_requested == IPP_ORIENT_NONE;
    return sameDots && sameScale && upright && h.HWResolution[0] == h.HWResolution[1];
}

void refuse(pappl_job_t* job, const std::string& error) {
    papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "PNG refused: %s.", error.c_str());
    papplJobSetMessage(job, "PNG refused: %s.", error.c_str());
    papplJobSetReasons(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR, PAPPL_JREASON_NONE);
}

bool printPng(pappl_job_t* job, pappl_device_t* device) {
    // Read row by row: a placed page goes out while the rest of it is decoded.
    PngRows png;
    std::string error;
    if (!png.open(papplJobGetFilename(job), gLimits, &error, true)) {
        refuse(job, error);
        return false;
    }
    GreyPicture& picture = png.picture();
    papplLogJob(job, PAPPL_LOGLEVEL_DEBUG, "PNG of %dx%d pixels at %d ppi.", picture.width, picture.height,
                picture.ppi);
    pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 1, false);
    if (!options) return false;
    bool ok;
    if (alreadyPlaced(picture, *options)) {
        ok = printPlacedPage(
            job, options, device, [&](unsigned y) { return png.row(static_cast<int>(y), &error); },
            picture.bitsPerDot);
        if (!ok && !error.empty()) refuse(job, error);
    } else if (!png.readAll(&error)) {
        refuse(job, error);
        ok = false;
    } else {
        expandBits(&picture);  // PAPPL places bytes
        ok = papplJobFilterImage(job, device, options, picture.pixels.data(), picture.width, picture.height, 1,
                                 picture.ppi, false);
    }
    papplJobDeletePrintOptions(options);
    return ok;
}

bool filterPng(pappl_job_t* job, pappl_device_t* device, void*) {
    if (!claimJob(job)) return true;
    const bool ok = printPng(job, device);
    releaseJob(job);
    return ok;
}

}  // namespace

void addPngFilter(pappl_system_t* system, const ImageLimits& limits) {
    gLimits = limits;
    papplSystemAddMIMEFilter(system, "image/png", kCommandFormat, filterPng, nullptr);
}

}  // namespace qovprint
