/*
 * wine_peer: the printer at the far end of the Wine suite, run natively on
 * Linux next to the Windows test program.
 *
 * It keeps everything it receives per channel and answers a status request:
 *   tcp   the printer port that openethernet connects to;
 *   cups  the port the CUPS queue's socket backend delivers jobs to;
 *   com   the far end of the pty pair whose other end Wine has as COM1;
 *   pause  a printer that reads nothing for 3 s after it accepts a
 *          connection (its socket buffers fill up), then everything;
 *   hangup a printer that closes a connection once it has received 1 MiB
 *          on it, with more data unread (the sender sees a reset).
 * On tcp and com, every "~STATUS" is answered with a two-chunk report that
 * ends in "END\r\n" (the second chunk 300 ms after the first, so a reader
 * has to keep collecting).
 *
 * A control port serves the test program, one request per connection:
 *   GET <channel>    -> "<n>\n" and the n bytes received so far
 *   COUNT <channel>  -> "<n>\n", the number of bytes received so far
 *   CLEAR <channel>  -> "OK\n", forgets what was received
 *   TERMIOS          -> the line settings of Wine's end of the pty:
 *                       "speed=<baud> csize=<5..8> parenb=<0|1> parodd=<0|1> cstopb=<0|1>\n"
 *
 * Usage:
 *   wine_peer --free-port
 *   wine_peer --ports-file FILE --log-dir DIR [--serial PEER_PTY --wine-serial WINE_PTY]
 * The ports file receives "tcp=<port> cups=<port> control=<port>
 * pause=<port> hangup=<port>" once all of them listen.
 */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum { CH_TCP, CH_CUPS, CH_COM, CH_PAUSE, CH_HANGUP, CH_COUNT };
static const char* const kChannelNames[CH_COUNT] = {"tcp", "cups", "com", "pause", "hangup"};

static const long kPauseMs = 3000;
static const size_t kHangupBytes = 1u << 20;

static const char kReportFirst[] = "STATUS;READY;LABELS 0\r\n";
static const char kReportLast[] = "END\r\n";
static const long kSecondChunkMs = 300;

struct channel {
    char* data;
    size_t size, capacity;
    size_t scanned; /* where the search for the next "~STATUS" resumes */
    FILE* log;
};
static struct channel channels[CH_COUNT];

/* A reply chunk waiting for its time. */
struct pending {
    int fd;
    long dueMs;
    const char* bytes;
    size_t size;
};
enum { MAX_PENDING = 64 };
static struct pending pending[MAX_PENDING];
static int pendingCount;

static long nowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long)t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

static void die(const char* what) {
    perror(what);
    exit(1);
}

static void append(int ch, const char* bytes, size_t n) {
    struct channel* c = &channels[ch];
    if (c->size + n > c->capacity) {
        size_t want = c->capacity ? c->capacity : 4096;
        while (want < c->size + n) want *= 2;
        char* grown = realloc(c->data, want);
        if (!grown) die("realloc");
        c->data = grown;
        c->capacity = want;
    }
    memcpy(c->data + c->size, bytes, n);
    c->size += n;
    if (c->log) {
        fwrite(bytes, 1, n, c->log);
        fflush(c->log);
    }
}

static void schedule(int fd, long dueMs, const char* bytes, size_t size) {
    if (pendingCount == MAX_PENDING) return;
    pending[pendingCount++] = (struct pending){fd, dueMs, bytes, size};
}

/* Answers every "~STATUS" that arrived since the last look. */
static void answerStatus(int ch, int fd) {
    static const char kRequest[] = "~STATUS";
    struct channel* c = &channels[ch];
    const size_t n = sizeof kRequest - 1;
    while (c->size >= n && c->scanned + n <= c->size) {
        char* hit = memmem(c->data + c->scanned, c->size - c->scanned, kRequest, n);
        if (!hit) {
            if (c->size - (n - 1) > c->scanned) c->scanned = c->size - (n - 1);
            break;
        }
        c->scanned = (size_t)(hit - c->data) + n;
        const long t = nowMs();
        schedule(fd, t, kReportFirst, sizeof kReportFirst - 1);
        schedule(fd, t + kSecondChunkMs, kReportLast, sizeof kReportLast - 1);
    }
}

static void dropPendingFor(int fd) {
    int kept = 0;
    for (int i = 0; i < pendingCount; ++i)
        if (pending[i].fd != fd) pending[kept++] = pending[i];
    pendingCount = kept;
}

static int listenOn(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    if (s < 0) die("socket");
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    struct sockaddr_in a = {0};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((unsigned short)port);
    if (bind(s, (struct sockaddr*)&a, sizeof a) < 0) die("bind");
    if (listen(s, 8) < 0) die("listen");
    return s;
}

static int portOf(int s) {
    struct sockaddr_in a;
    socklen_t len = sizeof a;
    if (getsockname(s, (struct sockaddr*)&a, &len) < 0) die("getsockname");
    return ntohs(a.sin_port);
}

