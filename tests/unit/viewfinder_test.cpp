// The viewfinder through its exports, with frames from the simulated Camera
// SDK: starting and stopping, the frames the client receives, what closes
// the viewfinder, what only drops a frame, and the frame log lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "bridge/callbacks.h"
#include "capture/quiet_preview_log.h"
#include "support/bridge_fixture.h"
#include "unit/viewfinder_images.h"

namespace kq::test {
namespace {

struct Delivery {
    std::uint32_t camera;
    void* context;
    std::uint32_t size;
    const std::uint8_t* address;
    std::vector<std::uint8_t> jpeg;
};

std::mutex deliveriesMutex;
std::vector<Delivery> firstDeliveries;
std::vector<Delivery> secondDeliveries;
// Work the first callback does inside its call, for the tests that need it.
void (*duringFirstCallback)() = nullptr;

void Record(std::vector<Delivery>& into, std::uint32_t camera, void* context, std::uint32_t size,
            const std::uint8_t* jpeg) {
    std::lock_guard<std::mutex> lock(deliveriesMutex);
    into.push_back(
        Delivery{camera, context, size, jpeg, std::vector<std::uint8_t>(jpeg, jpeg + size)});
}

std::uint32_t KQ_STDCALL FirstCallback(std::uint32_t camera, void* context, std::uint32_t size,
                                       const std::uint8_t* jpeg) {
    Record(firstDeliveries, camera, context, size, jpeg);
    if (duringFirstCallback != nullptr) duringFirstCallback();
    return 0xFFFFFFFFu;
}

std::uint32_t KQ_STDCALL SecondCallback(std::uint32_t camera, void* context, std::uint32_t size,
                                        const std::uint8_t* jpeg) {
    Record(secondDeliveries, camera, context, size, jpeg);
    return 0;
}

void* const kContext = reinterpret_cast<void*>(0xC0FFEE);

class ViewfinderTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        // Frames come only when a test raises them.
        ZTSim_SetPreviewRate(0);
        firstDeliveries.clear();
        secondDeliveries.clear();
        duringFirstCallback = nullptr;
    }

    void TearDown() override {
        quietPreviewLog = 1;
        duringFirstCallback = nullptr;
        BridgeTest::TearDown();
    }

    // Up to a created camera object; connects unless told otherwise.
    std::uint32_t Open(bool connect = true) {
        KQ_StartSDK();
        KQDeviceList list;
        std::uint32_t size = sizeof list + 1;
        EXPECT_EQ(KQ_GetDeviceList(&size, &list), RESULT_OK);
        std::uint32_t handle = 0;
        EXPECT_EQ(KQ_CreateCameraObject(&list.entry, &handle), RESULT_OK);
        if (connect) {
            EXPECT_EQ(KQ_ConnectCamera(handle), RESULT_OK);
        }
        return handle;
    }

    std::uint32_t OpenWithViewfinder() {
        const std::uint32_t handle = Open();
        EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
        EXPECT_NE(state.previewFrameSub.load(), nullptr);
        return handle;
    }

    // Announces `count` frames and waits until they have been handled.
    static void Frames(std::uint32_t count) {
        ZTSim_RaisePreviewFrames(count);
        ZTSim_WaitIdle();
    }

    static std::uint32_t Fetches() { return ZTSim_CallCount(ZTSIM_FN_GetPreviewFrame); }

    std::size_t CountLines(const std::string& line) {
        const std::vector<std::string> lines = log.Lines();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
    }

    static std::vector<std::uint8_t> QuadrantBitmap(int width, int height) {
        return MakeBitmap(width, height, RowLayout::Padded, false,
                          [=](int x, int y) { return Quadrants(x, y, width, height); });
    }
};

