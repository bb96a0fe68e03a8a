// ztprobe's checks on bytes, its command line, and whole probes of the
// simulated Camera SDK linked in, of each kind and with injected faults.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "checks.h"
#include "options.h"
#include "probe.h"
#include "zt_sim.h"

namespace {

using ztprobe::CheckFrame;
using ztprobe::FrameFacts;
using ztprobe::Status;

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A bitmap file image of `width` x `height` with rows `stride` bytes apart.
std::vector<std::uint8_t> Bitmap(std::int32_t width, std::int32_t height, std::uint32_t stride) {
    const std::uint32_t rows = static_cast<std::uint32_t>(height < 0 ? -height : height);
    std::vector<std::uint8_t> bytes(54 + rows * stride, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    PutU32(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
    PutU32(bytes, 10, 54);
    PutU32(bytes, 14, 40);
    PutU32(bytes, 18, static_cast<std::uint32_t>(width));
    PutU32(bytes, 22, static_cast<std::uint32_t>(height));
    bytes[26] = 1;
    bytes[28] = 24;
    PutU32(bytes, 34, rows * stride);
    return bytes;
}

std::string Check(const std::vector<std::uint8_t>& bytes, FrameFacts* facts) {
    return CheckFrame(bytes.data(), static_cast<std::int32_t>(bytes.size()), facts);
}

TEST(ProbeChecks, FramesWithPackedOrPaddedRowsAndAgreeingFieldsPass) {
    FrameFacts facts;
    EXPECT_EQ(Check(Bitmap(5, 3, 16), &facts), "");
    EXPECT_TRUE(facts.padded);
    EXPECT_EQ(Check(Bitmap(5, -3, 15), &facts), "");
    EXPECT_FALSE(facts.padded);
    EXPECT_EQ(facts.height, -3);
}

TEST(ProbeChecks, FramesWhoseFieldsDisagreeWithTheByteCountFail) {
    FrameFacts facts;
    std::vector<std::uint8_t> frame = Bitmap(5, 3, 16);
    PutU32(frame, 2, 999);
    EXPECT_NE(Check(frame, &facts).find("bfSize 999"), std::string::npos);
    frame = Bitmap(5, 3, 16);
    PutU32(frame, 10, static_cast<std::uint32_t>(frame.size() + 1));
    EXPECT_NE(Check(frame, &facts).find("bfOffBits"), std::string::npos);
    frame = Bitmap(5, 3, 16);
    PutU32(frame, 34, 47);
    EXPECT_NE(Check(frame, &facts).find("biSizeImage 47"), std::string::npos);
    frame = Bitmap(5, 3, 16);
    frame[28] = 32;
    EXPECT_NE(Check(frame, &facts).find("not 24"), std::string::npos);
    frame = Bitmap(5, 3, 17);  // neither packed (15) nor padded (16)
    EXPECT_NE(Check(frame, &facts).find("neither packed nor padded"), std::string::npos);
    EXPECT_NE(CheckFrame(frame.data(), 53, &facts).find("shorter"), std::string::npos);
    EXPECT_NE(CheckFrame(nullptr, 100, &facts).find("null"), std::string::npos);
}

TEST(ProbeChecks, CameraListNamesAreReadWithinTheRecord) {
    std::vector<ZTCameraRecord> list(2);
    std::memset(list.data(), 0, list.size() * sizeof(ZTCameraRecord));
    list[0].cameraId = 1;
    for (std::uint32_t i = 0; i < ZT_CAMERA_NAME_UNITS; ++i) list[0].name[i] = 'A';
    list[1].cameraId = 2;
    list[1].name[0] = 0x00E9;
    std::vector<ztprobe::CameraFacts> cameras;
    EXPECT_EQ(ztprobe::CheckCameraList(list.data(), 2, &cameras), "");
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_FALSE(cameras[0].terminated);
    EXPECT_EQ(cameras[0].name.size(), ZT_CAMERA_NAME_UNITS);
    EXPECT_EQ(cameras[1].name, "\xC3\xA9");
    list[1].cameraId = 1;
    EXPECT_NE(ztprobe::CheckCameraList(list.data(), 2, &cameras).find("repeats"), std::string::npos);
    EXPECT_NE(ztprobe::CheckCameraList(nullptr, 1000, &cameras).find("more than"), std::string::npos);
}

TEST(ProbeChecks, DescriptorsNamesAndListsHaveSaneBounds) {
    std::int32_t values[3] = {1, 2, 3};
    ZTPropertyDesc desc{values, 0, 3};
    bool listed = false;
    EXPECT_EQ(ztprobe::CheckDescriptor(&desc, &listed, 2), "");
    EXPECT_TRUE(listed);
    desc.count = 100000;
    EXPECT_NE(ztprobe::CheckDescriptor(&desc, &listed, 2), "");
    desc.count = 1;
    desc.values = nullptr;
    EXPECT_NE(ztprobe::CheckDescriptor(&desc, &listed, 2), "");
    std::int32_t ids[3] = {4, 5, 4};
    EXPECT_NE(ztprobe::CheckPropertyList(ids, 3).find("twice"), std::string::npos);
    EXPECT_NE(ztprobe::CheckPropertyList(ids, -1), "");
    std::string name;
    EXPECT_EQ(ztprobe::CheckPropertyName("ISO", &name), "");
    EXPECT_EQ(name, "ISO");
    const std::string longName(300, 'x');
    EXPECT_NE(ztprobe::CheckPropertyName(longName.c_str(), &name), "");
}

TEST(ProbeCommandLine, OptionsPathAndUsageErrors) {
    ztprobe::CommandLine line = ztprobe::ParseCommandLine({"--json", "--no-shoot", "x.so"});
    EXPECT_TRUE(line.json);
    EXPECT_FALSE(line.shoot);
    EXPECT_EQ(line.path, "x.so");
    EXPECT_EQ(line.error, "");
    EXPECT_NE(ztprobe::ParseCommandLine({"--frob"}).error, "");
    EXPECT_NE(ztprobe::ParseCommandLine({"a", "b"}).error, "");
    EXPECT_EQ(ztprobe::ParseCommandLine({"--", "--odd-name"}).path, "--odd-name");
}

// Whole probes of the simulator linked into this program.
class ProbeOfSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        ZTSim_Reset();
        ZTSim_SetPreviewRate(200);  // frames come quickly; the probe waits for them, never for a time
        ZTSim_SetShotDelays(ZTSIM_DELAY_AT_ONCE, 1);
#define ZTPROBE_TEST_TAKE(name) api.name = &::name;
        ZT_FUNCTION_LIST(ZTPROBE_TEST_TAKE)
#undef ZTPROBE_TEST_TAKE
        // A callback that lingers returns as soon as ZTFree has: with a
        // Camera SDK that does not wait, long lingers cost nothing and leave
        // the probe all the time it needs to call ZTFree meanwhile.
        options.freeCycles = 8;
        options.lingerMs = 5000;
        options.cycleLingerMs = 5000;
    }
    void TearDown() override { ZTSim_Reset(); }

    const ztprobe::Verdict& Find(const ztprobe::ProbeResult& result, const std::string& key) {
        for (const ztprobe::Verdict& verdict : result.verdicts) {
            if (verdict.key == key) return verdict;
        }
        static const ztprobe::Verdict none;
        ADD_FAILURE() << "no verdict " << key;
        return none;
    }

    ztkit::ZtApi api;
    ztprobe::ProbeOptions options;
};

TEST_F(ProbeOfSimulator, AFreeThatDoesNotWaitIsACautionAndEverythingElseHolds) {
    const ztprobe::ProbeResult result = ztprobe::RunProbe(api, options);
    EXPECT_EQ(ztprobe::ExitStatus(result), 0) << ztprobe::HumanReport(result);
    EXPECT_TRUE(result.freeWaitsMeasured);
    EXPECT_FALSE(result.freeWaitsForCallbacks);
    EXPECT_GT(result.callbacksRunningAfterFree, 0u);
    EXPECT_EQ(result.callbacksAfterFree, 0u);
    EXPECT_EQ(result.previewCallbackThreads, 1);
    EXPECT_EQ(Find(result, "callbacks").status, Status::Caution);
    EXPECT_NE(Find(result, "callbacks").meaning.find("keep it loaded until exit"), std::string::npos);
    for (const char* key : {"functions", "lifecycle", "session", "frames", "properties", "shot"}) {
        EXPECT_EQ(Find(result, key).status, Status::Holds) << key << ": " << Find(result, key).detail;
    }
    EXPECT_TRUE(result.shotFileIsJpeg);
    EXPECT_TRUE(result.failures.empty());
    EXPECT_EQ(result.latencies.at("ZTShoot").calls, 1u);
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);  // everything the probe was handed is released
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

TEST_F(ProbeOfSimulator, AWaitingFreeAndSeveralPreviewThreadsHold) {
    ZTSim_SetFreeWaitsForCallbacks(1);
    ZTSim_SetCallbackThreads(2);
    options.shoot = false;
    // Here every ZTFree waits out the linger: short ones.
    options.lingerMs = 100;
    options.cycleLingerMs = 10;
    const ztprobe::ProbeResult result = ztprobe::RunProbe(api, options);
    EXPECT_EQ(ztprobe::ExitStatus(result), 0) << ztprobe::HumanReport(result);
    EXPECT_TRUE(result.freeWaitsForCallbacks);
    EXPECT_EQ(result.callbacksAfterFree + result.callbacksRunningAfterFree, 0u);
    EXPECT_EQ(result.previewCallbackThreads, 2);
    EXPECT_EQ(Find(result, "callbacks").status, Status::Holds);
    EXPECT_EQ(Find(result, "shot").status, Status::Skipped);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_Shoot), 0u);
    const std::string json = ztprobe::JsonReport(result);
    EXPECT_NE(json.find("\"free_waits_for_callbacks\": true"), std::string::npos);
    EXPECT_NE(json.find("\"preview_callback_threads\": 2"), std::string::npos);
}

