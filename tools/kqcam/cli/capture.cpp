// --capture-image-and-download: create the file, release, wait for the
// released-image event, write its picture through the transfer records into
// the file, run the hook; with --frames and --interval as a time-lapse.
// Pictures taken with the camera's own shutter button meanwhile are saved as
// files of their own.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "errors.h"
#include "filename.h"
#include "names.h"
#include "platform.h"
#include "progress.h"
#include "session.h"

namespace kqcam {

namespace {

// How long after KQ_RC_Release returned the released-image event may still
// be on its way (the library normally sends it before returning).
constexpr auto kEventGrace = std::chrono::seconds(2);

// What the released-data callback collects. The library calls it on the
// caller's thread, inside KQ_RC_GetReleasedData.
struct Transfer {
    OutputFile* file = nullptr;
    Progress* progress = nullptr;
    bool started = false;
    bool ended = false;
    bool outOfOrder = false;
    std::uint64_t bytes = 0;
    std::uint8_t head[4] = {0, 0, 0, 0};  // the first bytes, for the file's type
};

uint32_t KQ_STDCALL OnReleasedData(uint32_t, uint32_t, void* context,
                                   const KQTransferProgress* record) {
    auto* transfer = static_cast<Transfer*>(context);
    if (transfer == nullptr || record == nullptr) return 0;
    switch (record->status) {
    case KQ_TRANSFER_START:
        transfer->started = true;
        transfer->progress->Start();
        break;
    case KQ_TRANSFER_DATA:
        if (!transfer->started || transfer->ended || record->offset != transfer->bytes ||
            record->count > KQ_TRANSFER_CHUNK_SIZE || (record->count > 0 && record->data == nullptr)) {
            transfer->outOfOrder = true;
            break;
        }
        for (std::uint32_t i = 0; i < record->count && transfer->bytes + i < sizeof transfer->head; ++i) {
            transfer->head[transfer->bytes + i] = record->data[i];
        }
        // A failed write is remembered by the file and reported after the
        // transfer, which cannot be stopped.
        if (record->count > 0) transfer->file->Write(record->data, record->count);
        transfer->bytes += record->count;
        transfer->progress->Update(record->percent, transfer->bytes);
        break;
    case KQ_TRANSFER_END:
        transfer->ended = true;
        break;
    default:
        transfer->outOfOrder = true;
        break;
    }
    return 0;
}

// Waits for the released-image event, reporting any other event on the way.
// The first picture to arrive after the release began is taken for the
// release's own: through this API a picture carries nothing that tells a
// release from the camera's shutter button, so when both land during one
// release their order decides. Either way both are saved.
bool AwaitReleased(Session& session, Clock::time_point deadline,
                   std::shared_ptr<const ReleasedPicture>* released) {
    KQEventRecord record;
    std::shared_ptr<const ReleasedPicture> picture;
    while (session.camera->NextEvent(deadline, &record, &picture)) {
        if (record.eventCode == kqPTP_FULL_VIEW_RELEASED && picture) {
            *released = picture;
            return true;
        }
        ReportStrayEvent(session, record);
    }
    return false;
}

// How long a release may take before kqcam says it is waiting.
constexpr auto kSlowRelease = std::chrono::seconds(2);

// KQ_RC_Release returns once the picture is downloaded, or after 30 s when
// the camera never delivers it. It runs on a thread of its own so that
// kqcam stays responsive meanwhile: after 2 s it says it is waiting (unless
// --quiet), a first Ctrl-C is acknowledged, and a second one (or SIGTERM)
// ends the run at once, through the usual path that closes the camera
// session. The abandoned call then ends on its own; it holds nothing of
// kqcam's but the shared record of its result.
void ReleaseShutter(Camera& camera, bool quiet) {
    struct Call {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        KQResult result = RESULT_OK;
    };
    const std::shared_ptr<Call> call = std::make_shared<Call>();
    const std::uint32_t handle = camera.Handle();
    std::thread worker([call, handle] {
        const KQResult result = KQ_RC_Release(handle);
        {
            std::lock_guard<std::mutex> lock(call->mutex);
            call->result = result;
            call->finished = true;
        }
        call->done.notify_all();
    });
    const Clock::time_point start = Clock::now();
    bool told = false;
    int acknowledged = interruptCount.load();
    std::unique_lock<std::mutex> lock(call->mutex);
    while (!call->finished) {
        call->done.wait_for(lock, std::chrono::milliseconds(50));
        if (call->finished) break;
        const int count = interruptCount.load();
        if (count >= 2) {
            lock.unlock();
            worker.detach();
            OperationFailed("stopped while the camera was still taking the picture");
        }
        if (count > acknowledged) {
            acknowledged = count;
            std::fprintf(stderr, "kqcam: interrupted; waiting for the camera to finish the picture "
                                 "(Ctrl-C again to stop now)\n");
        } else if (!told && !quiet && Clock::now() - start >= kSlowRelease) {
            told = true;
            std::fprintf(stderr, "kqcam: waiting for the camera...\n");
        }
    }
    const KQResult result = call->result;
    lock.unlock();
    worker.join();
    CheckResult("KQ_RC_Release", result);
}

// Takes one picture into a new file; false when --skip-existing skipped
// its name and no picture was taken.
bool CaptureOne(Session& session) {
    Camera& camera = session.Connected();
    // Pictures taken with the camera's button before this release are
    // saved first, under their own numbers.
    SaveShutterButtonPicturesUntil(session, Clock::now());
    // The folder and the file are made before the shutter is released, so
    // no picture is taken for a file that could not be written.
    std::unique_ptr<OutputFile> file = OpenOutput(session, "capt%04n.%C", "jpg");
    if (!file) return false;

    const Clock::time_point released = Clock::now();
    ReleaseShutter(camera, session.options.quiet);
    std::shared_ptr<const ReleasedPicture> picture;
    if (!AwaitReleased(session, Clock::now() + kEventGrace, &picture)) {
        if (interrupted) OperationFailed("interrupted while waiting for the picture");
        OperationFailed("KQ_RC_Release returned but no picture arrived (no event 0xC008 "
                        "kqPTP_FULL_VIEW_RELEASED); the library's log tells more (--debug)");
    }
    SavePicture(session, *picture, *file, released, PictureSource::kRelease);
    return true;
}

// Waits until `when`, saving what the shutter button delivers meanwhile and
// waking every 50 ms to notice an interruption or SIGUSR1; true when SIGUSR1
// asked for the picture now.
bool WaitForNextPicture(Session& session, Clock::time_point when) {
    while (!interrupted) {
        if (captureNow.exchange(false)) return true;
        const Clock::time_point now = Clock::now();
        if (now >= when) return false;
        SaveShutterButtonPicturesUntil(session, std::min(when, now + std::chrono::milliseconds(50)));
    }
    return false;
}

std::string Pictures(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " picture" : " pictures");
}

}  // namespace

