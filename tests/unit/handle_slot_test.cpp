// The handle slots on their own, with real handles from the simulated Camera
// SDK: a handle is freed exactly once, never while a use of it is held, by
// the release when it may wait and by the last user when it may not, and a
// parent only after what was made through it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "bridge/handle_slot.h"
#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

class HandleSlotTest : public BridgeTest {
protected:
    void SetUp() override {
        BridgeTest::SetUp();
        ASSERT_EQ(ZTInitializeSDK(), ZT_OK);
    }
    void TearDown() override {
        EXPECT_EQ(table.LiveRecordCount(), 0u);
        BridgeTest::TearDown();
    }

    // Puts a new camera manager from the simulator into `slot`.
    static void MakeManager(HandleSlot& slot) {
        HandleRef opened = slot.Open(HandleRef(), HandleSlot::Mode::kReplace);
        ASSERT_TRUE(opened.held());
        opened.Adopt(ZTGetCameraManager());
        ASSERT_NE(opened.get(), nullptr);
    }

    // Waits (bounded) until another thread's release has emptied `slot`.
    static void AwaitEmptied(const HandleSlot& slot) {
        for (int i = 0; i < 5000 && slot.occupied(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_FALSE(slot.occupied());
    }

    HandleTable table;
    HandleSlot manager{table, "camera manager"};
    HandleSlot session{table, "session"};
};

TEST_F(HandleSlotTest, ReleaseWaitsForAUseHeldOnAnotherThreadThenFreesOnce) {
    MakeManager(manager);
    HandleRef use = manager.Acquire();
    std::thread releaser([this] { manager.Release(table.ReleaseDeadline()); });
    AwaitEmptied(manager);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u) << "freed while still in use";
    EXPECT_TRUE(manager.Acquire().get() == nullptr) << "a released slot hands out no new use";
    use.Reset();
    releaser.join();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Free), 1u);
}

TEST_F(HandleSlotTest, InsideACallbackReleaseDoesNotWaitAndTheLastUserFrees) {
    MakeManager(manager);
    HandleRef first = manager.Acquire();
    HandleRef second = manager.Acquire();
    {
        const CallbackScope inside;
        manager.Release(table.ReleaseDeadline());
    }
    EXPECT_FALSE(manager.occupied());
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    first.Reset();
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    second.Reset();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_TRUE(log.Lines().empty()) << "a release left to its last user inside a callback is normal";
}

TEST_F(HandleSlotTest, UseOutlastingTheWaitIsNamedInTheLogAndFreedByItsLastUser) {
    table.SetWaitLimitForTesting(10);
    MakeManager(manager);
    HandleRef use = manager.Acquire();
    manager.Release(table.ReleaseDeadline());
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{
                               "ERR Release: camera manager still in use, left to its last user"});
    use.Reset();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
}

TEST_F(HandleSlotTest, ParentGoesOnlyAfterWhatWasMadeThroughIt) {
    MakeManager(manager);
    {
        HandleRef parent = manager.Acquire();
        HandleRef opened = session.Open(parent, HandleSlot::Mode::kReplace);
        ZTHandle made = nullptr;
        ASSERT_EQ(ZTOpenSession(parent.get(), 0x5A430001u, &made), ZT_OK);
        opened.Adopt(made);
    }
    {
        // Released first, as from inside a callback: the session keeps it.
        const CallbackScope inside;
        manager.Release(table.ReleaseDeadline());
    }
    EXPECT_EQ(ZTSim_OutstandingCount(), 2u);
    session.Release(table.ReleaseDeadline());
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

TEST_F(HandleSlotTest, NothingIsMadeUnderAParentBeingReleased) {
    MakeManager(manager);
    HandleRef parent = manager.Acquire();
    {
        const CallbackScope inside;
        manager.Release(table.ReleaseDeadline());
    }
    EXPECT_FALSE(session.Open(parent, HandleSlot::Mode::kReplace).held());
    EXPECT_FALSE(session.occupied());
    parent.Reset();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
}

TEST_F(HandleSlotTest, FailedMakeLeavesTheSlotEmptyAndRefusalKeepsTheFirst) {
    {
        HandleRef opened = manager.Open(HandleRef(), HandleSlot::Mode::kIfEmpty);
        EXPECT_TRUE(manager.occupied()) << "a callback during the making finds its record";
        EXPECT_TRUE(manager.Acquire().held());
        opened.Adopt(nullptr);
        EXPECT_FALSE(manager.occupied());
    }
    MakeManager(manager);
    const ZTHandle first = manager.load();
    EXPECT_FALSE(manager.Open(HandleRef(), HandleSlot::Mode::kIfEmpty).held());
    EXPECT_EQ(manager.load(), first);
    MakeManager(manager);  // kReplace: the first one goes, unused, at once
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Free), 1u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 1u);
    manager.Release(table.ReleaseDeadline());
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Free), 2u);
}

}  // namespace
}  // namespace kq::test
