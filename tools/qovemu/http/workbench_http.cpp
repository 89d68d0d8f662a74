#include "workbench_http.h"

#include <arpa/inet.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <regex>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "emulator_server.h"
#include "render_api.h"
#include "web_assets.h"
#include "workbench_server.h"

namespace qovemu {

using nlohmann::json;

namespace {

const char* const kJson = "application/json";

// Replaced bytes rather than an exception: texts from labels may be any bytes.
std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

// The body moved in, not copied as the library's set_content does.
void sendBody(httplib::Response& res, int status, std::string body, const std::string& type) {
    res.status = status;
    res.body = std::move(body);
    res.headers.erase("Content-Type");
    res.set_header("Content-Type", type);
}

void sendJson(httplib::Response& res, int status, const json& body) { sendBody(res, status, dump(body), kJson); }

void sendError(httplib::Response& res, int status, const std::string& text) {
    sendJson(res, status, json{{"error", text}});
}

std::string isoTime(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms % 1000));
    return text;
}

json printerJson(const PrinterSnapshot& s) {
    json faults = json::array();
    for (const std::string& f : s.faults.routes()) faults.push_back(f);
    return json{{"name", s.name},
                {"port", s.port},
                {"serial", s.serial.empty() ? json(nullptr) : json(s.serial)},
                {"dpi", s.dpi},
                {"paper",
                 {{"width", s.paperWidthMils ? s.paperWidthMils : 4000},
                  {"length", s.paperLengthMils ? s.paperLengthMils : 6000}}},
                {"status", s.faults.any() ? "FAULT" : "READY"},
                {"faults", faults},
                {"waiting", s.waiting},
                {"counters",
                 {{"labels", s.labels},
                  {"forms", s.forms},
                  {"logos", s.logos},
                  {"errors", s.errors},
                  {"restarts", s.restarts}}},
                {"gallery", {{"count", s.galleryCount}, {"bytes", s.galleryBytes}, {"newest", s.newest}}}};
}

json labelJson(const std::string& printer, const GalleryEntry& e) {
    json notes = json::array();
    for (const LabelNote& n : e.notes) notes.push_back({{"line", n.line}, {"text", n.text}});
    const std::string base = "/printers/" + printer + "/labels/" + std::to_string(e.id);
    return json{{"id", e.id},          {"time", isoTime(e.timeMs)}, {"form", e.form},
                {"copies", e.copies},  {"summary", e.summary},      {"width", e.width},
                {"height", e.height},  {"notes", notes},            {"texts", e.texts},
                {"png", base + ".png"}, {"job", base + ".txt"}};
}

// A decimal number of at most 19 digits.
bool parseCount(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19) return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    return true;
}

// The printers the routes serve, shared by their handlers.
struct Printers {
    std::vector<EmulatorServer*> list;
    EmulatorServer* find(const std::string& name) const {
        for (EmulatorServer* p : list)
            if (p->options().name == name) return p;
        return nullptr;
    }
};

// A label's picture or job bytes: the only answers that honour a Range.
const char* const kLabelBytes = R"(/printers/([^/]+)/labels/([0-9]+)\.(png|txt))";

// The library cuts whatever a handler answers to the request's Range after
// the handler returns (errors and JSON too, with a Content-Range). Every
// answer but a label's bytes drops the Range here; those apply it
// themselves (sendBytes). Handlers get the request as const, but it is the
// library's own object, made for this request.
void dropRanges(const httplib::Request& req) { const_cast<httplib::Request&>(req).ranges.clear(); }

// One range is honoured: 206 with its Content-Range, 416 when none of it
// lies within the bytes. Several get the whole answer (a server may ignore a
// Range) rather than a multipart copy of the bytes per range.
void sendBytes(const httplib::Ranges& ranges, httplib::Response& res, const std::string& bytes,
               const std::string& type) {
    const long long size = static_cast<long long>(bytes.size());
    res.set_header("Accept-Ranges", "bytes");
    if (ranges.size() != 1 || (ranges[0].first < 0 && ranges[0].second < 0))
        return sendBody(res, 200, bytes, type);
    long long first = ranges[0].first, last = ranges[0].second;
    if (first < 0) {  // the last `last` bytes
        first = std::max(0LL, size - last);
        last = size - 1;
    } else if (last < 0 || last >= size) {
        last = size - 1;
    }
    if (first >= size) {
        sendError(res, 416, "range not satisfiable: " + std::to_string(size) + " bytes");
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    res.set_header("Content-Range",
                   "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" + std::to_string(size));
    sendBody(res, 206, bytes.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(last - first + 1)),
             type);
}

ServingLimits limitsOf(const HttpOptions& o) {
    ServingLimits l;
    l.threads = o.threads;
    l.queue = o.queue;
    l.waiting.requestMs = o.requestMs;
    l.waiting.idleMs = o.idleMs;
    return l;
}

}  // namespace

