#include "glyph_pool.h"

namespace qovemu {

GlyphPool::GlyphPool(std::size_t keep, std::size_t cacheBytes) : metrics_(qovrender::defaultMetrics()), keep_(keep) {
    metrics_.maxGlyphCacheBytes = cacheBytes;
}

GlyphPool::Lease GlyphPool::borrow() {
    std::unique_ptr<qovrender::GlyphDrawer> drawer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!idle_.empty()) {
            drawer = std::move(idle_.back());
            idle_.pop_back();
        }
    }
    if (!drawer) drawer = std::make_unique<qovrender::GlyphDrawer>(metrics_);
    return Lease(*this, std::move(drawer));
}

void GlyphPool::giveBack(std::unique_ptr<qovrender::GlyphDrawer> drawer) {
    if (!drawer) return;
    std::lock_guard<std::mutex> lock(mutex_);
    if (idle_.size() < keep_) idle_.push_back(std::move(drawer));
    // Past the bound it is dropped here (as the lock is held, briefly).
}

std::size_t GlyphPool::idle() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_.size();
}

GlyphPool& GlyphPool::shared() {
    // As many as the HTTP threads by default; 16 MB of glyphs each.
    static GlyphPool pool(8, 16u << 20);
    return pool;
}

}  // namespace qovemu