TEST_F(ViewfinderTest, EveryFrameReachesTheClientAsTheJpegOfThePicture) {
    ASSERT_EQ(ZTSim_SetPreviewSize(320, 240), 1);
    const std::uint32_t handle = OpenWithViewfinder();
    EXPECT_EQ(ZTSim_PreviewOnCount(), 1u);
    Frames(3);

    ASSERT_EQ(firstDeliveries.size(), 3u);
    for (const Delivery& d : firstDeliveries) {
        EXPECT_EQ(d.camera, handle);
        EXPECT_EQ(d.context, kContext);
        EXPECT_EQ(d.address, state.jpegBuffer) << "images that fit share the fixed buffer";
        const DecodedImage image = DecodeJpeg(d.jpeg);
        ASSERT_TRUE(image.ok) << image.error;
        EXPECT_EQ(image.width, 320);
        EXPECT_EQ(image.height, 240);
        // The simulator's picture: red band on top, blue band at the bottom.
        EXPECT_TRUE(Near(image.At(160, 5), {255, 0, 0})) << Describe(image.At(160, 5));
        EXPECT_TRUE(Near(image.At(160, 234), {0, 0, 255})) << Describe(image.At(160, 234));
    }
    EXPECT_EQ(state.jpegSize.load(), firstDeliveries.back().size);
    EXPECT_EQ(Sleeps(), (std::vector<std::uint32_t>{10, 10, 10}));
    EXPECT_EQ(ZTSim_PreviewFramesHandedOut(), 3u);
}

TEST_F(ViewfinderTest, InjectedFrameKeepsOrientationAndChannels) {
    OpenWithViewfinder();
    const std::vector<std::uint8_t> frame = QuadrantBitmap(320, 240);
    ZTSim_InjectPreviewFrame(frame.data(), static_cast<std::uint32_t>(frame.size()));
    Frames(1);
    ASSERT_EQ(firstDeliveries.size(), 1u);
    const DecodedImage image = DecodeJpeg(firstDeliveries[0].jpeg);
    ASSERT_TRUE(image.ok) << image.error;
    for (int y : {10, 229}) {
        for (int x : {10, 309}) {
            EXPECT_TRUE(Near(image.At(x, y), Quadrants(x, y, 320, 240)))
                << x << "," << y << " " << Describe(image.At(x, y));
        }
    }
}

TEST_F(ViewfinderTest, NullContextIsPassedBackAsNull) {
    const std::uint32_t handle = Open();
    ASSERT_EQ(KQ_RC_StartViewFinder(handle, nullptr, FirstCallback), RESULT_OK);
    Frames(1);
    ASSERT_EQ(firstDeliveries.size(), 1u);
    EXPECT_EQ(firstDeliveries[0].context, nullptr);
}

TEST_F(ViewfinderTest, SecondStartKeepsTheFirstCallbackAndContext) {
    const std::uint32_t handle = OpenWithViewfinder();
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, nullptr, SecondCallback), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_NewPreviewFrameSubscribe), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPreviewState), 1u);
    Frames(2);
    EXPECT_EQ(firstDeliveries.size(), 2u);
    EXPECT_TRUE(secondDeliveries.empty());
    EXPECT_EQ(firstDeliveries.back().context, kContext);
}

TEST_F(ViewfinderTest, NullCallbackIsRefusedAndChangesNothing) {
    const std::uint32_t handle = Open();
    log.Mark();
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, nullptr), RESULT_NULL_POINTER);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_NewPreviewFrameSubscribe), 0u);
    EXPECT_EQ(state.viewfinderCallback.context(), nullptr);
    EXPECT_EQ(CountLines("INF PreviewStart"), 0u);
}

TEST_F(ViewfinderTest, StartBeforeConnectStartsNothing) {
    const std::uint32_t handle = Open(/*connect=*/false);
    log.Mark();
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_StartViewFinder"}));
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_NewPreviewFrameSubscribe), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPreviewState), 0u);
    EXPECT_EQ(state.viewfinderCallback.callback(), nullptr);
}

TEST_F(ViewfinderTest, TermWithoutSessionStillAsksToTurnThePreviewOff) {
    KQ_StartSDK();
    log.Mark();
    EXPECT_EQ(KQ_RC_TermViewFinder(0x12345678), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPreviewState), 1u);
    // The simulator refuses the null session like any unknown handle, and
    // the refusal is reported.
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"INF KQ_RC_TermViewFinder", "INF PreviewClose",
                                        "ERR ZTSetPreviewState failed: ErrorCode = 0x20000003"}));
    EXPECT_EQ(MessageBoxes().size(), 1u);
}

