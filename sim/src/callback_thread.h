// The simulator's callback thread: one worker running queued tasks in order of
// due time, then of posting. Tasks run without any simulator lock held, so a
// callback may call straight back into the ZT functions.
#ifndef ZTSIM_CALLBACK_THREAD_H
#define ZTSIM_CALLBACK_THREAD_H

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace ztsim {

class CallbackQueue {
public:
    using Task = std::function<void()>;

    // Runs `task` on the worker after `delayMs`. The worker is started on
    // first use and lives as long as the process: nothing ever joins it, so
    // no teardown (a DLL detach under the loader lock, say) waits on it.
    void Post(uint32_t delayMs, Task task);

    // Discards every task not yet started; one already running completes.
    void DropPending();

    // Returns once no task is pending (however far in the future it is due)
    // and none is running. Returns at once on the worker itself, which would
    // otherwise wait for itself.
    void WaitIdle();

    bool OnWorkerThread();

private:
    using Clock = std::chrono::steady_clock;
    using Key = std::pair<Clock::time_point, uint64_t>;

    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::map<Key, Task> pending_;
    uint64_t nextOrder_ = 0;
    bool running_ = false;
    bool started_ = false;
    std::thread::id worker_;
};

}  // namespace ztsim

#endif  // ZTSIM_CALLBACK_THREAD_H
