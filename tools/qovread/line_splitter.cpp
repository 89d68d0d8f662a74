#include "line_splitter.h"

namespace qovread {

LineSplitter::LineSplitter(Handler handler, std::size_t maxLine) : h_(std::move(handler)), maxLine_(maxLine) {}

void LineSplitter::end(bool formFeed, long long line) {
    std::string text;
    text.swap(text_);
    const bool cut = cut_;
    cut_ = false;
    if (h_.statement) h_.statement(text, line, formFeed, cut);
}

void LineSplitter::feed(const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        const char c = data[i];
        if (image_) {
            imageByte(c);
            continue;
        }
        if (c == '\r' || c == '\n') {
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
            end(true, line_);
            continue;
        }
        if (text_.size() >= maxLine_) {
            cut_ = true;
            continue;
        }
        text_ += c;
        if (h_.partial) h_.partial(text_);
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
