// The checks every export makes before its work: pointers, sizes and the
// two kinds of camera handle check, in their order.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <new>
#include <stdexcept>

#include "api/export_guard.h"
#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

constexpr std::uint32_t kCurrent = 0x1234;
constexpr std::uint32_t kOther = 0x9999;

std::uint32_t KQ_STDCALL IgnoreEvent(std::uint32_t, void*, const KQEventRecord*) { return 0; }
std::uint32_t KQ_STDCALL IgnoreData(std::uint32_t, std::uint32_t, void*, const KQTransferProgress*) {
    return 0;
}
std::uint32_t KQ_STDCALL IgnoreFrame(std::uint32_t, void*, std::uint32_t, const std::uint8_t*) {
    return 0;
}

struct HandleCheckCase {
    const char* name;
    std::function<KQResult(std::uint32_t camera)> call;
    KQResult whileConnected;
    KQResult whileDisconnected;
};

class HandleCheckTest : public BridgeTest, public ::testing::WithParamInterface<HandleCheckCase> {};

TEST_P(HandleCheckTest, WrongHandleIsRefusedAccordingToTheCheck) {
    state.cameraHandle = kCurrent;
    state.connected = 1;
    EXPECT_EQ(GetParam().call(kOther), GetParam().whileConnected);
    state.connected = 0;
    EXPECT_EQ(GetParam().call(kOther), GetParam().whileDisconnected);
}

std::uint32_t sizeValue = 100;
std::uint8_t buffer[100];

