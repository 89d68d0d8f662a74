// The terminator search of the readers: each chunk is appended to the
// receive buffer and the buffer is searched as a whole would be, while a
// long reply costs time in proportion to its length.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "reading/receive_state.h"
#include "reading/reply_search.h"
#include "sim.h"

namespace {

using qov::SearchResult;

SearchResult append(int& count, const std::string& bytes, const char* terminator) {
    return qov::appendAndSearch(count, reinterpret_cast<const unsigned char*>(bytes.data()),
                                bytes.size(), terminator);
}

TEST(ReadingSearch, TerminatorSplitOverAppendsIsFound) {
    qov::sim::SimScope sim;
    int count = 0;
    EXPECT_EQ(append(count, "xxE", "END\r\n"), SearchResult::NotFound);
    EXPECT_EQ(append(count, "N", "END\r\n"), SearchResult::NotFound);
    EXPECT_EQ(append(count, "D\r", "END\r\n"), SearchResult::NotFound);
    EXPECT_EQ(count, 6);
    EXPECT_EQ(append(count, "\n+", "END\r\n"), SearchResult::Found);
    EXPECT_EQ(count, 0);
    EXPECT_STREQ(qov::receiveState().replyText, "xxEND\r\n+");
}

// Bytes left behind the count (a read that did not start on a zeroed
// buffer) are searched as before: all of them on the first append, and
// those a match through the new bytes reaches on the later ones.
TEST(ReadingSearch, BytesBeyondTheCountStillCount) {
    qov::sim::SimScope sim;
    unsigned char* buffer = qov::receiveState().receiveBuffer;
    std::memcpy(buffer + 1000, "OLD;", 4);
    int count = 0;
    EXPECT_EQ(append(count, "ab", "OLD;"), SearchResult::Found);

    std::memset(buffer, 0, qov::kReceiveBufferSize);
    std::memcpy(buffer + 5, "ND", 2);
    count = 0;
    EXPECT_EQ(append(count, "abcd", "END"), SearchResult::NotFound);
    EXPECT_EQ(append(count, "E", "END"), SearchResult::Found);
    EXPECT_STREQ(qov::receiveState().replyText, "abcdEND");
}

// Found by fuzzing: a reply made of the terminator's first byte made every
// chunk search the whole buffer byte by byte again (a full buffer took
// seconds in the instrumented build). The result is unchanged: the buffer
// fills and the read ends as full.
TEST(ReadingSearch, TerminatorLikeBytesFillTheBuffer) {
    qov::sim::SimScope sim;
    int count = 0;
    const std::string chunk(512, '|');
    for (int i = 0; i < 127; ++i) ASSERT_EQ(append(count, chunk, "||||/"), SearchResult::NotFound);
    EXPECT_EQ(append(count, chunk, "||||/"), SearchResult::Full);
    EXPECT_EQ(count, 65536);
    EXPECT_EQ(append(count, "/", "||||/"), SearchResult::Full);  // it does not fit
    EXPECT_EQ(qov::receiveState().receiveBuffer[65536], 0);
}

}  // namespace
