// Taking a picture: the release with its wait, the exposure/focus trigger,
// and the hand-over from the Camera SDK's shot-completed and
// download-completed notifications.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "bridge/callbacks.h"
#include "bridge/context_check.h"
#include "bridge/sdk_wrapper.h"
#include "capture/capture_testing.h"
#include "capture/download_path.h"
#include "capture/quiet_preview_log.h"
#include "log/trace.h"
#include "platform/platform.h"

namespace kq {

std::atomic<std::uint32_t> quietPreviewLog{1};

namespace {

// The release tests the flag before the first sleep and after each sleep,
// and gives up once the sleeps add up to the time limit (120 polls).
constexpr std::uint32_t kReleasePollMs = 250;
constexpr std::uint32_t kReleaseTimeLimitMs = 30000;

std::atomic<PathAllocator> pathAllocator{nullptr};

}  // namespace

void SetPathAllocatorForTesting(PathAllocator allocate) { pathAllocator.store(allocate); }

std::uint16_t* CopyPath(const std::uint16_t* path) noexcept {
    if (path == nullptr) return nullptr;
    std::size_t units = 0;
    while (path[units] != 0) ++units;
    ++units;  // the terminating NUL
    const std::size_t bytes = units * sizeof(std::uint16_t);
    PathAllocator allocate = pathAllocator.load();
    void* memory = allocate != nullptr ? allocate(bytes) : std::malloc(bytes);
    if (memory == nullptr) return nullptr;
    std::memcpy(memory, path, bytes);
    return static_cast<std::uint16_t*>(memory);
}

bool SamePath(const std::uint16_t* first, const std::uint16_t* second) noexcept {
    if (first == nullptr || second == nullptr) return first == second;
    for (std::size_t i = 0;; ++i) {
        if (first[i] != second[i]) return false;
        if (first[i] == 0) return true;
    }
}

namespace {

// Polls like the release's own wait: tests `done` first and after each
// sleep, adding each sleep to `elapsed`, until `done` holds or the sleeps
// reach the release's time limit. Returns whether `done` held.
template <typename Done>
bool PollUntil(std::uint32_t& elapsed, Done done) {
    while (!done()) {
        if (elapsed >= kReleaseTimeLimitMs) return false;
        platform::Sleep(kReleasePollMs);
        elapsed += kReleasePollMs;
    }
    return true;
}

// The release's turn: held from before the shot until the wait for its
// download has ended, so that the one download-pending flag belongs to one
// release at a time.
class ReleaseTurn {
public:
    explicit ReleaseTurn(std::atomic<std::uint32_t>& underWay) : underWay_(underWay) {}
    ~ReleaseTurn() {
        if (held_) underWay_ = 0;
    }
    ReleaseTurn(const ReleaseTurn&) = delete;
    ReleaseTurn& operator=(const ReleaseTurn&) = delete;

    bool TryTake() {
        std::uint32_t idle = 0;
        held_ = underWay_.compare_exchange_strong(idle, 1);
        return held_;
    }

private:
    std::atomic<std::uint32_t>& underWay_;
    bool held_ = false;
};

}  // namespace

int CSDKWrapper::Release() {
    quietPreviewLog = 0;
    TraceCall("Release begin");
    if (session.load() == nullptr) return 0;
    // Releases on several threads take turns, each within the one time
    // limit: as when they run one after another, each returns after the
    // download of its own shot, never after another's.
    std::uint32_t elapsed = 0;
    ReleaseTurn turn(releaseUnderWay);
    if (!PollUntil(elapsed, [&] { return turn.TryTake(); })) {
        Tracef("Release: an earlier release is still waiting for its picture", kLogError);
        return 0;
    }
    HandleRef current = session.Acquire();
    if (current.get() == nullptr) return 0;
    downloadPending = 1;
    const ZTResult result = ZTShoot(current.get());
    // The wait below needs no session: a disconnect meanwhile must not wait
    // for it.
    current.Reset();
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTShoot failed");
        return 0;
    }
    // The download-completed callback clears the flag on a Camera SDK
    // thread; the atomic load sees its store after every sleep. Called from
    // inside a callback on the thread that would deliver the download, this
    // ends by its time-out.
    if (!PollUntil(elapsed, [&] { return downloadPending.load() == 0; })) {
        Tracef("CSDKWrapper::OnDownloadCompleted was not called", kLogError);
        return 0;
    }
    TraceCall("Release end");
    return 1;
}

int CSDKWrapper::AEAF() {
    TraceCall("AEAF");
    const HandleRef current = session.Acquire();
    if (current.get() == nullptr) return 0;
    const ZTResult result = ZTUpdateAEAF(current.get());
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTUpdateAEAF failed");
        return 0;
    }
    return 1;
}

int CSDKWrapper::Download(std::uint32_t item) {
    TraceCall("Download begin");
    const HandleRef current = session.Acquire();
    if (current.get() == nullptr) return 0;
    const ZTResult result = ZTDownloadFile(current.get(), item, 1);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTDownloadFile failed");
        return 0;
    }
    return 1;
}

// The event goes first and the flag is cleared only after the client's
// event callback has returned, so a waiting release ends after the client
// has heard of the image, and the recorded path is valid for a transfer
// started from within the event callback.
void CSDKWrapper::OnDownloadCompleted(std::uint32_t downloadValue) {
    RaiseFullViewReleased(downloadValue);
    downloadPending = 0;
    TraceCall("Download end");
}

void ZT_STDCALL ShootCompletedCallback(void* context, const void* shotRecord) {
    try {
        const CallbackEntry entry(bridgeState.shootCompletedSub);
        TraceCall("ShootCompletedCallback");
        CSDKWrapper* state = OwnerOfContextField(
            context, [](CSDKWrapper& owner) -> ContextField& { return owner.shootCtx; });
        if (!entry.live() || state == nullptr || shotRecord == nullptr) return;
        std::uint32_t item;
        std::memcpy(&item, shotRecord, sizeof item);
        state->Download(item);
    } catch (...) {
        // Nothing may unwind into the Camera SDK's thread.
    }
}

void ZT_STDCALL DownloadCompletedCallback(void* context, std::uint32_t value,
                                          const std::uint16_t* path) {
    try {
        const CallbackEntry entry(bridgeState.downloadCompletedSub);
        TraceCall("DownloadCompletedCallback");
        CSDKWrapper* state = OwnerOfContextField(
            context, [](CSDKWrapper& owner) -> ContextField& { return owner.download.downloadCtx; });
        if (!entry.live() || state == nullptr || path == nullptr) return;
        std::uint16_t* copy = CopyPath(path);
        if (copy == nullptr) {
            // Without the path the image cannot be handed over: the record
            // keeps the previous download and a waiting release runs into
            // its time-out.
            Tracef("DownloadCompletedCallback: no memory for the file's path", kLogError);
            return;
        }
        CSDKWrapper::DownloadRecord& record = state->download;
        std::uint16_t* previous;
        std::uint32_t recorded;
        {
            std::lock_guard<std::mutex> lock(record.mutex);
            record.downloadValue = 0;
            previous = record.downloadPath.exchange(copy);
            record.downloadValue = value;
            recorded = value;
            ++record.generation;
        }
        // A previous file the client never fetched stays on disk; only its
        // path is forgotten. A transfer still running works on a copy of its own.
        std::free(previous);
        // The event carries the value recorded here: read again from the
        // record, it could already be a newer download's, or cleared by a
        // transfer begun meanwhile.
        state->OnDownloadCompleted(recorded);
    } catch (...) {
    }
}

}  // namespace kq
