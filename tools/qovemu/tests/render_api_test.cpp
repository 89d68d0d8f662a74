// POST /render as a function: pictures against a direct render, the JSON
// description's exact geometry and lines, the ZIP, the error answers, and
// inputs that would print without end.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <zip.h>

#include <string>
#include <vector>

#include "glyph_pool.h"
#include "label_description.h"
#include "png_io.h"
#include "render_api.h"
#include "renderer.h"
#include "test_support.h"

namespace {

using nlohmann::json;
using qovemu::HttpAnswer;
using qovemu::RenderLimits;

HttpAnswer post(const std::string& body, std::map<std::string, std::string> query = {}, const std::string& accept = "",
                const RenderLimits& limits = RenderLimits()) {
    qovemu::RenderRequest r;
    r.body = body;
    r.query = std::move(query);
    r.accept = accept;
    return qovemu::renderRequest(r, limits);
}

std::string header(const HttpAnswer& a, const std::string& name) {
    for (const auto& h : a.headers)
        if (h.first == name) return h.second;
    return "(absent)";
}

qovrender::Raster picture(const std::string& png) {
    qovrender::Raster r;
    std::string error;
    EXPECT_TRUE(qovrender::decodePng(std::vector<std::uint8_t>(png.begin(), png.end()), r, error)) << error;
    return r;
}

// A text, a box and a barcode, in printer dots.
const std::string kSmallForm = qovtest::form("T", {"SCALE;DOT;203;203",        // line 2
                                                   "ALPHA",                    // 3
                                                   "100;50;0;0;\"AB\"",        // 4
                                                   "STOP",                     // 5
                                                   "BOX",                      // 6
                                                   "2;10;20;110;220",          // 7
                                                   "STOP",                     // 8
                                                   "BARCODE",                  // 9
                                                   "C128B;XRD2:2:4:4:6:6:8:8;H10;300;40",  // 10
                                                   "\"QOV1\"",                 // 11
                                                   "STOP"},                    // 12
                                             ";1");                            // EXECUTE: line 14

TEST(RenderApi, PngIsTheLabelAsDrawnAtEachResolution) {
    const struct {
        const char* dpi;
        int width, height;
    } kCases[] = {{"203", 812, 1218}, {"300", 1200, 1800}, {"600", 2400, 3600}};
    for (const auto& c : kCases) {
        const HttpAnswer a = post(kSmallForm, {{"dpi", c.dpi}});
        ASSERT_EQ(a.status, 200) << c.dpi << " " << a.body;
        EXPECT_EQ(a.contentType, "image/png");
        EXPECT_EQ(header(a, "X-Label-Count"), "1");
        const qovrender::Raster got = picture(a.body);
        EXPECT_EQ(got.width(), c.width) << c.dpi;
        EXPECT_EQ(got.height(), c.height) << c.dpi;
        const qovtest::Output direct = qovtest::render(kSmallForm, std::atoi(c.dpi));
        ASSERT_EQ(direct.labels.size(), 1u);
        EXPECT_TRUE(got == direct.labels[0].picture) << c.dpi;
        EXPECT_EQ(qovtest::decode(got), std::vector<std::string>{"QOV1"}) << c.dpi;
    }
    // The paper asked for sets the picture's size; labels are counted from 0.
    const std::string two = kSmallForm + "~EXECUTE;T;1\r\n~NORMAL\r\n";
    const HttpAnswer second = post(two, {{"paper", "2000x1000"}, {"index", "1"}}, "image/png");
    ASSERT_EQ(second.status, 200) << second.body;
    EXPECT_EQ(header(second, "X-Label-Count"), "2");
    const qovrender::Raster small = picture(second.body);
    EXPECT_EQ(small.width(), 406);
    EXPECT_EQ(small.height(), 203);
}

TEST(RenderApi, JsonDescribesEveryElementWithItsLine) {
    const HttpAnswer a = post(kSmallForm, {{"dpi", "203"}}, "application/json");
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_EQ(a.contentType, "application/json");
    const json j = json::parse(a.body);
    EXPECT_EQ(j["dpi"], 203);
    EXPECT_EQ(j["paper"], json({{"width", 4000}, {"length", 6000}}));
    ASSERT_EQ(j["labels"].size(), 1u);
    const json& l = j["labels"][0];
    EXPECT_EQ(l["form"], "T");
    EXPECT_EQ(l["line"], 14);
    EXPECT_EQ(l["width"], 812);
    EXPECT_EQ(l["height"], 1218);
    ASSERT_EQ(l["elements"].size(), 3u) << l.dump();
    // Standard text: cells 0.1 in (20 dots) square, standing on row 100.
    EXPECT_EQ(l["elements"][0], json({{"kind", "text"}, {"line", 4}, {"x", 50}, {"y", 80}, {"width", 40}, {"height", 20},
                                       {"rotation", 0}, {"data", "AB"}}));
    // The four sides as one box: 200 x 100 dots plus the 2-dot sides.
    EXPECT_EQ(l["elements"][1], json({{"kind", "box"}, {"line", 7}, {"x", 20}, {"y", 10}, {"width", 202}, {"height", 102},
                                       {"rotation", 0}, {"data", ""}}));
    const json& b = l["elements"][2];
    EXPECT_EQ(b["kind"], "barcode");
    EXPECT_EQ(b["symbology"], "C128B");
    EXPECT_EQ(b["data"], "QOV1");
    EXPECT_EQ(b["line"], 10);
    EXPECT_EQ(b["x"], 40);
    EXPECT_EQ(b["y"], 300);
    EXPECT_EQ(b["height"], 203);  // H10: one inch
    // Start, four characters, check character (11 modules each) and stop (13), 2 dots a module.
    EXPECT_EQ(b["width"], (11 * 6 + 13) * 2);
}

TEST(RenderApi, ElementBoxesTurnWithThePaper) {
    // Under each ROTATE the box and the text reported hold exactly the ink drawn.
    for (const char* rotate : {"0", "90", "180", "270"}) {
        const std::string input = std::string("~PAPER;ROTATE ") + rotate + "\r\n" +
                                  qovtest::form("R", {"SCALE;DOT;203;203", "BOX", "3;10;20;110;220", "STOP", "ALPHA",
                                                      "CW;150;150;0;0;\"III\"", "STOP"}, ";1");
        const json j = json::parse(post(input, {{"paper", "3000x2000"}}, "application/json").body);
        const qovrender::Raster png = picture(post(input, {{"paper", "3000x2000"}}).body);
        ASSERT_EQ(j["labels"].size(), 1u) << rotate;
        EXPECT_EQ(j["labels"][0]["width"], png.width());
        EXPECT_EQ(j["labels"][0]["height"], png.height());
        const json& e = j["labels"][0]["elements"];
        ASSERT_EQ(e.size(), 2u) << rotate;
        const int turn = std::atoi(rotate);
        EXPECT_EQ(e[0]["rotation"], turn);
        EXPECT_EQ(e[1]["rotation"], (90 + turn) % 360);
        const int x = e[0]["x"], y = e[0]["y"], w = e[0]["width"], h = e[0]["height"];
        const qovtest::Box box = qovtest::inkBox(png, x - 5, y - 5, x + w + 5, y + h + 5);
        EXPECT_EQ(box.left, x) << rotate;
        EXPECT_EQ(box.top, y) << rotate;
        EXPECT_EQ(box.width(), w) << rotate;
        EXPECT_EQ(box.height(), h) << rotate;
        // The text's ink lies inside its cells.
        const int tx = e[1]["x"], ty = e[1]["y"], tw = e[1]["width"], th = e[1]["height"];
        EXPECT_FALSE(qovtest::inkBox(png, tx, ty, tx + tw - 1, ty + th - 1).empty()) << rotate;
        const qovtest::Box text = qovtest::inkBox(png, tx - 30, ty - 30, tx + tw + 30, ty + th + 30);
        EXPECT_GE(text.left, tx) << rotate;
        EXPECT_GE(text.top, ty) << rotate;
        EXPECT_LE(text.right, tx + tw - 1) << rotate;
        EXPECT_LE(text.bottom, ty + th - 1) << rotate;
    }
}

TEST(RenderApi, KeptGlyphsDrawWhatFreshFontsDraw) {
    // Different sizes and faces first, so the kept drawers hold glyphs the
    // next request looks up at other sizes.
    const std::string other = qovtest::form("O", {"ALPHA", "2;2;3;3;\"AB\"", "STOP", "ALPHA", "POINT;4;2;14;14;\"AB\"", "STOP"}, ";1");
    RenderLimits fresh;
    fresh.reuseGlyphs = false;
    for (const std::string* input : {&other, &kSmallForm, &other, &kSmallForm}) {
        const HttpAnswer kept = post(*input);
        ASSERT_EQ(kept.status, 200);
        EXPECT_TRUE(kept.body == post(*input, {}, "", fresh).body);
    }
    // The pool keeps at most its bound, however many requests ran at once.
    qovemu::GlyphPool pool(2, 1u << 20);
    {
        auto a = pool.borrow();
        auto b = pool.borrow();
        auto c = pool.borrow();
        EXPECT_EQ(pool.idle(), 0u);
    }
    EXPECT_EQ(pool.idle(), 2u);
    { auto again = pool.borrow(); EXPECT_EQ(pool.idle(), 1u); }
}

// The names and pictures of a ZIP answer.
std::vector<std::pair<std::string, qovrender::Raster>> unzip(const std::string& bytes) {
    std::vector<std::pair<std::string, qovrender::Raster>> out;
    zip_error_t ze;
    zip_error_init(&ze);
    zip_source_t* src = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &ze);
    zip_t* z = src ? zip_open_from_source(src, ZIP_RDONLY | ZIP_CHECKCONS, &ze) : nullptr;
    if (!z) {
        ADD_FAILURE() << "not a ZIP: " << zip_error_strerror(&ze);
        if (src) zip_source_free(src);
        zip_error_fini(&ze);
        return out;
    }
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        std::string data(st.size, '\0');
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        EXPECT_EQ(zip_fread(f, &data[0], st.size), static_cast<zip_int64_t>(st.size));
        zip_fclose(f);
        out.push_back({st.name, picture(data)});
    }
    zip_close(z);
    return out;
}

