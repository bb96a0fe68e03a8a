#include "callback_thread.h"

namespace ztsim {

void CallbackQueue::Post(uint32_t delayMs, Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    PostLocked(0, delayMs, std::move(task));
}

void CallbackQueue::PostInTurn(uint32_t delayMs, Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    const uint32_t lane = nextTurn_ % threadCount_;
    PostLocked(lane, delayMs, std::move(task));
    nextTurn_ = (lane + 1) % threadCount_;
}

void CallbackQueue::SetThreadCount(uint32_t count) {
    std::lock_guard<std::mutex> lock(mutex_);
    threadCount_ = count < 1 ? 1 : (count > kMaxCallbackThreads ? kMaxCallbackThreads : count);
    nextTurn_ = 0;
}

void CallbackQueue::PostLocked(uint32_t lane, uint32_t delayMs, Task task) {
    Lane& target = lanes_[lane];
    if (!target.started) {
        std::thread worker(&CallbackQueue::Run, this, lane);
        target.worker = worker.get_id();
        worker.detach();
        target.started = true;
    }
    const Key key(Clock::now() + std::chrono::milliseconds(delayMs), nextOrder_++);
    target.pending.emplace(key, std::move(task));
    target.wake.notify_one();
}

void CallbackQueue::DropPending() {
    std::array<std::map<Key, Task>, kMaxCallbackThreads> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (uint32_t lane = 0; lane < kMaxCallbackThreads; ++lane) {
            dropped[lane].swap(lanes_[lane].pending);
        }
        idle_.notify_all();
    }
    // The tasks (and whatever records they keep alive) die here, outside the lock.
}

bool CallbackQueue::IdleLocked(uint32_t lane) const {
    return lanes_[lane].pending.empty() && !lanes_[lane].running;
}

bool CallbackQueue::OnWorkerLocked() const {
    const std::thread::id self = std::this_thread::get_id();
    for (const Lane& lane : lanes_) {
        if (lane.started && lane.worker == self) return true;
    }
    return false;
}

void CallbackQueue::WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (OnWorkerLocked()) return;
    idle_.wait(lock, [this] {
        for (uint32_t lane = 0; lane < kMaxCallbackThreads; ++lane) {
            if (!IdleLocked(lane)) return false;
        }
        return true;
    });
}

void CallbackQueue::WaitFirstIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (lanes_[0].started && lanes_[0].worker == std::this_thread::get_id()) return;
    idle_.wait(lock, [this] { return IdleLocked(0); });
}

void CallbackQueue::Run(uint32_t index) {
    try {
        Lane& lane = lanes_[index];
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (lane.pending.empty()) {
                lane.wake.wait(lock);
                continue;
            }
            const Clock::time_point due = lane.pending.begin()->first.first;
            if (Clock::now() < due) {
                lane.wake.wait_until(lock, due);
                continue;
            }
            Task task = std::move(lane.pending.begin()->second);
            lane.pending.erase(lane.pending.begin());
            lane.running = true;
            lock.unlock();
            try {
                task();
            } catch (...) {
                // A failing notification must not end the worker.
            }
            task = nullptr;
            lock.lock();
            lane.running = false;
            if (lane.pending.empty()) idle_.notify_all();
        }
    } catch (...) {
        // Only a broken mutex gets here; the thread ends rather than terminate
        // the process.
    }
}

}  // namespace ztsim
