#include "gallery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qovemu {

namespace {

bool writeWhole(const std::string& path, const std::string& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = "cannot write " + path + ": " + std::strerror(errno);
            ::close(fd);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0;
}

}  // namespace

Gallery::Gallery(std::size_t keep, std::size_t keepBytes, std::string dir)
    : keep_(std::max<std::size_t>(keep, 1)), keepBytes_(keepBytes), dir_(std::move(dir)) {}

std::string Gallery::path(std::uint64_t id, const char* extension) const {
    return dir_ + "/" + std::to_string(id) + extension;
}

std::uint64_t Gallery::add(GalleryEntry entry, std::string* error) {
    entry.id = nextId_++;
    const std::uint64_t id = entry.id;
    if (!dir_.empty()) {
        std::string why;
        if (!writeWhole(path(id, ".png"), entry.png, why) || !writeWhole(path(id, ".txt"), entry.job, why)) {
            if (error) *error = why;
        }
    }
    bytes_ += entry.bytes();
    items_.push_back(std::make_shared<const GalleryEntry>(std::move(entry)));
    // The newest label stays even when it alone is larger than the byte bound.
    while (items_.size() > keep_ || (bytes_ > keepBytes_ && items_.size() > 1)) dropOldest();
    return id;
}

void Gallery::dropOldest() {
    const GalleryItem& oldest = items_.front();
    bytes_ -= oldest->bytes();
    if (!dir_.empty()) {
        ::unlink(path(oldest->id, ".png").c_str());
        ::unlink(path(oldest->id, ".txt").c_str());
    }
    items_.pop_front();
}

std::vector<GalleryItem> Gallery::list(std::uint64_t since, std::size_t limit) const {
    std::vector<GalleryItem> out;
    for (auto it = items_.rbegin(); it != items_.rend() && out.size() < limit; ++it) {
        if ((*it)->id <= since) break;
        out.push_back(*it);
    }
    return out;
}

GalleryItem Gallery::find(std::uint64_t id) const {
    if (items_.empty() || id < items_.front()->id || id > items_.back()->id) return nullptr;
    // Ids are consecutive from the oldest kept one.
    const GalleryItem& item = items_[static_cast<std::size_t>(id - items_.front()->id)];
    return item->id == id ? item : nullptr;
}

void Gallery::clear() {
    while (!items_.empty()) dropOldest();
}

}  // namespace qovemu