TEST(RenderApi, ZipHoldsEveryLabelUpToItsCap) {
    std::string input = kSmallForm;
    for (int i = 0; i < 2; ++i) input += "~EXECUTE;T;1\r\n~NORMAL\r\n";
    const HttpAnswer a = post(input, {{"paper", "2000x1000"}}, "application/zip");
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_EQ(a.contentType, "application/zip");
    EXPECT_EQ(header(a, "X-Label-Count"), "3");
    const auto files = unzip(a.body);
    ASSERT_EQ(files.size(), 3u);
    const char* const kNames[] = {"label-001.png", "label-002.png", "label-003.png"};
    const qovtest::Output direct = qovtest::render(input, 203, 0, [] {
        qovrender::RenderOptions o;
        o.paperWidthMils = 2000;
        o.paperLengthMils = 1000;
        return o;
    }());
    ASSERT_EQ(direct.labels.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(files[i].first, kNames[i]);
        EXPECT_TRUE(files[i].second == direct.labels[i].picture) << i;
    }
    RenderLimits two;
    two.maxZipLabels = 2;
    const HttpAnswer capped = post(input, {}, "application/zip", two);
    ASSERT_EQ(capped.status, 200);
    EXPECT_EQ(header(capped, "X-Label-Count"), "3");
    EXPECT_EQ(unzip(capped.body).size(), 2u);
    EXPECT_NE(header(capped, "X-Notes").find("the ZIP holds the first 2 labels only"), std::string::npos);
}

