// POST /render as served: any body with any query and Accept header. The
// answer is always one of the documented codes with its content type; JSON
// answers parse (errors carry "error"); a PNG decodes; a ZIP opens and holds
// at most its cap of pictures; the headers stay printable and bounded; the
// work stops at the caps (kept small here so that each input runs fast).
//
// Input: the dpi, paper and index texts (each up to 12 bytes, ended by a
// backslash and another byte), the body, then two bytes read from the end:
// which of the three are in the query (bits 0-2) and, last, the Accept choice.
#include <fuzzer/FuzzedDataProvider.h>
#include <nlohmann/json.hpp>
#include <zip.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "png_io.h"
#include "render_api.h"

namespace {

std::string header(const qovemu::HttpAnswer& a, const std::string& name) {
    for (const auto& h : a.headers)
        if (h.first == name) return h.second;
    return "";
}

long long zipEntries(const std::string& bytes) {
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
    zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &ze) : nullptr;
    zip_error_fini(&ze);
    if (!z) {
        if (src) zip_source_free(src);
        return -1;
    }
    const long long n = zip_get_num_entries(z, 0);
    zip_close(z);
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const char* const kAccept[] = {"", "*/*", "image/png", "application/json", "application/zip",
                                          "text/html", "application/json;q=0.5, application/zip", "image/*;q=0"};
    qovemu::RenderRequest request;
    request.accept = kAccept[in.ConsumeIntegralInRange<int>(0, 7)];
    const std::uint8_t present = in.ConsumeIntegral<std::uint8_t>();
    const char* const kKeys[] = {"dpi", "paper", "index"};
    for (int k = 0; k < 3; ++k) {
        std::string value = in.ConsumeRandomLengthString(12);
        if (present & (1u << k)) request.query[kKeys[k]] = value;
    }
    request.body = in.ConsumeRemainingBytesAsString();

    qovemu::RenderLimits limits;
    limits.maxLabels = 8;
    limits.maxZipLabels = 3;
    limits.maxDotsDrawn = 32LL << 20;
    limits.maxPictureDots = 16LL << 20;
    const qovemu::HttpAnswer a = qovemu::renderRequest(request, limits);

    const int s = a.status;
    FUZZ_CHECK(s == 200 || s == 400 || s == 404 || s == 406 || s == 422);
    for (const auto& h : a.headers) {
        FUZZ_CHECK(h.second.size() <= limits.maxNotesHeader);
        for (char c : h.second) FUZZ_CHECK(c >= 0x20 && c < 0x7F);
    }
    const std::string count = header(a, "X-Label-Count");
    if (!count.empty()) FUZZ_CHECK(std::stoll(count) <= limits.maxLabels);
    if (a.contentType == "application/json") {
        const auto j = nlohmann::json::parse(a.body, nullptr, false);
        FUZZ_CHECK(!j.is_discarded());
        if (s != 200) FUZZ_CHECK(j.contains("error") && j["error"].is_string());
        else FUZZ_CHECK(j["labels"].is_array() && !j["labels"].empty() && j["labels"].size() <= 8u);
    } else if (a.contentType == "image/png") {
        FUZZ_CHECK(s == 200);
        qovrender::Raster picture;
        std::string error;
        FUZZ_CHECK(qovrender::decodePng(std::vector<std::uint8_t>(a.body.begin(), a.body.end()), picture, error));
        FUZZ_CHECK(static_cast<long long>(picture.width()) * picture.height() <= 8000LL * 40000);
    } else {
        FUZZ_CHECK(s == 200 && a.contentType == "application/zip");
        const long long n = zipEntries(a.body);
        FUZZ_CHECK(n >= 1 && n <= limits.maxZipLabels);
    }
    return 0;
}
