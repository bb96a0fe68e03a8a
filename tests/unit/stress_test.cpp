// Stress: the simulated camera delivering preview frames at its highest
// rate, camera errors and camera-list changes, while the client thread
// starts and stops the viewfinder, registers and clears its event callback,
// captures and transfers; and a thousand captures in a row. Bounded by
// iteration counts, never by durations; the pauses are replaced (the
// release poll waits only until the download has come, at most a few
// seconds, so that a lost download fails rather than hangs).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "camera_sdk.h"
#include "capture/quiet_preview_log.h"
#include "platform/platform.h"
#include "support/bridge_fixture.h"
#include "support/capture_support.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KQ_STRESS_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define KQ_STRESS_ASAN 1
#endif

#if defined(KQ_STRESS_ASAN)
// The sanitizer runtime's count of live heap bytes; g++ ships no header for
// it, so it is declared here as the runtime defines it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes(void);
#elif defined(__GLIBC__)
#include <malloc.h>
#endif
#if !defined(_WIN32)
#include <dirent.h>
#endif

namespace kq::test {
namespace {

// The release polls every 250 ms; this waits only until the download has
// come (checked each millisecond), for at most two seconds of real time.
// Every other pause (the 10 ms after a frame, the zoom pauses) is skipped.
void WaitForDownload(std::uint32_t milliseconds) {
    if (milliseconds != 250) return;
    for (int i = 0; i < 2000 && bridgeState.downloadPending.load() != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void NoMessageBox(const char*) {}

// What the client's callbacks saw, written on the Camera SDK's thread and
// the client's.
struct Seen {
    std::atomic<std::uint32_t> frames{0};
    std::atomic<std::uint32_t> badFrames{0};
    std::atomic<std::uint32_t> released{0};
    std::atomic<std::uint32_t> badEvents{0};
};
// Set by the fixture and read by the callbacks on the Camera SDK's thread.
std::atomic<Seen*> seen{nullptr};

std::uint32_t KQ_STDCALL OnFrame(std::uint32_t, void* context, std::uint32_t size,
                                 const std::uint8_t* jpeg) {
    Seen* const counts = seen.load();
    const bool whole = context == counts && jpeg != nullptr && size >= 4 && jpeg[0] == 0xFF &&
                       jpeg[1] == 0xD8 && jpeg[size - 2] == 0xFF && jpeg[size - 1] == 0xD9;
    (whole ? counts->frames : counts->badFrames).fetch_add(1);
    return 0;
}

std::uint32_t KQ_STDCALL OnEvent(std::uint32_t, void* context, const KQEventRecord* record) {
    Seen* const counts = seen.load();
    if (context != counts || record == nullptr || record->length != 24) {
        counts->badEvents.fetch_add(1);
        return 0;
    }
    if (record->eventCode == kqPTP_FULL_VIEW_RELEASED) counts->released.fetch_add(1);
    return 0;
}

// One transferred image: its bytes in order, and whether the records
// were consistent.
struct Image {
    std::vector<std::uint8_t> bytes;
    bool started = false;
    bool ended = false;
    bool consistent = true;
};

std::uint32_t KQ_STDCALL OnChunk(std::uint32_t, std::uint32_t, void* context,
                                 const KQTransferProgress* progress) {
    auto* image = static_cast<Image*>(context);
    switch (progress->status) {
        case KQ_TRANSFER_START:
            image->started = true;
            break;
        case KQ_TRANSFER_DATA:
            if (!image->started || image->ended || progress->offset != image->bytes.size() ||
                progress->count > KQ_TRANSFER_CHUNK_SIZE) {
                image->consistent = false;
            }
            if (progress->count > 0) {
                image->bytes.insert(image->bytes.end(), progress->data,
                                    progress->data + progress->count);
            }
            break;
        case KQ_TRANSFER_END:
            image->ended = true;
            break;
        default:
            image->consistent = false;
    }
    return 0;
}

// Captures one image and transfers it; expects it whole (the file's bytes,
// a complete JPEG image) and its file gone.
void CaptureAndTransfer(std::uint32_t camera) {
    const std::uint32_t shotsBefore = ZTSim_ShotCount();
    ASSERT_EQ(KQ_RC_Release(camera), RESULT_OK);
    ASSERT_EQ(ZTSim_ShotCount(), shotsBefore + 1);
    ASSERT_EQ(bridgeState.downloadPending.load(), 0u) << "the download never came";
    const Path path = LastShotPath();
    const std::vector<std::uint8_t> file = ReadWholeFile(path);
    ASSERT_GE(file.size(), 4u);
    Image image;
    ASSERT_EQ(KQ_RC_GetReleasedData(camera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &image, OnChunk),
              RESULT_OK);
    EXPECT_TRUE(image.started && image.ended && image.consistent);
    EXPECT_EQ(image.bytes, file);
    EXPECT_EQ(image.bytes[0], 0xFF);
    EXPECT_EQ(image.bytes[1], 0xD8);
    EXPECT_FALSE(Exists(path)) << "the transferred file is left behind";
}

// Bytes the heap holds now, where the runtime tells; -1 elsewhere.
long long HeapInUse() {
#if defined(KQ_STRESS_ASAN)
    return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#elif defined(__GLIBC__)
    return static_cast<long long>(mallinfo2().uordblks);
#else
    return -1;
#endif
}

// Open file descriptors, where the system tells; -1 elsewhere.
int OpenFileCount() {
#if defined(_WIN32)
    return -1;
#else
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return -1;
    int count = 0;
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;
#endif
}

class StressTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        platform::Hooks hooks{WaitForDownload, NoMessageBox};
        platform::SetHooksForTesting(&hooks);
        seen = &seen_;
    }
    void TearDown() override {
        ZTSim_SetPreviewRate(0);
        BridgeTest::TearDown();
        seen = nullptr;
    }

    Seen seen_;
};

// The simulator's frame rate here. Under the race checker, which runs one
// thread at a time and each instruction many times slower, the highest rate
// keeps the callback thread encoding frames for minutes before a download
// gets its turn; a lower one still has frames meet every other call.
#if defined(KQSDK_RACE_CHECK)
constexpr std::uint32_t kBusyPreviewRate = 50;
#else
constexpr std::uint32_t kBusyPreviewRate = 1000;
#endif

TEST_F(StressTest, ClientAndCameraBusyAtOnce) {
    constexpr int kRounds = 40;
    ZTSim_SetPreviewSize(160, 120);
    ZTSim_SetShotSize(64, 48);
    ZTSim_SetShotDelays(0, 1);
    ZTSim_SetPreviewRate(kBusyPreviewRate);
    const std::uint32_t camera = ConnectFirstCamera();
    ASSERT_NE(camera, 0u);

    std::uint32_t releasedWhileRegistered = 0;
    bool registered = false;
    for (int round = 0; round < kRounds; ++round) {
        // Registered two rounds in three; a registration is cleared first.
        const bool events = round % 3 != 2;
        if (events && !registered) {
            ASSERT_EQ(KQ_SetEventCallBack(camera, &seen_, OnEvent), RESULT_OK);
        } else if (!events) {
            ASSERT_EQ(KQ_ClearEventCallBack(camera), RESULT_OK);
        }
        registered = events;
        ASSERT_EQ(KQ_RC_StartViewFinder(camera, &seen_, OnFrame), RESULT_OK);
        ZTSim_RaisePreviewFrames(4);
        ZTSim_RaiseCameraError(ZT_CAMERA_ERROR_FATAL);
        ZTSim_RaiseCameraListChanged(camera + 1, ZT_CAMERA_LIST_REMOVED);
        ZTSim_RaiseCameraListChanged(camera, 0);
        const std::uint32_t releasedBefore = seen_.released.load();
        CaptureAndTransfer(camera);
        if (events) {
            EXPECT_EQ(seen_.released.load(), releasedBefore + 1);
            ++releasedWhileRegistered;
        }
        if (round % 2 == 1) {
            ASSERT_EQ(KQ_RC_TermViewFinder(camera), RESULT_OK);
        }
        ZTSim_RaisePreviewFrames(2);
    }
    ASSERT_EQ(KQ_RC_TermViewFinder(camera), RESULT_OK);
    ASSERT_EQ(KQ_DisconnectCamera(camera), RESULT_OK);
    ZTSim_SetPreviewRate(0);
    ZTSim_WaitIdle();

    EXPECT_GT(seen_.frames.load(), 0u);
    EXPECT_EQ(seen_.badFrames.load(), 0u);
    EXPECT_EQ(seen_.badEvents.load(), 0u);
    EXPECT_GE(seen_.released.load(), releasedWhileRegistered);
    EXPECT_EQ(ZTSim_PreviewOnCount(), 0u);
}

TEST_F(StressTest, AThousandCapturesKeepMemoryAndHandlesFlat) {
    constexpr int kCaptures = 1000;
    constexpr int kWarmUp = 100;
    // No preview: the notifications of a shot run before ZTShoot returns.
    ZTSim_SetShotSize(16, 16);
    ZTSim_SetShotDelays(ZTSIM_DELAY_AT_ONCE, ZTSIM_DELAY_AT_ONCE);
    const std::uint32_t camera = ConnectFirstCamera();
    ASSERT_NE(camera, 0u);
    ASSERT_EQ(KQ_SetEventCallBack(camera, &seen_, OnEvent), RESULT_OK);

    long long heapAfterWarmUp = 0;
    int filesAfterWarmUp = 0;
    std::uint32_t handlesAfterWarmUp = 0;
    for (int capture = 0; capture < kCaptures; ++capture) {
        CaptureAndTransfer(camera);
        if (HasFatalFailure()) return;
        if (capture + 1 == kWarmUp) {
            heapAfterWarmUp = HeapInUse();
            filesAfterWarmUp = OpenFileCount();
            handlesAfterWarmUp = ZTSim_OutstandingCount();
        }
    }
    EXPECT_EQ(seen_.released.load(), static_cast<std::uint32_t>(kCaptures));
    EXPECT_EQ(ZTSim_OutstandingCount(), handlesAfterWarmUp);
    EXPECT_EQ(OpenFileCount(), filesAfterWarmUp);
    // A leak of one path copy per capture would add some 80 KiB here.
    if (heapAfterWarmUp >= 0) {
        EXPECT_LT(HeapInUse() - heapAfterWarmUp, 16 * 1024);
    }
    ASSERT_EQ(KQ_DisconnectCamera(camera), RESULT_OK);
}

// ---- Several client threads at once ----

// The release's 250 ms polls take a millisecond of real time, so that a
// release whose download never comes (the camera was disconnected under it)
// ends in a fraction of a second; every other pause is skipped.
void ShortPolls(std::uint32_t milliseconds) {
    if (milliseconds == 250) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

constexpr std::uint32_t kCamera = 0x5A430001u;
constexpr std::uint16_t kCodes[] = {0xD006, 0xD008, 0xD00A, 0xD00C, 0xD010, 0xD013,
                                    0xD017, 0xD019, 0xD01C, 0xD01D, 0xD01E, 0xD01F,
                                    0xD020, 0xD02A, 0xD03D, 0xD007, 0xD029, 0x1234};

struct Findings {
    std::atomic<std::uint32_t> tornDatasets{0};
    std::atomic<std::uint32_t> brokenImages{0};
    std::atomic<std::uint32_t> transfers{0};
    std::atomic<std::uint32_t> framesSeen{0};
    std::atomic<std::uint32_t> reconnects{0};
    std::atomic<std::uint32_t> failedReconnects{0};
};
std::atomic<Findings*> findings{nullptr};

// A DevicePropDesc is whole when its size is what its own header, form and
// count make of it.
bool WholePropDesc(const std::uint8_t* d, std::uint32_t size, std::uint16_t code) {
    if (size < 6 || (d[0] | d[1] << 8) != code) return false;
    const unsigned type = d[2] | d[3] << 8;
    if (type == 0) return size == 6 + 16;
    const std::uint32_t width = type == 2 ? 1 : type == 4 ? 2 : 0;
    if (width == 0 || size < 6 + 2 * width) return false;
    const std::uint8_t form = d[5 + 2 * width];
    if (form == 0) return size == 6 + 2 * width;
    if (form == 1) return size == 6 + 5 * width;
    if (form != 2 || size < 8 + 2 * width) return false;
    const std::uint32_t count = d[6 + 2 * width] | d[7 + 2 * width] << 8;
    return size == 8 + 2 * width + count * width;
}

// From inside the viewfinder callback now and then: a property read, and
// now and then stopping the viewfinder itself.
std::uint32_t KQ_STDCALL OnFrameCallingBack(std::uint32_t camera, void* context,
                                            std::uint32_t size, const std::uint8_t* jpeg) {
    OnFrame(camera, context, size, jpeg);
    const std::uint32_t n = findings.load()->framesSeen.fetch_add(1);
    if (n % 16 == 5) {
        std::uint8_t value[2] = {};
        std::uint32_t valueSize = sizeof value;
        KQ_GetDevicePropValue(camera, 0xD01C, &valueSize, value);
    }
    if (n % 41 == 40) KQ_RC_TermViewFinder(camera);
    return 0;
}

std::uint32_t KQ_STDCALL OnEventCallingBack(std::uint32_t camera, void* context,
                                            const KQEventRecord* record) {
    OnEvent(camera, context, record);
    std::uint8_t value[2] = {};
    std::uint32_t valueSize = sizeof value;
    KQ_GetDevicePropValue(camera, 0xD008, &valueSize, value);
    return 0;
}

// One client thread: `operations` exports chosen at random, the same for
// the same seed. Thread 0 also disconnects and reconnects now and then.
void ClientThread(unsigned seed, int operations, Seen* counts) {
    std::mt19937 random(seed);
    Findings& found = *findings.load();
    for (int i = 0; i < operations; ++i) {
        const unsigned choice = random() % (seed == 0 ? 12 : 11);
        switch (choice) {
        case 0:
        case 1: {
            const std::uint16_t code = kCodes[random() % (sizeof kCodes / sizeof kCodes[0])];
            std::uint8_t dataset[512];
            std::uint32_t size = sizeof dataset;
            if (KQ_GetDevicePropDesc(kCamera, code, &size, dataset) == RESULT_OK &&
                !WholePropDesc(dataset, size, code)) {
                found.tornDatasets.fetch_add(1);
            }
            break;
        }
        case 2: {
            std::uint8_t value[8] = {};
            std::uint32_t size = sizeof value;
            KQ_GetDevicePropValue(kCamera, kCodes[random() % 15], &size, value);
            break;
        }
        case 3: {
            const std::uint8_t zoom[2] = {static_cast<std::uint8_t>(random() % 15), 0};
            KQ_SetDevicePropValue(kCamera, random() % 2 ? 0xD02A : 0xD01F, 2, zoom);
            break;
        }
        case 4: {
            std::uint8_t info[256];
            std::uint32_t size = sizeof info;
            KQ_GetDeviceInfo(kCamera, &size, info);
            break;
        }
        case 5:
            KQ_RC_StartViewFinder(kCamera, counts, OnFrameCallingBack);
            break;
        case 6:
            KQ_RC_TermViewFinder(kCamera);
            break;
        case 7:
            if (KQ_SetEventCallBack(kCamera, counts, OnEventCallingBack) != RESULT_OK) {
                KQ_ClearEventCallBack(kCamera);
            }
            break;
        case 8: {
            KQ_RC_Release(kCamera);
            Image image;
            KQ_RC_GetReleasedData(kCamera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &image, OnChunk);
            if (image.started) {
                found.transfers.fetch_add(1);
                const bool jpeg = image.bytes.size() >= 4 && image.bytes[0] == 0xFF &&
                                  image.bytes[1] == 0xD8 && image.bytes.end()[-2] == 0xFF &&
                                  image.bytes.end()[-1] == 0xD9;
                if (!image.ended || !image.consistent || !jpeg) found.brokenImages.fetch_add(1);
            }
            break;
        }
        case 9: {
            std::uint8_t buffer[KQ_DEVICE_LIST_MIN_SIZE] = {};
            std::uint32_t size = sizeof buffer;
            KQ_GetDeviceList(&size, reinterpret_cast<KQDeviceList*>(buffer));
            break;
        }
        case 10:
            KQ_RC_DoAeAfAwb(kCamera, 0);
            break;
        case 11:
            if (random() % 4 == 0) {
                // Whatever the other threads list, release or transfer
                // meanwhile, a reconnect succeeds.
                KQ_DisconnectCamera(kCamera);
                KQ_StartSDK();
                std::uint8_t buffer[KQ_DEVICE_LIST_MIN_SIZE] = {};
                std::uint32_t size = sizeof buffer;
                auto* list = reinterpret_cast<KQDeviceList*>(buffer);
                std::uint32_t handle = 0;
                found.reconnects.fetch_add(1);
                if (KQ_GetDeviceList(&size, list) != RESULT_OK || list->count != 1 ||
                    KQ_CreateCameraObject(&list->entry, &handle) != RESULT_OK ||
                    KQ_ConnectCamera(handle) != RESULT_OK) {
                    found.failedReconnects.fetch_add(1);
                }
            }
            break;
        }
    }
}

TEST_F(StressTest, SeveralClientThreadsCallEveryExportWhileTheCameraIsBusy) {
    constexpr unsigned kThreads = 4;
    constexpr int kOperations = 120;
    platform::Hooks hooks{ShortPolls, NoMessageBox};
    platform::SetHooksForTesting(&hooks);
    Findings found;
    findings = &found;
    ZTSim_SetCallbackThreads(2);
    ZTSim_SetPreviewSize(96, 64);
    ZTSim_SetShotSize(32, 24);
    ZTSim_SetShotDelays(0, 1);
    ZTSim_SetPreviewRate(500);
    ASSERT_EQ(ConnectFirstCamera(), kCamera);
    // A listing that takes a while meets the other threads' listings.
    ZTSim_SetCallDelay(ZTSIM_FN_GetCameraList, 1);

    std::vector<std::thread> clients;
    for (unsigned t = 0; t < kThreads; ++t) {
        clients.emplace_back(ClientThread, t, kOperations, &seen_);
    }
    for (int i = 0; i < 40; ++i) {
        ZTSim_RaisePreviewFrames(3);
        ZTSim_RaiseCameraError(ZT_CAMERA_ERROR_FATAL);
        ZTSim_RaiseCameraListChanged(kCamera + 1, ZT_CAMERA_LIST_REMOVED);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (std::thread& client : clients) client.join();

    KQ_RC_TermViewFinder(kCamera);
    KQ_DisconnectCamera(kCamera);
    ZTSim_SetPreviewRate(0);
    ZTSim_WaitIdle();
    findings = nullptr;
    EXPECT_EQ(found.tornDatasets.load(), 0u);
    EXPECT_EQ(found.brokenImages.load(), 0u);
    EXPECT_EQ(found.failedReconnects.load(), 0u) << "of " << found.reconnects.load();
    EXPECT_EQ(seen_.badFrames.load(), 0u);
    EXPECT_EQ(seen_.badEvents.load(), 0u);
    EXPECT_EQ(ZTSim_PreviewOnCount(), 0u);
}

}  // namespace
}  // namespace kq::test
