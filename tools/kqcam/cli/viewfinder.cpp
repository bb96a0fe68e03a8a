// --capture-preview and --capture-movie: frames from the viewfinder
// callback, one saved as a JPEG file or all of them written one after the
// other as an MJPEG stream.
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "errors.h"
#include "filename.h"
#include "platform.h"
#include "progress.h"
#include "session.h"

namespace kqcam {

namespace {

// How long to wait for a frame before giving up on the viewfinder.
constexpr auto kFrameTimeout = std::chrono::seconds(10);
// Frames waiting to be written; beyond this the oldest are dropped, so a
// slow reader of a movie cannot make kqcam grow without end.
constexpr std::size_t kMaxQueued = 128;

// Frames arrive on the library's thread. The queue lives as long as the
// process, like the event queue, for a callback still finishing after the
// viewfinder was stopped.
struct FrameQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::vector<std::uint8_t>> frames;
    std::uint64_t dropped = 0;
};

FrameQueue& Frames() {
    static FrameQueue* const queue = new FrameQueue;
    return *queue;
}

uint32_t KQ_STDCALL OnFrame(uint32_t, void*, uint32_t size, const uint8_t* jpeg) {
    if (jpeg == nullptr || size == 0) return 0;
    FrameQueue& queue = Frames();
    std::vector<std::uint8_t> frame(jpeg, jpeg + size);
    {
        std::lock_guard<std::mutex> lock(queue.mutex);
        if (queue.frames.size() >= kMaxQueued) {
            queue.frames.pop_front();
            ++queue.dropped;
        }
        queue.frames.push_back(std::move(frame));
    }
    queue.arrived.notify_all();
    return 0;
}

// Whether the bytes look like one whole JPEG image (start and end markers).
bool LooksLikeJpeg(const std::vector<std::uint8_t>& frame) {
    const std::size_t n = frame.size();
    return n >= 4 && frame[0] == 0xFF && frame[1] == 0xD8 && frame[n - 2] == 0xFF && frame[n - 1] == 0xD9;
}

// The viewfinder is on while this lives.
class ViewFinder {
public:
    explicit ViewFinder(Camera& camera) : camera_(camera) {
        {
            std::lock_guard<std::mutex> lock(Frames().mutex);
            Frames().frames.clear();
            Frames().dropped = 0;
        }
        CheckResult("KQ_RC_StartViewFinder", KQ_RC_StartViewFinder(camera.Handle(), nullptr, OnFrame));
    }
    ~ViewFinder() { KQ_RC_TermViewFinder(camera_.Handle()); }
    ViewFinder(const ViewFinder&) = delete;
    ViewFinder& operator=(const ViewFinder&) = delete;

    // Waits for the next frame until `deadline`; false on time-out or
    // interruption.
    bool Next(Clock::time_point deadline, std::vector<std::uint8_t>* frame) {
        FrameQueue& queue = Frames();
        std::unique_lock<std::mutex> lock(queue.mutex);
        for (;;) {
            if (!queue.frames.empty()) {
                frame->swap(queue.frames.front());
                queue.frames.pop_front();
                return true;
            }
            const Clock::time_point now = Clock::now();
            if (interrupted || now >= deadline) return false;
            const Clock::time_point slice = now + std::chrono::milliseconds(100);
            queue.arrived.wait_until(lock, deadline < slice ? deadline : slice);
        }
    }

    std::uint64_t Dropped() {
        std::lock_guard<std::mutex> lock(Frames().mutex);
        return Frames().dropped;
    }

private:
    Camera& camera_;
};

[[noreturn]] void NoFrame() {
    if (interrupted) OperationFailed("interrupted while waiting for a viewfinder frame");
    OperationFailed("no viewfinder frame arrived within 10 s of KQ_RC_StartViewFinder "
                    "(see the library's log, --debug)");
}

// Reports the events that arrived meanwhile (a camera error during a
// movie), without waiting.
void ReportPendingEvents(Session& session, Camera& camera) {
    KQEventRecord record;
    while (camera.NextEvent(Clock::now(), &record)) ReportStrayEvent(session, record);
}

}  // namespace

void RunCapturePreview(Session& session) {
    Camera& camera = session.Connected();
    std::unique_ptr<OutputFile> file = OpenOutput(session, "preview.jpg", "jpg");
    if (!file) return;
    std::vector<std::uint8_t> frame;
    {
        ViewFinder viewFinder(camera);
        if (!viewFinder.Next(Clock::now() + kFrameTimeout, &frame)) NoFrame();
    }
    ReportPendingEvents(session, camera);
    if (!LooksLikeJpeg(frame)) OperationFailed("the viewfinder frame is not a whole JPEG image");
    file->Write(frame.data(), frame.size());
    const std::string path = file->Commit();
    if (session.out.json) {
        std::fprintf(session.out.data, "{\"preview\":%s,\"bytes\":%u}\n", JsonString(path).c_str(),
                     static_cast<unsigned>(frame.size()));
    } else {
        std::fprintf(session.out.info, "Saved preview %s (%u bytes)\n", path.c_str(),
                     static_cast<unsigned>(frame.size()));
    }
    std::fflush(session.out.info);
    RunHookAction(session.options, "download", path);
}

