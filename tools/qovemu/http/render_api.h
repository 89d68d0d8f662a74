// POST /render: printer input in, pictures (PNG, ZIP) or a JSON description
// of every label out. It needs no printer: the forms and logos the input
// stores live only for the one request. No HTTP library here, so the same
// function is served, fuzzed and benchmarked.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "render_limits.h"

namespace qovemu {

struct HttpAnswer {
    int status = 200;
    std::string contentType;
    std::vector<std::pair<std::string, std::string>> headers;  // besides Content-Type
    std::string body;
};

struct RenderRequest {
    std::string body;                           // the printer input
    std::map<std::string, std::string> query;   // dpi, paper, index
    std::string accept;                         // the Accept header, as sent
};

// Never throws: whatever goes wrong is an answer (4xx for the request, 500
// for the machine). The work is bounded by `limits`, however long the
// input asks to print.
HttpAnswer renderRequest(const RenderRequest& request, const RenderLimits& limits);
HttpAnswer renderRequest(const RenderRequest& request);

}  // namespace qovemu
