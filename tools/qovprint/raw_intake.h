#pragma once
// The document of a raw socket connection, copied into a file with bounds:
// a sender that goes quiet for the idle limit, or sends more than the size
// limit, loses its document.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace qovprint {

struct RawLimits {
    std::chrono::milliseconds idle{30000};  // longest silence within a document
    std::uint64_t maxBytes = 256ull << 20;  // largest document
};

enum class IntakeEnd {
    Complete,  // the sender closed its side: the whole document is in the file
    Idle,      // silent for the idle limit
    TooLarge,  // more than maxBytes arrived
    Stopped,   // the server is stopping
    Failed,    // a read or write failed (the message says which)
};

struct IntakeResult {
    IntakeEnd end = IntakeEnd::Failed;
    std::uint64_t bytes = 0;  // written to the file (never more than maxBytes)
    std::string message;      // why it is not Complete, for the job
};

// Copies what `socket` receives into `file` until the sender closes, goes
// quiet or sends too much; checks `stop` at least once a second.
IntakeResult receiveDocument(int socket, int file, const RawLimits& limits, const std::atomic<bool>& stop);

// Reads a size as the command line gives it: bytes, or with K, M or G (of 1024).
bool parseByteSize(const char* text, std::uint64_t* bytes);

}  // namespace qovprint