TEST_F(ProbeOfSimulator, InjectedFaultsFailTheirVerdictAndAreListed) {
    ZTSim_SetFault(ZTSIM_FN_DownloadFile, 0x20000009u, -1);
    std::int32_t values[2] = {1, 2};
    ZTSim_SetSupportedValues(0, values, 2);
    ZTSim_SetDescriptorCount(0, 1, 1000000);
    const ztprobe::ProbeResult result = ztprobe::RunProbe(api, options);
    EXPECT_EQ(ztprobe::ExitStatus(result), 1);
    EXPECT_EQ(Find(result, "shot").status, Status::Fails);
    EXPECT_EQ(Find(result, "properties").status, Status::Fails);
    EXPECT_NE(Find(result, "properties").detail.find("1000000 values"), std::string::npos);
    ASSERT_FALSE(result.failures.empty());
    EXPECT_EQ(result.failures.back().function, "ZTDownloadFile");
    EXPECT_EQ(result.failures.back().code, 0x20000009u);
    EXPECT_NE(ztprobe::JsonReport(result).find("{\"function\": \"ZTDownloadFile\", \"code\": \"0x20000009\"}"),
              std::string::npos);
}

TEST_F(ProbeOfSimulator, AMissingFunctionOrNoCameraEndsTheProbeEarly) {
    ztkit::ZtApi lacking = api;
    lacking.ZTUpdateAEAF = nullptr;
    ztprobe::ProbeResult result = ztprobe::RunProbe(lacking, options);
    EXPECT_EQ(ztprobe::ExitStatus(result), 1);
    EXPECT_EQ(result.missing, std::vector<std::string>{"ZTUpdateAEAF"});
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 0u);
    ZTSim_SetCameras(0, nullptr, nullptr);
    result = ztprobe::RunProbe(api, options);
    EXPECT_EQ(ztprobe::ExitStatus(result), 3);
    EXPECT_EQ(ZTSim_IsInitialized(), 0);
}

}  // namespace

