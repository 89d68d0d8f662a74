#include "render_api.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <optional>

#include "glyph_pool.h"
#include "label_description.h"
#include "label_zip.h"
#include "png_io.h"
#include "render_query.h"
#include "renderer.h"

namespace qovemu {

namespace {

HttpAnswer jsonAnswer(int status, std::string body) {
    HttpAnswer a;
    a.status = status;
    a.contentType = "application/json";
    a.body = std::move(body);
    return a;
}

// Everything one request renders, within its limits.
class RenderJob {
public:
    RenderJob(const RenderQuery& query, const RenderLimits& limits) : query_(query), limits_(limits) {}

    void run(const std::string& input) {
        qovrender::RenderOptions options;
        options.dpi = query_.dpi;
        options.metrics = qovrender::defaultMetrics();
        options.paperWidthMils = query_.paperWidthMils;
        options.paperLengthMils = query_.paperLengthMils;
        // One page's copies that differ could alone pass the label cap.
        options.metrics.maxCopyPictures = std::min<long long>(options.metrics.maxCopyPictures, limits_.maxLabels);
        // A form's own length could make a picture longer than the paper asked for.
        const long long across = std::max(1LL, static_cast<long long>(query_.paperWidthMils) * query_.dpi / 1000);
        options.metrics.maxRasterRows = static_cast<int>(
            std::clamp<long long>(limits_.maxPictureDots / across, 1, options.metrics.maxRasterRows));
        std::optional<GlyphPool::Lease> glyphs;
        if (limits_.reuseGlyphs) glyphs.emplace(GlyphPool::shared().borrow());
        qovrender::Renderer renderer(options, [this](const qovrender::PrintedLabel& l) { label(l); }, nullptr, nullptr,
                                     glyphs ? &glyphs->drawer() : nullptr);
        renderer.onFlaggedNote([this](long long line, const std::string& text, bool error) { note(line, text, error); });
        // Fed a line (or a chunk) at a time, so that the caps stop the input soon.
        std::size_t at = 0;
        while (at < input.size() && !stopped_) {
            std::size_t end = input.find('\n', at);
            end = end == std::string::npos ? input.size() : end + 1;
            end = std::min(end, at + limits_.feedChunk);
            renderer.feed(input.data() + at, end - at);
            at = end;
        }
        if (stopped_) {
            note(labels_.back().line, "stopped after " + std::to_string(labels_.size()) + " labels (" + stopReason_ +
                                      "); the rest of the input is not read", false);
        } else {
            renderer.finish();
        }
        if (droppedNotes_ > 0) {
            notes_.push_back({renderer.line(), std::to_string(droppedNotes_) + " more notes not listed", false});
        }
    }

    HttpAnswer answer() const {
        const std::string count = std::to_string(labels_.size());
        if (labels_.empty()) {
            HttpAnswer a = jsonAnswer(422, errorBody("the input printed no label", &notes_));
            a.headers.push_back({"X-Label-Count", "0"});
            return a;
        }
        HttpAnswer a;
        if (query_.format == RenderFormat::Json) {
            a = jsonAnswer(200, describeLabels(query_, labels_, notes_));
        } else if (query_.format == RenderFormat::Zip) {
            std::string error;
            if (!zipFiles(pictures_, a.body, error)) return jsonAnswer(500, errorBody(error));
            a.contentType = "application/zip";
            a.headers.push_back({"Content-Disposition", "attachment; filename=\"labels.zip\""});
        } else if (query_.index >= static_cast<long long>(labels_.size())) {
            a = jsonAnswer(404, errorBody("label " + std::to_string(query_.index) + " was not printed; the input printed " +
                                              count + (stopped_ ? " before it was stopped" : ""),
                                          &notes_));
        } else if (!pngError_.empty()) {
            return jsonAnswer(500, errorBody(pngError_));
        } else {
            a.contentType = "image/png";
            a.body.assign(png_.begin(), png_.end());
        }
        a.headers.push_back({"X-Label-Count", count});
        a.headers.push_back({"X-Notes", notesHeader(notes_, limits_.maxNotesHeader)});
        return a;
    }

private:
    void label(const qovrender::PrintedLabel& l) {
        if (stopped_) return;  // the rest of a page's copies, past the cap
        const qovrender::Raster& picture = *l.picture;
        const long long index = static_cast<long long>(labels_.size());
        RenderedLabel r;
        r.form = l.form;
        r.copies = l.copies;
        r.line = l.line;
        r.width = picture.width();
        r.height = picture.height();
        r.summary = l.summary;
        if (query_.format == RenderFormat::Json) r.elements = l.drawn;
        labels_.push_back(std::move(r));
        if ((query_.format == RenderFormat::Png && index == query_.index) ||
            (query_.format == RenderFormat::Zip && index < limits_.maxZipLabels)) {
            std::vector<std::uint8_t> png;
            std::string error;
            if (!qovrender::encodePng(picture, l.dpi, png, error)) pngError_ = error;
            if (query_.format == RenderFormat::Png) png_ = std::move(png);
            else pictures_.push_back({zipName(index), std::move(png)});
        }
        if (query_.format == RenderFormat::Zip && index == limits_.maxZipLabels) {
            note(l.line, "the ZIP holds the first " + std::to_string(limits_.maxZipLabels) + " labels only", false);
        }
        dots_ += static_cast<long long>(picture.width()) * picture.height();
        if (static_cast<long long>(labels_.size()) >= limits_.maxLabels) stop("at most " + std::to_string(limits_.maxLabels) + " labels a request");
        else if (dots_ >= limits_.maxDotsDrawn) stop("at most " + std::to_string(limits_.maxDotsDrawn) + " dots a request");
    }

    void stop(const std::string& why) {
        stopped_ = true;
        stopReason_ = why;
    }

    void note(long long line, const std::string& text, bool error) {
        if (notes_.size() < limits_.maxNotes) notes_.push_back({line, text, error});
        else ++droppedNotes_;
    }

    static std::string zipName(long long index) {
        char name[32];
        std::snprintf(name, sizeof name, "label-%03lld.png", index + 1);
        return name;
    }

    const RenderQuery& query_;
    const RenderLimits& limits_;
    std::vector<RenderedLabel> labels_;
    std::vector<RenderNote> notes_;
    std::size_t droppedNotes_ = 0;
    std::vector<std::uint8_t> png_;
    std::vector<ZipEntry> pictures_;
    std::string pngError_;
    long long dots_ = 0;
    bool stopped_ = false;
    std::string stopReason_;
};

}  // namespace

HttpAnswer renderRequest(const RenderRequest& request, const RenderLimits& limits) {
    try {
        RenderQuery query;
        QueryError error;
        if (!parseRenderQuery(request.query, request.accept, limits, query, error)) {
            return jsonAnswer(error.status, errorBody(error.message));
        }
        RenderJob job(query, limits);
        job.run(request.body);
        return job.answer();
    } catch (const std::bad_alloc&) {
        return jsonAnswer(500, errorBody("out of memory while rendering"));
    } catch (const std::exception& e) {
        return jsonAnswer(500, errorBody(std::string("rendering failed: ") + e.what()));
    }
}

HttpAnswer renderRequest(const RenderRequest& request) { return renderRequest(request, RenderLimits()); }

}  // namespace qovemu
