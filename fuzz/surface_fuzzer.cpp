// The exported surface: arbitrary sequences of the 26 calls with arbitrary
// sizes, codes and handles, against a simulated camera whose property
// tables, supported lists, zoom range, names, paths and faults are drawn
// from the input. Every buffer handed to the bridge is a heap block of
// exactly the size stated with it, so that any access beyond it is caught.
// After each input the bridge is finished and the simulator must hold no
// handle and have seen no bad free.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bridge/sdk_wrapper.h"
#include "camera_sdk.h"
#include "capture/quiet_preview_log.h"
#include "fuzz_support.h"
#include "kqsdk.h"
#include "zt_sim.h"

namespace {

using kq::fuzz::ScratchFolder;

// A heap block of exactly `size` bytes (a one-byte block stands for an
// empty one, never handed out with a size of its own).
class Block {
public:
    explicit Block(std::size_t size, FuzzedDataProvider* fill = nullptr)
        : size_(size), data_(static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size))) {
        std::memset(data_, 0xA5, size == 0 ? 1 : size);
        if (fill != nullptr && size > 0) {
            const std::vector<std::uint8_t> bytes = fill->ConsumeBytes<std::uint8_t>(size);
            if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
        }
    }
    ~Block() { std::free(data_); }
    Block(const Block&) = delete;
    Block& operator=(const Block&) = delete;
    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    std::size_t size_;
    std::uint8_t* data_;
};

// Reads every byte, so that a chunk or image shorter than stated is caught.
std::uint32_t Touch(const std::uint8_t* data, std::uint32_t count) {
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < count; ++i) sum += data[i];
    return sum;
}

struct Client {
    std::uint32_t camera = 0;
    bool transferInsideEvent = false;
    std::uint32_t events = 0;
    std::uint32_t frames = 0;
    // Running transfer: bytes so far, and whether a start record came.
    bool inTransfer = false;
    std::uint64_t transferred = 0;
    std::uint32_t lastPercent = 0;
    bool freeRefused = false;
    volatile std::uint32_t sink = 0;
};

Client client;

std::uint32_t KQ_STDCALL OnChunk(std::uint32_t, std::uint32_t, void* context,
                                 const KQTransferProgress* progress) {
    KQ_FUZZ_REQUIRE(context == &client && progress != nullptr);
    switch (progress->status) {
        case KQ_TRANSFER_START:
            client.inTransfer = true;
            client.transferred = 0;
            client.lastPercent = 0;
            break;
        case KQ_TRANSFER_DATA:
            KQ_FUZZ_REQUIRE(client.inTransfer);
            KQ_FUZZ_REQUIRE(progress->count <= KQ_TRANSFER_CHUNK_SIZE);
            KQ_FUZZ_REQUIRE(progress->offset == client.transferred);
            KQ_FUZZ_REQUIRE(progress->count == 0 || progress->data != nullptr);
            KQ_FUZZ_REQUIRE(progress->percent <= 100 && progress->percent >= client.lastPercent);
            client.lastPercent = progress->percent;
            client.sink = client.sink + Touch(progress->data, progress->count);
            client.transferred += progress->count;
            break;
        case KQ_TRANSFER_END:
            KQ_FUZZ_REQUIRE(client.inTransfer);
            client.inTransfer = false;
            break;
        default:
            KQ_FUZZ_REQUIRE(false);
    }
    return 0;
}

std::uint32_t KQ_STDCALL OnEvent(std::uint32_t camera, void* context, const KQEventRecord* record) {
    KQ_FUZZ_REQUIRE(context == &client && record != nullptr && record->length == 24);
    ++client.events;
    // A client may fetch the image from inside the event that announces it.
    if (client.transferInsideEvent && record->eventCode == kqPTP_FULL_VIEW_RELEASED) {
        KQ_RC_GetReleasedData(camera, 7, kqPTP_FULL_VIEW_RELEASED, 0, &client, OnChunk);
    }
    return 0;
}

std::uint32_t KQ_STDCALL OnFrame(std::uint32_t, void* context, std::uint32_t size,
                                 const std::uint8_t* jpeg) {
    KQ_FUZZ_REQUIRE(context == &client && jpeg != nullptr && size >= 4);
    KQ_FUZZ_REQUIRE(jpeg[0] == 0xFF && jpeg[1] == 0xD8);
    ++client.frames;
    client.sink = client.sink + Touch(jpeg, size);
    return 0;
}

