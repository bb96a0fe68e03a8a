// One camera session through the KQ_ functions: start of the library, the
// camera list, the connection, the event callback, datasets and values.
// The library calls the event callback on a thread of its own; events are
// queued under a lock and taken by the waiting command. Released pictures
// are fetched inside the callback and queued with their event.
#ifndef KQCAM_CAMERA_H
#define KQCAM_CAMERA_H

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "datasets.h"
#include "kqsdk.h"
#include "released_picture.h"

namespace kqcam {

using Clock = std::chrono::steady_clock;

struct Device {
    std::string model;
    std::uint32_t handle = 0;
    KQDeviceListEntry entry;
};

// Starts the library on construction and finishes it on destruction.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    std::vector<Device> Devices();
};

class Camera {
public:
    // Connects to the first camera listed: throws a Failure with
    // kExitNoCamera when none is, kExitConnectFailed when the session does
    // not open.
    explicit Camera(Library& library);
    ~Camera();
    Camera(const Camera&) = delete;
    Camera& operator=(const Camera&) = delete;

    std::uint32_t Handle() const { return device_.handle; }
    const std::string& Model() const { return device_.model; }

    DeviceInfo GetDeviceInfo();
    PropDesc GetPropDesc(std::uint16_t code);
    std::uint64_t GetValue(std::uint16_t code, std::size_t width);
    void SetValue(std::uint16_t code, std::uint64_t value, std::size_t width);

    // Forgets the events received so far.
    void DiscardEvents();
    // Takes the next event; false when none arrived before `deadline` or the
    // run was interrupted. A released-image event comes with its picture,
    // already fetched from the library (`picture`, when asked for).
    bool NextEvent(Clock::time_point deadline, KQEventRecord* record,
                   std::shared_ptr<const ReleasedPicture>* picture = nullptr);

private:
    void ReportUnsavedPictures();
    Device device_;
    bool connected_ = false;
    bool callbackSet_ = false;
};

}  // namespace kqcam

#endif  // KQCAM_CAMERA_H
