// Live view shared by every viewer of kqcam's web server. The library's
// viewfinder runs once, from the first viewer's arrival to the last one's
// departure; it hands each frame over already encoded as JPEG, and the
// frame's bytes are copied once and shared by all viewers. Each viewer holds
// one slot with the newest frame it has not sent yet: a viewer still busy
// with an older frame finds only the newest one when it comes back, so a
// slow viewer skips frames rather than queueing them and never slows the
// others.
#ifndef KQCAM_SERVE_LIVE_H
#define KQCAM_SERVE_LIVE_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kqcam {

struct LiveFrame {
    std::vector<std::uint8_t> jpeg;
    std::uint64_t number = 0;                        // from 1, per hub
    std::chrono::steady_clock::time_point arrived;   // when the library handed it over
};

struct LiveStats {
    bool running = false;
    unsigned viewers = 0;
    std::uint64_t starts = 0;    // times the viewfinder was started
    std::uint64_t frames = 0;    // frames received from the library
    double fps = 0;              // frames received over the last second
    std::uint64_t delivered = 0; // frames handed to viewers' sockets
    std::uint64_t skipped = 0;   // frames a viewer never sent, replaced by newer ones
    std::size_t latencySamples = 0;
    double latencyMedianMs = 0;  // frame arrival to its bytes handed to the socket
    double latencyP99Ms = 0;
};

class FrameHub;

// One viewer's slot. Obtained from FrameHub::Join, handed back by Leave.
class LiveViewer {
public:
    // Waits until `deadline` for a frame newer than the last one taken;
    // false on time-out or when the hub shuts down.
    bool Next(std::chrono::steady_clock::time_point deadline, std::shared_ptr<const LiveFrame>* frame);
    // Records that `frame` was handed to the socket now.
    void Delivered(const LiveFrame& frame);

private:
    friend class FrameHub;
    explicit LiveViewer(FrameHub& hub) : hub_(hub) {}
    FrameHub& hub_;
    std::shared_ptr<const LiveFrame> pending_;  // guarded by the hub's mutex
};

class FrameHub {
public:
    // `start` turns the viewfinder on (false with a message when it cannot),
    // `stop` turns it off; both are called with no lock of the hub held
    // that Publish takes.
    using Start = std::function<bool(std::string* error)>;
    using Stop = std::function<void()>;
    FrameHub(Start start, Stop stop, unsigned maxViewers);
    ~FrameHub();
    FrameHub(const FrameHub&) = delete;
    FrameHub& operator=(const FrameHub&) = delete;

    // Adds a viewer, starting the viewfinder for the first one. Null with
    // `error` set when the viewfinder does not start, the hub is full or
    // shutting down (`full` tells which).
    std::shared_ptr<LiveViewer> Join(std::string* error, bool* full);
    // Removes a viewer; the last one to leave stops the viewfinder.
    void Leave(const std::shared_ptr<LiveViewer>& viewer);

    // A frame from the library's viewfinder callback.
    void Publish(const std::uint8_t* jpeg, std::size_t size);

    // Wakes every waiting viewer for good and refuses new ones; stops the
    // viewfinder if it runs.
    void Shutdown();

    LiveStats Stats();

private:
    friend class LiveViewer;
    void RecordLatency(double ms);

    Start start_;
    Stop stop_;
    const unsigned maxViewers_;
    std::mutex runMutex_;  // orders starts and stops; never taken by Publish
    std::mutex mutex_;     // guards everything below
    std::condition_variable arrived_;
    std::vector<std::shared_ptr<LiveViewer>> viewers_;
    bool running_ = false;
    bool shutdown_ = false;
    std::uint64_t starts_ = 0;
    std::uint64_t frames_ = 0;
    std::uint64_t delivered_ = 0;
    std::uint64_t skipped_ = 0;
    std::vector<std::chrono::steady_clock::time_point> recent_;  // arrivals in the last second
    std::vector<double> latencies_;  // ring of the latest samples
    std::size_t latencyNext_ = 0;
};

}  // namespace kqcam

#endif  // KQCAM_SERVE_LIVE_H
