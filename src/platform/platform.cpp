#include "platform/platform.h"

namespace qov {

namespace {
Platform* g_installed = nullptr;
}

Platform& os() { return g_installed ? *g_installed : nativePlatform(); }

void setPlatform(Platform* platform) { g_installed = platform; }

}  // namespace qov
