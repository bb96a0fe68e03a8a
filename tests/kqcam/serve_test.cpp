// kqcam --serve driven over HTTP as a browser or a script would: every
// route, refused requests, captures from two clients at once, and live view
// shared by several viewers.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "jpeg_check.h"
#include "process.h"
#include "server_process.h"

namespace kqcam_test {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

#if defined(_WIN32)
const char kSep[] = "\\";
#else
const char kSep[] = "/";
#endif

// Polls `condition` every 20 ms for up to `seconds`.
template <typename F>
bool Eventually(F condition, int seconds = 20) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class Serve : public ::testing::Test {
protected:
    // Starts kqcam --serve on a free loopback port with `extra` arguments.
    void Start(const std::vector<std::string>& extra = {}, const std::string& address = "127.0.0.1:0",
               const std::map<std::string, std::string>& env = {}) {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = FreshFolder(std::string(info->test_suite_name()) + "." + info->name());
        std::vector<std::string> args = {"--serve=" + address};
        args.insert(args.end(), extra.begin(), extra.end());
        server_.reset(new ServerProcess(args, dir_, env));
        const std::string line = server_->WaitForLine("Serving ", std::chrono::seconds(60));
        std::smatch m;
        ASSERT_TRUE(std::regex_search(line, m, std::regex("http://[^:]+:(\\d+)/(\\?token=([0-9a-f]+))?")))
            << "no URL printed: " << server_->Out() << server_->Err();
        port_ = std::stoi(m[1]);
        token_ = m[3];
        url_ = m[0];
    }
    void TearDown() override {
        if (!server_) return;
        const int status = server_->Interrupt(std::chrono::seconds(30));
#if !defined(_WIN32)
        EXPECT_EQ(status, 0) << server_->Err();
        EXPECT_NE(server_->Out().find("Server stopped"), std::string::npos) << server_->Out();
#else
        (void)status;
#endif
    }
    httplib::Client Client() const {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(30, 0);
        client.set_connection_timeout(10, 0);
        return client;
    }
    httplib::Result Get(const std::string& path) { return Client().Get(path.c_str()); }
    httplib::Result Send(const char* method, const std::string& path, const std::string& body,
                         const std::string& type = "application/json") {
        httplib::Client client = Client();
        if (std::string(method) == "POST") return client.Post(path.c_str(), body, type.c_str());
        if (std::string(method) == "PUT") return client.Put(path.c_str(), body, type.c_str());
        if (std::string(method) == "DELETE") return client.Delete(path.c_str());
        return client.Patch(path.c_str(), body, type.c_str());
    }
    json Status() {
        const auto res = Get("/api/status");
        return res && res->status == 200 ? json::parse(res->body) : json();
    }
    std::string Path(const std::string& name) const { return dir_ + kSep + name; }

    std::string dir_;
    std::unique_ptr<ServerProcess> server_;
    int port_ = 0;
    std::string token_;
    std::string url_;
};

// The JSON error body every refusal carries.
void ExpectError(const httplib::Result& res, int status, const std::string& what) {
    ASSERT_TRUE(res) << what << ": no answer";
    EXPECT_EQ(res->status, status) << what << ": " << res->body;
    EXPECT_EQ(res->get_header_value("Content-Type"), "application/json") << what;
    const json body = json::parse(res->body, nullptr, false);
    ASSERT_TRUE(body.is_object()) << what << ": " << res->body;
    EXPECT_EQ(body["status"], status) << what;
    EXPECT_TRUE(body["error"].is_string()) << what;
    EXPECT_TRUE(body.contains("result")) << what;
}

// A bare TCP connection to the server, for requests no HTTP client sends:
// one without a Content-Length, or headers that come a line at a time.
class RawConnection {
public:
    explicit RawConnection(int port) {
        sock_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(port));
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = sock_ != INVALID_SOCKET &&
                     connect(sock_, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~RawConnection() {
        if (sock_ != INVALID_SOCKET) httplib::detail::close_socket(sock_);
    }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;
    bool Connected() const { return connected_; }
    bool Send(const std::string& data) {
#if defined(_WIN32)
        const int flags = 0;
#else
        const int flags = MSG_NOSIGNAL;  // a closed connection is a failed send, not the end of the tests
#endif
        return connected_ &&
               send(sock_, data.data(), static_cast<int>(data.size()), flags) == static_cast<int>(data.size());
    }
    // What the server sends until it closes the connection, waiting up to
    // `seconds` in all.
    std::string ReadAll(int seconds) {
        std::string data;
        const auto deadline = Clock::now() + std::chrono::seconds(seconds);
        while (connected_ && Clock::now() < deadline) {
            if (httplib::detail::select_read(sock_, 0, 100000) <= 0) continue;
            char buffer[4096];
            const auto got = recv(sock_, buffer, sizeof buffer, 0);
            if (got <= 0) break;
            data.append(buffer, static_cast<std::size_t>(got));
        }
        return data;
    }

private:
    socket_t sock_ = INVALID_SOCKET;
    bool connected_ = false;
};

// Reads /api/live until `stop`, counting the whole JPEG parts received.
struct LiveReader {
    std::atomic<int> frames{0};
    std::atomic<bool> stop{false};
    std::atomic<bool> badFrame{false};
    std::string contentType;

