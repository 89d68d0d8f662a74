#include "render_api.h"

namespace qovemu {

HttpAnswer renderRequest(const RenderRequest&) {
    HttpAnswer answer;
    answer.status = 501;
    answer.contentType = "application/json";
    answer.body = "{\"error\":\"rendering is not built into this qovemu\"}";
    return answer;
}

}  // namespace qovemu
