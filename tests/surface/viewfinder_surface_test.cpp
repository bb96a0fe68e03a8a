// The viewfinder through the loaded library: real frames from the
// simulator's own thread at its default size and rate, received through
// the stdcall viewfinder callback and decoded.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "surface/library.h"
#include "unit/viewfinder_images.h"
#include "zt_sim.h"

namespace kq::surface {
namespace {

using test::DecodedImage;
using test::DecodeJpeg;
using test::Describe;
using test::Near;

std::mutex framesMutex;
std::vector<std::vector<std::uint8_t>> frames;
std::uint32_t badCalls = 0;
void* const kContext = reinterpret_cast<void*>(0xF1F0);
std::uint32_t expectedCamera = 0;

std::uint32_t KQ_STDCALL OnFrame(std::uint32_t camera, void* context, std::uint32_t size,
                                 const std::uint8_t* jpeg) {
    std::lock_guard<std::mutex> lock(framesMutex);
    if (camera != expectedCamera || context != kContext || jpeg == nullptr) {
        ++badCalls;
    } else {
        frames.emplace_back(jpeg, jpeg + size);
    }
    return 0xFFFFFFFFu;
}

std::size_t FramesSoFar() {
    std::lock_guard<std::mutex> lock(framesMutex);
    return frames.size();
}

TEST(ViewfinderSurfaceTest, FramesFromTheSimulatorsThreadArriveAsJpegImages) {
    ZTSim_Reset();
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        const Exports& kq = library.api();
        frames.clear();
        badCalls = 0;

        ASSERT_EQ(kq.StartSDK(), RESULT_OK);
        KQDeviceList list;
        std::uint32_t size = sizeof list + 1;
        ASSERT_EQ(kq.GetDeviceList(&size, &list), RESULT_OK);
        std::uint32_t camera = 0;
        ASSERT_EQ(kq.CreateCameraObject(&list.entry, &camera), RESULT_OK);
        ASSERT_EQ(kq.ConnectCamera(camera), RESULT_OK);
        expectedCamera = camera;

        ASSERT_EQ(kq.RC_StartViewFinder(camera, kContext, OnFrame), RESULT_OK);
        // 30 frames a second: a handful within a few hundred milliseconds;
        // the limit only matters on a badly stalled host.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (FramesSoFar() < 6 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(kq.RC_TermViewFinder(camera), RESULT_OK);
        ZTSim_WaitIdle();
        const std::size_t afterTerm = FramesSoFar();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ZTSim_WaitIdle();
        EXPECT_EQ(FramesSoFar(), afterTerm) << "no frame after the viewfinder was stopped";

        EXPECT_EQ(kq.DisconnectCamera(camera), RESULT_OK);
        EXPECT_EQ(kq.FinishSDK(), RESULT_OK);
    }
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);

    std::lock_guard<std::mutex> lock(framesMutex);
    EXPECT_EQ(badCalls, 0u);
    ASSERT_GE(frames.size(), 6u);
    std::vector<std::uint8_t> previous;
    std::size_t changed = 0;
    for (const std::vector<std::uint8_t>& jpeg : frames) {
        const DecodedImage image = DecodeJpeg(jpeg);
        ASSERT_TRUE(image.ok) << image.error;
        EXPECT_EQ(image.width, 640);
        EXPECT_EQ(image.height, 480);
        EXPECT_TRUE(Near(image.At(320, 10), {255, 0, 0})) << Describe(image.At(320, 10));
        EXPECT_TRUE(Near(image.At(320, 470), {0, 0, 255})) << Describe(image.At(320, 470));
        if (!previous.empty() && image.pixels != previous) ++changed;
        previous = image.pixels;
    }
    EXPECT_GT(changed, 0u) << "the picture moves from frame to frame";
}

}  // namespace
}  // namespace kq::surface
