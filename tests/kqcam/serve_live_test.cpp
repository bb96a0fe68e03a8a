// The live view hub on its own: viewfinder start and stop, newest-frame
// slots, limits and shutdown, with a fake viewfinder.
#include <gtest/gtest.h>

#include <thread>

#include "serve_live.h"

namespace kqcam {
namespace {

using Clock = std::chrono::steady_clock;

struct FakeViewfinder {
    int starts = 0;
    int stops = 0;
    bool refuse = false;
    FrameHub hub{[this](std::string* error) {
                     if (refuse) {
                         *error = "refused";
                         return false;
                     }
                     ++starts;
                     return true;
                 },
                 [this] { ++stops; }, 3};
    void Frame(std::uint8_t tag) {
        const std::uint8_t bytes[] = {0xFF, 0xD8, tag, 0xFF, 0xD9};
        hub.Publish(bytes, sizeof bytes);
    }
};

std::shared_ptr<LiveViewer> Join(FrameHub& hub) {
    std::string error;
    bool full = false;
    return hub.Join(&error, &full);
}

TEST(FrameHub, FirstViewerStartsLastStopsAndAFailedStartAddsNoViewer) {
    FakeViewfinder vf;
    vf.refuse = true;
    std::string error;
    bool full = true;
    EXPECT_EQ(vf.hub.Join(&error, &full), nullptr);
    EXPECT_EQ(error, "refused");
    EXPECT_FALSE(full);
    EXPECT_EQ(vf.hub.Stats().viewers, 0u);

    vf.refuse = false;
    auto a = Join(vf.hub);
    auto b = Join(vf.hub);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(vf.starts, 1);
    vf.hub.Leave(a);
    vf.hub.Leave(a);  // leaving twice changes nothing
    EXPECT_EQ(vf.stops, 0);
    vf.hub.Leave(b);
    EXPECT_EQ(vf.stops, 1);
    EXPECT_FALSE(vf.hub.Stats().running);

    auto c = Join(vf.hub);
    EXPECT_EQ(vf.starts, 2);
    vf.hub.Leave(c);
}

TEST(FrameHub, SlowViewerGetsOnlyTheNewestFrameAndOthersAreNotHeldUp) {
    FakeViewfinder vf;
    auto slow = Join(vf.hub);
    auto fast = Join(vf.hub);
    std::shared_ptr<const LiveFrame> frame;
    for (std::uint8_t i = 1; i <= 5; ++i) {
        vf.Frame(i);
        ASSERT_TRUE(fast->Next(Clock::now() + std::chrono::seconds(1), &frame));
        EXPECT_EQ(frame->jpeg[2], i);
    }
    // The slow viewer took none of them: only the last is waiting for it.
    ASSERT_TRUE(slow->Next(Clock::now() + std::chrono::seconds(1), &frame));
    EXPECT_EQ(frame->jpeg[2], 5);
    EXPECT_EQ(frame->number, 5u);
    EXPECT_FALSE(slow->Next(Clock::now() + std::chrono::milliseconds(5), &frame)) << "nothing newer";
    const LiveStats stats = vf.hub.Stats();
    EXPECT_EQ(stats.frames, 5u);
    EXPECT_EQ(stats.skipped, 4u);
    vf.hub.Leave(slow);
    vf.hub.Leave(fast);
}

TEST(FrameHub, FullHubAndShutdown) {
    FakeViewfinder vf;
    auto a = Join(vf.hub), b = Join(vf.hub), c = Join(vf.hub);
    std::string error;
    bool full = false;
    EXPECT_EQ(vf.hub.Join(&error, &full), nullptr);
    EXPECT_TRUE(full);

    // A viewer waiting for a frame is woken by the shutdown, which stops
    // the viewfinder once; leaving afterwards stops nothing more.
    std::thread waiter([&] {
        std::shared_ptr<const LiveFrame> frame;
        EXPECT_FALSE(a->Next(Clock::now() + std::chrono::seconds(30), &frame));
    });
    vf.hub.Shutdown();
    waiter.join();
    EXPECT_EQ(vf.stops, 1);
    for (const auto& v : {a, b, c}) vf.hub.Leave(v);
    EXPECT_EQ(vf.stops, 1);
    EXPECT_EQ(vf.hub.Join(&error, &full), nullptr);
    EXPECT_FALSE(full);
}

TEST(FrameHub, LatencyFiguresComeFromDeliveredFrames) {
    FakeViewfinder vf;
    auto v = Join(vf.hub);
    std::shared_ptr<const LiveFrame> frame;
    for (int i = 0; i < 10; ++i) {
        vf.Frame(static_cast<std::uint8_t>(i));
        ASSERT_TRUE(v->Next(Clock::now() + std::chrono::seconds(1), &frame));
        v->Delivered(*frame);
    }
    const LiveStats stats = vf.hub.Stats();
    EXPECT_EQ(stats.delivered, 10u);
    EXPECT_EQ(stats.latencySamples, 10u);
    EXPECT_GE(stats.latencyP99Ms, stats.latencyMedianMs);
    EXPECT_GE(stats.latencyMedianMs, 0.0);
    EXPECT_LE(stats.fps, 10.0) << "frames of the last second only";
    EXPECT_GE(stats.fps, 1.0);
    vf.hub.Leave(v);
}

}  // namespace
}  // namespace kqcam
