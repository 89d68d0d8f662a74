#include "win32_rig.h"

#include <winsock2.h>
#include <windows.h>

#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qov::contract {

namespace {
int g_serial = 0;  // names of this process's folders and pipes
}

Win32Rig::Win32Rig() {
    char tmp[MAX_PATH + 1] = {};
    if (GetTempPathA(sizeof tmp, tmp) == 0) throw std::runtime_error("no temporary folder");
    dir_ = std::string(tmp) + "qovcontract-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++g_serial);
    if (!CreateDirectoryA(dir_.c_str(), nullptr)) throw std::runtime_error("cannot make " + dir_);
}

Win32Rig::~Win32Rig() {
    if (pipe_) CloseHandle(pipe_);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileA((dir_ + "\\" + found.cFileName).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir_.c_str());
}

// The performance counter: the tick count moves in steps of 10 to 16 ms.
std::int64_t Win32Rig::nowMs() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<std::int64_t>(now.QuadPart * 1000 / frequency.QuadPart);
}

std::int64_t Win32Rig::calendarNow() { return static_cast<std::int64_t>(std::time(nullptr)); }

std::string Win32Rig::newFilePath(const std::string& name) { return dir_ + "\\" + name; }

void Win32Rig::putFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Win32Rig::fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Win32Rig::addPipe() {
    std::string name = "\\\\.\\pipe\\qovcontract-" + std::to_string(GetCurrentProcessId()) + "-" +
                       std::to_string(++g_serial);
    // The server end is synchronous: the rig only writes what fits the
    // pipe's buffer and reads what PeekNamedPipe says is there.
    pipe_ = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                             1, 65536, 65536, 0, nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE) {
        pipe_ = nullptr;
        throw std::runtime_error("CreateNamedPipe failed");
    }
    return name;
}

// The backend has opened the client end by now; the server end only
// acknowledges it (ConnectNamedPipe then reports "already connected").
// False when the client has closed its end again.
bool Win32Rig::connectPipe() {
    if (ConnectNamedPipe(pipe_, nullptr)) return true;
    DWORD e = GetLastError();
    if (e == ERROR_PIPE_CONNECTED) return true;
    if (e == ERROR_NO_DATA) return false;
    throw std::runtime_error("the pipe has no client");
}

void Win32Rig::pipePut(const std::string& bytes) {
    // Bytes sent after the backend closed its end reach nobody.
    if (!connectPipe()) return;
    DWORD n = 0;
    if (!WriteFile(pipe_, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) ||
        n != bytes.size())
        throw std::runtime_error("pipe write failed");
}

std::string Win32Rig::pipeTake(std::size_t size) {
    if (!connectPipe()) return {};
    std::string out;
    const std::int64_t end = nowMs() + 2000;
    while (out.size() < size && nowMs() < end) {
        DWORD avail = 0;
        if (!PeekNamedPipe(pipe_, nullptr, 0, nullptr, &avail, nullptr)) break;
        if (avail == 0) {
            Sleep(10);
            continue;
        }
        char buf[4096];
        DWORD n = 0;
        if (!ReadFile(pipe_, buf, avail < sizeof buf ? avail : sizeof buf, &n, nullptr)) break;
        out.append(buf, n);
    }
    return out;
}

std::uint16_t Win32Rig::listeningPort() {
    peer_ = std::make_unique<LoopbackPeer>();
    return peer_->port();
}

}  // namespace qov::contract
