#include "line_splitter.h"

#include <algorithm>

namespace qovread {

LineSplitter::LineSplitter(Handler handler, std::size_t maxLine) : h_(std::move(handler)), maxLine_(maxLine) {}

void LineSplitter::end(bool formFeed, long long line) {
    std::string text;
    text.swap(text_);
    const bool cut = cut_;
    cut_ = false;
    if (h_.statement) h_.statement(text, line, formFeed, cut);
    // The next statement reuses the buffer (at most maxLine bytes), unless the
    // handler took it or another statement began meanwhile.
    if (text_.empty() && text.capacity() > text_.capacity()) {
        text.clear();
        text_.swap(text);
    }
}

void LineSplitter::feed(const char* data, std::size_t size) {
    std::size_t i = 0;
    while (i < size) {
        const char c = data[i];
        if (image_) {
            imageByte(c);
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            if (pending_ && pending_ != c) {  // the second byte of CR LF or LF CR
                pending_ = 0;
                continue;
            }
            // The line end is counted before the statement is handed on, so
            // that an image header knows how its line ended.
            pending_ = c;
            end(false, line_++);
            continue;
        }
        pending_ = 0;
        if (c == '\f') {
            ++i;
            end(true, line_);
            continue;
        }
        // The statement's bytes up to the next line end or form feed.
        std::size_t run = i;
        while (run < size && data[run] != '\r' && data[run] != '\n' && data[run] != '\f') ++run;
        // A short statement is shown to `partial` at every byte; past that
        // length the rest of the run is taken at once.
        while (i < run && text_.size() < kPartialLength && !image_) {
            if (text_.size() >= maxLine_) {
                cut_ = true;
            } else {
                text_ += data[i];
                if (h_.partial) h_.partial(text_);
            }
            ++i;
        }
        if (i < run && !image_) {
            const std::size_t room = maxLine_ > text_.size() ? maxLine_ - text_.size() : 0;
            const std::size_t take = std::min(room, run - i);
            text_.append(data + i, take);
            if (take < run - i) cut_ = true;
            i = run;
        }
    }
    if (image_ && !run_.empty() && h_.image) {
        h_.image(run_.data(), run_.size());
        run_.clear();
    }
}

void LineSplitter::finish() {
    if (image_) return;  // the caller notes the unfinished image
    if (!text_.empty() || cut_) end(false, line_);
}

void LineSplitter::startImage(const std::string& marker) {
    image_ = true;
    marker_ = marker;
    matched_ = 0;
    skipLF_ = pending_ == '\r';
    pending_ = 0;
}

void LineSplitter::imageByte(char c) {
    if (skipLF_) {
        skipLF_ = false;
        if (c == '\n') return;
    }
    if (c == marker_[matched_]) {
        if (++matched_ == marker_.size()) {
            if (!run_.empty() && h_.image) h_.image(run_.data(), run_.size());
            run_.clear();
            image_ = false;
            matched_ = 0;
            if (h_.imageEnd) h_.imageEnd();
        }
        return;
    }
    // A partial match was image data after all; the marker's first byte
    // occurs nowhere else in it, so the match can only restart here.
    if (matched_ > 0) run_.append(marker_, 0, matched_);
    matched_ = c == marker_[0] ? 1 : 0;
    if (matched_ == 0) run_ += c;
    if (run_.size() >= 4096 && h_.image) {
        h_.image(run_.data(), run_.size());
        run_.clear();
    }
}

}  // namespace qovread
