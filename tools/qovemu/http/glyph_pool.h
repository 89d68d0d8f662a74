// Glyph drawers kept between POST /render requests: loading the fonts and
// drawing their glyphs is most of a small label's cost, and neither depends
// on what a request stored. Each request borrows one drawer for itself; a
// bounded number is kept, each with a bounded cache.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

#include "glyph_drawer.h"
#include "model_metrics.h"

namespace qovemu {

class GlyphPool {
public:
    explicit GlyphPool(std::size_t keep, std::size_t cacheBytes);

    // A drawer for one request, back to the pool when the lease ends.
    class Lease {
    public:
        Lease(GlyphPool& pool, std::unique_ptr<qovrender::GlyphDrawer> drawer) : pool_(pool), drawer_(std::move(drawer)) {}
        ~Lease() { pool_.giveBack(std::move(drawer_)); }
        Lease(Lease&& other) noexcept : pool_(other.pool_), drawer_(std::move(other.drawer_)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;
        qovrender::GlyphDrawer& drawer() { return *drawer_; }

    private:
        GlyphPool& pool_;
        std::unique_ptr<qovrender::GlyphDrawer> drawer_;
    };

    Lease borrow();
    std::size_t idle() const;

    // The pool POST /render uses.
    static GlyphPool& shared();

private:
    void giveBack(std::unique_ptr<qovrender::GlyphDrawer> drawer);

    qovrender::ModelMetrics metrics_;  // the drawers refer to it
    const std::size_t keep_;
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<qovrender::GlyphDrawer>> idle_;
};

}  // namespace qovemu
