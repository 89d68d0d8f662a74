#include "platform/posix/posix_objects.h"

#include <time.h>

namespace qov::posix {

Handle allocateHandle() {
    // Multiples of four from 0x1000, as Windows hands them out; far from the
    // small values a zeroed record holds.
    static Handle next = 0x1000;
    Handle h = next;
    next += 4;
    return h;
}

std::map<Handle, FileObject>& files() {
    static std::map<Handle, FileObject> table;
    return table;
}

std::map<Handle, EventObject>& events() {
    static std::map<Handle, EventObject> table;
    return table;
}

FileObject* findFile(Handle h) {
    auto it = files().find(h);
    return it == files().end() ? nullptr : &it->second;
}

EventObject* findEvent(Handle h) {
    auto it = events().find(h);
    return it == events().end() ? nullptr : &it->second;
}

void signalEvent(Handle h) {
    if (EventObject* e = findEvent(h)) e->signaled = true;
}

std::int64_t monotonicMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace qov::posix
