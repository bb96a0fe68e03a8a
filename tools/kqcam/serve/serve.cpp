#include "serve.h"

#include <cctype>
#include <condition_variable>
#include <mutex>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <random>
#include <regex>
#include <thread>

#include <httplib.h>

#include "errors.h"
#include "platform.h"
#include "serve_camera.h"
#include "serve_gate.h"
#include "serve_http.h"
#include "serve_live.h"
#include "serve_state.h"

namespace kqcam {

namespace {

using nlohmann::json;

// Limits of what one client can make the server hold.
constexpr unsigned kThreads = 32;      // requests served at once (whole ones: see ConnectionGate)
constexpr unsigned kMaxViewers = 12;   // live view streams
constexpr unsigned kMaxFeeds = 8;      // event streams
constexpr std::size_t kFeedQueue = 64; // events queued for a slow event reader
constexpr std::size_t kMaxBody = 16 * 1024;
constexpr std::size_t kMaxHeaders = 64;
constexpr char kBoundary[] = "kqframe";

const char kTokenParam[] = "token";
const char kTokenHeader[] = "X-Kqcam-Token";
const char kControlParam[] = "control";
const char kControlHeader[] = "X-Kqcam-Control";

// The documented routes and the methods each takes (HEAD goes with GET).
struct Route {
    std::regex pattern;
    const char* methods;
};

const std::vector<Route>& Routes() {
    static const std::vector<Route> routes = {
        {std::regex("/"), "GET, HEAD"},
        {std::regex("/api/camera"), "GET, HEAD"},
        {std::regex("/api/status"), "GET, HEAD"},
        {std::regex("/api/config"), "GET, HEAD"},
        {std::regex("/api/config/[^/]+"), "GET, HEAD, PUT"},
        {std::regex("/api/capture"), "POST"},
        {std::regex("/api/shots"), "GET, HEAD"},
        {std::regex("/api/shots/.+"), "GET, HEAD"},
        {std::regex("/api/live"), "GET, HEAD"},
        {std::regex("/api/events"), "GET, HEAD"},
    };
    return routes;
}

// What is wrong with a request the HTTP library refused before any route
// saw it.
std::string LibraryRefusal(const httplib::Request& req, int status) {
    switch (status) {
    case 400:
        (void)req;
        return "the request line or header fields could not be read: malformed, too long (a line "
               "above 8 KiB, more than 100 fields) or too slow to arrive";
    case 413: return "the body is larger than " + std::to_string(kMaxBody / 1024) + " KiB";
    case 414: return "the request target is too long";
    default: return httplib::detail::status_message(status);
    }
}

// The gate's limits; KQCAM_SERVE_REQUEST_TIMEOUT_MS (100 to 60000) sets how
// long a request may take to arrive, for tests of slow clients.
GateLimits GateLimitsFromEnvironment() {
    GateLimits limits;
    limits.workers = kThreads;
    limits.maxRequest = 4 * kMaxBody;
    const char* text = std::getenv("KQCAM_SERVE_REQUEST_TIMEOUT_MS");
    std::uint64_t ms = 0;
    if (text != nullptr && ParseUnsigned(text, &ms) && ms >= 100 && ms <= 60000) {
        limits.deadline = std::chrono::milliseconds(static_cast<long>(ms));
    }
    return limits;
}

class WebServer {
public:
    // `address.host` is numeric, as ResolveListenHost gives it, so that the
    // address bound is the one judged.
    WebServer(Session& session, const ListenAddress& address, bool loopback)
        : address_(address),
          loopback_(loopback),
          feed_(kMaxFeeds, kFeedQueue),
          gallery_([this](const Shot& shot) { feed_.Publish("shot", ShotJson(shot)); }),
          desk_(session, gallery_, feed_),
          hub_([this](std::string* error) { return desk_.StartLive(&hub_, error); },
               [this] { desk_.StopLive(); }, kMaxViewers),
          countdown_(session.options.serveCountdown) {
        if (!loopback_) token_ = RandomToken();
        if (session.options.serveControl) control_ = RandomToken();
    }

    ~WebServer() { Stop(); }

