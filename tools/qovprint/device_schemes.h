#pragma once
// The device URIs printers use, opened and written through the library.
namespace qovprint {
void addDeviceSchemes();
}
