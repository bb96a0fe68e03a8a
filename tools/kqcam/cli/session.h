// The state one kqcam run shares between its actions: the options, where
// output goes, the library, and the camera connection, opened when the
// first action needs it and closed at the end of the run.
#ifndef KQCAM_SESSION_H
#define KQCAM_SESSION_H

#include <memory>
#include <string>

#include "camera.h"
#include "filename.h"
#include "options.h"
#include "output.h"

namespace kqcam {

struct Session {
    explicit Session(const Options& given);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    Camera& Connected();

    const Options& options;
    Output out;
    Library library;
    std::unique_ptr<Camera> camera;
    unsigned shotCounter = 0;  // pictures saved so far in this run
    unsigned fileCounter = 0;  // the %n of the last name taken: one counter for every file

private:
    std::FILE* null_ = nullptr;  // where messages go with --quiet
};

// The one way an action writes a file: --filename (or `defaultPattern`)
// with the run's counter, --force-overwrite / --skip-existing, folders
// created, NAME.part renamed when complete (see OutputFile). `suffix` is
// the expected type for %C. Returns null when --skip-existing skips the
// name, after saying so. With `dataInHand` (a picture the camera already
// took) a taken name is passed over instead of skipped.
std::unique_ptr<OutputFile> OpenOutput(Session& session, const std::string& defaultPattern,
                                       const std::string& suffix, bool dataInHand = false);

// Runs --hook-script (when given) with ACTION=`action`; `argument` is the
// file for "download", empty otherwise. A script that cannot start ends the
// run; one that fails only earns a warning.
void RunHookAction(const Options& options, const char* action, const std::string& argument = "");

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

// Writes a fetched picture into `file` (made beforehand with OpenOutput)
// through the transfer records, gives the file its name, prints it (text or
// JSON) and runs the download hook; the one place where a picture becomes a
// file. `since` is when its release began, or when it arrived. Returns the
// file's path; throws a Failure (the file removed) when the transfer failed.
std::string SavePicture(Session& session, const ReleasedPicture& picture, OutputFile& file,
                        Clock::time_point since, PictureSource source);

// Saves a picture taken with the camera's shutter button under the next
// counter value.
void SaveShutterButtonPicture(Session& session, const ReleasedPicture& picture);

// Takes the events that arrive until `deadline`: pictures are saved as taken
// with the shutter button, other events reported as messages. Returns false
// when the run was interrupted.
bool SaveShutterButtonPicturesUntil(Session& session, Clock::time_point deadline);

// When a wait limited to `limit` that began at `start` ends: its seconds
// later, or never for a count or no limit.
Clock::time_point TimeLimitEnd(const Limit& limit, Clock::time_point start);

// Prints an event that arrived while another action waited for something
// else, as a message.
void ReportStrayEvent(Session& session, const KQEventRecord& record);

}  // namespace kqcam

#endif  // KQCAM_SESSION_H
