// The query and Accept header of POST /render, checked: the resolution, the
// paper, the label asked for and the answer's format.
#pragma once

#include <map>
#include <string>

#include "render_limits.h"

namespace qovemu {

enum class RenderFormat { Png, Json, Zip };

struct RenderQuery {
    int dpi = 203;
    int paperWidthMils = 4000;
    int paperLengthMils = 6000;
    long long index = 0;
    RenderFormat format = RenderFormat::Png;
};

struct QueryError {
    int status = 400;       // 400 for the query, 406 for an Accept we cannot answer
    std::string message;
};

// Fills `out` from the query (unknown keys are ignored) and the Accept header
// (the acceptable type of highest quality among image/png, application/json,
// application/zip and the wildcards; none given means PNG). `out` starts
// with the paper the printer has by default.
bool parseRenderQuery(const std::map<std::string, std::string>& query, const std::string& accept,
                      const RenderLimits& limits, RenderQuery& out, QueryError& error);

}  // namespace qovemu