TEST_F(ViewfinderTest, TermReleasesTheSubscriptionAndTurnsThePreviewOff) {
    const std::uint32_t handle = Open();
    const std::uint32_t outstanding = ZTSim_OutstandingCount();
    ASSERT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(KQ_RC_TermViewFinder(0), RESULT_OK);
    EXPECT_EQ(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(state.viewfinderCallback.callback(), nullptr);
    EXPECT_EQ(state.viewfinderCallback.context(), nullptr);
    EXPECT_EQ(ZTSim_PreviewOnCount(), 0u);
    EXPECT_EQ(ZTSim_OutstandingCount(), outstanding);
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(ViewfinderTest, LateFramesAfterTermOrFinishDoNothing) {
    OpenWithViewfinder();
    ASSERT_EQ(KQ_RC_TermViewFinder(0), RESULT_OK);
    // A notification already on its way when the viewfinder was stopped.
    NewPreviewFrameCallback(&state.previewCtx);
    EXPECT_EQ(Fetches(), 0u);

    ASSERT_EQ(KQ_RC_StartViewFinder(state.cameraHandle.load(), kContext, FirstCallback), RESULT_OK);
    ASSERT_EQ(KQ_FinishSDK(), RESULT_OK);
    quietPreviewLog = 0;
    log.Mark();
    NewPreviewFrameCallback(&state.previewCtx);
    EXPECT_EQ(Fetches(), 0u);
    EXPECT_TRUE(firstDeliveries.empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF NewPreviewFrameCallback"}));
}

TEST_F(ViewfinderTest, FailedFetchClosesTheViewfinderThenReports) {
    OpenWithViewfinder();
    ZTSim_SetFault(ZTSIM_FN_GetPreviewFrame, 0x4321, 1);
    log.Mark();
    Frames(1);
    EXPECT_TRUE(firstDeliveries.empty());
    EXPECT_EQ(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(state.viewfinderCallback.callback(), nullptr);
    EXPECT_EQ(ZTSim_PreviewOnCount(), 0u);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"INF PreviewClose",
                                        "ERR ZTGetPreviewFrame failed: ErrorCode = 0x00004321"}));
}

TEST_F(ViewfinderTest, EmptyFramesCloseTheViewfinderWithoutReport) {
    const std::uint32_t handle = Open();
    for (int kind :
         {ZTSIM_PREVIEW_NULL_FRAME, ZTSIM_PREVIEW_ZERO_COUNT, ZTSIM_PREVIEW_NEGATIVE_COUNT}) {
        SCOPED_TRACE(kind);
        ASSERT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
        ASSERT_NE(state.previewFrameSub.load(), nullptr);
        ZTSim_InjectEmptyPreviewFrame(kind);
        Frames(1);
        EXPECT_EQ(state.previewFrameSub.load(), nullptr);
        EXPECT_EQ(ZTSim_PreviewOnCount(), 0u);
    }
    EXPECT_TRUE(firstDeliveries.empty());
    EXPECT_TRUE(MessageBoxes().empty());
    // The buffers handed over with a count of 0 or -1 were released (the
    // fixture checks that nothing is outstanding at the end).
}

TEST_F(ViewfinderTest, MalformedFrameIsDroppedAndTheViewfinderStaysOn) {
    OpenWithViewfinder();
    std::vector<std::uint8_t> frame = QuadrantBitmap(320, 240);
    frame.resize(frame.size() - 1);  // the header promises one byte more
    ZTSim_InjectPreviewFrame(frame.data(), static_cast<std::uint32_t>(frame.size()));
    log.Mark();
    Frames(2);
    ASSERT_EQ(firstDeliveries.size(), 1u) << "the second frame still arrives";
    EXPECT_EQ(CountLines("ERR EncodeFrameToJpeg: frame dropped, rows beyond the byte count"), 1u);
    EXPECT_NE(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(Sleeps().size(), 1u) << "no pause after a dropped frame";
    EXPECT_TRUE(MessageBoxes().empty());
}

// Frames a Camera SDK gets wrong it gets wrong all the time: one ERR line
// for the first dropped frame of each viewfinder run, whatever the quiet
// flag says, and their number when the viewfinder stops, whichever way.
TEST_F(ViewfinderTest, DroppedFramesGetOneLineEachRunAndTheirNumberAtTheStop) {
    const std::uint32_t handle = Open();
    std::vector<std::uint8_t> frame = QuadrantBitmap(64, 48);
    frame[28] = 32;  // 32 bits per pixel
    auto malformed = [&frame](std::uint32_t count) {
        for (std::uint32_t i = 0; i < count; ++i) {
            ZTSim_InjectPreviewFrame(frame.data(), static_cast<std::uint32_t>(frame.size()));
            Frames(1);
        }
    };
    const std::string first = "ERR EncodeFrameToJpeg: frame dropped, not 24 bits per pixel";

    struct Stop {
        const char* how;
        void (*stop)(std::uint32_t handle);
    };
    const Stop stops[] = {
        {"KQ_RC_TermViewFinder", [](std::uint32_t) { KQ_RC_TermViewFinder(0); }},
        {"a failed fetch",
         [](std::uint32_t) {
             ZTSim_SetFault(ZTSIM_FN_GetPreviewFrame, 0x4321, 1);
             Frames(1);
         }},
        {"KQ_DisconnectCamera", [](std::uint32_t camera) { KQ_DisconnectCamera(camera); }},
    };
    for (const Stop& stop : stops) {
        SCOPED_TRACE(stop.how);
        ASSERT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
        quietPreviewLog = 0;
        log.Mark();
        malformed(2);
        Frames(1);  // a good frame between the bad ones
        malformed(1);
        EXPECT_EQ(CountLines(first), 1u);
        EXPECT_EQ(CountLines("INF NewPreviewFrameCallback"), 4u);
        EXPECT_EQ(CountLines("ERR Viewfinder stopped, frames dropped: 3"), 0u);
        stop.stop(handle);
        EXPECT_EQ(state.previewFrameSub.load(), nullptr);
        EXPECT_EQ(CountLines("ERR Viewfinder stopped, frames dropped: 3"), 1u);
        quietPreviewLog = 1;
    }
    EXPECT_EQ(firstDeliveries.size(), 3u);

    // A second start while the viewfinder is on does not begin a new run; a
    // run without drops ends without a count.
    const std::uint32_t again = Open();
    ASSERT_EQ(KQ_RC_StartViewFinder(again, kContext, FirstCallback), RESULT_OK);
    log.Mark();
    malformed(1);
    ASSERT_EQ(KQ_RC_StartViewFinder(again, kContext, FirstCallback), RESULT_OK);
    malformed(1);
    EXPECT_EQ(CountLines(first), 1u);
    ASSERT_EQ(KQ_RC_TermViewFinder(again), RESULT_OK);
    EXPECT_EQ(CountLines("ERR Viewfinder stopped, frames dropped: 2"), 1u);
    ASSERT_EQ(KQ_RC_StartViewFinder(again, kContext, FirstCallback), RESULT_OK);
    Frames(2);
    log.Mark();
    ASSERT_EQ(KQ_RC_TermViewFinder(again), RESULT_OK);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"INF KQ_RC_TermViewFinder", "INF PreviewClose"}));
}

