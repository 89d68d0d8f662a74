// The header's C++ section: these functions keep C++ linkage in the .so.
#include <qovlib.h>

extern "C" const char* consumer_dllversion(void) { return dllversion(); }