// A UTF-16 path inside the scratch folder: the bridge deletes the files it
// transfers, so no drawn path may reach outside it.
std::vector<std::uint16_t> ScratchPath(FuzzedDataProvider& input) {
    std::string name = input.ConsumeRandomLengthString(24);
    for (char& c : name) {
        if (c == '/' || c == '\0' || c == '.') c = '_';
    }
    const std::string path = ScratchFolder() + "/" + name;
    std::vector<std::uint16_t> units(path.begin(), path.end());
    units.push_back(0);
    return units;
}

std::vector<std::uint16_t> TestFile(FuzzedDataProvider& input) {
    std::vector<std::uint16_t> path(512, 0);
    const std::uint32_t size = input.ConsumeIntegralInRange<std::uint32_t>(0, 3 * 20480 + 1);
    if (ZTSim_WriteTestFile(size, path.data(), static_cast<std::uint32_t>(path.size())) == 0) {
        return ScratchPath(input);
    }
    return path;
}

std::uint32_t Handle(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 3)) {
        case 0:
            return client.camera;
        case 1:
            return kq::bridgeState.cameraHandle.load();
        case 2:
            return 0;
        default:
            return input.ConsumeIntegral<std::uint32_t>();
    }
}

std::uint32_t PropertyCode(FuzzedDataProvider& input) {
    static const std::uint32_t kCodes[] = {0xD006, 0xD008, 0xD01C, 0xD00A, 0xD00C, 0xD013,
                                           0xD01D, 0xD01E, 0xD01F, 0xD020, 0xD010, 0xD017,
                                           0xD019, 0xD02A, 0xD03D};
    if (input.ConsumeBool()) return input.PickValueInArray(kCodes);
    return input.ConsumeIntegral<std::uint32_t>();
}

std::int32_t SdkValue(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) return input.ConsumeIntegralInRange<std::int32_t>(-2, 40);
    return input.ConsumeIntegral<std::int32_t>();
}

// A refused ZTFree keeps its handle in the simulator's ledger: the bridge
// cannot release it twice, so such an input is not checked for leaks.
void InjectFault(FuzzedDataProvider& input) {
    const auto fn = static_cast<ZTSimFunction>(input.ConsumeIntegralInRange<int>(0, ZTSIM_FN_COUNT - 1));
    const std::int32_t times = input.ConsumeIntegralInRange<std::int32_t>(-1, 3);
    ZTSim_SetFault(fn, input.ConsumeIntegral<std::uint32_t>(), times);
    if (fn == ZTSIM_FN_Free && times != 0) client.freeRefused = true;
}

