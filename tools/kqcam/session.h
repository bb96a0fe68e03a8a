// The state one kqcam run shares between its actions: the options, where
// output goes, the library, and the camera connection, opened when the
// first action needs it and closed at the end of the run.
#ifndef KQCAM_SESSION_H
#define KQCAM_SESSION_H

#include <memory>
#include <string>

#include "camera.h"
#include "options.h"
#include "output.h"

namespace kqcam {

struct Session {
    explicit Session(const Options& given);
    Camera& Connected();

    const Options& options;
    Output out;
    Library library;
    std::unique_ptr<Camera> camera;
    unsigned shotCounter = 0;  // pictures saved so far in this run
};

// The actions, one function each.
void RunAutoDetect(Session& session);
void RunSummary(Session& session);
void RunListConfig(Session& session);
void RunGetConfig(Session& session, std::uint16_t code);
void RunSetConfig(Session& session, const Action& action);
void RunZoom(Session& session, std::uint64_t position);
void RunCaptureImages(Session& session);
void RunCapturePreview(Session& session);
void RunCaptureMovie(Session& session, const Limit& limit);
void RunWaitEvent(Session& session, const Limit& limit);
void RunCaptureTethered(Session& session, const Limit& limit);

// Where a picture came from: a release kqcam made, or the camera's own
// shutter button.
enum class PictureSource { kRelease, kShutterButton };

// The file the picture with `counter` goes to, from --filename (or the
// default); refused when it exists and --force-overwrite is not given.
std::string PicturePath(Session& session, unsigned counter);

// Writes a fetched picture to `path` through the transfer records, prints
// it (text or JSON) and runs the hook; the one place where a picture
// becomes a file. `since` is when its release began, or when it arrived.
void SavePicture(Session& session, const ReleasedPicture& picture, const std::string& path,
                 unsigned counter, Clock::time_point since, PictureSource source);

// Saves a picture taken with the camera's shutter button under the next
// counter value.
void SaveShutterButtonPicture(Session& session, const ReleasedPicture& picture);

// Takes the events that arrive until `deadline`: pictures are saved as taken
// with the shutter button, other events reported as messages. Returns false
// when the run was interrupted.
bool SaveShutterButtonPicturesUntil(Session& session, Clock::time_point deadline);

// Prints an event that arrived while another action waited for something
// else, as a message.
void ReportStrayEvent(Session& session, const KQEventRecord& record);

}  // namespace kqcam

#endif  // KQCAM_SESSION_H