    void Open() { desk_.Open(); }

    // Binds the address; the URL to open is then known.
    void Bind() {
        Install();
        if (address_.port == 0) {
            port_ = server_.bind_to_any_port(address_.host);
        } else if (server_.bind_to_port(address_.host, address_.port)) {
            port_ = address_.port;
        }
        if (port_ <= 0) {
            OperationFailed("cannot listen on " + UrlHost(address_.host) + ":" + std::to_string(address_.port) +
                            " (address in use or not of this machine)");
        }
        listener_ = std::thread([this] { server_.listen_after_bind(); });
    }

    std::string Url() const {
        std::string url = "http://" + UrlHost(address_.host) + ":" + std::to_string(port_) + "/";
        if (!token_.empty()) url += "?" + std::string(kTokenParam) + "=" + token_;
        return url;
    }

    // The URL that may capture and change settings; empty when everyone may.
    std::string ControlUrl() const {
        if (control_.empty()) return std::string();
        return Url() + (token_.empty() ? "?" : "&") + kControlParam + "=" + control_;
    }

    void Stop() {
        if (stopped_) return;
        {
            std::lock_guard<std::mutex> lock(stopMutex_);
            stopped_ = true;
        }
        stopping_.notify_all();
        feed_.Shutdown();
        hub_.Shutdown();
        server_.stop();
        if (listener_.joinable()) listener_.join();
        desk_.Close();
    }

private:
    // Refuses what no route should see: too many header fields, a missing
    // or wrong token, and (on loopback) a Host that is not this machine's,
    // which is how a web page reached through DNS rebinding would come.
    bool Admit(const httplib::Request& req, httplib::Response& res) {
        if (req.headers.size() > kMaxHeaders) {
            SendError(res, 431, "too many header fields");
            return false;
        }
        // A body is read only with its length given up front: one that runs
        // until the client closes (or is sent in chunks) could hold a worker
        // for as long as the client likes.
        if ((req.method == "POST" || req.method == "PUT" || req.method == "PATCH") &&
            (!req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))) {
            SendError(res, 411, req.method + " needs a body with a Content-Length (for no fields: {} as "
                                             "application/json)");
            return false;
        }
        if (!token_.empty()) {
            std::string given = req.get_param_value(kTokenParam);
            if (given.empty()) given = req.get_header_value(kTokenHeader);
            if (!SameSecret(given, token_)) {
                SendError(res, 403, "this server needs the token of the URL it printed");
                return false;
            }
            return true;
        }
        if (req.has_header("Host")) {
            const std::string host = req.get_header_value("Host");
            const std::string port = ":" + std::to_string(port_);
            bool known = false;
            for (const std::string& name : {std::string("127.0.0.1"), std::string("localhost"),
                                            std::string("[::1]"), UrlHost(address_.host)}) {
                // Clients leave out the default port.
                known = known || host == name + port || (port_ == 80 && host == name);
            }
            if (!known) {
                SendError(res, 403, "Host " + host + " is not this server's loopback address");
                return false;
            }
        }
        return true;
    }

    static void NotRouted(const httplib::Request& req, httplib::Response& res) {
        for (const Route& route : Routes()) {
            if (std::regex_match(req.path, route.pattern)) {
                res.set_header("Allow", route.methods);
                SendError(res, 405, req.method + " is not allowed on " + req.path + " (allowed: " + route.methods + ")");
                return;
            }
        }
        SendError(res, 404, "no such route: " + req.path);
    }

    void Install() {
        // Workers take only requests that have arrived whole (see
        // ConnectionGate), and one request per connection, so that every
        // request passes the gate: a slow client never holds a worker.
        server_.new_task_queue = [] { return new ConnectionGate(GateLimitsFromEnvironment()); };
        server_.set_keep_alive_max_count(1);
        server_.set_payload_max_length(kMaxBody);
        server_.set_keep_alive_timeout(2);
        server_.set_read_timeout(5, 0);
        server_.set_write_timeout(5, 0);
        server_.set_default_headers({{"Cache-Control", "no-store"},
                                     {"X-Content-Type-Options", "nosniff"},
                                     {"Referrer-Policy", "no-referrer"}});
        server_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return Admit(req, res) ? httplib::Server::HandlerResponse::Unhandled
                                   : httplib::Server::HandlerResponse::Handled;
        });
        // Errors the library answers itself (oversized body, bad request
        // line) get a JSON body as well.
        server_.set_error_handler(httplib::Server::HandlerWithResponse(
            [](const httplib::Request& req, httplib::Response& res) {
                if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
                SendError(res, res.status, LibraryRefusal(req, res.status));
                return httplib::Server::HandlerResponse::Handled;
            }));

