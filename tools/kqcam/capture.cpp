// --capture-image-and-download: release, wait for the released-image event,
// write its picture through the transfer records into a new file, run the
// hook; with --frames and --interval as a time-lapse. Pictures taken with the
// camera's own shutter button meanwhile are saved as files of their own.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

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
    std::FILE* file = nullptr;
    Progress* progress = nullptr;
    bool started = false;
    bool ended = false;
    bool outOfOrder = false;
    int writeError = 0;
    std::uint64_t bytes = 0;
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
        if (record->count > 0 && transfer->writeError == 0 &&
            std::fwrite(record->data, 1, record->count, transfer->file) != record->count) {
            transfer->writeError = errno != 0 ? errno : EIO;
        }
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


void CaptureOne(Session& session) {
    Camera& camera = session.Connected();
    // Pictures taken with the camera's button before this release are
    // saved first, under their own numbers.
    SaveShutterButtonPicturesUntil(session, Clock::now());
    const unsigned counter = session.shotCounter + 1;
    // Refused before the shutter is released, so no picture is taken for a
    // file that could not be written.
    const std::string path = PicturePath(session, counter);

    const Clock::time_point released = Clock::now();
    CheckResult("KQ_RC_Release", KQ_RC_Release(camera.Handle()));
    std::shared_ptr<const ReleasedPicture> picture;
    if (!AwaitReleased(session, Clock::now() + kEventGrace, &picture)) {
        if (interrupted) OperationFailed("interrupted while waiting for the picture");
        OperationFailed("KQ_RC_Release returned but no picture arrived (no event 0xC008 "
                        "kqPTP_FULL_VIEW_RELEASED); the library's log tells more (--debug)");
    }
    SavePicture(session, *picture, path, counter, released, PictureSource::kRelease);
}

}  // namespace

std::string PicturePath(Session& session, unsigned counter) {
    const Options& options = session.options;
    const std::string pattern = options.filename.empty() ? "capt%04n.%C" : options.filename;
    const std::string path = ExpandPattern(pattern, counter, LocalNow(), "jpg");
    if (!options.forceOverwrite && FileExists(path)) {
        OperationFailed(path + " exists already; not overwritten (use --force-overwrite)");
    }
    return path;
}

void SavePicture(Session& session, const ReleasedPicture& picture, const std::string& path,
                 unsigned counter, Clock::time_point since, PictureSource source) {
    Camera& camera = session.Connected();
    const Options& options = session.options;
    std::FILE* file = CreateOutputFile(path, options.forceOverwrite);
    Progress progress(session.out.info, IsTerminal(session.out.info), path);
    Transfer transfer;
    transfer.file = file;
    transfer.progress = &progress;
    const KQResult result =
        ReplayReleasedPicture(picture, camera.Handle(), counter, &transfer, OnReleasedData);
    if (transfer.started) progress.Finish(transfer.bytes);
    const bool closed = std::fclose(file) == 0;
    std::string problem;
    if (result != RESULT_OK) {
        problem = CallFailedMessage("KQ_RC_GetReleasedData", result);
    } else if (!transfer.started) {
        problem = "KQ_RC_GetReleasedData delivered no data: the library could not read the "
                  "downloaded picture (see its log, --debug)";
    } else if (transfer.outOfOrder || !transfer.ended) {
        problem = "KQ_RC_GetReleasedData: the transfer records were incomplete or out of order";
    } else if (transfer.writeError != 0 || !closed) {
        problem = "writing " + path + " failed: " +
                  std::strerror(transfer.writeError != 0 ? transfer.writeError : errno);
    }
    if (!problem.empty()) {
        std::remove(path.c_str());
        OperationFailed(problem);
    }
    session.shotCounter = counter;
    const bool button = source == PictureSource::kShutterButton;
    const double seconds = std::chrono::duration<double>(Clock::now() - since).count();
    if (session.out.json) {
        std::fprintf(session.out.data, "{\"file\":%s,\"bytes\":%llu,\"shot\":%u,\"seconds\":%.3f%s}\n",
                     JsonString(path).c_str(), static_cast<unsigned long long>(transfer.bytes),
                     counter, seconds, button ? ",\"source\":\"shutter-button\"" : "");
    } else if (button) {
        std::fprintf(session.out.data, "Saved %s (%llu bytes), taken with the camera's shutter button\n",
                     path.c_str(), static_cast<unsigned long long>(transfer.bytes));
    } else {
        std::fprintf(session.out.data, "Saved %s (%llu bytes), %.2f s from release to file\n",
                     path.c_str(), static_cast<unsigned long long>(transfer.bytes), seconds);
    }
    std::fflush(session.out.data);

    if (!options.hookScript.empty()) {
        std::string error;
        const int status = RunHookScript(options.hookScript, path, &error);
        if (status < 0) {
            OperationFailed("--hook-script " + options.hookScript + ": " + error);
        }
        if (status != 0) {
            std::fprintf(stderr, "kqcam: warning: hook script %s exited with status %d\n",
                         options.hookScript.c_str(), status);
        }
    }
}

void RunCaptureImages(Session& session) {
    const Options& options = session.options;
    const bool endless = options.interval >= 0 && options.frames == 0;
    const std::uint64_t frames = options.frames != 0 ? options.frames : 1;
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(options.interval > 0 ? options.interval : 0));
    const Clock::time_point first = Clock::now();
    for (std::uint64_t i = 0; endless || i < frames; ++i) {
        if (i > 0) {
            const Clock::time_point due = first + interval * static_cast<long>(i);
            if (Clock::now() > due && options.interval > 0) {
                std::fprintf(stderr, "kqcam: warning: picture %llu starts late; the previous one "
                             "took longer than the interval\n", static_cast<unsigned long long>(i + 1));
            }
            SaveShutterButtonPicturesUntil(session, due);
        }
        if (interrupted) {
            if (endless) return;  // Ctrl-C is how an endless time-lapse ends
            OperationFailed("interrupted after " + std::to_string(i) + " pictures");
        }
        CaptureOne(session);
    }
    // A picture from the shutter button that arrived during the last shot.
    SaveShutterButtonPicturesUntil(session, Clock::now());
}

}  // namespace kqcam