bool isLoopback(const std::string& address) {
    if (address == "localhost" || address == "::1") return true;
    in_addr a{};
    return inet_pton(AF_INET, address.c_str(), &a) == 1 && (ntohl(a.s_addr) >> 24) == 127;
}

WorkbenchHttp::WorkbenchHttp(HttpOptions options, std::vector<EmulatorServer*> printers, std::FILE* log)
    : options_(std::move(options)), printers_(std::move(printers)), log_(log),
      server_(std::make_unique<WorkbenchServer>(limitsOf(options_))) {}

WorkbenchHttp::~WorkbenchHttp() { stop(); }

bool WorkbenchHttp::start(std::string& error) {
    if (!options_.anyAddress && !isLoopback(options_.address)) {
        error = "--http takes a loopback address (127.0.0.1, ::1, localhost); use --http-bind for " +
                options_.address;
        return false;
    }
    WorkbenchServer& s = *server_;
    // Answers go out at once: with Nagle on, a kept-alive client waits for its
    // delayed ACK of the headers before the body follows (about 40 ms).
    s.set_tcp_nodelay(true);
    installRoutes(s, options_, printers_);
    const std::string host = options_.address == "localhost" ? "127.0.0.1" : options_.address;
    port_ = options_.port == 0 ? s.bind_to_any_port(host) : (s.bind_to_port(host, options_.port) ? options_.port : -1);
    if (port_ <= 0) {
        error = "cannot listen for HTTP on " + options_.address + ":" + std::to_string(options_.port);
        return false;
    }
    if (!s.startServing(error)) return false;
    if (log_) {
        const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
        std::fprintf(log_, "http listening %s:%d%s\n", shown.c_str(), port_,
                     isLoopback(host) ? "" : " (not loopback: reachable from other machines)");
        std::fflush(log_);
    }
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    return true;
}

void WorkbenchHttp::stop() {
    if (thread_.joinable()) {
        server_->stop();
        thread_.join();
    }
    server_->stopServing();
}