TEST(RenderApi, BadRequestsGetTheirCodesAndAJsonError) {
    const struct {
        std::map<std::string, std::string> query;
        const char* accept;
        int status;
        const char* says;
    } kCases[] = {
        {{{"dpi", "204"}}, "", 400, "dpi must be 203, 300 or 600"},
        {{{"dpi", ""}}, "", 400, "dpi"},
        {{{"paper", "4000"}}, "", 400, "paper must be"},
        {{{"paper", "0x6000"}}, "", 400, "paper must be"},
        {{{"paper", "4000x-6"}}, "", 400, "paper must be"},
        {{{"paper", "100001x1000"}}, "", 400, "paper must be"},
        // 100 x 100 inches: allowed paper, but past the picture's budget.
        {{{"paper", "100000x100000"}}, "", 400, "dots; at most"},
        {{{"index", "-1"}}, "", 400, "index"},
        {{{"index", "1e3"}}, "", 400, "index"},
        {{}, "text/html", 406, "Accept"},
        {{}, "application/json;q=0", 406, "Accept"},
        {{{"index", "1"}}, "", 404, "label 1 was not printed; the input printed 1"},
    };
    for (const auto& c : kCases) {
        const HttpAnswer a = post(kSmallForm, c.query, c.accept);
        EXPECT_EQ(a.status, c.status) << c.says;
        EXPECT_EQ(a.contentType, "application/json");
        const json j = json::parse(a.body);
        EXPECT_NE(j["error"].get<std::string>().find(c.says), std::string::npos) << j.dump();
    }
    // No label: 422, with the notes that tell why.
    const HttpAnswer none = post("~CREATE;F;X\r\nALPHA\r\n1;1;0;0;\"unclosed\r\nSTOP\r\nEND\r\n", {}, "application/json");
    EXPECT_EQ(none.status, 422);
    const json j = json::parse(none.body);
    EXPECT_EQ(j["error"], "the input printed no label");
    ASSERT_FALSE(j["notes"].empty());
    EXPECT_EQ(j["notes"][0]["line"], 3);
    EXPECT_EQ(j["notes"][0]["error"], true);
    // An Accept list: the best quality it allows wins, the first of equals.
    EXPECT_EQ(post(kSmallForm, {}, "image/png;q=0.5, application/json").contentType, "application/json");
    EXPECT_EQ(post(kSmallForm, {}, "text/html, application/zip;q=0.9, */*;q=0.8").contentType, "application/zip");
    EXPECT_EQ(post(kSmallForm, {}, "*/*").contentType, "image/png");
}