// The simulated camera as the input describes it.
void ConfigureSimulator(FuzzedDataProvider& input) {
    if (input.ConsumeBool()) {
        const std::uint32_t count = input.ConsumeIntegralInRange<std::uint32_t>(0, 3);
        std::uint32_t ids[3];
        std::string names[3];
        const char* namePointers[3];
        for (std::uint32_t i = 0; i < count; ++i) {
            ids[i] = input.ConsumeBool() ? 0x5A430001u + i : input.ConsumeIntegral<std::uint32_t>();
            names[i] = input.ConsumeRandomLengthString(80);
            namePointers[i] = names[i].c_str();
        }
        ZTSim_SetCameras(count, ids, namePointers);
    }
    if (input.ConsumeBool()) {
        std::vector<std::uint16_t> name(input.ConsumeIntegralInRange<std::uint32_t>(0, 720));
        for (std::uint16_t& unit : name) unit = input.ConsumeIntegral<std::uint16_t>();
        ZTSim_SetCameraNameUtf16(0, name.data(), static_cast<std::uint32_t>(name.size()));
    }
    if (input.ConsumeBool()) {
        std::vector<std::int32_t> ids(input.ConsumeIntegralInRange<std::uint32_t>(0, 18));
        for (std::int32_t& id : ids) id = input.ConsumeIntegralInRange<std::int32_t>(-1, 18);
        ZTSim_SetOfferedProperties(ids.data(), static_cast<std::uint32_t>(ids.size()));
    }
    const int tables = input.ConsumeIntegralInRange<int>(0, 4);
    for (int t = 0; t < tables; ++t) {
        const std::int32_t id = input.ConsumeIntegralInRange<std::int32_t>(0, 17);
        switch (input.ConsumeIntegralInRange<int>(0, 2)) {
            case 0: {
                std::vector<std::int32_t> values(input.ConsumeIntegralInRange<std::uint32_t>(0, 40));
                for (std::int32_t& value : values) value = SdkValue(input);
                ZTSim_SetSupportedValues(id, values.data(), static_cast<std::uint32_t>(values.size()));
                break;
            }
            case 1:
                ZTSim_SetPropertyValue(id, SdkValue(input));
                break;
            default: {
                // The descriptor's count may be anything but larger than
                // the array it comes with: the bridge cannot see the
                // array's end, and a Camera SDK that overstates it breaks
                // its contract. Counts that cannot be allocated, zero and
                // negative ones are fair game.
                std::int32_t claimed = input.ConsumeIntegralInRange<std::int32_t>(-2, 0);
                switch (input.ConsumeIntegralInRange<int>(0, 2)) {
                    case 0: {
                        claimed = input.ConsumeIntegralInRange<std::int32_t>(1, 40);
                        std::vector<std::int32_t> values(
                            static_cast<std::size_t>(claimed) + input.ConsumeIntegralInRange<std::size_t>(0, 4));
                        for (std::int32_t& value : values) value = SdkValue(input);
                        ZTSim_SetSupportedValues(id, values.data(), static_cast<std::uint32_t>(values.size()));
                        break;
                    }
                    case 1:
                        claimed = input.ConsumeBool() ? 0x40000000 : 0x7FFFFFFF;
                        break;
                    default:
                        break;
                }
                ZTSim_SetDescriptorCount(id, input.ConsumeBool() ? 1 : 0, claimed);
                break;
            }
        }
    }
    if (input.ConsumeBool()) {
        ZTSim_SetZoomMaximum(input.ConsumeBool() ? input.ConsumeIntegralInRange<std::int32_t>(-1, 200)
                                                 : input.ConsumeIntegral<std::int32_t>());
        ZTSim_SetZoomPosition(input.ConsumeIntegralInRange<std::int32_t>(-1, 200));
    }
    // Notifications come at once or never: nothing waits for real.
    ZTSim_SetShotDelays(input.ConsumeBool() ? ZTSIM_DELAY_AT_ONCE : ZTSIM_DELAY_NEVER,
                        input.ConsumeBool() ? ZTSIM_DELAY_AT_ONCE : ZTSIM_DELAY_NEVER);
    ZTSim_SetShotSize(input.ConsumeIntegralInRange<std::uint32_t>(8, 48),
                      input.ConsumeIntegralInRange<std::uint32_t>(8, 48));
    ZTSim_SetDownloadValue(input.ConsumeIntegral<std::uint32_t>());
    ZTSim_SetPreviewSize(input.ConsumeIntegralInRange<std::int32_t>(1, 48),
                         input.ConsumeIntegralInRange<std::int32_t>(1, 48));
    const int faults = input.ConsumeIntegralInRange<int>(0, 3);
    for (int f = 0; f < faults; ++f) InjectFault(input);
    client.transferInsideEvent = input.ConsumeBool();
}

// What most clients do first: start, list, create the first camera object,
// connect and register for events. Gives the steps a session to work on.
void Connect(bool events) {
    KQ_StartSDK();
    Block list(sizeof(KQDeviceList) + 1);
    std::uint32_t size = static_cast<std::uint32_t>(list.size());
    auto* filled = reinterpret_cast<KQDeviceList*>(list.data());
    if (KQ_GetDeviceList(&size, filled) != RESULT_OK || filled->count == 0) return;
    std::uint32_t camera = 0;
    if (KQ_CreateCameraObject(&filled->entry, &camera) != RESULT_OK) return;
    client.camera = camera;
    KQ_ConnectCamera(camera);
    if (events) KQ_SetEventCallBack(camera, &client, OnEvent);
}