        server_.Get("/", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Content-Security-Policy",
                           "default-src 'self'; img-src 'self' blob: data:; style-src 'unsafe-inline'; "
                           "script-src 'unsafe-inline'; connect-src 'self'; frame-ancestors 'none'");
            res.set_content(ServePage(), "text/html; charset=utf-8");
        });
        server_.Get("/api/camera", [this](const httplib::Request&, httplib::Response& res) {
            Answer(res, [&] { SendJson(res, 200, desk_.Summary()); });
        });
        server_.Get("/api/status", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] {
                json status = Status();
                status["control"] = MayControl(req);
                SendJson(res, 200, status);
            });
        });
        server_.Get("/api/config", [this](const httplib::Request&, httplib::Response& res) {
            Answer(res, [&] { SendJson(res, 200, desk_.ListConfig()); });
        });
        server_.Get("/api/config/([^/]+)", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] { SendJson(res, 200, desk_.GetConfig(CodeOf(req.matches[1]))); });
        });
        server_.Put("/api/config/([^/]+)", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] {
                RequireControl(req);
                const std::uint16_t code = CodeOf(req.matches[1]);
                SendJson(res, 200, desk_.SetConfig(code, BodyOf(req, false)));
            });
        });
        server_.Post("/api/capture", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] {
                RequireControl(req);
                // A capture takes no fields: an empty body or {} only.
                const json body = BodyOf(req, true);
                if (!body.is_object() || !body.empty()) {
                    ApiError error;
                    error.status = 400;
                    error.message = "POST /api/capture takes no fields: send {} (got " + body.dump() + ")";
                    throw error;
                }
                SendJson(res, 201, ShotJson(CaptureAnnounced()));
            });
        });
        server_.Get("/api/shots", [this](const httplib::Request&, httplib::Response& res) {
            json list = json::array();
            for (const Shot& shot : gallery_.List()) list.push_back(ShotJson(shot));
            SendJson(res, 200, list);
        });
        server_.Get("/api/shots/(.+)", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] { SendShot(req, res); });
        });
        server_.Get("/api/live", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] { StreamLive(req, res); });
        });
        server_.Get("/api/events", [this](const httplib::Request& req, httplib::Response& res) {
            Answer(res, [&] { StreamEvents(req, res); });
        });
        // Everything else: a known path with another method, or no route.
        server_.Get(".*", NotRouted);
        server_.Post(".*", NotRouted);
        server_.Put(".*", NotRouted);
        server_.Delete(".*", NotRouted);
        server_.Patch(".*", NotRouted);
        server_.Options(".*", NotRouted);
    }

    // Whether the request carries the control token (always, without one).
    bool MayControl(const httplib::Request& req) const {
        if (control_.empty()) return true;
        std::string given = req.get_param_value(kControlParam);
        if (given.empty()) given = req.get_header_value(kControlHeader);
        return SameSecret(given, control_);
    }

    void RequireControl(const httplib::Request& req) const {
        if (MayControl(req)) return;
        ApiError error;
        error.status = 403;
        error.message = "this page may watch, not capture or change settings (that needs the control URL)";
        throw error;
    }

    // A capture as every page sees it: "busy" events before and after, and
    // the countdown (when set) between the first and the release. Captures
    // from several clients still take turns at the desk.
    Shot CaptureAnnounced() {
        struct Busy {
            WebServer* server;
            explicit Busy(WebServer* s) : server(s) {
                const int busy = ++server->busy_;
                server->feed_.Publish("busy", json{{"busy", busy > 0}, {"countdown", server->countdown_}});
            }
            ~Busy() {
                const int busy = --server->busy_;
                server->feed_.Publish("busy", json{{"busy", busy > 0}, {"countdown", 0}});
            }
        } busy(this);
        if (countdown_ > 0) {
            std::unique_lock<std::mutex> lock(stopMutex_);
            if (stopping_.wait_for(lock, std::chrono::seconds(countdown_), [this] { return stopped_.load(); })) {
                ApiError error;
                error.status = 503;
                error.message = "the server is stopping; no picture taken";
                throw error;
            }
        }
        return desk_.Capture();
    }

    json Status() {
        const LiveStats live = hub_.Stats();
        return json{{"camera", desk_.Model()},
                    {"shots", gallery_.List().size()},
                    {"busy", busy_.load() > 0},
                    {"countdown", countdown_},
                    {"last_event", feed_.Last()},
                    {"live",
                     {{"running", live.running},
                      {"viewers", live.viewers},
                      {"starts", live.starts},
                      {"frames", live.frames},
                      {"fps", live.fps},
                      {"delivered", live.delivered},
                      {"skipped", live.skipped},
                      {"latency_ms",
                       {{"median", live.latencyMedianMs},
                        {"p99", live.latencyP99Ms},
                        {"samples", live.latencySamples}}}}}};
    }

    // Only pictures in the gallery are served, looked up by the name they
    // were written under; no part of the request becomes a path.
    void SendShot(const httplib::Request& req, httplib::Response& res) {
        Shot shot;
        if (!gallery_.Find(req.matches[1], &shot)) {
            SendError(res, 404, "no picture of this run is named " + std::string(req.matches[1]));
            return;
        }
        // Exactly the file this run wrote: a symbolic link or another file
        // put in its place is refused, never followed or served.
        std::string data;
        if (!ReadSameFile(shot.path, shot.identity, &data)) {
            SendError(res, 410, shot.name + " is no longer the file this run wrote");
            return;
        }
        if (req.get_param_value("download") == "1") {
            std::string base = shot.name.substr(shot.name.find_last_of("/\\") + 1);
            for (char& c : base) {
                if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
            }
            res.set_header("Content-Disposition", "attachment; filename=\"" + base + "\"");
        }
        const std::size_t dot = shot.name.find_last_of('.');
        std::string suffix = dot == std::string::npos ? "" : shot.name.substr(dot + 1);
        for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const bool jpeg = suffix == "jpg" || suffix == "jpeg";
        res.set_content(data, jpeg ? "image/jpeg" : "application/octet-stream");
    }

    void StreamLive(const httplib::Request& req, httplib::Response& res) {
        const std::string type = std::string("multipart/x-mixed-replace; boundary=") + kBoundary;
        if (req.method == "HEAD") {
            res.set_header("Content-Type", type);
            return;
        }
        std::string error;
        bool full = false;
        std::shared_ptr<LiveViewer> viewer = hub_.Join(&error, &full);
        if (!viewer) {
            SendError(res, full || stopped_ ? 503 : 502, error);
            return;
        }
        res.set_content_provider(
            type,
            [this, viewer](std::size_t, httplib::DataSink& sink) {
                std::shared_ptr<const LiveFrame> frame;
                if (!viewer->Next(Clock::now() + std::chrono::milliseconds(500), &frame)) {
                    return !stopped_ && sink.is_writable();
                }
                const std::string head = std::string("--") + kBoundary +
                                         "\r\nContent-Type: image/jpeg\r\nContent-Length: " +
                                         std::to_string(frame->jpeg.size()) + "\r\n\r\n";
                if (!sink.write(head.data(), head.size()) ||
                    !sink.write(reinterpret_cast<const char*>(frame->jpeg.data()), frame->jpeg.size()) ||
                    !sink.write("\r\n", 2)) {
                    return false;
                }
                viewer->Delivered(*frame);
                return true;
            },
            [this, viewer](bool) { hub_.Leave(viewer); });
    }

    void StreamEvents(const httplib::Request&, httplib::Response& res) {
        std::shared_ptr<FeedReader> reader = feed_.Subscribe();
        if (!reader) {
            SendError(res, 503, "too many event streams");
            return;
        }
        res.set_content_provider(
            "text/event-stream",
            [this, reader](std::size_t offset, httplib::DataSink& sink) {
                if (offset == 0) {
                    // Tells the browser at once that the stream is open.
                    static const char hello[] = "retry: 2000\n\n";
                    return sink.write(hello, sizeof hello - 1);
                }
                std::string message;
                if (!reader->Next(Clock::now() + std::chrono::seconds(10), &message)) {
                    if (stopped_) return false;
                    message = ": keep-alive\n\n";  // finds readers that went away
                }
                return sink.write(message.data(), message.size());
            },
            [this, reader](bool) { feed_.Unsubscribe(reader); });
    }

    ListenAddress address_;
    bool loopback_;
    std::string token_;
    std::string control_;  // empty: every client may capture and change settings
    int port_ = 0;
    std::atomic<bool> stopped_{false};
    std::mutex stopMutex_;
    std::condition_variable stopping_;  // ends a countdown when the server stops
    std::atomic<int> busy_{0};          // captures asked for and not yet done
    EventFeed feed_;
    Gallery gallery_;
    CameraDesk desk_;
    FrameHub hub_;
    const int countdown_;  // seconds before each capture
    httplib::Server server_;
    std::thread listener_;
};

}  // namespace

