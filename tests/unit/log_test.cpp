#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "log/trace.h"
#include "support/bridge_fixture.h"

namespace kq::test {
namespace {

std::string Format(int level, unsigned millisecond, const std::string& message) {
    char line[kLineBufferSize];
    const std::size_t length =
        FormatLogLine(line, level, 12, 7, 22, 50, 54, millisecond, message.c_str());
    EXPECT_EQ(length, std::strlen(line));
    return std::string(line, length);
}

TEST(LogLineFormat, HasTagTimeMillisecondsAndMessage) {
    EXPECT_EQ(Format(kLogInfo, 123, "KQ_StartSDK"), "INF 12-07 22:50:54.123 | KQ_StartSDK\n");
    EXPECT_EQ(Format(kLogError, 7, "x"), "ERR 12-07 22:50:54.007 | x\n");
    EXPECT_EQ(Format(kLogDebug, 0, ""), "DEB 12-07 22:50:54.000 | \n");
}

TEST(LogLineFormat, LongestMessageFillsTheLineExactly) {
    const std::string line = Format(kLogInfo, 1, std::string(233, 'a'));
    EXPECT_EQ(line.size(), 259u);
    EXPECT_EQ(line.back(), '\n');
}

TEST(LogLineFormat, LongerMessageIsCutAndKeepsItsLineEnd) {
    const std::string line = Format(kLogInfo, 1, std::string(5000, 'b'));
    EXPECT_EQ(line.size(), 259u);
    EXPECT_EQ(line.substr(25, 233), std::string(233, 'b'));
    EXPECT_EQ(line.back(), '\n');
}

class LogTest : public BridgeTest {};

TEST_F(LogTest, FormattingRoutinesWriteTheirFormats) {
    TraceCode("KQ_SetDevicePropValue", 0xD001);
    TraceCode("code", 0x5);
    TraceInt("CleanUp", -1);
    TraceIntInt("OnZoomCompleted Repeat Zoom", 40, 57);
    TraceStr("SetZoom", "User Zoom failed!");
    Tracef(nullptr, kLogInfo);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "INF KQ_SetDevicePropValue 0xD001", "INF code 0x0005",
                               "INF CleanUp -1", "INF OnZoomCompleted Repeat Zoom 40 57",
                               "INF SetZoom User Zoom failed!"}));
}

TEST_F(LogTest, RawLinesCarryTheTimeStampShape) {
    TraceCall("stamp");
    const std::vector<std::string> lines = log.RawLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string& line = lines[0];
    ASSERT_EQ(line.size(), 30u);
    EXPECT_EQ(line.substr(0, 4), "INF ");
    EXPECT_EQ(line[6], '-');
    EXPECT_EQ(line[9], ' ');
    EXPECT_EQ(line[18], '.');
    EXPECT_EQ(line.substr(22), " | stamp");
}

TEST_F(LogTest, PropertyWithoutNameIsLoggedByNumber) {
    TracePropertyOp("GetProperty", 12345);
    TraceSetProperty(12345, -7);
    EXPECT_EQ(log.Lines(),
              (std::vector<std::string>{"INF GetProperty 12345", "INF SetProperty 12345 -7"}));
}

// A Camera SDK that reports success but hands over no name (here a "fault"
// whose code is 0, so the call returns 0 and writes nothing) is logged by
// the id rather than by a null text.
TEST_F(LogTest, PropertyReportedWithANullNameIsLoggedByNumber) {
    ZTSim_SetFault(ZTSIM_FN_GetPropertyName, 0, -1);
    TracePropertyOp("EnumPropVals", 7);
    TraceSetProperty(7, 400);
    ZTSim_SetFault(ZTSIM_FN_GetPropertyName, 0, 0);
    TracePropertyOp("GetProperty", 7);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF EnumPropVals 7", "INF SetProperty 7 400",
                                                     "INF GetProperty IsoSpeed"}));
}

TEST_F(LogTest, ReportWithoutCodeShowsTheMessageAlone) {
    ReportSdkError(0, "ZTGetCameraManager failed");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ERR ZTGetCameraManager failed"}));
    EXPECT_EQ(MessageBoxes(), (std::vector<std::string>{"ZTGetCameraManager failed"}));
}

TEST_F(LogTest, ReportWithCodeAddsEightHexDigits) {
    ReportSdkError(2, "ZTOpenSession failed");
    ReportSdkError(0xDEADBEEF, "ZTShoot failed");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ERR ZTOpenSession failed: ErrorCode = 0x00000002",
                                                     "ERR ZTShoot failed: ErrorCode = 0xDEADBEEF"}));
    EXPECT_EQ(MessageBoxes().size(), 2u);
}

TEST_F(LogTest, ReportModesDecideLogAndMessageBox) {
    ReportSdkError(1, nullptr);
    SetErrorReportMode(0);
    ReportSdkError(1, "silent");
    SetErrorReportMode(2);
    ReportSdkError(1, "logged only");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ERR logged only: ErrorCode = 0x00000001"}));
    EXPECT_TRUE(MessageBoxes().empty());
}

TEST_F(LogTest, OverlongReportIsCutToItsBuffer) {
    ReportSdkError(3, std::string(1000, 'm').c_str());
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_EQ(MessageBoxes()[0].size(), kLineBufferSize - 1);
}

}  // namespace
}  // namespace kq::test
