// The web server's one way to the camera. Every request that talks to the
// camera (datasets, values, captures, starting and stopping the viewfinder)
// goes through the desk, which runs them one at a time, so two browsers
// capturing or changing settings at once take turns. The desk also takes
// the camera's events as they arrive and passes them to the event feed;
// pictures taken with the camera's own shutter button are saved as
// --capture-tethered saves them and added to the gallery.
#ifndef KQCAM_SERVE_CAMERA_H
#define KQCAM_SERVE_CAMERA_H

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "json_forms.h"
#include "serve_live.h"
#include "serve_state.h"
#include "session.h"

namespace kqcam {

// A request the server refuses or a call that failed, as an HTTP status and
// a message; `result` is the library's result code when a call failed.
struct ApiError {
    int status = 500;
    std::string message;
    bool hasResult = false;
    std::uint32_t result = 0;
};

// The raw value a request asks for: {"value": N}, {"value": "0x.."},
// {"index": N} (the N-th choice) or {"label": "ISO 400"}. Throws ApiError
// 400 for anything else and for a value the descriptor does not allow.
std::uint64_t RequestedValue(const PropDesc& desc, const nlohmann::json& body);

class CameraDesk {
public:
    CameraDesk(Session& session, Gallery& gallery, EventFeed& feed);
    ~CameraDesk();
    CameraDesk(const CameraDesk&) = delete;
    CameraDesk& operator=(const CameraDesk&) = delete;

    // Connects (if no earlier action did) and starts passing events on.
    // Throws Failure when there is no camera or the connection fails.
    void Open();
    // Stops passing events on; the session closes the connection.
    void Close();

    const std::string& Model() const { return model_; }

    nlohmann::json Summary();
    nlohmann::json ListConfig();
    nlohmann::json GetConfig(std::uint16_t code);
    nlohmann::json SetConfig(std::uint16_t code, const nlohmann::json& body);
    // Takes a picture and writes it as the --filename pattern says; the
    // shot is added to the gallery.
    Shot Capture();

    // The viewfinder, on behalf of the live view hub.
    bool StartLive(FrameHub* hub, std::string* error);
    void StopLive();

private:
    PropDesc OfferedDesc(std::uint16_t code);
    void PumpEvents();
    void SaveButtonPictures();

    Session& session_;
    Gallery& gallery_;
    EventFeed& feed_;
    Camera* camera_ = nullptr;
    std::string model_;
    std::mutex desk_;  // one camera operation at a time

    // The pump hands the picture of a released-image event to a capture
    // waiting for it; any other picture came from the shutter button and
    // goes to the saver, which takes the desk for it (the pump never waits
    // for the desk, so a capture holding it always gets its picture).
    std::mutex releaseMutex_;
    std::condition_variable releaseArrived_;
    bool awaitingRelease_ = false;
    std::shared_ptr<const ReleasedPicture> released_;
    std::deque<std::shared_ptr<const ReleasedPicture>> buttonPictures_;
    bool stopSaver_ = false;

    std::atomic<bool> stopPump_{false};
    std::thread pump_;
    std::thread saver_;
};

}  // namespace kqcam

#endif  // KQCAM_SERVE_CAMERA_H