namespace {

// Lines as the recording Camera SDK writes them, from a camera in the field.
const char kFieldTrace[] =
    "404 t=7 ZTGetCameraList(0x1) -> 0x00000000 list=0x2 count=1 [0x12345678 \"Field \\\"Cam\\\"\"] [4 us]\n"
    "900 t=7 ZTGetPreviewFrame(0x3) -> 0x00000000 frame=0x4 size=230454 width=320 height=-240 [30 us]\n"
    "950 t=7 ZTGetPropertyList(0x3) -> 0x00000000 ids=0x5 count=3 [0 3 11] [4 us]\n"
    "951 t=7 ZTGetPropertyDesc(0x3, id=3) -> 0x00000000 desc=0x6 count=2 [1 2] [2 us]\n"
    "952 t=7 ZTGetPropertyData(0x3, id=3) -> 0x00000000 value=2 [1 us]\n"
    "953 t=7 ZTGetPropertyData(0x3, id=0) -> 0x20000001 [1 us]\n"
    "954 t=7 ZTGetPropertyDesc(0x3, id=11) -> 0x00000000 desc=0x7 count=90 [1 2 3 ...] [2 us]\n"
    "960 t=7 ZTGetMaximumZoom(0x3) -> 0x00000000 maximum=42 [1 us]\n"
    "961 t=7 ZTGetZoom(0x3) -> 0x00000000 position=7 [1 us]\n"
    "962 t=9 callback NewPreviewFrame #6() [3 us]\n";

TEST_F(ProbeOfSimulator, TheCameraOfAFieldTraceIsWhatTheSimulatorThenOffers) {
    const std::int32_t propertyElevenBefore = ZTSim_PropertyValue(11);
    EXPECT_EQ(ZTSim_LoadTraceCamera(kFieldTrace, sizeof kFieldTrace - 1), 7u);
    EXPECT_EQ(ZTSim_PropertyValue(3), 2);
    EXPECT_EQ(ZTSim_PropertyValue(11), propertyElevenBefore);  // its list was cut: kept as it was
    options.shoot = false;
    const ztprobe::ProbeResult result = ztprobe::RunProbe(api, options);
    ASSERT_EQ(result.cameras.size(), 1u) << ztprobe::HumanReport(result);
    EXPECT_EQ(result.cameras[0].id, 0x12345678u);
    EXPECT_EQ(result.cameras[0].name, "Field \"Cam\"");
    EXPECT_EQ(result.propertyCount, 3);
    EXPECT_EQ(result.maxZoom, 42);
    EXPECT_EQ(result.frame.width, 320);
    EXPECT_EQ(Find(result, "properties").status, Status::Holds) << Find(result, "properties").detail;
    EXPECT_NE(Find(result, "properties").detail.find("position 7"), std::string::npos);
}

}  // namespace