TEST_F(ViewfinderTest, ImageLargerThanTheBufferIsDeliveredWhole) {
    OpenWithViewfinder();
    std::mt19937 random(7);
    const std::vector<std::uint8_t> noise =
        MakeBitmap(640, 480, RowLayout::Padded, false, [&random](int, int) {
            const std::uint32_t v = random();
            return Rgb{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16)};
        });
    ZTSim_InjectPreviewFrame(noise.data(), static_cast<std::uint32_t>(noise.size()));
    Frames(2);
    ASSERT_EQ(firstDeliveries.size(), 2u);
    EXPECT_GT(firstDeliveries[0].size, kJpegBufferSize);
    EXPECT_NE(firstDeliveries[0].address, state.jpegBuffer);
    const DecodedImage large = DecodeJpeg(firstDeliveries[0].jpeg);
    ASSERT_TRUE(large.ok) << large.error;
    EXPECT_EQ(large.width, 640);
    EXPECT_EQ(firstDeliveries[1].address, state.jpegBuffer);
    EXPECT_TRUE(DecodeJpeg(firstDeliveries[1].jpeg).ok);
}

TEST_F(ViewfinderTest, FrameLogLinesOnlyWhileTheQuietFlagIsClear) {
    OpenWithViewfinder();
    log.Mark();
    Frames(2);
    EXPECT_EQ(CountLines("INF NewPreviewFrameCallback"), 0u);
    quietPreviewLog = 0;
    Frames(2);
    EXPECT_EQ(CountLines("INF NewPreviewFrameCallback"), 2u);
    quietPreviewLog = 1;
    Frames(2);
    EXPECT_EQ(CountLines("INF NewPreviewFrameCallback"), 2u);
    EXPECT_EQ(firstDeliveries.size(), 6u);
}

