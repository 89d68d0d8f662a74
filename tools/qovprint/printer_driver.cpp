#include "printer_driver.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "printer_jobs.h"

namespace qovprint {

namespace {

pappl_pr_driver_t kDrivers[] = {
    {"qovlib_203dpi", "QOVLIB label printer, 203 dpi", "MFG:QOVLIB;MDL:Label Printer 203dpi;CMD:QOVLIB;", nullptr},
    {"qovlib_300dpi", "QOVLIB label printer, 300 dpi", "MFG:QOVLIB;MDL:Label Printer 300dpi;CMD:QOVLIB;", nullptr},
    {"qovlib_600dpi", "QOVLIB label printer, 600 dpi", "MFG:QOVLIB;MDL:Label Printer 600dpi;CMD:QOVLIB;", nullptr},
};

// The label sizes users pick, then the custom range.
const char* const kMedia[] = {
    "oe_2x1-label_2x1in", "oe_3x2-label_3x2in", "oe_4x2-label_4x2in", "oe_4x3-label_4x3in",
    "na_index-4x6_4x6in", "roll_max_4.25x39in", "roll_min_0.75x0.25in",
};

constexpr int kSpeedUnitsPerIps = 2540;  // print-speed is in hundredths of a millimetre per second
constexpr int kMinIps = 1, kMaxIps = 10, kDefaultIps = 4;
constexpr int kDarknessLevels = 31;      // INTENSITY -15 .. 15

void setMedia(pappl_media_col_t* m, const char* sizeName, const char* type) {
    std::memset(m, 0, sizeof *m);
    pwg_media_t* pwg = pwgMediaForPWG(sizeName);
    std::strncpy(m->size_name, sizeName, sizeof m->size_name - 1);
    m->size_width = pwg ? pwg->width : 10160;
    m->size_length = pwg ? pwg->length : 15240;
    std::strncpy(m->source, "main-roll", sizeof m->source - 1);
    std::strncpy(m->type, type, sizeof m->type - 1);
    m->tracking = PAPPL_MEDIA_TRACKING_GAP;
}

}  // namespace

pappl_pr_driver_t* driverTable(int* count) {
    *count = static_cast<int>(sizeof kDrivers / sizeof kDrivers[0]);
    return kDrivers;
}

int driverDpi(const char* name) {
    if (!name) return 0;
    if (!std::strcmp(name, "qovlib_203dpi")) return 203;
    if (!std::strcmp(name, "qovlib_300dpi")) return 300;
    if (!std::strcmp(name, "qovlib_600dpi")) return 600;
    return 0;
}

bool driverCallback(pappl_system_t*, const char* driverName, const char*, const char*, pappl_pr_driver_data_t* d,
                    ipp_t** attrs, void*) {
    const int dpi = driverDpi(driverName);
    if (!dpi) return false;
    for (const auto& drv : kDrivers)
        if (!std::strcmp(drv.name, driverName))
            std::strncpy(d->make_and_model, drv.description, sizeof d->make_and_model - 1);

    installJobCallbacks(d);
    d->format = kCommandFormat;
    // Every member PAPPL validates gets a value: a printer created with one
    // left out gets zeroed defaults and fails its first job.
    d->ppm = 10;
    d->kind = PAPPL_KIND_LABEL | PAPPL_KIND_ROLL;
    d->orient_default = IPP_ORIENT_PORTRAIT;
    d->color_supported = PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
    d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
    d->content_default = PAPPL_CONTENT_AUTO;
    d->quality_default = IPP_QUALITY_NORMAL;
    d->scaling_default = PAPPL_SCALING_AUTO;
    d->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    d->force_raster_type = PAPPL_PWG_RASTER_TYPE_SGRAY_8;  // grey reaches our own one-bit conversion
    d->duplex = PAPPL_DUPLEX_NONE;
    d->sides_supported = PAPPL_SIDES_ONE_SIDED;
    d->sides_default = PAPPL_SIDES_ONE_SIDED;
    d->finishings = PAPPL_FINISHINGS_NONE;
    d->num_resolution = 1;
    d->x_resolution[0] = d->y_resolution[0] = dpi;
    d->x_default = d->y_default = dpi;
    // Every size both borderless (the default: a label is printed edge to
    // edge) and with 1 mm margins: a CUPS driverless queue takes its page
    // sizes from the sizes with margins and finds none without them.
    d->left_right = 100;  // hundredths of a millimetre
    d->bottom_top = 100;
    d->borderless = true;

    d->num_media = static_cast<int>(sizeof kMedia / sizeof kMedia[0]);
    for (int i = 0; i < d->num_media; ++i) d->media[i] = kMedia[i];
    d->num_source = 1;
    d->source[0] = "main-roll";
    d->num_type = 2;
    d->type[0] = "labels";
    d->type[1] = "continuous";
    setMedia(&d->media_default, "na_index-4x6_4x6in", "labels");
    d->media_ready[0] = d->media_default;
    d->tracking_supported = PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK | PAPPL_MEDIA_TRACKING_CONTINUOUS;

    d->mode_supported = PAPPL_LABEL_MODE_TEAR_OFF;
    d->mode_configured = PAPPL_LABEL_MODE_TEAR_OFF;
    d->speed_supported[0] = kMinIps * kSpeedUnitsPerIps;
    d->speed_supported[1] = kMaxIps * kSpeedUnitsPerIps;
    d->speed_default = kDefaultIps * kSpeedUnitsPerIps;
    d->darkness_supported = kDarknessLevels;
    d->darkness_configured = 50;
    d->darkness_default = 0;
    d->identify_supported = PAPPL_IDENTIFY_ACTIONS_FLASH;
    d->identify_default = PAPPL_IDENTIFY_ACTIONS_FLASH;
    d->has_supplies = true;  // the label roll and the ribbon (see printer_status)

    // What IPP Everywhere asks of every printer and PAPPL leaves to the driver.
    ipp_t* a = ippNew();
    ippAddBoolean(a, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
    ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
    ippAddString(a, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
    static const char* const overrides[] = {"document-number", "pages"};
    ippAddStrings(a, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "overrides-supported", 2, nullptr, overrides);
    *attrs = a;
    return true;
}

JobSettings settingsFor(const pappl_pr_options_t* o) {
    JobSettings s;
    s.dpi = o->printer_resolution[0] > 0 ? o->printer_resolution[0] : 203;
    s.widthMils = static_cast<int>(std::lround(o->media.size_width * 1000.0 / 2540.0));
    s.lengthMils = static_cast<int>(std::lround(o->media.size_length * 1000.0 / 2540.0));
    s.widthMils = std::clamp(s.widthMils, 100, 8500);     // the library's ranges for SIZE
    s.lengthMils = std::clamp(s.lengthMils, 100, 99000);
    // printer-darkness-configured (0..100) moved by print-darkness (-100..100).
    const int level = std::clamp(o->darkness_configured + o->print_darkness, 0, 100);
    s.intensity = static_cast<int>(std::lround(level * 30 / 100.0)) - 15;
    s.speedIps = o->print_speed > 0 ? std::clamp(static_cast<int>(std::lround(o->print_speed / double(kSpeedUnitsPerIps))),
                                                kMinIps, kMaxIps)
                                    : kDefaultIps;
    if (o->media.tracking == PAPPL_MEDIA_TRACKING_CONTINUOUS || !std::strcmp(o->media.type, "continuous"))
        s.sensor = 0;
    else if (o->media.tracking == PAPPL_MEDIA_TRACKING_MARK)
        s.sensor = 1;
    else
        s.sensor = 2;
    return s;
}

}  // namespace qovprint