void installRoutes(httplib::Server& s, const HttpOptions& options, std::vector<EmulatorServer*> list) {
    using httplib::Request;
    using httplib::Response;
    const auto printers = std::make_shared<const Printers>(Printers{std::move(list)});
    s.set_payload_max_length(options.maxBody);

    // Errors that no handler answered (no route, a body too large, a
    // malformed request or one that ran out of time) are JSON too; so is a
    // Range the library could not read (416), and no error is cut to one.
    // After a request that was not read whole the connection closes: what
    // follows cannot be told apart from the rest of its body.
    const int requestMs = options.requestMs;
    s.set_error_handler([requestMs](const Request& req, Response& res) {
        dropRanges(req);
        if (res.status == 400 && WorkbenchServer::requestTimedOut()) {
            res.status = 408;
            res.body.clear();
        }
        if (res.status == 400 || res.status == 408 || res.status == 413) WorkbenchServer::closeAfterAnswer(res);
        if (!res.body.empty()) return;
        std::string text;
        switch (res.status) {
        case 404: text = "no such resource: " + req.method + " " + req.path; break;
        case 413: text = "request body too large"; break;
        case 400: text = "malformed request"; break;
        case 408: text = "request not complete within " + std::to_string(requestMs) + " ms"; break;
        case 416: text = "Range not understood (bytes=FIRST-LAST; only a label's .png and .txt take one)"; break;
        default: text = "request failed with status " + std::to_string(res.status); break;
        }
        sendBody(res, res.status, dump(json{{"error", text}}), kJson);
    });
    s.set_exception_handler([](const Request&, Response& res, std::exception_ptr) {
        sendError(res, 500, "internal error");
    });

    // The page.
    for (const WebAsset& a : webAssets()) {
        const WebAsset* asset = &a;
        auto serve = [asset](const Request&, Response& res) {
            res.set_content(reinterpret_cast<const char*>(asset->data), asset->size, asset->type);
            res.set_header("Cache-Control", "no-cache");
        };
        s.Get("/" + std::string(a.name), serve);
        if (std::string(a.name) == "index.html") s.Get("/", serve);
    }

    // A body announced larger than the cap is refused before it is read;
    // the connection then closes (at once), as the unread body cannot be skipped.
    // Every request but one for a label's bytes loses its Range here.
    const std::size_t maxBody = options.maxBody;
    s.set_pre_routing_handler([maxBody](const Request& req, Response& res) {
        static const std::regex labelBytes(kLabelBytes);
        if (!req.ranges.empty() && !std::regex_match(req.path, labelBytes)) dropRanges(req);
        const std::string length = req.get_header_value("Content-Length");
        std::uint64_t size = 0;
        if (length.empty() || (parseCount(length, size) && size <= maxBody)) return httplib::Server::HandlerResponse::Unhandled;
        sendError(res, 413, "request body too large (at most " + std::to_string(maxBody) + " bytes)");
        WorkbenchServer::closeAfterAnswer(res);
        return httplib::Server::HandlerResponse::Handled;
    });

    const RenderLimits renderLimits = options.render;
    s.Post("/render", [maxBody, renderLimits](const Request& req, Response& res, const httplib::ContentReader& reader) {
        RenderRequest r;
        bool tooLarge = false;
        const bool read = reader([&](const char* data, std::size_t size) {
            if (r.body.size() + size > maxBody) {
                tooLarge = true;  // a chunked body past the cap: stop reading it
                return false;
            }
            r.body.append(data, size);
            return true;
        });
        if (tooLarge || !read) {
            sendError(res, tooLarge ? 413 : 400,
                      tooLarge ? "request body too large (at most " + std::to_string(maxBody) + " bytes)"
                               : "request body not complete");
            WorkbenchServer::closeAfterAnswer(res);
            return;
        }
        for (const auto& p : req.params) r.query.emplace(p.first, p.second);
        r.accept = req.get_header_value("Accept");
        HttpAnswer a = renderRequest(r, renderLimits);
        res.status = a.status;
        for (const auto& h : a.headers) res.set_header(h.first.c_str(), h.second);
        sendBody(res, a.status, std::move(a.body), a.contentType.empty() ? kJson : a.contentType);
    });

    s.Get("/printers", [printers](const Request&, Response& res) {
        json all = json::array();
        for (EmulatorServer* p : printers->list) all.push_back(printerJson(p->snapshot()));
        sendJson(res, 200, json{{"printers", all}});
    });

    s.Get(R"(/printers/([^/]+))", [printers](const Request& req, Response& res) {
        EmulatorServer* p = printers->find(req.matches[1]);
        if (!p) return sendError(res, 404, "no printer " + std::string(req.matches[1]));
        sendJson(res, 200, printerJson(p->snapshot()));
    });

    // The switches take no body; one sent anyway is read and ignored (a PUT
    // without Content-Length is fine, so the plain `curl -X PUT` works).
    auto fault = [printers](bool on) {
        return [printers, on](const Request& req, Response& res, const httplib::ContentReader& body) {
            if (req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))
                body([](const char*, std::size_t) { return true; });
            EmulatorServer* p = printers->find(req.matches[1]);
            if (!p) return sendError(res, 404, "no printer " + std::string(req.matches[1]));
            Fault f;
            if (!faultFromRoute(req.matches[2], f))
                return sendError(res, 404,
                                 "no fault " + std::string(req.matches[2]) +
                                     " (paper-out, ribbon-out, head-open, paused, offline)");
            p->setFault(f, on);
            sendJson(res, 200, printerJson(p->snapshot()));
        };
    };
    s.Put(R"(/printers/([^/]+)/faults/([^/]+))", fault(true));
    s.Delete(R"(/printers/([^/]+)/faults/([^/]+))", fault(false));

    s.Get(R"(/printers/([^/]+)/labels)", [printers](const Request& req, Response& res) {
        EmulatorServer* p = printers->find(req.matches[1]);
        if (!p) return sendError(res, 404, "no printer " + std::string(req.matches[1]));
        std::uint64_t since = 0, limit = std::numeric_limits<std::uint64_t>::max();
        if (req.has_param("since") && !parseCount(req.get_param_value("since"), since))
            return sendError(res, 400, "since must be a label id");
        if (req.has_param("limit") && !parseCount(req.get_param_value("limit"), limit))
            return sendError(res, 400, "limit must be a number");
        // Written a label at a time: a whole gallery as one document would
        // hold thousands of small objects at once, on every thread that lists it.
        std::string body = "{\"labels\":[";
        bool first = true;
        for (const GalleryItem& item : p->labels(since, static_cast<std::size_t>(limit))) {
            if (!first) body += ',';
            first = false;
            body += dump(labelJson(p->options().name, *item));
        }
        body += "]}";
        sendBody(res, 200, std::move(body), kJson);
    });

    s.Delete(R"(/printers/([^/]+)/labels)", [printers](const Request& req, Response& res,
                                                      const httplib::ContentReader& body) {
        if (req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))
            body([](const char*, std::size_t) { return true; });
        EmulatorServer* p = printers->find(req.matches[1]);
        if (!p) return sendError(res, 404, "no printer " + std::string(req.matches[1]));
        p->clearLabels();
        res.status = 204;
    });

    s.Get(kLabelBytes, [printers](const Request& req, Response& res) {
        const httplib::Ranges ranges = req.ranges;
        dropRanges(req);
        EmulatorServer* p = printers->find(req.matches[1]);
        if (!p) return sendError(res, 404, "no printer " + std::string(req.matches[1]));
        std::uint64_t id = 0;
        GalleryItem item = parseCount(req.matches[2], id) ? p->label(id) : nullptr;
        if (!item) return sendError(res, 404, "no label " + std::string(req.matches[2]) + " (not kept)");
        if (req.matches[3] == "png") {
            if (item->png.empty()) return sendError(res, 404, "label " + std::to_string(id) + " has no picture");
            sendBytes(ranges, res, item->png, "image/png");
        } else {
            sendBytes(ranges, res, item->job, "text/plain; charset=iso-8859-1");
        }
    });
}

}  // namespace qovemu
