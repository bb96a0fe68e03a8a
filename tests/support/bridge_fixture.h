// Fixture for unit tests of the bridge core: a fresh BridgeState and
// simulator per test, fake Sleep and message box, the new log lines, and a
// check that the simulator saw no leak and no bad free.
#ifndef KQSDK_TESTS_BRIDGE_FIXTURE_H
#define KQSDK_TESTS_BRIDGE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/sdk_wrapper.h"
#include "kqsdk.h"
#include "zt_sim.h"

namespace kq::test {

// Messages of every line written to the log since the mark, without the
// "TAG time | " prefix and the line end, each prefixed by its tag and a blank
// ("INF KQ_StartSDK").
class LogReader {
public:
    void Mark();
    std::vector<std::string> Lines();  // "TAG message"
    std::vector<std::string> RawLines();

private:
    long offset_ = 0;
};

class BridgeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The calls of the fake Sleep and of the fake message box.
    static std::vector<std::uint32_t>& Sleeps();
    static std::vector<std::string>& MessageBoxes();

    // Expects the simulator to hold no outstanding handle and no bad free.
    static void ExpectSimulatorClean();

    // Puts a stand-in for a subscription into `slot` (a record without a
    // Camera SDK handle), so that a test can call the subscription's callback
    // directly, as the Camera SDK would while the subscription lives.
    static void StandInSubscription(HandleSlot& slot);

    CSDKWrapper& state = bridgeState;
    LogReader log;
};

}  // namespace kq::test

#endif  // KQSDK_TESTS_BRIDGE_FIXTURE_H