bool ResolveListenHost(const std::string& host, std::string* numeric, bool* loopback) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* result = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
    char text[INET6_ADDRSTRLEN + 1] = {0};
    const bool named = getnameinfo(result->ai_addr, static_cast<socklen_t>(result->ai_addrlen), text, sizeof text,
                                   nullptr, 0, NI_NUMERICHOST) == 0;
    bool local = false;
    if (result->ai_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
        local = (ntohl(v4->sin_addr.s_addr) >> 24) == 127;
    } else if (result->ai_family == AF_INET6) {
        const unsigned char* b = reinterpret_cast<const sockaddr_in6*>(result->ai_addr)->sin6_addr.s6_addr;
        static const unsigned char kLoopback6[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
        static const unsigned char kMapped4[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        local = std::memcmp(b, kLoopback6, 16) == 0 || (std::memcmp(b, kMapped4, 12) == 0 && b[12] == 127);
    }
    freeaddrinfo(result);
    if (!named) return false;
    // The scope of a link-local IPv6 address ("%eth0") is not part of a URL.
    std::string address = text;
    const std::size_t percent = address.find('%');
    if (percent != std::string::npos) address.erase(percent);
    *numeric = address;
    *loopback = local;
    return true;
}

void RunServe(Session& session, const std::string& text) {
    ListenAddress address;
    if (!text.empty() && !ParseListenAddress(text, &address)) {
        UsageError("--serve: \"" + text + "\" is not ADDR:PORT");
    }
    // Whether a token is needed is decided from the address that is bound,
    // not from how it was written: a host name is resolved here, once, and
    // the server binds exactly the address found.
    std::string numeric;
    bool loopback = false;
    if (!ResolveListenHost(address.host, &numeric, &loopback)) {
        OperationFailed("--serve: cannot resolve " + address.host + " to an address of this machine");
    }
    address.host = numeric;
    WebServer server(session, address, loopback);
    server.Open();
    server.Bind();
    const std::string control = server.ControlUrl();
    if (session.out.json) {
        std::fprintf(session.out.data, "{\"serving\":%s%s}\n", JsonString(server.Url()).c_str(),
                     control.empty() ? "" : (",\"control\":" + JsonString(control)).c_str());
    } else {
        std::fprintf(session.out.data, "Serving %s (Ctrl-C stops)\n", server.Url().c_str());
        if (!control.empty()) {
            std::fprintf(session.out.data, "Control %s (capture and settings; the URL above only watches)\n",
                         control.c_str());
        }
    }
    std::fflush(session.out.data);
    while (!interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.Stop();
    std::fprintf(session.out.info, "Server stopped\n");
}

}  // namespace kqcam
