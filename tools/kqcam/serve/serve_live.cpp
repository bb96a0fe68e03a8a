#include "serve_live.h"

#include <algorithm>

namespace kqcam {

namespace {

using Clock = std::chrono::steady_clock;

// Latency samples kept for the median and 99th percentile.
constexpr std::size_t kLatencySamples = 4096;

}  // namespace

bool LiveViewer::Next(Clock::time_point deadline, std::shared_ptr<const LiveFrame>* frame) {
    std::unique_lock<std::mutex> lock(hub_.mutex_);
    for (;;) {
        if (hub_.shutdown_) return false;
        if (pending_) {
            *frame = std::move(pending_);
            pending_.reset();
            return true;
        }
        if (hub_.arrived_.wait_until(lock, deadline) == std::cv_status::timeout) {
            if (pending_ && !hub_.shutdown_) continue;
            return false;
        }
    }
}

void LiveViewer::Delivered(const LiveFrame& frame) {
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - frame.arrived).count();
    hub_.RecordLatency(ms);
}

FrameHub::FrameHub(Start start, Stop stop, unsigned maxViewers)
    : start_(std::move(start)), stop_(std::move(stop)), maxViewers_(maxViewers) {}

FrameHub::~FrameHub() { Shutdown(); }

std::shared_ptr<LiveViewer> FrameHub::Join(std::string* error, bool* full) {
    *full = false;
    std::lock_guard<std::mutex> run(runMutex_);
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (shutdown_) {
            *error = "the server is stopping";
            return nullptr;
        }
        if (viewers_.size() >= maxViewers_) {
            *full = true;
            *error = "too many live view viewers (at most " + std::to_string(maxViewers_) + ")";
            return nullptr;
        }
        first = !running_;
    }
    if (first) {
        if (!start_(error)) return nullptr;
    }
    std::shared_ptr<LiveViewer> viewer(new LiveViewer(*this));
    std::lock_guard<std::mutex> lock(mutex_);
    if (first) {
        running_ = true;
        ++starts_;
    }
    viewers_.push_back(viewer);
    return viewer;
}

void FrameHub::Leave(const std::shared_ptr<LiveViewer>& viewer) {
    std::lock_guard<std::mutex> run(runMutex_);
    bool last = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = std::find(viewers_.begin(), viewers_.end(), viewer);
        if (it == viewers_.end()) return;
        viewers_.erase(it);
        last = viewers_.empty() && running_;
        if (last) running_ = false;
    }
    if (last) stop_();
}

void FrameHub::Publish(const std::uint8_t* jpeg, std::size_t size) {
    auto frame = std::make_shared<LiveFrame>();
    frame->arrived = Clock::now();
    frame->jpeg.assign(jpeg, jpeg + size);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        frame->number = ++frames_;
        recent_.push_back(frame->arrived);
        const Clock::time_point cut = frame->arrived - std::chrono::seconds(1);
        recent_.erase(recent_.begin(),
                      std::find_if(recent_.begin(), recent_.end(),
                                   [cut](Clock::time_point t) { return t > cut; }));
        const std::shared_ptr<const LiveFrame> shared = frame;
        for (const auto& viewer : viewers_) {
            if (viewer->pending_) ++skipped_;
            viewer->pending_ = shared;
        }
    }
    arrived_.notify_all();
}

void FrameHub::Shutdown() {
    std::lock_guard<std::mutex> run(runMutex_);
    bool stop = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutdown_ = true;
        stop = running_;
        running_ = false;
        for (const auto& viewer : viewers_) viewer->pending_.reset();
    }
    arrived_.notify_all();
    if (stop) stop_();
}

void FrameHub::RecordLatency(double ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++delivered_;
    if (latencies_.size() < kLatencySamples) {
        latencies_.push_back(ms);
    } else {
        latencies_[latencyNext_] = ms;
        latencyNext_ = (latencyNext_ + 1) % kLatencySamples;
    }
}

LiveStats FrameHub::Stats() {
    LiveStats stats;
    std::vector<double> samples;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stats.running = running_;
        stats.viewers = static_cast<unsigned>(viewers_.size());
        stats.starts = starts_;
        stats.frames = frames_;
        stats.delivered = delivered_;
        stats.skipped = skipped_;
        const Clock::time_point cut = Clock::now() - std::chrono::seconds(1);
        stats.fps = static_cast<double>(
            std::count_if(recent_.begin(), recent_.end(), [cut](Clock::time_point t) { return t > cut; }));
        samples = latencies_;
    }
    stats.latencySamples = samples.size();
    if (!samples.empty()) {
        std::sort(samples.begin(), samples.end());
        stats.latencyMedianMs = samples[samples.size() / 2];
        stats.latencyP99Ms = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
    }
    return stats;
}

}  // namespace kqcam