INSTANTIATE_TEST_SUITE_P(
    Exports, HandleCheckTest,
    ::testing::Values(
        HandleCheckCase{"Release", [](std::uint32_t c) { return KQ_RC_Release(c); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"DoAeAfAwb", [](std::uint32_t c) { return KQ_RC_DoAeAfAwb(c, 0); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"InitiateReleaseControl",
                        [](std::uint32_t c) { return KQ_InitiateReleaseControl(c); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"GetReleasedDataBeforeNullCallback",
                        [](std::uint32_t c) { return KQ_RC_GetReleasedData(c, 0, 0xC008, 0, nullptr, nullptr); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"StartViewFinderBeforeNullCallback",
                        [](std::uint32_t c) { return KQ_RC_StartViewFinder(c, nullptr, nullptr); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"GetDevicePropValueBeforeNullPointers",
                        [](std::uint32_t c) { return KQ_GetDevicePropValue(c, 0xD006, nullptr, nullptr); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"SetDevicePropValueBeforeZeroSize",
                        [](std::uint32_t c) { return KQ_SetDevicePropValue(c, 0xD006, 0, nullptr); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"GetDevicePropDesc",
                        [](std::uint32_t c) { return KQ_GetDevicePropDesc(c, 0xD006, &sizeValue, buffer); },
                        RESULT_WRONG_CAMERA, RESULT_NOT_CONNECTED},
        HandleCheckCase{"DisconnectCamera", [](std::uint32_t c) { return KQ_DisconnectCamera(c); },
                        RESULT_WRONG_CAMERA, RESULT_WRONG_CAMERA},
        HandleCheckCase{"SetEventCallBack",
                        [](std::uint32_t c) { return KQ_SetEventCallBack(c, nullptr, IgnoreEvent); },
                        RESULT_WRONG_CAMERA, RESULT_WRONG_CAMERA},
        HandleCheckCase{"ClearEventCallBack", [](std::uint32_t c) { return KQ_ClearEventCallBack(c); },
                        RESULT_WRONG_CAMERA, RESULT_WRONG_CAMERA},
        HandleCheckCase{"GetDeviceInfoAcceptsAnyHandle",
                        [](std::uint32_t c) { return KQ_GetDeviceInfo(c, &sizeValue, buffer); },
                        RESULT_OK, RESULT_OK},
        HandleCheckCase{"TermViewFinderAcceptsAnyHandle",
                        [](std::uint32_t c) { return KQ_RC_TermViewFinder(c); }, RESULT_OK, RESULT_OK},
        HandleCheckCase{"TerminateReleaseControlAcceptsAnyHandle",
                        [](std::uint32_t c) { return KQ_TerminateReleaseControl(c); }, RESULT_OK,
                        RESULT_OK}),
    [](const ::testing::TestParamInfo<HandleCheckCase>& param) { return param.param.name; });

class ArgumentCheckTest : public BridgeTest {};

TEST_F(ArgumentCheckTest, DeviceListNeedsBothPointersAnd1111Bytes) {
    KQDeviceList list;
    std::uint32_t size = 1111;
    EXPECT_EQ(KQ_GetDeviceList(nullptr, &list), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_GetDeviceList(&size, nullptr), RESULT_NULL_POINTER);
    size = 1110;
    std::memset(&list, 0xAB, sizeof list);
    EXPECT_EQ(KQ_GetDeviceList(&size, &list), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(list.count, 0xABABABABu);
}

TEST_F(ArgumentCheckTest, CreateCameraObjectNeedsBothPointers) {
    KQDeviceListEntry entry{};
    std::uint32_t handle = 0;
    EXPECT_EQ(KQ_CreateCameraObject(nullptr, &handle), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_CreateCameraObject(&entry, nullptr), RESULT_NULL_POINTER);
}

TEST_F(ArgumentCheckTest, PointerChecksComeBeforeTheHandleCheckOnlyForDescriptors) {
    state.cameraHandle = kCurrent;
    std::uint32_t size = 100;
    EXPECT_EQ(KQ_GetDevicePropDesc(kOther, 0xD006, nullptr, buffer), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_GetDevicePropDesc(kOther, 0xD006, &size, nullptr), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQ_GetDevicePropValue(kCurrent, 0xD006, nullptr, buffer), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_GetDevicePropValue(kCurrent, 0xD006, &size, nullptr), RESULT_BUFFER_TOO_SMALL);
    EXPECT_EQ(KQ_GetDeviceInfo(kOther, nullptr, buffer), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_GetDeviceInfo(kOther, &size, nullptr), RESULT_BUFFER_TOO_SMALL);
}

TEST_F(ArgumentCheckTest, SetValueWithNoBytesIsANullPointer) {
    const std::uint8_t value = 1;
    EXPECT_EQ(KQ_SetDevicePropValue(0, 0xD006, 0, &value), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_SetDevicePropValue(0, 0xD006, 1, nullptr), RESULT_NULL_POINTER);
}

TEST_F(ArgumentCheckTest, NullClientCallbacksAreRefused) {
    EXPECT_EQ(KQ_RC_GetReleasedData(0, 0, 0xC008, 0, nullptr, nullptr), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_RC_StartViewFinder(0, nullptr, nullptr), RESULT_NULL_POINTER);
    EXPECT_EQ(KQ_RC_GetReleasedData(0, 0, 0xC008, 0, nullptr, IgnoreData), RESULT_OK);
    EXPECT_EQ(KQ_RC_StartViewFinder(0, nullptr, IgnoreFrame), RESULT_OK);
}

TEST_F(ArgumentCheckTest, InertExportsTouchNothingAndLogNothing) {
    std::uint32_t first = 0xCAFEBABE, second = 0xFEEDFACE;
    EXPECT_EQ(KQ_GetDllsVersion(&first, &second), RESULT_OK);
    EXPECT_EQ(KQ_GetFunctions(1), RESULT_OK);
    EXPECT_EQ(KQ_RC_FocusLock(1), RESULT_OK);
    EXPECT_EQ(KQ_RC_FocusUnlock(1), RESULT_OK);
    EXPECT_EQ(KQ_RC_GetChangedReleaseParamesList(1, &first, &second), RESULT_OK);
    EXPECT_EQ(first, 0xCAFEBABEu);
    EXPECT_EQ(second, 0xFEEDFACEu);
    EXPECT_TRUE(log.Lines().empty());
}

TEST_F(ArgumentCheckTest, QuietExportsLogTheirNames) {
    std::uint32_t shots = 0xCAFEBABE;
    EXPECT_EQ(KQ_RC_GetNumAvailableShot(1, &shots), RESULT_OK);
    EXPECT_EQ(KQ_DestroyCameraObject(5), RESULT_OK);
    EXPECT_EQ(shots, 0xCAFEBABEu);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_GetNumAvailableShot",
                                                     "INF KQ_DestroyCameraObject"}));
}

TEST_F(ArgumentCheckTest, DescriptorAndValueWriteLogTheCodeButTheReadDoesNot) {
    std::uint32_t size = 100;
    KQ_GetDevicePropDesc(0, 0x1234D01C, &size, buffer);
    KQ_GetDevicePropValue(0, 0xD006, &size, buffer);
    KQ_SetDevicePropValue(0, 0xD02A, 0, nullptr);
    std::vector<std::string> entries;
    for (const std::string& line : log.Lines()) {
        if (line.rfind("INF KQ_", 0) == 0) entries.push_back(line);
    }
    const std::vector<std::string> expected = {"INF KQ_GetDevicePropDesc begin 0xD01C",
                                               "INF KQ_GetDevicePropDesc end",
                                               "INF KQ_GetDevicePropValue",
                                               "INF KQ_SetDevicePropValue 0xD02A"};
    EXPECT_EQ(entries, expected);
}

class EventRegistrationTest : public BridgeTest {};

TEST_F(EventRegistrationTest, SecondRegistrationIsRefusedUntilCleared) {
    EXPECT_EQ(KQ_SetEventCallBack(0, nullptr, IgnoreEvent), RESULT_OK);
    EXPECT_EQ(KQ_SetEventCallBack(0, nullptr, IgnoreEvent), RESULT_CALLBACK_IN_USE);
    EXPECT_EQ(KQ_ClearEventCallBack(0), RESULT_OK);
    EXPECT_EQ(KQ_SetEventCallBack(0, nullptr, IgnoreEvent), RESULT_OK);
}

TEST_F(EventRegistrationTest, NullCallbackRegistersNothing) {
    int context = 0;
    EXPECT_EQ(KQ_SetEventCallBack(0, &context, nullptr), RESULT_OK);
    EXPECT_EQ(state.eventCallback.callback(), nullptr);
    EXPECT_EQ(KQ_SetEventCallBack(0, &context, IgnoreEvent), RESULT_OK);
    EXPECT_EQ(state.eventCallback.context(), &context);
}

TEST_F(EventRegistrationTest, WrongHandleLeavesTheRegistration) {
    state.cameraHandle = kCurrent;
    ASSERT_EQ(KQ_SetEventCallBack(kCurrent, nullptr, IgnoreEvent), RESULT_OK);
    EXPECT_EQ(KQ_DisconnectCamera(kOther), RESULT_WRONG_CAMERA);
    EXPECT_EQ(KQ_ClearEventCallBack(kOther), RESULT_WRONG_CAMERA);
    EXPECT_EQ(state.eventCallback.callback(), &IgnoreEvent);
}

TEST_F(EventRegistrationTest, WrongCameraInsideTheOperationIsLoggedAndRefused) {
    state.cameraHandle = kCurrent;
    EXPECT_EQ(state.SetEventsCallback(kOther, nullptr, IgnoreEvent), 0);
    EXPECT_EQ(state.eventCallback.callback(), nullptr);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF SetEventsCallback", "ERR Wrong camera"}));
}

// Whatever a client callback or the runtime throws inside an export ends the
// call with the result the export gives when its work fails, and an ERR
// line names the export; nothing unwinds into the client.
class ExportGuardTest : public BridgeTest {};

TEST_F(ExportGuardTest, ExceptionEndsTheCallWithItsFailureResultAndALine) {
    EXPECT_EQ(Guarded("KQ_ConnectCamera", RESULT_CONNECT_FAILED,
                      []() -> KQResult { throw std::runtime_error("client"); }),
              RESULT_CONNECT_FAILED);
    EXPECT_EQ(Guarded("KQ_GetDevicePropValue", RESULT_DEVICE_ERROR,
                      []() -> KQResult { throw std::bad_alloc(); }),
              RESULT_DEVICE_ERROR);
    EXPECT_EQ(Guarded("KQ_RC_GetReleasedData", RESULT_OK, []() -> KQResult { throw 7; }),
              RESULT_OK);
    EXPECT_EQ(Guarded("KQ_RC_Release", RESULT_OK, [] { return RESULT_WRONG_CAMERA; }),
              RESULT_WRONG_CAMERA);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "ERR KQ_ConnectCamera: ended by an exception",
                               "ERR KQ_GetDevicePropValue: ended by an exception",
                               "ERR KQ_RC_GetReleasedData: ended by an exception"}));
}

}  // namespace
}  // namespace kq::test
