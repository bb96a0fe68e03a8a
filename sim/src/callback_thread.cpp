#include "callback_thread.h"

#include <vector>

namespace ztsim {

void CallbackQueue::Post(uint32_t delayMs, Task task) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
        std::thread worker(&CallbackQueue::Run, this);
        worker_ = worker.get_id();
        worker.detach();
        started_ = true;
    }
    const Key key(Clock::now() + std::chrono::milliseconds(delayMs), nextOrder_++);
    pending_.emplace(key, std::move(task));
    wake_.notify_one();
}

void CallbackQueue::DropPending() {
    std::map<Key, Task> dropped;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        dropped.swap(pending_);
        if (!running_) idle_.notify_all();
    }
    // The tasks (and whatever records they keep alive) die here, outside the lock.
}

void CallbackQueue::WaitIdle() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (started_ && std::this_thread::get_id() == worker_) return;
    idle_.wait(lock, [this] { return pending_.empty() && !running_; });
}

bool CallbackQueue::OnWorkerThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    return started_ && std::this_thread::get_id() == worker_;
}

void CallbackQueue::Run() {
    try {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            if (pending_.empty()) {
                wake_.wait(lock);
                continue;
            }
            const Clock::time_point due = pending_.begin()->first.first;
            if (Clock::now() < due) {
                wake_.wait_until(lock, due);
                continue;
            }
            Task task = std::move(pending_.begin()->second);
            pending_.erase(pending_.begin());
            running_ = true;
            lock.unlock();
            try {
                task();
            } catch (...) {
                // A failing notification must not end the worker.
            }
            task = nullptr;
            lock.lock();
            running_ = false;
            if (pending_.empty()) idle_.notify_all();
        }
    } catch (...) {
        // Only a broken mutex gets here; the thread ends rather than terminate
        // the process.
    }
}

}  // namespace ztsim
