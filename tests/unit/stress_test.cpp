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
#include <thread>
#include <vector>

#include "bridge/camera_sdk.h"
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

TEST_F(StressTest, ClientAndCameraBusyAtOnce) {
    constexpr int kRounds = 40;
    ZTSim_SetPreviewSize(160, 120);
    ZTSim_SetShotSize(64, 48);
    ZTSim_SetShotDelays(0, 1);
    ZTSim_SetPreviewRate(1000);
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

}  // namespace
}  // namespace kq::test