    void Run(int port) {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(30, 0);
        std::string buffer;
        client.Get(
            "/api/live",
            [this](const httplib::Response& res) {
                contentType = res.get_header_value("Content-Type");
                return res.status == 200;
            },
            [this, &buffer](const char* data, std::size_t size) {
                buffer.append(data, size);
                for (;;) {
                    const std::size_t length = buffer.find("Content-Length: ");
                    const std::size_t body = buffer.find("\r\n\r\n", length);
                    if (length == std::string::npos || body == std::string::npos) break;
                    const std::size_t n = std::stoul(buffer.substr(length + 16));
                    if (buffer.size() < body + 4 + n + 2) break;
                    const std::string jpeg = buffer.substr(body + 4, n);
                    if (jpeg.compare(0, 2, "\xFF\xD8") != 0 || jpeg.compare(n - 2, 2, "\xFF\xD9") != 0) {
                        badFrame = true;
                    }
                    buffer.erase(0, body + 4 + n + 2);
                    ++frames;
                }
                return !stop;
            });
    }
};

TEST(ServeOptions, AddressMustBeAddrColonPort) {
    const std::string dir = FreshFolder("ServeOptions");
    for (const char* wrong : {"--serve=8080", "--serve=localhost", "--serve=1.2.3.4:99999", "--serve=[::1]8080",
                              "--serve=a b:80"}) {
        const Result r = RunKqcam({wrong}, dir);
        EXPECT_EQ(r.exitCode, 2) << wrong;
        EXPECT_NE(r.err.find("--serve"), std::string::npos) << r.err;
    }
    EXPECT_NE(RunKqcam({"--help"}, dir).out.find("--serve[=ADDR:PORT]"), std::string::npos);
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"--serve", "--serve-countdown=11"}, {"--serve", "--serve-countdown", "soon"},
             {"--auto-detect", "--serve-control"}, {"--auto-detect", "--serve-countdown=3"}}) {
        EXPECT_EQ(RunKqcam(wrong, dir).exitCode, 2) << wrong[1];
    }
}

