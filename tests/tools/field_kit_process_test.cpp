// The two tools as a user runs them: ztprobe against the simulated Camera
// SDK of each kind and with a failure injected through the environment, and
// a capture by kqcam through the recording Camera SDK.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "tool_test_support.h"

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The report with its lines joined: each line break and the indent after it
// become one space.
std::string Unwrapped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n') {
            out += text[i];
            continue;
        }
        out += ' ';
        while (i + 1 < text.size() && text[i + 1] == ' ') ++i;
    }
    return out;
}

// The thread ("t=N") of the first trace line that holds `marker`.
std::string ThreadOf(const std::string& trace, const std::string& marker) {
    const std::size_t at = trace.find(marker);
    if (at == std::string::npos) return std::string();
    const std::size_t start = trace.rfind('\n', at);
    const std::size_t thread = trace.find(" t=", start == std::string::npos ? 0 : start);
    if (thread == std::string::npos || thread > at) return std::string();
    return trace.substr(thread + 3, trace.find(' ', thread + 3) - thread - 3);
}

TEST(FieldKitProcess, ProbeReportsBothKindsOfSimulatorAFailureAndNoCamera) {
    const std::string folder = tooltest::WorkFolder("probe");
    const std::string sim = "\"" + tooltest::SimulatorLibrary() + "\"";
    const std::string probe = tooltest::ProbeProgram();

    tooltest::Run run = tooltest::RunCommand(probe, "--no-shoot " + sim, folder, {});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Has(Unwrapped(run.out), "ZTFree does not wait for callbacks in flight: unloading KQSDK right after "
                             "KQ_FinishSDK can crash; keep it loaded until exit"))
        << run.out;
    std::printf("%s", run.out.c_str());  // the report, for the log

    run = tooltest::RunCommand(probe, "--json " + sim, folder,
                               {{"ZTSIM_FREE_WAITS", "1"}, {"ZTSIM_CALLBACK_THREADS", "3"}});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "\"free_waits_for_callbacks\": true")) << run.out;
    EXPECT_TRUE(Has(run.out, "\"callbacks_after_free\": 0,")) << run.out;
    EXPECT_TRUE(Has(run.out, "\"preview_callback_threads\": 3,")) << run.out;
    EXPECT_TRUE(Has(run.out, "\"failures\": []")) << run.out;
    EXPECT_TRUE(Has(run.out, "{\"check\": \"shot\", \"status\": \"holds\"")) << run.out;

    run = tooltest::RunCommand(probe, "--json --no-shoot " + sim, folder,
                               {{"ZTSIM_FAIL", "GetPropertyList:0x20000001"}});
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(Has(run.out, "{\"function\": \"ZTGetPropertyList\", \"code\": \"0x20000001\"}")) << run.out;
    EXPECT_TRUE(Has(run.out, "{\"check\": \"properties\", \"status\": \"fails\"")) << run.out;

    run = tooltest::RunCommand(probe, sim, folder, {{"ZTSIM_CAMERAS", "0"}});
    EXPECT_EQ(run.exitCode, 3) << run.out << run.err;
    run = tooltest::RunCommand(probe, "--frobnicate", folder, {});
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
}

TEST(FieldKitProcess, CaptureThroughTheRecorderGivesAWholePictureAndATraceOfTheShot) {
    const std::string folder = tooltest::WorkFolder("recorder");
    std::map<std::string, std::string> env = {
        {"ZTRECORD_SDK", tooltest::SimulatorLibrary()}, {"ZTRECORD_OUT", folder + "trace.log"}, {"XDG_STATE_HOME", folder}};
#if defined(_WIN32)
    // Windows finds the Camera SDK in the program's folder: the recorder
    // goes there with kqcam and KQSDK.dll.
    ASSERT_TRUE(tooltest::CopyBytes(tooltest::KqcamProgram(), folder + "kqcam.exe"));
    ASSERT_TRUE(tooltest::CopyBytes(tooltest::KqsdkLibrary(), folder + "KQSDK.dll"));
    ASSERT_TRUE(tooltest::CopyBytes(tooltest::RecorderLibrary(), folder + "ZTSDK_32.dll"));
    const std::string program = folder + "kqcam.exe";
#else
    // The bridge finds the Camera SDK beside itself unless told otherwise.
    env["LD_LIBRARY_PATH"] = tooltest::RecorderFolder();
    const std::string program = tooltest::KqcamProgram();
#endif
    const tooltest::Run run = tooltest::RunCommand(
        program, "--capture-image-and-download --filename picture.jpg", folder, env);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string picture = tooltest::ReadFile(folder + "picture.jpg");
    ASSERT_GT(picture.size(), 4u);
    EXPECT_EQ(picture.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(picture.substr(picture.size() - 2), "\xFF\xD9");

    const std::string trace = tooltest::ReadFile(folder + "trace.log");
    std::printf("%s", trace.c_str());  // the trace, for the log
    EXPECT_TRUE(Has(trace, "ztrecord: trace of the Camera SDK")) << trace;
    // The shot is asked for on the caller's thread; the download (from the
    // shot-completed callback) and its callback come on the Camera SDK's.
    const std::string shoot = ThreadOf(trace, " ZTShoot(");
    const std::string download = ThreadOf(trace, " ZTDownloadFile(");
    const std::string completed = ThreadOf(trace, " callback DownloadCompleted #");
    EXPECT_NE(shoot, "") << trace;
    EXPECT_NE(download, "") << trace;
    EXPECT_EQ(ThreadOf(trace, " callback ShootCompleted #"), download) << trace;
    EXPECT_EQ(completed, download) << trace;
    EXPECT_NE(shoot, completed) << trace;
    EXPECT_TRUE(Has(trace, "path=\"")) << trace;
    EXPECT_TRUE(Has(trace, "ztrecord: unload after ")) << trace;
    EXPECT_TRUE(Has(trace, "; 0 lines not written")) << trace;
}

}  // namespace
