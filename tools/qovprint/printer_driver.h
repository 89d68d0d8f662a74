#pragma once
// The drivers qovprint offers (one per print-head resolution) and what each
// printer's IPP settings mean in the command language.
#include <pappl/pappl.h>

namespace qovprint {

// The raw command-language MIME type; application/vnd.cups-raw is taken as it.
constexpr const char* kCommandFormat = "application/vnd.qovlib-commands";

// The driver table given to papplMainloop.
pappl_pr_driver_t* driverTable(int* count);

bool driverCallback(pappl_system_t* system, const char* driverName, const char* deviceUri, const char* deviceId,
                    pappl_pr_driver_data_t* data, ipp_t** attrs, void* context);

// The command language's paper settings for one job.
struct JobSettings {
    int dpi = 203;
    int widthMils = 4000, lengthMils = 6000;  // 1/1000 inch
    int intensity = 0;                        // -15 .. 15
    int speedIps = 4;                         // 1 .. 10
    int sensor = 2;                           // media sensor: 2 gap, 1 black mark, 0 continuous
};

JobSettings settingsFor(const pappl_pr_options_t* options);

// The resolution of a driver name, 0 for a name qovprint does not have.
int driverDpi(const char* driverName);

}  // namespace qovprint
