#include "serve_camera.h"

#include <cstdio>

#include "errors.h"
#include "json_forms.h"
#include "filename.h"
#include "names.h"
#include "platform.h"
#include "property_names.h"

namespace kqcam {

namespace {

using nlohmann::json;

// How long after KQ_RC_Release returned its picture's event may still come.
constexpr auto kEventGrace = std::chrono::seconds(2);

[[noreturn]] void Refuse(int status, const std::string& message) {
    ApiError error;
    error.status = status;
    error.message = message;
    throw error;
}

// A failed library call: the camera or the library, not the request, is at
// fault (502), except a camera that went away (503).
void CheckCall(const char* call, KQResult result) {
    if (result == RESULT_OK) return;
    ApiError error;
    error.status = result == RESULT_NOT_CONNECTED ? 503 : 502;
    error.message = CallFailedMessage(call, result);
    error.hasResult = true;
    error.result = result;
    throw error;
}

// Failures of the session's own helpers carry the call and result in their
// message only; they become 502 with that message.
template <typename F>
auto Guarded(F f) -> decltype(f()) {
    try {
        return f();
    } catch (const Failure& failure) {
        Refuse(502, failure.what());
    }
}

bool IsSignedType(std::uint16_t dataType) {
    return dataType == 0x0001 || dataType == 0x0003 || dataType == 0x0005 || dataType == 0x0007;
}

std::string CodeHex(std::uint16_t code) { return Hex(code, 2); }

uint32_t KQ_STDCALL OnLiveFrame(uint32_t, void* context, uint32_t size, const uint8_t* jpeg) {
    if (context == nullptr || jpeg == nullptr || size == 0) return 0;
    try {
        static_cast<FrameHub*>(context)->Publish(jpeg, size);
    } catch (...) {
        // Out of memory for one frame: that frame is lost, the next may fit.
    }
    return 0;
}

}  // namespace

std::uint64_t RequestedValue(const PropDesc& desc, const json& body) {
    if (!body.is_object()) Refuse(400, "the body must be a JSON object with \"value\" or \"index\"");
    const bool hasValue = body.contains("value");
    const bool hasIndex = body.contains("index");
    const bool hasLabel = body.contains("label");
    if (int{hasValue} + int{hasIndex} + int{hasLabel} != 1) {
        Refuse(400, "give exactly one of \"value\", \"index\" and \"label\"");
    }
    const std::string name = CodeHex(desc.code);
    if (!desc.settable) Refuse(403, "property " + name + " is read-only");
    std::uint64_t value = 0;
    if (hasIndex) {
        const json& index = body["index"];
        if (desc.form != PropForm::kEnumeration) Refuse(400, "property " + name + " has no list of choices");
        if (!index.is_number_unsigned() || index.get<std::uint64_t>() >= desc.choices.size()) {
            Refuse(400, "\"index\" must be a choice index from 0 to " +
                            std::to_string(desc.choices.empty() ? 0 : desc.choices.size() - 1) +
                            " for property " + name);
        }
        value = desc.choices[static_cast<std::size_t>(index.get<std::uint64_t>())];
    } else if (hasLabel) {
        const json& label = body["label"];
        if (!label.is_string() || !ParseValueLabel(desc.code, label.get<std::string>(), &value)) {
            Refuse(400, "\"label\" must be a label of property " + name + " (as \"label\" shows it)");
        }
    } else {
        const json& given = body["value"];
        const std::uint64_t mask =
            desc.width >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * desc.width)) - 1;
        if (given.is_number_unsigned()) {
            value = given.get<std::uint64_t>();
        } else if (given.is_number_integer() && IsSignedType(desc.dataType)) {
            const std::int64_t signedValue = given.get<std::int64_t>();
            const std::int64_t lowest =
                desc.width >= 8 ? INT64_MIN : -(std::int64_t{1} << (8 * desc.width - 1));
            if (signedValue < lowest) Refuse(400, "the value does not fit property " + name);
            value = static_cast<std::uint64_t>(signedValue) & mask;
        } else if (given.is_string() && ParseUnsigned(given.get<std::string>(), &value)) {
            // a raw value in hex or decimal
        } else {
            Refuse(400, "\"value\" must be an integer or a string holding one (0x.. or decimal)");
        }
        if (value > mask) Refuse(400, "the value does not fit the " + std::string(DataTypeName(desc.dataType)) +
                                          " value of property " + name);
    }
    if (!FormAllows(desc, value)) {
        Refuse(400, LabelFor(desc, value) + " is not allowed for property " + name);
    }
    return value;
}