std::string SavePicture(Session& session, const ReleasedPicture& picture, OutputFile& file,
                        Clock::time_point since, PictureSource source) {
    Camera& camera = session.Connected();
    const unsigned shot = session.shotCounter + 1;
    Progress progress(session.out.info, IsTerminal(session.out.info), file.Path());
    Transfer transfer;
    transfer.file = &file;
    transfer.progress = &progress;
    const KQResult result = ReplayReleasedPicture(picture, camera.Handle(), shot, &transfer, OnReleasedData);
    if (transfer.started) progress.Finish(transfer.bytes);
    std::string problem;
    if (result != RESULT_OK) {
        problem = CallFailedMessage("KQ_RC_GetReleasedData", result);
    } else if (!transfer.started) {
        problem = "KQ_RC_GetReleasedData delivered no data: the library could not read the "
                  "downloaded picture (see its log, --debug)";
    } else if (transfer.outOfOrder || !transfer.ended) {
        problem = "KQ_RC_GetReleasedData: the transfer records were incomplete or out of order";
    }
    if (!problem.empty()) {
        file.Discard();
        OperationFailed(problem);
    }
    const std::size_t headSize =
        transfer.bytes < sizeof transfer.head ? static_cast<std::size_t>(transfer.bytes) : sizeof transfer.head;
    const std::string path = file.Commit(SuffixOfData(transfer.head, headSize));
    session.shotCounter = shot;
    const bool button = source == PictureSource::kShutterButton;
    const double seconds = std::chrono::duration<double>(Clock::now() - since).count();
    if (session.out.json) {
        std::fprintf(session.out.data, "{\"file\":%s,\"bytes\":%llu,\"shot\":%u,\"seconds\":%.3f%s}\n",
                     JsonString(path).c_str(), static_cast<unsigned long long>(transfer.bytes),
                     shot, seconds, button ? ",\"source\":\"shutter-button\"" : "");
        std::fflush(session.out.data);
    } else if (button) {
        std::fprintf(session.out.info, "Saved %s (%llu bytes), taken with the camera's shutter button\n",
                     path.c_str(), static_cast<unsigned long long>(transfer.bytes));
        std::fflush(session.out.info);
    } else {
        std::fprintf(session.out.info, "Saved %s (%llu bytes), %.2f s from release to file\n",
                     path.c_str(), static_cast<unsigned long long>(transfer.bytes), seconds);
        std::fflush(session.out.info);
    }
    RunHookAction(session.options, "download", path);
    return path;
}

void RunCaptureImages(Session& session) {
    const Options& options = session.options;
    const bool endless = options.interval >= 0 && options.frames == 0;
    const std::uint64_t frames = options.frames != 0 ? options.frames : 1;
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.interval > 0 ? options.interval : 0));
    // The schedule: picture i is due at first + (i - base) intervals. SIGUSR1
    // takes the next picture at once; with --reset-interval the schedule
    // then starts again from that picture.
    Clock::time_point first = Clock::now();
    std::uint64_t base = 0;
    captureNow = false;
    bool skipped = false;
    for (std::uint64_t i = 0; endless || i < frames; ++i) {
        if (options.shootOnSignal) {
            // -I -1: every picture, the first too, waits for SIGUSR1.
            std::fprintf(session.out.info, "Waiting for SIGUSR1 to take picture %llu (Ctrl-C ends)\n",
                         static_cast<unsigned long long>(i + 1));
            std::fflush(session.out.info);
            WaitForNextPicture(session, Clock::time_point::max());
        } else if (i > 0) {
            const Clock::time_point due = first + interval * static_cast<long>(i - base);
            if (Clock::now() > due && options.interval > 0 && !skipped) {
                std::fprintf(stderr, "kqcam: warning: picture %llu starts late; the previous one "
                             "took longer than the interval\n", static_cast<unsigned long long>(i + 1));
            }
            if (WaitForNextPicture(session, due) && options.resetInterval) {
                first = Clock::now();
                base = i;
            }
        }
        if (interrupted) {
            if (endless) return;  // Ctrl-C is how an endless time-lapse ends
            OperationFailed("interrupted after " + Pictures(session.shotCounter));
        }
        skipped = !CaptureOne(session);
        if (skipped) {
            // A skipped name costs no time: the next picture is due now.
            first = Clock::now();
            base = i + 1;
        }
    }
    // A picture from the shutter button that arrived during the last shot.
    SaveShutterButtonPicturesUntil(session, Clock::now());
}

}  // namespace kqcam
