#include "socket_tuning.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cstdlib>

namespace qovprint {

int setNoDelayTowards(const std::string& host, int port) {
    in_addr want{};
    if (::inet_pton(AF_INET, host.c_str(), &want) != 1) return 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return 0;
    const int dirFd = ::dirfd(dir);
    int set = 0;
    while (const dirent* e = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(e->d_name, &end, 10);
        if (*end || end == e->d_name || fd == dirFd) continue;
        struct stat st {};
        if (::fstat(static_cast<int>(fd), &st) != 0 || !S_ISSOCK(st.st_mode)) continue;
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        if (::getpeername(static_cast<int>(fd), reinterpret_cast<sockaddr*>(&peer), &len) != 0 ||
            peer.sin_family != AF_INET || peer.sin_addr.s_addr != want.s_addr ||
            ntohs(peer.sin_port) != port)
            continue;
        int type = 0;
        len = sizeof type;
        if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_TYPE, &type, &len) != 0 || type != SOCK_STREAM) continue;
        const int one = 1;
        if (::setsockopt(static_cast<int>(fd), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) == 0) ++set;
    }
    ::closedir(dir);
    return set;
}

}  // namespace qovprint
