// --capture-tethered (--wait-event-and-download): pictures taken with the
// camera's own shutter button are saved as they arrive, named by
// --filename and handed to the hook like captured ones; other events are
// printed as --wait-event prints them.
#include <cstdio>
#include <memory>

#include "errors.h"
#include "platform.h"
#include "session.h"

namespace kqcam {

void SaveShutterButtonPicture(Session& session, const ReleasedPicture& picture) {
    std::unique_ptr<OutputFile> file = OpenOutput(session, "capt%04n.%C", "jpg", true);
    SavePicture(session, picture, *file, picture.arrived, PictureSource::kShutterButton);
}

bool SaveShutterButtonPicturesUntil(Session& session, Clock::time_point deadline) {
    Camera& camera = session.Connected();
    KQEventRecord record;
    std::shared_ptr<const ReleasedPicture> picture;
    while (camera.NextEvent(deadline, &record, &picture)) {
        if (picture) {
            SaveShutterButtonPicture(session, *picture);
        } else {
            ReportStrayEvent(session, record);
        }
    }
    return !interrupted;
}

void RunCaptureTethered(Session& session, const Limit& limit) {
    Camera& camera = session.Connected();
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = TimeLimitEnd(limit, start);
    if (!session.out.json) {
        std::fprintf(session.out.info, "Waiting for pictures from the camera's shutter button%s\n",
                     limit.kind == Limit::kUntilInterrupted ? " (Ctrl-C ends)" : "");
        std::fflush(session.out.info);
    }
    std::uint64_t events = 0;
    std::uint64_t pictures = 0;
    KQEventRecord record;
    std::shared_ptr<const ReleasedPicture> picture;
    for (;;) {
        if (limit.kind == Limit::kCount && events >= limit.count) break;
        if (limit.kind == Limit::kFiles && pictures >= limit.count) break;
        if (!camera.NextEvent(end, &record, &picture)) break;  // time is up or interrupted
        ++events;
        if (picture) {
            SaveShutterButtonPicture(session, *picture);
            ++pictures;
        } else {
            PrintEvent(session.out, record, std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    const bool counted = limit.kind == Limit::kCount || limit.kind == Limit::kFiles;
    if (interrupted && counted) {
        OperationFailed("interrupted after " + std::to_string(pictures) +
                        (pictures == 1 ? " picture" : " pictures"));
    }
    if (!session.out.json) {
        std::fprintf(session.out.info, "Tethered: %llu %s saved, %llu %s in %.2f s\n",
                     static_cast<unsigned long long>(pictures), pictures == 1 ? "picture" : "pictures",
                     static_cast<unsigned long long>(events), events == 1 ? "event" : "events",
                     std::chrono::duration<double>(Clock::now() - start).count());
    }
}

}  // namespace kqcam
