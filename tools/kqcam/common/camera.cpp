#include "camera.h"

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

#include "errors.h"
#include "platform.h"

namespace kqcam {

namespace {

// Events wait here until a command takes them. The queue lives as long as
// the process: a callback already running on the library's thread may still
// finish after the camera object is gone.
struct QueuedEvent {
    KQEventRecord record;
    std::shared_ptr<const ReleasedPicture> picture;  // with a released-image event
};

struct EventQueue {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<QueuedEvent> events;
};

EventQueue& Events() {
    static EventQueue* const queue = new EventQueue;
    return *queue;
}

uint32_t KQ_STDCALL OnEvent(uint32_t cameraHandle, void*, const KQEventRecord* record) {
    if (record == nullptr) return 0;
    try {
        // Copied first: the library may build its records in the buffer a
        // transfer reads into.
        QueuedEvent event{*record, nullptr};
        // The picture is fetched here, while the library still holds it:
        // the next download cannot replace it before this callback returns.
        if (event.record.eventCode == kqPTP_FULL_VIEW_RELEASED) {
            event.picture = std::make_shared<const ReleasedPicture>(
                FetchReleasedPicture(cameraHandle, event.record.eventCode));
        }
        EventQueue& queue = Events();
        {
            std::lock_guard<std::mutex> lock(queue.mutex);
            queue.events.push_back(std::move(event));
        }
        queue.arrived.notify_all();
    } catch (...) {
        // Nothing may unwind into the library's thread; an event that could
        // not be queued is lost.
    }
    return 0;
}

// The text up to its NUL, at most `max` units.
std::string NameText(const uint16_t* text, std::size_t max) {
    std::size_t n = 0;
    while (n < max && text[n] != 0) ++n;
    return Utf16ToUtf8(text, n);
}

// Fetches a dataset whose size the library does not report when the buffer
// is too small: the buffer grows until the dataset fits.
template <typename Call>
std::vector<std::uint8_t> FetchDataset(const char* callName, Call call) {
    constexpr std::uint32_t kLimit = 1u << 20;
    for (std::uint32_t capacity = 512;; capacity *= 2) {
        std::vector<std::uint8_t> buffer(capacity);
        std::uint32_t size = capacity;
        const KQResult result = call(&size, buffer.data());
        if (result == RESULT_BUFFER_TOO_SMALL && capacity < kLimit) continue;
        CheckResult(callName, result);
        if (size > capacity) {
            OperationFailed(std::string(callName) + " reported " + std::to_string(size) +
                            " bytes for a buffer of " + std::to_string(capacity));
        }
        buffer.resize(size);
        return buffer;
    }
}

}  // namespace

Library::Library() { KQ_StartSDK(); }

Library::~Library() { KQ_FinishSDK(); }

std::vector<Device> Library::Devices() {
    KQDeviceList list;
    std::memset(&list, 0, sizeof list);
    uint32_t size = KQ_DEVICE_LIST_MIN_SIZE;
    CheckResult("KQ_GetDeviceList", KQ_GetDeviceList(&size, &list));
    std::vector<Device> devices;
    // The list holds one entry; a larger count is cut to what the record holds.
    if (list.count > 0) {
        Device device;
        device.entry = list.entry;
        device.handle = list.entry.cameraHandle;
        device.model = NameText(list.entry.name, sizeof list.entry.name / sizeof list.entry.name[0]);
        devices.push_back(device);
    }
    return devices;
}

Camera::Camera(Library& library) {
    std::vector<Device> devices = library.Devices();
    if (devices.empty()) throw Failure(kExitNoCamera, "no camera found (KQ_GetDeviceList lists none)");
    device_ = devices.front();
    uint32_t handle = 0;
    CheckResult("KQ_CreateCameraObject", KQ_CreateCameraObject(&device_.entry, &handle),
                kExitConnectFailed);
    device_.handle = handle;
    CheckResult("KQ_ConnectCamera", KQ_ConnectCamera(handle), kExitConnectFailed);
    connected_ = true;
    DiscardEvents();
    CheckResult("KQ_SetEventCallBack", KQ_SetEventCallBack(handle, this, OnEvent),
                kExitConnectFailed);
    callbackSet_ = true;
}

Camera::~Camera() {
    if (callbackSet_) KQ_ClearEventCallBack(device_.handle);
    ReportUnsavedPictures();
    if (connected_) KQ_DisconnectCamera(device_.handle);
    KQ_DestroyCameraObject(device_.handle);
}

DeviceInfo Camera::GetDeviceInfo() {
    const std::vector<std::uint8_t> data = FetchDataset(
        "KQ_GetDeviceInfo",
        [this](uint32_t* size, void* buffer) { return KQ_GetDeviceInfo(device_.handle, size, buffer); });
    try {
        return DecodeDeviceInfo(data.data(), data.size());
    } catch (const DatasetError& error) {
        OperationFailed("KQ_GetDeviceInfo: malformed DeviceInfo: " + error.message);
    }
}

PropDesc Camera::GetPropDesc(std::uint16_t code) {
    const std::vector<std::uint8_t> data =
        FetchDataset("KQ_GetDevicePropDesc", [this, code](uint32_t* size, void* buffer) {
            return KQ_GetDevicePropDesc(device_.handle, code, size, buffer);
        });
    try {
        PropDesc desc = DecodePropDesc(data.data(), data.size());
        if (desc.code != code) throw DatasetError{"it describes another property code"};
        return desc;
    } catch (const DatasetError& error) {
        char text[32];
        std::snprintf(text, sizeof text, "0x%04X", code);
        OperationFailed(std::string("KQ_GetDevicePropDesc ") + text +
                        ": malformed DevicePropDesc: " + error.message);
    }
}

std::uint64_t Camera::GetValue(std::uint16_t code, std::size_t width) {
    std::uint8_t buffer[8] = {0};
    uint32_t size = sizeof buffer;
    CheckResult("KQ_GetDevicePropValue", KQ_GetDevicePropValue(device_.handle, code, &size, buffer));
    if (size == 0 || size > sizeof buffer || size > width) {
        OperationFailed("KQ_GetDevicePropValue returned " + std::to_string(size) +
                        " bytes for a value of " + std::to_string(width));
    }
    std::uint64_t value = 0;
    for (uint32_t i = 0; i < size; ++i) value |= static_cast<std::uint64_t>(buffer[i]) << (8 * i);
    return value;
}

void Camera::SetValue(std::uint16_t code, std::uint64_t value, std::size_t width) {
    std::uint8_t buffer[8] = {0};
    for (std::size_t i = 0; i < width && i < sizeof buffer; ++i) {
        buffer[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    CheckResult("KQ_SetDevicePropValue",
                KQ_SetDevicePropValue(device_.handle, code, static_cast<uint32_t>(width), buffer));
}

// Pictures fetched but never taken by an action (the shutter button pressed
// while kqcam did something else) are not written anywhere unasked; the
// user is told how many there were.
void Camera::ReportUnsavedPictures() {
    std::size_t pictures = 0;
    {
        EventQueue& queue = Events();
        std::lock_guard<std::mutex> lock(queue.mutex);
        for (const QueuedEvent& event : queue.events) {
            if (event.picture) ++pictures;
        }
    }
    if (pictures == 0) return;
    std::fprintf(stderr,
                 "kqcam: warning: %u %s taken with the camera's shutter button %s not saved "
                 "(--capture-tethered saves them)\n",
                 static_cast<unsigned>(pictures), pictures == 1 ? "picture" : "pictures",
                 pictures == 1 ? "was" : "were");
}

void Camera::DiscardEvents() {
    EventQueue& queue = Events();
    std::lock_guard<std::mutex> lock(queue.mutex);
    queue.events.clear();
}

bool Camera::NextEvent(Clock::time_point deadline, KQEventRecord* record,
                       std::shared_ptr<const ReleasedPicture>* picture) {
    EventQueue& queue = Events();
    std::unique_lock<std::mutex> lock(queue.mutex);
    for (;;) {
        if (!queue.events.empty()) {
            *record = queue.events.front().record;
            if (picture != nullptr) *picture = queue.events.front().picture;
            queue.events.pop_front();
            return true;
        }
        if (interrupted) return false;
        const Clock::time_point now = Clock::now();
        if (now >= deadline) return false;
        // Wakes at least every 100 ms to notice an interruption.
        const Clock::time_point slice = now + std::chrono::milliseconds(100);
        queue.arrived.wait_until(lock, deadline < slice ? deadline : slice);
    }
}

}  // namespace kqcam
