// Bytes, in chunks of any size, into statements: CR LF, LF CR, a lone LF
// and a lone CR each end one line (pairs taken greedily from the left); a
// form feed ends a statement without ending the line. In image mode the
// bytes go through untouched until the end marker.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace qovread {

class LineSplitter {
public:
    struct Handler {
        // A statement, without its line end. `formFeed` when a form feed ended it.
        std::function<void(std::string& text, long long line, bool formFeed, bool cut)> statement;
        // A byte was added to the statement being received, while it is at
        // most kPartialLength bytes long (for the short requests that come
        // without a line end).
        std::function<void(std::string& partial)> partial;
        // Image bytes, and the end marker found.
        std::function<void(const char* data, std::size_t size)> image;
        std::function<void()> imageEnd;
    };

    static constexpr std::size_t kPartialLength = 32;

    LineSplitter(Handler handler, std::size_t maxLine);

    void feed(const char* data, std::size_t size);
    // The end of the input ends the last line.
    void finish();

    // Image bytes from the next byte on (after the header's line end) up to
    // and including `marker`; they count as one line.
    void startImage(const std::string& marker);
    bool inImage() const { return image_; }
    long long line() const { return line_; }
    std::size_t held() const { return text_.size(); }

private:
    void end(bool formFeed, long long line);
    void imageByte(char c);

    Handler h_;
    std::size_t maxLine_;
    std::string text_;
    bool cut_ = false;
    long long line_ = 1;
    char pending_ = 0;        // the CR or LF that ended the last line, waiting for its pair
    bool image_ = false;
    bool skipLF_ = false;     // the header's CR: its LF is no image byte
    std::string marker_;
    std::size_t matched_ = 0;
    std::string run_;         // image bytes not yet handed on
};

}  // namespace qovread
