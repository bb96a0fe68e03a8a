// Shared by the property, dataset and zoom tests: a fixture that opens a
// session on the simulated camera through the exports, and byte helpers.
#ifndef KQSDK_TESTS_PROPS_TEST_SUPPORT_H
#define KQSDK_TESTS_PROPS_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/bridge_fixture.h"

namespace kq::test {

using Bytes = std::vector<std::uint8_t>;

class PropsSessionTest : public BridgeTest {
protected:
    // Starts the SDK and opens a session on the simulator's camera.
    void Connect() {
        ASSERT_EQ(KQ_StartSDK(), RESULT_OK);
        KQDeviceList list{};
        std::uint32_t size = sizeof list + 1;
        ASSERT_EQ(KQ_GetDeviceList(&size, &list), RESULT_OK);
        ASSERT_EQ(KQ_CreateCameraObject(&list.entry, &camera_), RESULT_OK);
        ASSERT_EQ(KQ_ConnectCamera(camera_), RESULT_OK);
        ASSERT_NE(state.session.load(), nullptr);
    }

    // KQ_GetDevicePropDesc into a buffer of `capacity` bytes filled with 0xCC;
    // the bytes the call reported as the dataset, or the whole buffer when it
    // failed.
    Bytes PropDesc(std::uint16_t code, std::uint32_t capacity = 256,
                   KQResult expected = RESULT_OK) {
        Bytes buffer(capacity, 0xCC);
        std::uint32_t size = capacity;
        EXPECT_EQ(KQ_GetDevicePropDesc(camera_, code, &size, buffer.data()), expected);
        if (expected == RESULT_OK) buffer.resize(size);
        return buffer;
    }

    Bytes DeviceInfo(std::uint32_t capacity = 256, KQResult expected = RESULT_OK) {
        Bytes buffer(capacity, 0xCC);
        std::uint32_t size = capacity;
        EXPECT_EQ(KQ_GetDeviceInfo(camera_, &size, buffer.data()), expected);
        if (expected == RESULT_OK) buffer.resize(size);
        return buffer;
    }

    static void Offer(std::initializer_list<std::int32_t> ids) {
        const std::vector<std::int32_t> list(ids);
        ZTSim_SetOfferedProperties(list.data(), static_cast<std::uint32_t>(list.size()));
    }

    static void Supported(std::int32_t id, std::initializer_list<std::int32_t> values) {
        const std::vector<std::int32_t> list(values);
        ZTSim_SetSupportedValues(id, list.data(), static_cast<std::uint32_t>(list.size()));
    }

    bool Logged(const std::string& line) {
        const std::vector<std::string> lines = log.Lines();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    std::uint32_t camera_ = 0;
};

}  // namespace kq::test

#endif  // KQSDK_TESTS_PROPS_TEST_SUPPORT_H