// One call of the surface, or one thing the camera does meanwhile.
void Step(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange<int>(0, 35)) {
        case 34:
            Connect(input.ConsumeBool());
            break;
        case 35:
            // A capture as clients make it: release, then fetch the image.
            KQ_RC_Release(client.camera);
            client.inTransfer = false;
            KQ_RC_GetReleasedData(client.camera, 1, kqPTP_FULL_VIEW_RELEASED, 0, &client, OnChunk);
            KQ_FUZZ_REQUIRE(!client.inTransfer);
            break;
        case 0:
            KQ_StartSDK();
            break;
        case 1:
            KQ_FinishSDK();
            break;
        case 2: {
            Block list(input.ConsumeBool() ? sizeof(KQDeviceList) + 1
                                           : input.ConsumeIntegralInRange<std::size_t>(0, 1200));
            std::uint32_t size = static_cast<std::uint32_t>(list.size());
            if (input.ConsumeBool()) {
                KQ_GetDeviceList(&size, reinterpret_cast<KQDeviceList*>(list.data()));
                if (size >= sizeof(KQDeviceList)) {
                    const auto* filled = reinterpret_cast<const KQDeviceList*>(list.data());
                    if (filled->count != 0) client.camera = filled->entry.cameraHandle;
                }
            } else {
                KQ_GetDeviceList(input.ConsumeBool() ? nullptr : &size, nullptr);
            }
            break;
        }
        case 3: {
            Block entry(sizeof(KQDeviceListEntry), &input);
            auto* fields = reinterpret_cast<KQDeviceListEntry*>(entry.data());
            if (input.ConsumeBool()) fields->cameraHandle = client.camera;
            std::uint32_t out = 0;
            const bool nullEntry = input.ConsumeBool() && input.ConsumeBool();
            if (KQ_CreateCameraObject(nullEntry ? nullptr : fields, input.ConsumeBool() ? &out : nullptr) ==
                    RESULT_OK) {
                client.camera = out;
            }
            break;
        }
        case 4:
            KQ_DestroyCameraObject(Handle(input));
            break;
        case 5:
            KQ_ConnectCamera(Handle(input));
            break;
        case 6:
            KQ_DisconnectCamera(Handle(input));
            break;
        case 7:
        case 8: {
            const bool info = input.ConsumeBool();
            const std::uint32_t camera = Handle(input);
            const std::uint32_t code = PropertyCode(input);
            Block buffer(input.ConsumeIntegralInRange<std::size_t>(0, 160));
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            std::uint32_t* sizePointer = input.ConsumeBool() && input.ConsumeBool() ? nullptr : &size;
            void* data = input.ConsumeBool() && input.ConsumeBool() ? nullptr : buffer.data();
            const KQResult result = info ? KQ_GetDeviceInfo(camera, sizePointer, data)
                                         : KQ_GetDevicePropDesc(camera, code, sizePointer, data);
            if (result == RESULT_OK) KQ_FUZZ_REQUIRE(size <= buffer.size());
            break;
        }
        case 9: {
            const std::uint32_t camera = Handle(input);
            const std::uint32_t code = PropertyCode(input);
            Block buffer(input.ConsumeIntegralInRange<std::size_t>(0, 8));
            std::uint32_t size = static_cast<std::uint32_t>(buffer.size());
            const KQResult result = KQ_GetDevicePropValue(
                camera, code, input.ConsumeBool() && input.ConsumeBool() ? nullptr : &size,
                input.ConsumeBool() && input.ConsumeBool() ? nullptr : buffer.data());
            if (result == RESULT_OK) KQ_FUZZ_REQUIRE(size <= buffer.size());
            break;
        }
        case 10: {
            const std::uint32_t camera = Handle(input);
            const std::uint32_t code = PropertyCode(input);
            Block value(input.ConsumeIntegralInRange<std::size_t>(0, 8), &input);
            KQ_SetDevicePropValue(camera, code, static_cast<std::uint32_t>(value.size()),
                                  input.ConsumeBool() && input.ConsumeBool() ? nullptr : value.data());
            break;
        }
        case 11:
            KQ_SetEventCallBack(Handle(input), &client, input.ConsumeBool() ? OnEvent : nullptr);
            break;
        case 12:
            KQ_ClearEventCallBack(Handle(input));
            break;
        case 13:
            KQ_InitiateReleaseControl(Handle(input));
            break;
        case 14:
            KQ_TerminateReleaseControl(Handle(input));
            break;
        case 15:
            KQ_RC_Release(Handle(input));
            break;
        case 16:
            KQ_RC_DoAeAfAwb(Handle(input), input.ConsumeIntegral<std::uint32_t>());
            break;
        case 17: {
            const std::uint32_t camera = Handle(input);
            const std::uint32_t event =
                input.ConsumeBool() ? kqPTP_FULL_VIEW_RELEASED : input.ConsumeIntegral<std::uint32_t>();
            client.inTransfer = false;
            KQ_RC_GetReleasedData(camera, input.ConsumeIntegral<std::uint32_t>(), event,
                                  input.ConsumeIntegral<std::uint32_t>(), &client,
                                  input.ConsumeBool() ? OnChunk : nullptr);
            KQ_FUZZ_REQUIRE(!client.inTransfer);
            break;
        }
        case 18:
            KQ_RC_StartViewFinder(Handle(input), &client, input.ConsumeBool() ? OnFrame : nullptr);
            break;
        case 19:
            KQ_RC_TermViewFinder(Handle(input));
            break;
        case 20: {
            Block first(4), second(4);
            KQ_GetDllsVersion(first.data(), second.data());
            KQ_GetFunctions(input.ConsumeIntegral<std::uint32_t>());
            KQ_RC_FocusLock(input.ConsumeIntegral<std::uint32_t>());
            KQ_RC_FocusUnlock(input.ConsumeIntegral<std::uint32_t>());
            KQ_RC_GetChangedReleaseParamesList(input.ConsumeIntegral<std::uint32_t>(), first.data(),
                                               second.data());
            KQ_RC_GetNumAvailableShot(input.ConsumeIntegral<std::uint32_t>(), first.data());
            break;
        }
        // What the camera does meanwhile.
        case 21:
            ZTSim_RaiseCameraError(input.ConsumeBool() ? ZT_CAMERA_ERROR_FATAL
                                                       : input.ConsumeIntegral<std::int32_t>());
            break;
        case 22:
            ZTSim_RaiseCameraListChanged(input.ConsumeBool() ? client.camera
                                                             : input.ConsumeIntegral<std::uint32_t>(),
                                         input.ConsumeIntegralInRange<std::int32_t>(-1, 3));
            break;
        case 23: {
            const std::vector<std::uint16_t> path =
                input.ConsumeBool() ? TestFile(input) : ScratchPath(input);
            ZTSim_RaiseDownloadCompleted(input.ConsumeIntegral<std::uint32_t>(),
                                         input.ConsumeBool() && input.ConsumeBool() ? nullptr
                                                                                    : path.data());
            break;
        }
        case 24:
            ZTSim_RaisePreviewFrames(input.ConsumeIntegralInRange<std::uint32_t>(1, 3));
            break;
        case 25: {
            const std::vector<std::uint8_t> frame =
                input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange<std::size_t>(0, 400));
            ZTSim_InjectPreviewFrame(frame.data(), static_cast<std::uint32_t>(frame.size()));
            break;
        }
        case 26:
            ZTSim_InjectEmptyPreviewFrame(input.ConsumeIntegralInRange<std::int32_t>(1, 3));
            break;
        case 27:
            InjectFault(input);
            break;
        case 28: {
            const std::vector<std::uint16_t> path =
                input.ConsumeBool() ? TestFile(input) : ScratchPath(input);
            ZTSim_SetNextDownloadPath(path.data());
            break;
        }
        case 29:
            ZTSim_SetShotDelays(input.ConsumeBool() ? ZTSIM_DELAY_AT_ONCE : ZTSIM_DELAY_NEVER,
                                input.ConsumeBool() ? ZTSIM_DELAY_AT_ONCE : ZTSIM_DELAY_NEVER);
            break;
        case 30:
            ZTSim_SetZoomMaximum(input.ConsumeIntegral<std::int32_t>());
            break;
        case 31:
            ZTSim_StopZoomShortOnce(input.ConsumeIntegralInRange<std::int32_t>(-1, 120));
            break;
        case 32:
            ZTSim_SetCameras(0, nullptr, nullptr);
            break;
        default:
            ZTSim_WaitIdle();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kq::fuzz::PrepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ZTSim_Reset();
    kq::bridgeState.Reset();
    kq::quietPreviewLog = 1;
    client = Client();
    FuzzedDataProvider input(data, size);
    ConfigureSimulator(input);
    ZTSim_SetPreviewRate(0);  // frames come only when the input raises them
    if (input.ConsumeBool()) Connect(input.ConsumeBool());
    for (int step = 0; step < 64 && input.remaining_bytes() > 0; ++step) {
        Step(input);
        // One thing at a time: what a step set off on the simulator's
        // thread ends before the next step, so that a failing input
        // reproduces.
        ZTSim_WaitIdle();
    }
    KQ_FinishSDK();
    ZTSim_WaitIdle();
    // A free the input refused leaves that handle alive, so the later free
    // of its parent is reported as out of order: such inputs are checked
    // for crashes and sanitizer reports only.
    if (!client.freeRefused && (ZTSim_OutstandingCount() != 0 || ZTSim_FreeFaultCount() != 0)) {
        char description[2048] = {0};
        ZTSim_Describe(description, sizeof description);
        std::fprintf(stderr, "handles left or freed wrongly:\n%s\n", description);
        __builtin_trap();
    }
    kq::bridgeState.Reset();
    // Blocks whose release the input refused are out of everyone's reach
    // now that the bridge is reset; dropped, so that they do not pile up.
    ZTSim_Reset();
    ZTSim_DropForgottenBlocks();
    return 0;
}
