// What the soaks read of a process from /proc: its resident memory and its
// open descriptors, of the soak itself or of a child it started.
#pragma once

#include <dirent.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace qovbench {

inline std::string procPath(pid_t pid, const char* entry) {
    return (pid ? "/proc/" + std::to_string(pid) : std::string("/proc/self")) + "/" + entry;
}

// Resident memory in KiB of `pid` (0: this process); -1 when unknown.
inline long residentKiB(pid_t pid = 0) {
    long pages = 0, resident = 0;
    std::FILE* f = std::fopen(procPath(pid, "statm").c_str(), "r");
    if (!f) return -1;
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = -1;
    std::fclose(f);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Open descriptors of `pid` (0: this process, not counting the listing's own).
inline int openDescriptors(pid_t pid = 0) {
    int n = 0;
    if (DIR* d = opendir(procPath(pid, "fd").c_str())) {
        while (readdir(d) != nullptr) ++n;
        closedir(d);
    }
    return n - 2 - (pid ? 0 : 1);  // "." and "..", and for this process the listing itself
}

}  // namespace qovbench