CameraDesk::CameraDesk(Session& session, Gallery& gallery, EventFeed& feed)
    : session_(session), gallery_(gallery), feed_(feed) {}

CameraDesk::~CameraDesk() { Close(); }

void CameraDesk::Open() {
    camera_ = &session_.Connected();
    model_ = camera_->Model();
    stopPump_ = false;
    stopSaver_ = false;
    pump_ = std::thread([this] { PumpEvents(); });
    saver_ = std::thread([this] { SaveButtonPictures(); });
}

void CameraDesk::Close() {
    stopPump_ = true;
    if (pump_.joinable()) pump_.join();
    {
        std::lock_guard<std::mutex> lock(releaseMutex_);
        stopSaver_ = true;
    }
    releaseArrived_.notify_all();
    if (saver_.joinable()) saver_.join();
}

void CameraDesk::PumpEvents() {
    while (!stopPump_) {
        KQEventRecord record;
        std::shared_ptr<const ReleasedPicture> picture;
        if (!camera_->NextEvent(Clock::now() + std::chrono::milliseconds(100), &record, &picture)) {
            // After Ctrl-C NextEvent returns at once; wait for Close.
            if (interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        bool capture = false;
        if (picture) {
            std::lock_guard<std::mutex> lock(releaseMutex_);
            if (awaitingRelease_ && !released_) {
                released_ = picture;
                capture = true;
            } else {
                buttonPictures_.push_back(picture);
            }
        }
        if (picture) releaseArrived_.notify_all();
        try {
            json event = EventJson(record);
            event["capture"] = capture;
            feed_.Publish("camera", event);
        } catch (...) {
            // An event that cannot be queued is dropped from the feed.
        }
    }
}

// Saves the shutter button's pictures one after the other, each under the
// desk, until Close; the ones still queued then are saved first.
void CameraDesk::SaveButtonPictures() {
    for (;;) {
        std::shared_ptr<const ReleasedPicture> picture;
        {
            std::unique_lock<std::mutex> lock(releaseMutex_);
            releaseArrived_.wait(lock, [this] { return stopSaver_ || !buttonPictures_.empty(); });
            if (buttonPictures_.empty()) return;
            picture = buttonPictures_.front();
            buttonPictures_.pop_front();
        }
        try {
            std::lock_guard<std::mutex> desk(desk_);
            std::unique_ptr<OutputFile> file = OpenOutput(session_, "capt%04n.%C", "jpg", true);
            const std::string name =
                SavePicture(session_, *picture, *file, picture->arrived, PictureSource::kShutterButton);
            gallery_.Add(name, name, file->Size(), file->Identity());
        } catch (const std::exception& error) {
            std::fprintf(stderr, "kqcam: warning: a picture from the shutter button was not saved: %s\n",
                         error.what());
        }
    }
}

PropDesc CameraDesk::OfferedDesc(std::uint16_t code) {
    const PropDesc desc = Guarded([&] { return camera_->GetPropDesc(code); });
    if (desc.dataType == 0x0000) Refuse(404, "property " + CodeHex(code) + " is not offered by the camera");
    return desc;
}

json CameraDesk::Summary() {
    std::lock_guard<std::mutex> lock(desk_);
    const DeviceInfo info = Guarded([&] { return camera_->GetDeviceInfo(); });
    return SummaryJson(model_, camera_->Handle(), info);
}

json CameraDesk::ListConfig() {
    std::lock_guard<std::mutex> lock(desk_);
    const DeviceInfo info = Guarded([&] { return camera_->GetDeviceInfo(); });
    json list = json::array();
    for (std::uint16_t code : info.properties) list.push_back(PropDescJson(OfferedDesc(code)));
    return list;
}

json CameraDesk::GetConfig(std::uint16_t code) {
    std::lock_guard<std::mutex> lock(desk_);
    return PropDescJson(OfferedDesc(code));
}

json CameraDesk::SetConfig(std::uint16_t code, const json& body) {
    json result;
    {
        std::lock_guard<std::mutex> lock(desk_);
        const PropDesc desc = OfferedDesc(code);
        const std::uint64_t value = RequestedValue(desc, body);
        std::uint8_t bytes[8] = {0};
        for (std::size_t i = 0; i < desc.width && i < sizeof bytes; ++i) {
            bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
        CheckCall("KQ_SetDevicePropValue",
                  KQ_SetDevicePropValue(camera_->Handle(), code, static_cast<uint32_t>(desc.width), bytes));
        result = PropDescJson(OfferedDesc(code));
        result["set"] = ValueJson(desc, value);
    }
    json changed = CodeJson(code, PropertyName(code));
    changed["current"] = result["current"];
    feed_.Publish("config", changed);
    return result;
}

Shot CameraDesk::Capture() {
    std::lock_guard<std::mutex> lock(desk_);
    // The folder and the file (NAME.part) are made before the shutter is
    // released, so no picture is taken for a file that could not be written.
    std::unique_ptr<OutputFile> file;
    try {
        file = OpenOutput(session_, "capt%04n.%C", "jpg");
    } catch (const Failure& failure) {
        Refuse(500, failure.what());
    }
    if (!file) Refuse(409, "the name is taken and kqcam runs with --skip-existing; no picture taken");
    {
        std::lock_guard<std::mutex> release(releaseMutex_);
        awaitingRelease_ = true;
        released_.reset();
    }
    struct Unwait {
        CameraDesk* desk;
        ~Unwait() {
            std::lock_guard<std::mutex> release(desk->releaseMutex_);
            desk->awaitingRelease_ = false;
            desk->released_.reset();
        }
    } unwait{this};
    const Clock::time_point released = Clock::now();
    CheckCall("KQ_RC_Release", KQ_RC_Release(camera_->Handle()));
    std::shared_ptr<const ReleasedPicture> picture;
    {
        std::unique_lock<std::mutex> release(releaseMutex_);
        if (!releaseArrived_.wait_until(release, Clock::now() + kEventGrace,
                                        [this] { return released_ != nullptr; })) {
            Refuse(504, "KQ_RC_Release returned but no picture arrived (no event 0xC008)");
        }
        picture = released_;
    }
    // Writes the picture into the file, names it, prints it and runs the
    // download hook, as --capture-image-and-download does.
    const std::string name = SavePicture(session_, *picture, *file, released, PictureSource::kRelease);
    Shot shot;
    gallery_.Add(name, name, file->Size(), file->Identity(), &shot);
    return shot;
}

bool CameraDesk::StartLive(FrameHub* hub, std::string* error) {
    std::lock_guard<std::mutex> lock(desk_);
    const KQResult result = KQ_RC_StartViewFinder(camera_->Handle(), hub, OnLiveFrame);
    if (result == RESULT_OK) return true;
    *error = CallFailedMessage("KQ_RC_StartViewFinder", result);
    return false;
}

void CameraDesk::StopLive() {
    std::lock_guard<std::mutex> lock(desk_);
    KQ_RC_TermViewFinder(camera_->Handle());
}

}  // namespace kqcam