TEST_F(Serve, PageAndReadRoutes) {
    Start();
    auto res = Get("/");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->get_header_value("Content-Type"), "text/html; charset=utf-8");
    EXPECT_NE(res->body.find("id=\"live\""), std::string::npos);
    EXPECT_EQ(res->body.find("http"), std::string::npos) << "the page fetches nothing from elsewhere";

    res = Get("/api/camera");
    ASSERT_TRUE(res && res->status == 200);
    const json camera = json::parse(res->body);
    EXPECT_EQ(camera["model"], "ZT Virtual Camera");
    EXPECT_EQ(camera["handle"], "0x5A430001");
    EXPECT_EQ(camera["events"][0]["code"], "0xC008");

    res = Get("/api/config");
    ASSERT_TRUE(res && res->status == 200);
    const json config = json::parse(res->body);
    ASSERT_TRUE(config.is_array());
    EXPECT_EQ(config.size(), camera["properties"].size());
    bool sawIso = false, sawZoom = false, sawReadOnly = false;
    for (const json& p : config) {
        if (p["code"] == "0xD01C") sawIso = p["form"] == "enumeration" && p["choices"].size() > 2;
        if (p["code"] == "0xD02A") sawZoom = p["form"] == "range" && p["maximum"]["value"] == 14;
        if (p["code"] == "0xD03D") sawReadOnly = p["readonly"] == true;
    }
    EXPECT_TRUE(sawIso && sawZoom && sawReadOnly) << res->body;

    // One property, by hex or decimal code; labels on every value.
    res = Get("/api/config/0xD01C");
    ASSERT_TRUE(res && res->status == 200);
    const json iso = json::parse(res->body);
    EXPECT_EQ(iso["name"], "IsoSpeed");
    EXPECT_TRUE(iso["current"]["label"].is_string());
    EXPECT_EQ(json::parse(Get("/api/config/53276")->body), iso);
    // One vocabulary: the command line's JSON says the same in the same words.
    EXPECT_EQ(json::parse(RunKqcam({"--get-config", "0xD01C", "--json"}, dir_).out), iso);
    EXPECT_EQ(json::parse(RunKqcam({"--summary", "--json"}, dir_).out), camera);

    res = Get("/api/shots");
    ASSERT_TRUE(res && res->status == 200);
    EXPECT_EQ(res->body, "[]\n");

    const json status = Status();
    EXPECT_EQ(status["camera"], "ZT Virtual Camera");
    EXPECT_EQ(status["live"]["running"], false);
}

TEST_F(Serve, SettingsAreCheckedAndReadBack) {
    Start();
    const json iso = json::parse(Get("/api/config/0xD01C")->body);
    const json last = iso["choices"].back();

    auto res = Send("PUT", "/api/config/0xD01C", json{{"index", last["index"]}}.dump());
    ASSERT_TRUE(res && res->status == 200) << (res ? res->body : "");
    EXPECT_EQ(json::parse(res->body)["current"]["value"], last["value"]);
    EXPECT_EQ(json::parse(Get("/api/config/0xD01C")->body)["current"]["value"], last["value"]);

    const json first = iso["choices"][1];
    res = Send("PUT", "/api/config/0xD01C", json{{"value", first["hex"]}}.dump());
    ASSERT_TRUE(res && res->status == 200) << res->body;
    EXPECT_EQ(json::parse(Get("/api/config/0xD01C")->body)["current"]["value"], first["value"]);

    // By label, as the settings panel shows it.
    res = Send("PUT", "/api/config/0xD01C", R"({"label":"ISO 400"})");
    ASSERT_TRUE(res && res->status == 200) << res->body;
    EXPECT_EQ(json::parse(res->body)["current"]["label"], "ISO 400");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"label":"ISO 7"})"), 400, "unknown label");
    res = Send("PUT", "/api/config/0xD01C", json{{"value", first["hex"]}}.dump());
    ASSERT_TRUE(res && res->status == 200) << res->body;

    res = Send("PUT", "/api/config/0xD02A", R"({"value":7})");
    ASSERT_TRUE(res && res->status == 200) << res->body;
    EXPECT_EQ(json::parse(res->body)["current"]["value"], 7);

    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"value":1})"), 400, "value outside the choices");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"index":99})"), 400, "index outside the choices");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"value":70000})"), 400, "value wider than UINT16");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"value":80,"index":1})"), 400, "value and index");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"value":"eighty"})"), 400, "value not a number");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"([80])"), 400, "not an object");
    ExpectError(Send("PUT", "/api/config/0xD02A", R"({"value":15})"), 400, "zoom outside its range");
    ExpectError(Send("PUT", "/api/config/0xD03D", R"({"value":3})"), 403, "read-only property");
    ExpectError(Send("PUT", "/api/config/0xD0FF", R"({"value":1})"), 404, "unknown code");
    ExpectError(Get("/api/config/0xD0FF"), 404, "unknown code");
    ExpectError(Get("/api/config/0x1D01C"), 400, "code above 0xFFFF");
    ExpectError(Get("/api/config/iso"), 400, "code not a number");
    ExpectError(Send("PUT", "/api/config/0xD01C", R"({"value":)"), 400, "malformed JSON");
    ExpectError(Send("PUT", "/api/config/0xD01C", "value=80", "application/x-www-form-urlencoded"), 415,
                "not JSON");
    ExpectError(Send("PUT", "/api/config/0xD01C", "{\"value\":\"" + std::string(20000, '0') + "80\"}"), 413,
                "body too large");
    // Nothing refused changed the value.
    EXPECT_EQ(json::parse(Get("/api/config/0xD01C")->body)["current"]["value"], first["value"]);
}