static int channelByName(const char* name) {
    for (int i = 0; i < CH_COUNT; ++i)
        if (strcmp(name, kChannelNames[i]) == 0) return i;
    return -1;
}

static void writeAll(int fd, const char* bytes, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, bytes, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        bytes += w;
        n -= (size_t)w;
    }
}

static unsigned baudOf(speed_t s) {
    static const struct { speed_t code; unsigned baud; } table[] = {
        {B0, 0},         {B110, 110},       {B300, 300},       {B600, 600},
        {B1200, 1200},   {B2400, 2400},     {B4800, 4800},     {B9600, 9600},
        {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
        {B230400, 230400},
    };
    for (size_t i = 0; i < sizeof table / sizeof table[0]; ++i)
        if (table[i].code == s) return table[i].baud;
    return (unsigned)-1;
}

static void serveControl(int client, const char* wineSerial) {
    char line[256];
    size_t used = 0;
    /* The request is one short line; read until its newline. */
    while (used < sizeof line - 1) {
        ssize_t r = read(client, line + used, sizeof line - 1 - used);
        if (r <= 0) break;
        used += (size_t)r;
        if (memchr(line, '\n', used)) break;
    }
    line[used] = '\0';
    char* nl = strpbrk(line, "\r\n");
    if (nl) *nl = '\0';

    char reply[256];
    if (strncmp(line, "GET ", 4) == 0 && channelByName(line + 4) >= 0) {
        struct channel* c = &channels[channelByName(line + 4)];
        int n = snprintf(reply, sizeof reply, "%zu\n", c->size);
        writeAll(client, reply, (size_t)n);
        writeAll(client, c->data ? c->data : "", c->size);
    } else if (strncmp(line, "COUNT ", 6) == 0 && channelByName(line + 6) >= 0) {
        int n = snprintf(reply, sizeof reply, "%zu\n", channels[channelByName(line + 6)].size);
        writeAll(client, reply, (size_t)n);
    } else if (strncmp(line, "CLEAR ", 6) == 0 && channelByName(line + 6) >= 0) {
        struct channel* c = &channels[channelByName(line + 6)];
        c->size = 0;
        c->scanned = 0;
        writeAll(client, "OK\n", 3);
    } else if (strcmp(line, "TERMIOS") == 0 && wineSerial) {
        struct termios t;
        int fd = open(wineSerial, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || tcgetattr(fd, &t) < 0) {
            int n = snprintf(reply, sizeof reply, "ERROR %s\n", strerror(errno));
            writeAll(client, reply, (size_t)n);
        } else {
            int csize = (t.c_cflag & CSIZE) == CS5   ? 5
                        : (t.c_cflag & CSIZE) == CS6 ? 6
                        : (t.c_cflag & CSIZE) == CS7 ? 7
                                                     : 8;
            int n = snprintf(reply, sizeof reply,
                             "speed=%u csize=%d parenb=%d parodd=%d cstopb=%d\n",
                             baudOf(cfgetospeed(&t)), csize, (t.c_cflag & PARENB) ? 1 : 0,
                             (t.c_cflag & PARODD) ? 1 : 0, (t.c_cflag & CSTOPB) ? 1 : 0);
            writeAll(client, reply, (size_t)n);
        }
        if (fd >= 0) close(fd);
    } else {
        writeAll(client, "ERROR unknown request\n", 22);
    }
    close(client);
}

static int freePort(void) {
    int s = listenOn(0);
    int port = portOf(s);
    close(s);
    return port;
}

int main(int argc, char** argv) {
    const char* portsFile = NULL;
    const char* logDir = NULL;
    const char* peerSerial = NULL;
    const char* wineSerial = NULL;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--free-port") == 0) {
            printf("%d\n", freePort());
            return 0;
        } else if (strcmp(argv[i], "--ports-file") == 0 && i + 1 < argc) {
            portsFile = argv[++i];
        } else if (strcmp(argv[i], "--log-dir") == 0 && i + 1 < argc) {
            logDir = argv[++i];
        } else if (strcmp(argv[i], "--serial") == 0 && i + 1 < argc) {
            peerSerial = argv[++i];
        } else if (strcmp(argv[i], "--wine-serial") == 0 && i + 1 < argc) {
            wineSerial = argv[++i];
        } else {
            fprintf(stderr, "wine_peer: unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (!portsFile || !logDir) {
        fprintf(stderr, "usage: wine_peer --ports-file FILE --log-dir DIR [--serial PTY --wine-serial PTY]\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);

    /* The megabytes of the pause and hangup printers are not logged. */
    for (int i = 0; i < CH_PAUSE; ++i) {
        char path[4096];
        snprintf(path, sizeof path, "%s/%s.log", logDir, kChannelNames[i]);
        channels[i].log = fopen(path, "ab");
    }

    int serial = -1;
    if (peerSerial) {
        serial = open(peerSerial, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (serial < 0) die(peerSerial);
        struct termios t;
        if (tcgetattr(serial, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(serial, TCSANOW, &t);
        }
    }

    int tcpListen = listenOn(0), cupsListen = listenOn(0), controlListen = listenOn(0);
    int pauseListen = listenOn(0), hangupListen = listenOn(0);
    {
        char tmp[4096];
        snprintf(tmp, sizeof tmp, "%s.tmp", portsFile);
        FILE* f = fopen(tmp, "w");
        if (!f) die(tmp);
        fprintf(f, "tcp=%d cups=%d control=%d pause=%d hangup=%d\n", portOf(tcpListen),
                portOf(cupsListen), portOf(controlListen), portOf(pauseListen),
                portOf(hangupListen));
        fclose(f);
        if (rename(tmp, portsFile) < 0) die("rename");
    }

    /* Open printer connections: fd, channel, when reading starts, bytes. */
    enum { MAX_CONN = 32 };
    int connFd[MAX_CONN], connCh[MAX_CONN], connCount = 0;
    long connReadsFrom[MAX_CONN];
    size_t connGot[MAX_CONN];
    const int listeners[] = {tcpListen, cupsListen, pauseListen, hangupListen};
    const int listenerChannel[] = {CH_TCP, CH_CUPS, CH_PAUSE, CH_HANGUP};
    enum { LISTENERS = 4 };

    for (;;) {
        struct pollfd fds[LISTENERS + 2 + MAX_CONN];
        int n = 0;
        for (int l = 0; l < LISTENERS; ++l) fds[n++] = (struct pollfd){listeners[l], POLLIN, 0};
        const int controlIndex = n;
        fds[n++] = (struct pollfd){controlListen, POLLIN, 0};
        const int serialIndex = serial >= 0 ? n : -1;
        if (serial >= 0) fds[n++] = (struct pollfd){serial, POLLIN, 0};
        const int firstConn = n;
        long wait = 1000;
        const long t = nowMs();
        /* A pausing connection is not looked at until its time comes. */
        for (int i = 0; i < connCount; ++i) {
            if (connReadsFrom[i] > t) {
                if (connReadsFrom[i] - t < wait) wait = connReadsFrom[i] - t;
                continue;
            }
            fds[n++] = (struct pollfd){connFd[i], POLLIN, 0};
        }
        for (int i = 0; i < pendingCount; ++i) {
            long left = pending[i].dueMs - t;
            if (left < wait) wait = left < 0 ? 0 : left;
        }
        if (poll(fds, (nfds_t)n, (int)wait) < 0 && errno != EINTR) die("poll");

        /* Reply chunks that are due. */
        const long now = nowMs();
        for (int i = 0; i < pendingCount;) {
            if (pending[i].dueMs <= now) {
                writeAll(pending[i].fd, pending[i].bytes, pending[i].size);
                pending[i] = pending[--pendingCount];
            } else {
                ++i;
            }
        }

        char buf[65536];
        for (int l = 0; l < LISTENERS; ++l) {
            if (!(fds[l].revents & POLLIN)) continue;
            int c = accept(fds[l].fd, NULL, NULL);
            if (c < 0) continue;
            if (connCount == MAX_CONN) {
                close(c);
                continue;
            }
            connFd[connCount] = c;
            connCh[connCount] = listenerChannel[l];
            connReadsFrom[connCount] = listenerChannel[l] == CH_PAUSE ? nowMs() + kPauseMs : 0;
            connGot[connCount] = 0;
            ++connCount;
        }
        if (fds[controlIndex].revents & POLLIN) {
            int c = accept(controlListen, NULL, NULL);
            if (c >= 0) serveControl(c, wineSerial);
        }
        if (serialIndex >= 0 && (fds[serialIndex].revents & POLLIN)) {
            ssize_t r = read(serial, buf, sizeof buf);
            if (r > 0) {
                append(CH_COM, buf, (size_t)r);
                answerStatus(CH_COM, serial);
            }
        }
        for (int i = firstConn; i < n; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            /* Find the connection by fd: the list may have shrunk already. */
            int k = 0;
            while (k < connCount && connFd[k] != fds[i].fd) ++k;
            if (k == connCount) continue;
            ssize_t r = read(connFd[k], buf, sizeof buf);
            if (r > 0) {
                append(connCh[k], buf, (size_t)r);
                connGot[k] += (size_t)r;
                if (connCh[k] == CH_TCP) answerStatus(CH_TCP, connFd[k]);
            }
            const int hangUp = connCh[k] == CH_HANGUP && connGot[k] >= kHangupBytes;
            if (hangUp || r == 0 || (r < 0 && errno != EINTR && errno != EAGAIN)) {
                dropPendingFor(connFd[k]);
                close(connFd[k]);
                connFd[k] = connFd[connCount - 1];
                connCh[k] = connCh[connCount - 1];
                connReadsFrom[k] = connReadsFrom[connCount - 1];
                connGot[k] = connGot[connCount - 1];
                --connCount;
            }
        }
    }
}