void RunCaptureMovie(Session& session, const Limit& limit) {
    Camera& camera = session.Connected();
    const bool toStdout = session.options.toStdout;
    std::string path = "standard output";
    std::unique_ptr<OutputFile> file;
    if (toStdout) {
        SetStdoutBinary();
    } else {
        file = OpenOutput(session, "movie.mjpg", "mjpg");
        if (!file) return;
        path = file->Path();
    }
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;  // of whole frames
    std::uint64_t skipped = 0;
    bool readerGone = false;
    bool frameMissing = false;
    int writeError = 0;
    const Clock::time_point start = Clock::now();
    std::uint64_t dropped = 0;
    {
        ViewFinder viewFinder(camera);
        const Clock::time_point end =
            limit.kind == Limit::kSeconds
                ? start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit.seconds))
                : Clock::time_point::max();
        std::vector<std::uint8_t> frame;
        while (limit.kind != Limit::kCount || frames < limit.count) {
            ReportPendingEvents(session, camera);
            const Clock::time_point waitUntil =
                Clock::now() + kFrameTimeout < end ? Clock::now() + kFrameTimeout : end;
            if (!viewFinder.Next(waitUntil, &frame)) {
                if (interrupted || Clock::now() >= end) break;
                frameMissing = true;
                break;
            }
            if (!LooksLikeJpeg(frame)) {
                ++skipped;
                continue;
            }
            if (toStdout) {
                if (std::fwrite(frame.data(), 1, frame.size(), stdout) != frame.size() ||
                    std::fflush(stdout) != 0) {
                    writeError = errno != 0 ? errno : EIO;
                    readerGone = writeError == EPIPE;
                    break;
                }
            } else if (!file->Write(frame.data(), frame.size())) {
                writeError = file->Error();
                break;
            }
            ++frames;
            bytes += frame.size();
        }
        dropped = viewFinder.Dropped();
    }
    ReportPendingEvents(session, camera);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (file) {
        // A failed write (disk full) leaves the movie cut to its last whole
        // frame; a movie without frames leaves no file at all.
        if (writeError != 0 && !file->TruncateTo(bytes)) {
            OperationFailed("writing the movie to " + path + " failed: " + std::strerror(writeError) +
                            ", and it could not be cut back to its last whole frame");
        }
        if (frames == 0) {
            file->Discard();
        } else {
            path = file->Commit();
        }
    }
    const double fps = seconds > 0 ? static_cast<double>(frames) / seconds : 0.0;
    if (session.out.json) {
        // The summary is data, as every action's JSON is (on standard error
        // when the movie itself fills standard output).
        std::fprintf(session.out.data,
                     "{\"movie\":%s,\"frames\":%llu,\"seconds\":%.3f,\"fps\":%.2f,\"bytes\":%llu,"
                     "\"dropped\":%llu,\"skipped\":%llu}\n",
                     JsonString(toStdout ? "-" : path).c_str(), static_cast<unsigned long long>(frames),
                     seconds, fps, static_cast<unsigned long long>(bytes),
                     static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(skipped));
        std::fflush(session.out.data);
    } else {
        std::fprintf(session.out.info,
                     "Movie: %llu frames in %.2f s (%.1f frames per second), %llu bytes (%s) to %s\n",
                     static_cast<unsigned long long>(frames), seconds, fps,
                     static_cast<unsigned long long>(bytes), RateText(bytes, seconds).c_str(),
                     frames == 0 && file ? "no file" : path.c_str());
        if (dropped + skipped > 0) {
            std::fprintf(session.out.info, "Movie: %llu frames dropped (writing too slow), %llu not JPEG\n",
                         static_cast<unsigned long long>(dropped), static_cast<unsigned long long>(skipped));
        }
    }
    std::fflush(session.out.info);
    if (writeError != 0 && !readerGone) {
        OperationFailed("writing the movie to " + path + " failed: " + std::strerror(writeError) +
                        (file && frames > 0 ? "; the file holds the " + std::to_string(frames) +
                                                  " whole frames written before"
                                            : std::string()));
    }
    if (frameMissing) NoFrame();
    if (frames == 0 && !interrupted) OperationFailed("the movie holds no frame");
    if (file) RunHookAction(session.options, "download", path);
}

}  // namespace kqcam