TEST_F(Serve, UnknownRoutesMethodsAndPathsAreRefused) {
    Start();
    ExpectError(Get("/nothing"), 404, "unknown route");
    ExpectError(Get("/api/"), 404, "unknown route");
    ExpectError(Get("/api/capture"), 405, "GET on capture");
    EXPECT_EQ(Get("/api/capture")->get_header_value("Allow"), "POST");
    ExpectError(Send("DELETE", "/api/shots", ""), 405, "DELETE");
    ExpectError(Send("POST", "/api/config/0xD01C", "{}"), 405, "POST on a property");
    ExpectError(Send("PATCH", "/api/status", "{}"), 405, "PATCH");
    ExpectError(Send("POST", "/api/capture", "", "text/plain"), 415, "capture without JSON");
    // A capture takes no fields; what is wrong is said.
    for (const char* body : {"null", "[]", "{\"x\":1}", "3"}) {
        const auto res = Send("POST", "/api/capture", body);
        ExpectError(res, 400, body);
        EXPECT_NE(res->body.find("takes no fields"), std::string::npos) << res->body;
    }
    RawConnection bare(port_);
    ASSERT_TRUE(bare.Send("POST /api/capture HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                          "\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n"));
    const std::string answer = bare.ReadAll(10);
    EXPECT_EQ(answer.compare(0, 12, "HTTP/1.1 411"), 0) << answer;
    EXPECT_NE(answer.find("needs a body with a Content-Length"), std::string::npos) << answer;
    EXPECT_EQ(Get("/api/shots")->body, "[]\n") << "nothing refused took a picture";
    for (const char* path : {"/api/shots/..%2F..%2Fetc%2Fpasswd", "/api/shots/../../etc/passwd",
                             "/api/shots/%2Fetc%2Fpasswd", "/api/shots/..%5C..%5Cwindows%5Cwin.ini",
                             "/api/shots/%2e%2e/CMakeCache.txt", "/api/shots/kqcam"}) {
        ExpectError(Get(path), 404, path);
    }
    // A page reached under another host name (DNS rebinding) gets nothing.
    httplib::Client client = Client();
    ExpectError(client.Get("/api/status", {{"Host", "attacker.example:" + std::to_string(port_)}}), 403,
                "foreign Host");
    httplib::Headers many;
    for (int i = 0; i < 80; ++i) many.emplace("X-Filler-" + std::to_string(i), "1");
    ExpectError(client.Get("/api/status", many), 431, "too many header fields");
    // Far more fields than that are not even read: the request ends at the
    // reader's bound, before the server would hold them all.
    httplib::Headers endless;
    for (int i = 0; i < 300; ++i) endless.emplace("X-Filler-" + std::to_string(i), "1");
    auto cut = client.Get("/api/status", endless);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->status, 400) << "header fields beyond the reader's bound";
    auto res = client.Get("/api/status", {{"X-Long", std::string(9000, 'a')}});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 400) << "oversized header field";
}

