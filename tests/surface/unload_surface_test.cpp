// What every application does at the end: stop the live view, disconnect,
// finish and unload the library, while frames are still arriving on the
// Camera SDK's threads. Once KQ_FinishSDK has returned, no callback of the
// library may still be running, so unloading cannot pull the code from
// under one (the callbacks' side of this is tested in the unit tests with
// both kinds of Camera SDK). Repeated at varied moments of the frame cycle; the simulated
// Camera SDK stays loaded throughout, as a real one would.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "surface/library.h"
#include "zt_sim.h"

namespace kq::surface {
namespace {

std::atomic<std::uint32_t> framesThisRound{0};

std::uint32_t KQ_STDCALL CountFrame(std::uint32_t, void*, std::uint32_t, const std::uint8_t*) {
    framesThisRound.fetch_add(1);
    return 0;
}

// Streams until `frames` frames have arrived (bounded), then tears down in
// the order applications use.
void StreamThenTearDown(std::uint32_t frames, std::uint32_t extraMs) {
    Library library;
    ASSERT_TRUE(library.loaded());
    const Exports& kq = library.api();
    ASSERT_EQ(kq.StartSDK(), RESULT_OK);
    KQDeviceList list;
    std::uint32_t size = KQ_DEVICE_LIST_MIN_SIZE;
    ASSERT_EQ(kq.GetDeviceList(&size, &list), RESULT_OK);
    ASSERT_EQ(list.count, 1u);
    std::uint32_t camera = 0;
    ASSERT_EQ(kq.CreateCameraObject(&list.entry, &camera), RESULT_OK);
    ASSERT_EQ(kq.ConnectCamera(camera), RESULT_OK);

    framesThisRound = 0;
    ASSERT_EQ(kq.RC_StartViewFinder(camera, nullptr, CountFrame), RESULT_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (framesThisRound.load() < frames && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_GE(framesThisRound.load(), frames);
    std::this_thread::sleep_for(std::chrono::milliseconds(extraMs));

    EXPECT_EQ(kq.RC_TermViewFinder(camera), RESULT_OK);
    EXPECT_EQ(kq.DisconnectCamera(camera), RESULT_OK);
    EXPECT_EQ(kq.FinishSDK(), RESULT_OK);
    library.Unload();
}

TEST(UnloadSurfaceTest, UnloadingRightAfterFinishWhileFramesStreamIsSafe) {
    ZTSim_Reset();
    ZTSim_SetPreviewSize(320, 240);
    ZTSim_SetPreviewRate(200);
    ZTSim_SetCallbackThreads(2);
    // The condition for a safe unload: once a subscription is freed, the
    // Camera SDK starts no callback of it. One whose ZTFree never waits can
    // still be about to call a callback it looked up just before the free;
    // one that waits for its running callbacks cannot.
    ZTSim_SetFreeWaitsForCallbacks(1);
    for (std::uint32_t round = 0; round < 24; ++round) {
        StreamThenTearDown(1 + round % 3, round % 4);
        if (HasFatalFailure()) break;
    }
    ZTSim_SetPreviewRate(0);
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
    ZTSim_Reset();
}

}  // namespace
}  // namespace kq::surface
