// The exported surface of the built library, loaded by name: its exports,
// the stdcall convention of a client callback, load and unload with the
// Camera SDK's lifecycle, and the log file on disk.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>

#include "surface/library.h"
#include "zt_sim.h"

namespace kq::surface {
namespace {

std::string ReadLog() {
    std::ifstream file(LogPath(), std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class SurfaceTest : public ::testing::Test {
protected:
    void SetUp() override { ZTSim_Reset(); }
    void TearDown() override {
        ZTSim_WaitIdle();
        EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
        EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
    }
};

TEST_F(SurfaceTest, EveryExportResolvesByName) {
    Library library;
    ASSERT_TRUE(library.loaded());
    for (const char* name : kExportNames) EXPECT_NE(library.Symbol(name), nullptr) << name;
    EXPECT_EQ(library.Symbol("_KQ_StartSDK@0"), nullptr);
}

TEST_F(SurfaceTest, FocusExportsShareTheBodyOfGetFunctions) {
    Library library;
    ASSERT_TRUE(library.loaded());
    EXPECT_EQ(library.Symbol("KQ_RC_FocusLock"), library.Symbol("KQ_GetFunctions"));
    EXPECT_EQ(library.Symbol("KQ_RC_FocusUnlock"), library.Symbol("KQ_GetFunctions"));
}

#if defined(_WIN32)
TEST_F(SurfaceTest, OrdinalsFollowTheExportTable) {
    Library library;
    ASSERT_TRUE(library.loaded());
    for (unsigned i = 0; i < 26; ++i) {
        EXPECT_EQ(library.Ordinal(i + 1), library.Symbol(kExportNames[i])) << kExportNames[i];
    }
}
#endif

std::atomic<int> eventsSeen{0};
std::atomic<std::uint32_t> lastEventCode{0};
void* const kContext = reinterpret_cast<void*>(0x5EED);

// Called through the stdcall convention; a mismatch would corrupt the stack
// of the Camera SDK's thread after the third argument.
std::uint32_t KQ_STDCALL OnEvent(std::uint32_t camera, void* context, const KQEventRecord* record) {
    if (camera == 0 && context == kContext && record->length == 24) {
        lastEventCode = record->eventCode;
        ++eventsSeen;
    }
    return 0xFFFFFFFFu;
}

TEST_F(SurfaceTest, EventCallbackRoundTripsThroughStdcall) {
    Library library;
    ASSERT_TRUE(library.loaded());
    const Exports& kq = library.api();
    eventsSeen = 0;
    kq.StartSDK();
    ASSERT_EQ(kq.SetEventCallBack(0, kContext, OnEvent), RESULT_OK);
    ASSERT_EQ(ZTSim_RaiseCameraListChanged(0, 1), 1u);
    ASSERT_EQ(ZTSim_RaiseCameraListChanged(0, 1), 1u);
    ZTSim_WaitIdle();
    EXPECT_EQ(eventsSeen.load(), 2);
    EXPECT_EQ(lastEventCode.load(), kqCAL_SHUTDOWN);
    kq.FinishSDK();
}

TEST_F(SurfaceTest, UnloadAfterStartTerminatesTheCameraSdk) {
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        library.api().StartSDK();
        EXPECT_EQ(ZTSim_OutstandingCount(), 2u);
    }
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_TerminateSDK), 1u);
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_InitializeSDK), 1u);
}

TEST_F(SurfaceTest, UnloadAfterFinishOrWithoutStartDoesNotTerminate) {
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        library.api().StartSDK();
        library.api().FinishSDK();
    }
    { Library library; }
    EXPECT_EQ(ZTSim_CallCount(ZTSIM_FN_TerminateSDK), 0u);
}

TEST_F(SurfaceTest, LogHoldsTheRunUntilTheNextLoadEmptiesIt) {
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        library.api().StartSDK();
        library.api().FinishSDK();
    }
    const std::string first = ReadLog();
    EXPECT_NE(first.find("| KQ_StartSDK"), std::string::npos) << first;
    EXPECT_NE(first.find("| CleanUp 0"), std::string::npos) << first;
    EXPECT_NE(first.find("| CleanUp 1"), std::string::npos) << first;
#if defined(_WIN32)
    EXPECT_NE(first.find("| Init\r\n"), std::string::npos) << "text mode writes CR LF";
#endif
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        library.api().TerminateReleaseControl(0);
    }
    const std::string second = ReadLog();
    EXPECT_EQ(second.find("KQ_StartSDK"), std::string::npos) << second;
    EXPECT_NE(second.find("| KQ_TerminateReleaseControl"), std::string::npos) << second;
}

// A run that calls no export that logs: on POSIX the load itself empties
// the file, which then holds the unload's own lines; on Windows the file is
// opened only by a line written before the unload (the loader lock forbids
// opening it during load and unload), so the previous run's log stays.
TEST_F(SurfaceTest, LoadWithoutAnyLineEmptiesTheLogOnPosixOnly) {
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        library.api().TerminateReleaseControl(0);
    }
    const std::string previous = ReadLog();
    ASSERT_NE(previous.find("| KQ_TerminateReleaseControl"), std::string::npos) << previous;
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        EXPECT_EQ(library.api().GetDllsVersion(nullptr, nullptr), RESULT_OK);  // writes no line
    }
    const std::string after = ReadLog();
#if defined(_WIN32)
    EXPECT_EQ(after, previous);
#else
    EXPECT_EQ(after.find("KQ_TerminateReleaseControl"), std::string::npos) << after;
    EXPECT_NE(after.find("| CleanUp 1\n"), std::string::npos) << after;
#endif
}

}  // namespace
}  // namespace kq::surface