// A hundred clients that send their header fields a line at a time hold no
// worker: others are answered at once, and each slow one is closed when
// its request has not arrived whole within the (here shortened) deadline.
TEST_F(Serve, SlowClientsHoldUpNobodyAndAreCutOff) {
    Start({}, "127.0.0.1:0", {{"KQCAM_SERVE_REQUEST_TIMEOUT_MS", "3000"}});
    const auto start = Clock::now();
    std::vector<std::unique_ptr<RawConnection>> slow;
    for (int i = 0; i < 100; ++i) {
        slow.emplace_back(new RawConnection(port_));
        ASSERT_TRUE(slow.back()->Send("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port_) +
                                      "\r\nX-Slow: 1\r\n"))
            << i;
    }
    // Another line later does not buy more time.
    ASSERT_TRUE(slow[0]->Send("X-More: 1\r\n"));
    for (int i = 0; i < 3; ++i) {
        const auto asked = Clock::now();
        const auto res = Get("/api/status");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_LT(std::chrono::duration<double>(Clock::now() - asked).count(), 2.0);
    }
    // The answer to a request that never arrived whole: the connection
    // closed, with nothing sent.
    EXPECT_EQ(slow[0]->ReadAll(20), "");
    const double cut = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GE(cut, 2.9);
    EXPECT_LT(cut, 20.0);
    EXPECT_EQ(slow[99]->ReadAll(20), "");
}

TEST_F(Serve, CapturesFromTwoClientsAtOnceAreWrittenAndListed) {
    Start({"--filename", "shots-%02n.jpg"});
    // An event stream open from the start sees every shot.
    std::string events;
    std::mutex eventsMutex;
    std::atomic<bool> stopEvents{false};
    std::thread eventReader([&] {
        httplib::Client client("127.0.0.1", port_);
        client.set_read_timeout(30, 0);
        client.Get("/api/events", [&](const char* data, std::size_t size) {
            std::lock_guard<std::mutex> lock(eventsMutex);
            events.append(data, size);
            return !stopEvents;
        });
    });
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> lock(eventsMutex);
        return events.find("retry:") != std::string::npos;
    }));

    json shots[2];
    std::thread clients[2];
    for (int i = 0; i < 2; ++i) {
        clients[i] = std::thread([&, i] {
            const auto res = Send("POST", "/api/capture", "{}");
            if (res && res->status == 201) shots[i] = json::parse(res->body);
        });
    }
    for (auto& t : clients) t.join();
    std::vector<std::string> names = {shots[0]["name"], shots[1]["name"]};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"shots-01.jpg", "shots-02.jpg"}));

    for (const std::string& name : names) {
        const std::string onDisk = ReadFile(Path(name));
        EXPECT_TRUE(DecodeJpeg(onDisk).ok) << name;
        const auto res = Get("/api/shots/" + name);
        ASSERT_TRUE(res && res->status == 200);
        EXPECT_EQ(res->get_header_value("Content-Type"), "image/jpeg");
        EXPECT_EQ(res->body, onDisk) << name;
    }
    const json listed = json::parse(Get("/api/shots")->body);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["url"], "/api/shots/" + listed[0]["name"].get<std::string>());
    const auto download = Get("/api/shots/shots-01.jpg?download=1");
    EXPECT_EQ(download->get_header_value("Content-Disposition"), "attachment; filename=\"shots-01.jpg\"");

    // Only the very file this run wrote is served: another file or a link
    // put in its place is refused, not followed.
    WriteFile(Path("planted"), "not a picture of this run");
    ASSERT_EQ(std::remove(Path("shots-01.jpg").c_str()), 0);
    ASSERT_EQ(std::rename(Path("planted").c_str(), Path("shots-01.jpg").c_str()), 0);
    ExpectError(Get("/api/shots/shots-01.jpg"), 410, "another file in its place");
#if !defined(_WIN32)
    ASSERT_EQ(std::remove(Path("shots-02.jpg").c_str()), 0);
    ASSERT_EQ(symlink("/etc/hostname", Path("shots-02.jpg").c_str()), 0);
    ExpectError(Get("/api/shots/shots-02.jpg"), 410, "a link in its place");
