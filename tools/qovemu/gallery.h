// What one virtual printer printed: the last labels with their pictures,
// the bytes of the job that printed each and the renderer's notes, kept in
// memory and optionally on disk, bounded in count and bytes (oldest first
// out). Not locked itself: its printer's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace qovemu {

struct LabelNote {
    long long line = 0;
    std::string text;
};

struct GalleryEntry {
    std::uint64_t id = 0;          // given by the gallery, from 1, never reused
    std::int64_t timeMs = 0;       // when it printed, ms since 1970 (UTC)
    std::string form;              // empty for a plain-text page
    long long copies = 1;
    std::string summary;
    int width = 0;                 // dots
    int height = 0;
    std::vector<LabelNote> notes;
    std::vector<std::string> texts;  // the texts drawn, UTF-8
    std::string png;
    std::string job;               // the connection's input up to the label (its last bytes)

    std::size_t bytes() const { return png.size() + job.size(); }
};

using GalleryItem = std::shared_ptr<const GalleryEntry>;

class Gallery {
public:
    // `dir` empty: memory only; else each label is also DIR/ID.png and DIR/ID.txt.
    Gallery(std::size_t keep, std::size_t keepBytes, std::string dir = std::string());

    // Numbers the entry, keeps it, drops the oldest past the bounds. Returns
    // the id; `error` says when the files could not be written.
    std::uint64_t add(GalleryEntry entry, std::string* error = nullptr);
    // Newest first: ids above `since`, at most `limit`.
    std::vector<GalleryItem> list(std::uint64_t since, std::size_t limit) const;
    GalleryItem find(std::uint64_t id) const;
    void clear();

    std::size_t count() const { return items_.size(); }
    std::size_t bytes() const { return bytes_; }
    std::uint64_t newest() const { return nextId_ - 1; }

private:
    void dropOldest();
    std::string path(std::uint64_t id, const char* extension) const;

    std::size_t keep_;
    std::size_t keepBytes_;
    std::string dir_;
    std::deque<GalleryItem> items_;  // oldest first; ids ascending
    std::size_t bytes_ = 0;
    std::uint64_t nextId_ = 1;
};

}  // namespace qovemu