TEST_F(ViewfinderTest, RefusedSubscriptionLeavesTheViewfinderOff) {
    const std::uint32_t handle = Open();
    ZTSim_SetFault(ZTSIM_FN_NewPreviewFrameSubscribe, 0, 1);
    log.Mark();
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPreviewState), 0u);
    EXPECT_EQ(CountLines("ERR ZTNewPreviewFrameSubscribe failed"), 1u);
    // A later start subscribes anew.
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_NE(state.previewFrameSub.load(), nullptr);
}

TEST_F(ViewfinderTest, RefusedPreviewStateLeavesTheSubscriptionUntilClosed) {
    const std::uint32_t handle = Open();
    ZTSim_SetFault(ZTSIM_FN_SetPreviewState, 0x77, 1);
    log.Mark();
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(CountLines("ERR ZTSetPreviewState failed: ErrorCode = 0x00000077"), 1u);
    EXPECT_NE(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(state.lastError.load(), 0x77u);
    // Counts as on: the next start neither subscribes nor turns it on again.
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_NewPreviewFrameSubscribe), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_SetPreviewState), 1u);
    // Only a close lets the next start try again.
    EXPECT_EQ(KQ_RC_TermViewFinder(handle), RESULT_OK);
    EXPECT_EQ(KQ_RC_StartViewFinder(handle, kContext, FirstCallback), RESULT_OK);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_NewPreviewFrameSubscribe), 2u);
    EXPECT_EQ(ZTSim_PreviewOnCount(), 1u);
}

// A frame announced while another is being delivered (here from inside the
// client's callback) is skipped rather than written over the image the
// client is reading.
TEST_F(ViewfinderTest, FrameDuringADeliveryIsSkipped) {
    OpenWithViewfinder();
    duringFirstCallback = [] { EXPECT_EQ(bridgeState.DeliverPreviewFrame(), 0); };
    Frames(1);
    EXPECT_EQ(firstDeliveries.size(), 1u);
    EXPECT_EQ(Fetches(), 1u);
    duringFirstCallback = nullptr;
    Frames(1);
    EXPECT_EQ(firstDeliveries.size(), 2u) << "the next frame is delivered again";
}

TEST_F(ViewfinderTest, TermFromInsideTheCallbackEndsTheFrames) {
    OpenWithViewfinder();
    duringFirstCallback = [] { KQ_RC_TermViewFinder(0); };
    Frames(3);
    EXPECT_EQ(firstDeliveries.size(), 1u);
    EXPECT_EQ(state.previewFrameSub.load(), nullptr);
}

TEST_F(ViewfinderTest, DisconnectEndsTheFramesAndReleasesEverything) {
    const std::uint32_t handle = OpenWithViewfinder();
    ASSERT_EQ(KQ_DisconnectCamera(handle), RESULT_OK);
    EXPECT_EQ(state.previewFrameSub.load(), nullptr);
    EXPECT_EQ(ZTSim_RaisePreviewFrames(1), 0u);
    ZTSim_WaitIdle();
    EXPECT_TRUE(firstDeliveries.empty());
}

}  // namespace
}  // namespace kq::test
