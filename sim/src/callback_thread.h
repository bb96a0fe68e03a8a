// The simulator's callback threads: up to kMaxCallbackThreads workers, each
// running the tasks queued to it in order of due time, then of posting.
// Tasks run without any simulator lock held, so a callback may call straight
// back into the ZT functions.
//
// Every task goes to the first thread unless posted "in turn": those are
// handed to the active threads one after the other, so that consecutive ones
// may run at the same time on different threads.
#ifndef ZTSIM_CALLBACK_THREAD_H
#define ZTSIM_CALLBACK_THREAD_H

#include <stdint.h>

#include <array>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace ztsim {

constexpr uint32_t kMaxCallbackThreads = 4;

class CallbackQueue {
public:
    using Task = std::function<void()>;

    // Runs `task` on the first thread after `delayMs`. A thread is started
    // when its first task is posted and lives as long as the process: nothing
    // ever joins it, so no teardown (a DLL detach under the loader lock, say)
    // waits on it.
    void Post(uint32_t delayMs, Task task);

    // Runs `task` after `delayMs` on the next of the active threads in turn.
    void PostInTurn(uint32_t delayMs, Task task);

    // Number of threads PostInTurn spreads over, clamped to 1..4. Tasks
    // already queued stay on their thread; the turn starts again at the first.
    void SetThreadCount(uint32_t count);

    // Discards every task not yet started, on all threads; tasks already
    // running complete.
    void DropPending();

    // Returns once no task is pending on any thread (however far in the
    // future it is due) and none is running. Returns at once on a callback
    // thread, which would otherwise wait for itself.
    void WaitIdle();

    // The same for the first thread only: returns once nothing is pending or
    // running on it; at once on the first thread itself.
    void WaitFirstIdle();

private:
    using Clock = std::chrono::steady_clock;
    using Key = std::pair<Clock::time_point, uint64_t>;

    struct Lane {
        std::condition_variable wake;
        std::map<Key, Task> pending;
        bool running = false;
        bool started = false;
        std::thread::id worker;
    };

    // The caller holds mutex_.
    void PostLocked(uint32_t lane, uint32_t delayMs, Task task);
    bool IdleLocked(uint32_t lane) const;
    bool OnWorkerLocked() const;

    void Run(uint32_t lane);

    std::mutex mutex_;
    std::condition_variable idle_;
    std::array<Lane, kMaxCallbackThreads> lanes_;
    uint32_t threadCount_ = 1;
    uint32_t nextTurn_ = 0;
    uint64_t nextOrder_ = 0;
};

}  // namespace ztsim

#endif  // ZTSIM_CALLBACK_THREAD_H
