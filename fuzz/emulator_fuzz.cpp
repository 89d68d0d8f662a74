// The emulator's command session (what anyone who connects to qovemu may
// send), fed the input twice on two printers with the same small limits:
// once whole and once in chunks whose sizes come from the input. Both must
// answer, keep and count the same, and stay within the limits.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "command_session.h"
#include "fuzz_check.h"

namespace {

using qovemu::CommandSession;
using qovemu::PrinterState;

void checkBounds(const PrinterState& p, const CommandSession& s) {
    const qovemu::Limits& l = p.limits();
    FUZZ_CHECK(p.formCount() <= l.maxForms);
    FUZZ_CHECK(p.logoCount() <= l.maxLogos);
    FUZZ_CHECK(p.menu().size() <= l.maxMenuItems);
    // A line of maxLine bytes and a block body within its cap, nothing more.
    FUZZ_CHECK(s.heldBytes() <= l.maxLine + std::max(l.maxFormBytes, l.maxLogoBytes));
    const std::string report = p.statusReport();
    FUZZ_CHECK(report.size() >= 5 && report.find("END\r\n") == report.size() - 5);
}

void checkSame(const PrinterState& a, const PrinterState& b) {
    FUZZ_CHECK(a.statusReport() == b.statusReport());
    FUZZ_CHECK(a.formCount() == b.formCount());
    FUZZ_CHECK(a.logoCount() == b.logoCount());
    FUZZ_CHECK(a.labelsPrinted() == b.labelsPrinted());
    FUZZ_CHECK(a.menu() == b.menu());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    // Small limits, so that short inputs reach every cap.
    qovemu::Limits limits;
    limits.maxLine = in.ConsumeIntegralInRange<std::size_t>(1, 128);
    limits.maxFormBytes = in.ConsumeIntegralInRange<std::size_t>(0, 512);
    limits.maxForms = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    limits.maxLogoBytes = in.ConsumeIntegralInRange<std::size_t>(0, 512);
    limits.maxLogos = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    limits.maxMenuItems = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    const int codePage = in.ConsumeBool() ? 1252 : 65001;
    // Chunk sizes: a generator seeded from the input, up to 2^k bytes each.
    std::uint32_t state = in.ConsumeIntegral<std::uint32_t>() | 1u;
    const unsigned maxShift = in.ConsumeIntegralInRange<unsigned>(0, 8);
    // Taken last, so that the inputs found before it kept their limits.
    limits.maxPageAnswerBytes = in.ConsumeIntegralInRange<std::size_t>(0, 4096);
    const std::string bytes = in.ConsumeRemainingBytesAsString();

    PrinterState whole(limits, codePage), pieces(limits, codePage);
    std::size_t logLines = 0;
    auto sink = [&logLines](const std::string&) { ++logLines; };
    CommandSession one(whole, sink), many(pieces, sink);

    const std::string answerWhole = one.feed(bytes.data(), bytes.size());
    checkBounds(whole, one);

    std::string answerPieces;
    for (std::size_t at = 0; at < bytes.size();) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const std::size_t n = std::min<std::size_t>(1 + state % (1u << maxShift), bytes.size() - at);
        answerPieces += many.feed(bytes.data() + at, n);
        checkBounds(pieces, many);
        at += n;
    }
    FUZZ_CHECK(answerPieces == answerWhole);
    FUZZ_CHECK(one.mode() == many.mode());
    FUZZ_CHECK(one.heldBytes() == many.heldBytes());
    checkSame(whole, pieces);
    return 0;
}
