// Keeps the web server's workers for requests that have arrived whole. An
// accepted connection waits here, in one thread for all, until its request
// line, header fields and body (as long as its Content-Length says) are in
// the socket's buffer; only then does a worker take it. A connection whose
// request takes longer than the deadline to arrive is closed. A client that
// sends its header fields a line at a time therefore holds no worker, and a
// hundred such clients cannot hold up anyone else's requests.
#ifndef KQCAM_SERVE_GATE_H
#define KQCAM_SERVE_GATE_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <httplib.h>

#if !defined(CPPHTTPLIB_TASK_QUEUE_CONNECTIONS)
#error "httplib.h lacks scripts/patches/cpp-httplib-request-bounds.patch: remove build/deps/cpp-httplib and configure again"
#endif

namespace kqcam {

struct GateLimits {
    std::size_t workers = 32;                        // requests served at once
    std::chrono::milliseconds deadline{4000};        // for a request to arrive whole
    std::size_t maxWaiting = 512;                    // connections waiting; beyond, the oldest is closed
    std::size_t maxRequest = 64 * 1024;              // what is looked at for the end of a request
};

class ConnectionGate : public httplib::TaskQueue {
public:
    explicit ConnectionGate(const GateLimits& limits);
    ~ConnectionGate() override;
    ConnectionGate(const ConnectionGate&) = delete;
    ConnectionGate& operator=(const ConnectionGate&) = delete;

    void enqueue(std::function<void()> fn) override;
    void enqueue_connection(socket_t sock, std::function<void()> fn) override;
    void shutdown() override;

private:
    struct Waiting {
        socket_t sock;
        std::function<void()> serve;
        std::chrono::steady_clock::time_point deadline;
        std::size_t seen = 0;  // bytes in the buffer when last looked at
    };
    enum class Arrival { kWaiting, kWhole, kClosed };

    // `buffer`: the looking thread's own.
    Arrival Look(Waiting& waiting, std::vector<char>& buffer);
    void Run();
    static void Close(socket_t sock);

    const GateLimits limits_;
    httplib::ThreadPool workers_;
    std::vector<char> peek_;        // the gate thread's
    std::vector<char> acceptPeek_;  // the accepting thread's
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Waiting> incoming_;  // guarded by mutex_
    bool stop_ = false;             // guarded by mutex_
    std::thread thread_;
    bool shutDown_ = false;
};

// Where the end of a request's header fields is in `data` (the offset just
// after the empty line), and how long its body is; false while the header
// fields have not ended. A Content-Length that cannot be read counts as 0
// (the server then refuses the request itself), and so does the body of a
// request that waits for "100 Continue" before sending it.
bool RequestHeadEnd(const char* data, std::size_t size, std::size_t* headEnd, std::size_t* bodyLength);

}  // namespace kqcam

#endif  // KQCAM_SERVE_GATE_H