TEST(RenderApi, EndlessInputStopsAtTheCapsWithANote) {
    RenderLimits limits;
    limits.maxLabels = 20;
    // A million EXECUTE lines.
    std::string executes = kSmallForm;
    executes.reserve(executes.size() + 16u * 1000000);
    for (int i = 0; i < 1000000; ++i) executes += "~EXECUTE;T;1\r\n";
    HttpAnswer a = post(executes, {}, "application/json", limits);
    ASSERT_EQ(a.status, 200);
    json j = json::parse(a.body);
    EXPECT_EQ(j["labels"].size(), 20u);
    ASSERT_FALSE(j["notes"].empty());
    const json& last = j["notes"].back();
    EXPECT_EQ(last["text"], "stopped after 20 labels (at most 20 labels a request); the rest of the input is not read");
    EXPECT_EQ(last["line"], 34);  // the 20th label: the form's at 14, then 16, 17, ...
    // A million copies of a form whose copies differ (a page number).
    const std::string pages = qovtest::form("P", {"PAGE;1;1"}, ";999999");
    a = post(pages, {{"index", "19"}}, "", limits);
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(header(a, "X-Label-Count"), "20");
    a = post(pages, {{"index", "20"}}, "", limits);
    EXPECT_EQ(a.status, 404);
    EXPECT_NE(json::parse(a.body)["error"].get<std::string>().find("before it was stopped"), std::string::npos);
    // The dots drawn are capped too: 4 x 6 in at 203 dpi is 989,016 dots a label.
    RenderLimits dots;
    dots.maxDotsDrawn = 3 * 989016;
    a = post(executes, {}, "", dots);
    EXPECT_EQ(header(a, "X-Label-Count"), "3");
    // A form that never reaches END prints nothing and says so.
    a = post("~CREATE;F;X\r\nALPHA\r\n1;1;0;0;\"x\"\r\nSTOP\r\n" + std::string(1 << 20, 'A'), {}, "application/json");
    EXPECT_EQ(a.status, 422);
}

TEST(RenderApi, NotesHeaderIsPrintableAsciiAndBounded) {
    // Notes quoting bytes of the input: a backslash and a Latin-1 letter are
    // escaped, so the header stays ASCII and reads back unambiguously.
    const std::string input = "~CREATE;F;X\r\nBOGUS\\\xC4\rX\r\nEND\r\n~EXECUTE;F;1\r\n~NORMAL\r\n";
    const HttpAnswer a = post(input);
    ASSERT_EQ(a.status, 200) << a.body;
    EXPECT_EQ(header(a, "X-Notes"),
              "2: unknown statement, skipped: BOGUS\\x5C\\xC4; 3: unknown statement, skipped: X");
    std::string many;
    for (int i = 0; i < 2000; ++i) many += "BOGUS\r\n";
    const HttpAnswer b = post("~CREATE;F;X\r\n" + many + "END\r\n~EXECUTE;F;1\r\n~NORMAL\r\n");
    const std::string cut = header(b, "X-Notes");
    EXPECT_EQ(cut.size(), 4096u);
    EXPECT_EQ(cut.substr(cut.size() - 3), "...");
    const json j = json::parse(post("~CREATE;F;X\r\n" + many + "END\r\n~EXECUTE;F;1\r\n~NORMAL\r\n", {}, "application/json").body);
    EXPECT_EQ(j["notes"].size(), 1001u);
    EXPECT_EQ(j["notes"].back()["text"], "1000 more notes not listed");
}

TEST(RenderApi, NotesHeaderCutAnywhereStaysWithinItsBound) {
    // Every bound from none to past the whole line: the cut never passes the
    // bound, ends in "..." when there is room for it, and never halves an
    // escape, wherever the previous note happened to end.
    const std::vector<qovemu::RenderNote> notes = {{2, "ab\xC4", false}, {3, "cd", false}, {40, "e", false}};
    const std::string whole = "2: ab\\xC4; 3: cd; 40: e";
    ASSERT_EQ(qovemu::notesHeader(notes, 1000), whole);
    for (std::size_t bound = 0; bound < whole.size(); ++bound) {
        const std::string cut = qovemu::notesHeader(notes, bound);
        SCOPED_TRACE(bound);
        ASSERT_LE(cut.size(), bound);
        const std::size_t kept = cut.size() - std::min<std::size_t>(3, cut.size());  // before the "..."
        EXPECT_EQ(cut.substr(0, kept), whole.substr(0, kept));
        if (bound < 3) continue;
        EXPECT_EQ(cut.substr(cut.size() - 3), "...");
        const std::size_t slash = cut.rfind('\\');
        EXPECT_TRUE(slash == std::string::npos || (cut.compare(slash, 2, "\\x") == 0 && slash + 4 <= cut.size() - 3))
            << cut;
    }
}

}  // namespace