#endif

    EXPECT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> lock(eventsMutex);
        return events.find("event: shot\ndata: {\"bytes\":") != std::string::npos &&
               events.find("shots-02.jpg") != std::string::npos &&
               events.find("event: camera\ndata: {\"capture\":true,\"code\":\"0xC008\"") != std::string::npos;
    })) << events;
    // The status's latest event is an object, never JSON inside a string.
    const json last = Status()["last_event"];
    EXPECT_TRUE(last["type"].is_string() && last["data"].is_object()) << last.dump();
    stopEvents = true;
    // The reader notices at the next event or keep-alive; a setting change
    // sends one.
    Send("PUT", "/api/config/0xD02A", R"({"value":1})");
    eventReader.join();
}

TEST_F(Serve, ShutterButtonPicturesJoinTheGallery) {
    Start({"--filename", "tether-%n.jpg"}, "127.0.0.1:0", {{"ZTSIM_SHUTTER_BUTTON", "2@300+300"}});
    ASSERT_TRUE(Eventually([&] { return json::parse(Get("/api/shots")->body).size() == 2; }, 60))
        << Get("/api/shots")->body << server_->Err();
    // A capture afterwards takes the next name.
    const auto res = Send("POST", "/api/capture", "{}");
    ASSERT_TRUE(res && res->status == 201) << res->body;
    EXPECT_EQ(json::parse(res->body)["name"], "tether-3.jpg");
    for (const char* name : {"tether-1.jpg", "tether-2.jpg", "tether-3.jpg"}) {
        EXPECT_TRUE(DecodeJpeg(ReadFile(Path(name))).ok) << name;
        EXPECT_EQ(Get(std::string("/api/shots/") + name)->body, ReadFile(Path(name))) << name;
    }
}

TEST_F(Serve, TakenNamesAreNeverOverwritten) {
    Start({"--filename", "taken.jpg"});
    WriteFile(Path("taken.jpg"), "mine");
    const auto res = Send("POST", "/api/capture", "{}");
    ASSERT_TRUE(res && res->status == 201) << (res ? res->body : "");
    EXPECT_EQ(json::parse(res->body)["name"], "taken-1.jpg");
    EXPECT_EQ(ReadFile(Path("taken.jpg")), "mine");
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("taken-1.jpg"))).ok);
}

TEST_F(Serve, SkipExistingRefusesTheCaptureOfATakenName) {
    Start({"--filename", "taken.jpg", "--skip-existing"});
    WriteFile(Path("taken.jpg"), "mine");
    ExpectError(Send("POST", "/api/capture", "{}"), 409, "name taken");
    EXPECT_EQ(ReadFile(Path("taken.jpg")), "mine");
    EXPECT_EQ(Get("/api/shots")->body, "[]\n");
    // No camera event and no shot came: the last event is the end of the busy state.
    const json last = json::parse(Get("/api/status")->body)["last_event"];
    EXPECT_EQ(last["type"], "busy") << "no picture was taken: " << last.dump();
    EXPECT_EQ(last["data"]["busy"], false) << last.dump();
}

TEST_F(Serve, ViewersShareOneViewfinderWhichStopsWithTheLast) {
    Start();
    LiveReader readers[2];
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) threads[i] = std::thread([&, i] { readers[i].Run(port_); });
    EXPECT_TRUE(Eventually([&] { return readers[0].frames >= 5 && readers[1].frames >= 5; }, 60));
    const json both = Status()["live"];
    EXPECT_EQ(both["viewers"], 2);
    EXPECT_EQ(both["running"], true);
    EXPECT_EQ(both["starts"], 1) << "one viewfinder for both viewers";
    for (auto& r : readers) r.stop = true;
    for (auto& t : threads) t.join();
    for (auto& r : readers) {
        EXPECT_EQ(r.contentType, "multipart/x-mixed-replace; boundary=kqframe");
        EXPECT_FALSE(r.badFrame);
    }
    // The server notices the closed streams at its next frame.
    EXPECT_TRUE(Eventually([&] {
        const json live = Status()["live"];
        return live["viewers"] == 0 && live["running"] == false;
    })) << Status().dump();

    // A new viewer starts it again.
    LiveReader again;
    std::thread t([&] { again.Run(port_); });
    EXPECT_TRUE(Eventually([&] { return again.frames >= 2; }, 60));
    EXPECT_EQ(Status()["live"]["starts"], 2);
    again.stop = true;
    t.join();
    EXPECT_TRUE(Eventually([&] { return Status()["live"]["running"] == false; }));
}

