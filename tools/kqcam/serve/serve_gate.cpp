#include "serve_gate.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#if !defined(_WIN32)
#include <sys/ioctl.h>
#endif

namespace kqcam {

namespace {

// How often the waiting connections are looked at.
constexpr auto kLookEvery = std::chrono::milliseconds(5);

// Bytes waiting in the socket's receive buffer.
bool Available(socket_t sock, std::size_t* bytes) {
#if defined(_WIN32)
    u_long n = 0;
    if (ioctlsocket(sock, FIONREAD, &n) != 0) return false;
#else
    int n = 0;
    if (ioctl(sock, FIONREAD, &n) != 0 || n < 0) return false;
#endif
    *bytes = static_cast<std::size_t>(n);
    return true;
}

}  // namespace

bool RequestHeadEnd(const char* data, std::size_t size, std::size_t* headEnd, std::size_t* bodyLength) {
    const std::string text(data, size);
    std::size_t end = text.find("\r\n\r\n");
    std::size_t endLength = 4;
    const std::size_t bare = text.find("\n\n");
    if (bare != std::string::npos && (end == std::string::npos || bare < end)) {
        end = bare;
        endLength = 2;
    }
    if (end == std::string::npos) return false;
    *headEnd = end + endLength;
    *bodyLength = 0;
    // The header fields, one per line, after the request line.
    std::size_t line = text.find('\n');
    while (line != std::string::npos && line < end) {
        const std::size_t next = text.find('\n', line + 1);
        std::string field = text.substr(line + 1, (next == std::string::npos ? end : next) - line - 1);
        for (char& c : field) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        static const char kLength[] = "content-length:";
        if (field.compare(0, sizeof kLength - 1, kLength) == 0) {
            std::size_t i = sizeof kLength - 1;
            while (i < field.size() && (field[i] == ' ' || field[i] == '\t')) ++i;
            std::size_t length = 0;
            bool digits = false;
            for (; i < field.size() && std::isdigit(static_cast<unsigned char>(field[i])); ++i) {
                digits = true;
                // A length beyond any request the server takes: refused by
                // the server itself once it reads the fields.
                if (length > (static_cast<std::size_t>(-1) - 9) / 10) return true;
                length = length * 10 + static_cast<std::size_t>(field[i] - '0');
            }
            if (digits) *bodyLength = length;
        }
        // A client that waits for "100 Continue" sends its body only after
        // the server has read the header fields.
        static const char kExpect[] = "expect:";
        if (field.compare(0, sizeof kExpect - 1, kExpect) == 0 && field.find("100-continue") != std::string::npos) {
            *bodyLength = 0;
            return true;
        }
        line = next;
    }
    return true;
}

ConnectionGate::ConnectionGate(const GateLimits& limits)
    : limits_(limits), workers_(limits.workers), peek_(limits.maxRequest), acceptPeek_(limits.maxRequest) {
    thread_ = std::thread([this] { Run(); });
}

ConnectionGate::~ConnectionGate() { shutdown(); }

void ConnectionGate::enqueue(std::function<void()> fn) { workers_.enqueue(std::move(fn)); }

void ConnectionGate::enqueue_connection(socket_t sock, std::function<void()> fn) {
    Waiting waiting{sock, std::move(fn), std::chrono::steady_clock::now() + limits_.deadline, 0};
    // A request that came with its connection goes to a worker at once.
    const Arrival arrival = Look(waiting, acceptPeek_);
    if (arrival == Arrival::kWhole) {
        workers_.enqueue(std::move(waiting.serve));
        return;
    }
    if (arrival == Arrival::kClosed) {
        Close(sock);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        incoming_.push_back(std::move(waiting));
    }
    arrived_.notify_one();
}

void ConnectionGate::shutdown() {
    if (shutDown_) return;
    shutDown_ = true;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    arrived_.notify_one();
    if (thread_.joinable()) thread_.join();
    for (Waiting& waiting : incoming_) Close(waiting.sock);
    incoming_.clear();
    workers_.shutdown();
}

void ConnectionGate::Close(socket_t sock) {
    httplib::detail::shutdown_socket(sock);
    httplib::detail::close_socket(sock);
}

// Whether the request on `waiting` has arrived whole, by what its socket
// holds; nothing is taken from the socket.
ConnectionGate::Arrival ConnectionGate::Look(Waiting& waiting, std::vector<char>& buffer) {
    // Readable first, then nothing to read: the client closed the
    // connection (bytes that arrived stay until the server reads them, so
    // the other order could take a request arriving meanwhile for that).
    const bool readable = httplib::detail::select_read(waiting.sock, 0, 0) > 0;
    std::size_t bytes = 0;
    if (!Available(waiting.sock, &bytes)) return Arrival::kClosed;
    if (bytes == 0) return readable ? Arrival::kClosed : Arrival::kWaiting;
    if (bytes == waiting.seen) return Arrival::kWaiting;
    waiting.seen = bytes;
    // More than is looked at: not a slow client; the server reads it and
    // refuses what is too long.
    if (bytes >= buffer.size()) return Arrival::kWhole;
    const auto got = recv(waiting.sock, buffer.data(), static_cast<int>(bytes), MSG_PEEK);
    if (got <= 0) return Arrival::kClosed;
    std::size_t headEnd = 0;
    std::size_t body = 0;
    if (!RequestHeadEnd(buffer.data(), static_cast<std::size_t>(got), &headEnd, &body)) return Arrival::kWaiting;
    if (body > buffer.size() || headEnd + body <= static_cast<std::size_t>(got)) return Arrival::kWhole;
    return Arrival::kWaiting;
}

void ConnectionGate::Run() {
    std::deque<Waiting> waiting;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (waiting.empty()) {
                arrived_.wait(lock, [this] { return stop_ || !incoming_.empty(); });
            } else {
                arrived_.wait_for(lock, kLookEvery, [this] { return stop_ || !incoming_.empty(); });
            }
            if (stop_) break;
            for (Waiting& w : incoming_) waiting.push_back(std::move(w));
            incoming_.clear();
        }
        // Too many waiting: the oldest go first.
        while (waiting.size() > limits_.maxWaiting) {
            Close(waiting.front().sock);
            waiting.pop_front();
        }
        const auto now = std::chrono::steady_clock::now();
        for (auto it = waiting.begin(); it != waiting.end();) {
            const Arrival arrival = Look(*it, peek_);
            if (arrival == Arrival::kWhole) {
                workers_.enqueue(std::move(it->serve));
            } else if (arrival == Arrival::kClosed || now >= it->deadline) {
                Close(it->sock);
            } else {
                ++it;
                continue;
            }
            it = waiting.erase(it);
        }
    }
    for (Waiting& w : waiting) Close(w.sock);
}

}  // namespace kqcam
