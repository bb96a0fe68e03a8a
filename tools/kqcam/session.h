// The state one kqcam run shares between its actions: the options, where
// output goes, the library, and the camera connection, opened when the
// first action needs it and closed at the end of the run.
#ifndef KQCAM_SESSION_H
#define KQCAM_SESSION_H

#include <memory>

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

// Prints an event that arrived while another action waited for something
// else, as a message.
void ReportStrayEvent(Session& session, const KQEventRecord& record);

}  // namespace kqcam

#endif  // KQCAM_SESSION_H