TEST_F(Serve, BeyondLoopbackEveryRequestNeedsTheToken) {
    Start({}, "0.0.0.0:0");
    ASSERT_EQ(token_.size(), 32u) << url_;
    ExpectError(Get("/"), 403, "page without token");
    ExpectError(Get("/api/status"), 403, "API without token");
    ExpectError(Get("/api/status?token=" + std::string(32, '0')), 403, "wrong token");
    ExpectError(Get("/api/nothing"), 403, "unknown route without token");
    ExpectError(Send("POST", "/api/capture", "{}"), 403, "capture without token");
    EXPECT_EQ(Get("/api/status?token=" + token_)->status, 200);
    EXPECT_EQ(Get("/?token=" + token_)->status, 200);
    httplib::Client client = Client();
    EXPECT_EQ(client.Get("/api/shots", {{"X-Kqcam-Token", token_}})->status, 200);
}

// With --serve-control, the plain URL watches and only the control URL
// captures or changes settings; a countdown comes before each picture.
TEST_F(Serve, OnlyTheControlTokenCapturesOrChangesSettings) {
    Start({"--serve-control", "--serve-countdown=1"});
    const std::string line = server_->WaitForLine("Control ", std::chrono::seconds(10));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m, std::regex("\\?control=([0-9a-f]{32})"))) << server_->Out();
    const std::string control = m[1];
    EXPECT_EQ(Status()["control"], false);
    EXPECT_EQ(Status()["countdown"], 1);
    ExpectError(Send("POST", "/api/capture", "{}"), 403, "capture without the control token");
    ExpectError(Send("PUT", "/api/config/0xD02A", R"({"value":3})"), 403, "setting without the control token");
    ExpectError(Send("POST", "/api/capture?control=" + std::string(32, '0'), "{}"), 403, "wrong control token");
    EXPECT_EQ(Get("/api/config/0xD02A")->status, 200) << "watching needs no control token";
    EXPECT_EQ(Get("/api/shots")->body, "[]\n");

    httplib::Client client = Client();
    const auto asked = Clock::now();
    const auto res = client.Post("/api/capture", {{"X-Kqcam-Control", control}}, "{}", "application/json");
    ASSERT_TRUE(res && res->status == 201) << (res ? res->body : "");
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - asked).count(), 1.0) << "the countdown came first";
    EXPECT_EQ(Send("PUT", "/api/config/0xD02A?control=" + control, R"({"value":3})")->status, 200);
    EXPECT_EQ(json::parse(client.Get("/api/status?control=" + control)->body)["control"], true);
    EXPECT_EQ(Status()["busy"], false);
}

// Loopback or not is judged from the address bound: a name is resolved
// first, and the URL shows the address it gave.
TEST_F(Serve, AHostNameIsJudgedByTheAddressItResolvesTo) {
    Start({}, "localhost:0");
    EXPECT_EQ(url_.compare(0, 17, "http://127.0.0.1:"), 0) << url_;
    EXPECT_TRUE(token_.empty()) << url_;
    EXPECT_EQ(Get("/api/status")->status, 200);
    const Result unknown = RunKqcam({"--serve=127.0.0.1.invalid:0"}, dir_);
    EXPECT_EQ(unknown.exitCode, 1) << unknown.out << unknown.err;
    EXPECT_NE(unknown.err.find("cannot resolve 127.0.0.1.invalid"), std::string::npos) << unknown.err;
}

}  // namespace
}  // namespace kqcam_test
