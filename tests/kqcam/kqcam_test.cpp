// kqcam driven as a process against the simulated camera: output formats,
// exit codes and the files it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <regex>
#include <set>

#include "jpeg_check.h"
#include "kqcam_fixture.h"
#include "process.h"

namespace kqcam_test {
namespace {

class Kqcam : public KqcamFolderTest {};

// The value of "Key: value" lines of a text block, in order.
std::vector<std::string> Values(const std::string& text, const std::string& key) {
    std::vector<std::string> values;
    for (const std::string& line : Lines(text)) {
        if (line.compare(0, key.size() + 2, key + ": ") == 0) values.push_back(line.substr(key.size() + 2));
    }
    return values;
}

// ---- Command line ----

TEST_F(Kqcam, HelpListsEveryOptionWithExamples) {
    const Result r = Run({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    for (const char* option :
         {"--auto-detect", "--summary", "--list-config", "--get-config", "--set-config ",
          "--set-config-index", "--zoom", "--capture-image-and-download", "--filename",
          "--force-overwrite", "--interval", "--frames", "--hook-script", "--capture-preview",
          "--capture-movie", "--stdout", "--wait-event", "--json", "--debug", "Examples:",
          "--capture-tethered", "--wait-event-and-download", "Property names", "shutterspeed",
          "--set-config-value"}) {
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
    }
}

TEST_F(Kqcam, UsageErrorsGiveOneLineAndExitCode2) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"--no-such-option"},
        {"--zoom", "15"},
        {"--zoom", "seven"},
        {"--get-config", "0x1D01C"},
        {"--set-config", "0xD01C"},
        {"--set-config", "0xD01C=ISO100"},
        {"--capture-image-and-download", "--filename", "shot-%q.jpg"},
        {"--interval", "1"},
        {"--capture-movie", "--stdout", "--filename", "x.mjpg"},
        {"--wait-event", "soon"},
    };
    for (const auto& args : wrong) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, kExitUsage) << joined;
        EXPECT_EQ(Lines(r.err).size(), 1u) << joined << r.err;
        EXPECT_EQ(r.err.compare(0, 7, "kqcam: "), 0) << r.err;
    }
}

// ---- Camera list and connection ----

TEST_F(Kqcam, AutoDetectListsTheSimulatedCamera) {
    Result r = Run({"--auto-detect"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].compare(0, 5, "Model"), 0);
    EXPECT_TRUE(std::regex_match(lines[2], std::regex("ZT Virtual Camera +0x5A430001"))) << lines[2];

    r = Run({"--auto-detect", "--json"});
    EXPECT_EQ(r.out, "{\"model\":\"ZT Virtual Camera\",\"handle\":\"0x5A430001\"}\n");
}

TEST_F(Kqcam, AbsentCamera) {
    const std::map<std::string, std::string> none = {{"ZTSIM_CAMERAS", "0"}};
    Result r = Run({"--auto-detect"}, none);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Lines(r.out).size(), 2u) << "header only: " << r.out;

    for (const char* action : {"--summary", "--capture-image-and-download", "--capture-preview"}) {
        r = Run({action}, none);
        EXPECT_EQ(r.exitCode, kExitNoCamera) << action;
        EXPECT_EQ(r.err, "kqcam: no camera found (KQ_GetDeviceList lists none)\n") << action;
    }
    EXPECT_TRUE(ListFolder(dir_).empty());
}

TEST_F(Kqcam, RefusedConnectionNamesTheCallAndResult) {
    const Result r = Run({"--summary"}, {{"ZTSIM_FAIL", "OpenSession:0x2A"}});
    EXPECT_EQ(r.exitCode, kExitConnectFailed);
    EXPECT_NE(r.err.find("kqcam: KQ_ConnectCamera failed: RESULT_CONNECT_FAILED (0x00002003)\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

// ---- DeviceInfo and property descriptors ----

TEST_F(Kqcam, SummaryDecodesTheDeviceInfo) {
    Result r = Run({"--summary"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Model: ZT Virtual Camera\n"), std::string::npos);
    EXPECT_NE(r.out.find("Operations supported (6):\n  0x9008"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Events supported (2):\n  0xC008  kqPTP_FULL_VIEW_RELEASED\n"
                         "  0xC00A  kqPTP_CAMERA_ERROR\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("  0xD02A  Zoom\n  0xD03D  ZoomMaximum\nCapture formats (1):\n"
                         "  0x3801  EXIF/JPEG\nImage formats (1):\n  0x3801  EXIF/JPEG\n"),
              std::string::npos)
        << r.out;

    r = Run({"--summary", "--json"});
    ASSERT_EQ(Lines(r.out).size(), 1u);
    EXPECT_NE(r.out.find("\"events\":[{\"code\":\"0xC008\",\"code_dec\":49160,\"name\":"), std::string::npos) << r.out;
}

TEST_F(Kqcam, ListConfigPrintsOneParsableBlockPerProperty) {
    const Result summary = Run({"--summary"});
    const int properties = CountOf(summary.out, "\n  0xD0");
    ASSERT_GT(properties, 2);

    const Result r = Run({"--list-config"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(static_cast<int>(Values(r.out, "Property").size()), properties);
    EXPECT_EQ(CountOf(r.out, "\nEND\n"), properties);
    // Every block: the same keys in the same order, and as many Choice lines
    // as the block announces.
    std::size_t start = 0;
    for (std::size_t end = r.out.find("END\n", start); end != std::string::npos;
         start = end + 5, end = r.out.find("END\n", start)) {
        const std::string block = r.out.substr(start, end - start);
        const auto lines = Lines(block);
        ASSERT_GE(lines.size(), 7u) << block;
        const char* keys[] = {"Property: 0x", "Label: ", "Type: ", "Readonly: ", "Default: 0x", "Current: 0x", "Form: "};
        for (int k = 0; k < 7; ++k) EXPECT_EQ(lines[k].find(keys[k]), 0u) << block;
        const auto choices = Values(block, "Choices");
        if (!choices.empty()) {
            EXPECT_EQ(static_cast<int>(Values(block, "Choice").size()), std::stoi(choices[0])) << block;
        }
    }
    const Result json = Run({"--list-config", "--json"});
    EXPECT_EQ(static_cast<int>(Lines(json.out).size()), properties);
}

TEST_F(Kqcam, GetConfigShowsValuesInHexAndDecimal) {
    Result r = Run({"--get-config", "0xD02A"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Property: 0xD02A\nLabel: Zoom\nType: UINT16 0x0004\nReadonly: 0\n"
              "Default: 0x0000 (0)\nCurrent: 0x0000 (0)\nForm: range\nMinimum: 0x0000 (0)\n"
              "Maximum: 0x000E (14)\nStep: 0x0001 (1)\nEND\n\n");
    // The same code given in decimal.
    EXPECT_EQ(Run({"--get-config", "53290"}).out, r.out);

    r = Run({"--get-config", "0xD01C", "--json"});
    EXPECT_NE(r.out.find("\"code\":\"0xD01C\",\"code_dec\":53276,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"name\":\"IsoSpeed\",\"readonly\":false,\"type\":\"UINT16\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"choices\":[{\"hex\":\"0x0000\",\"index\":0,\"label\":\"Auto\",\"value\":0}"),
              std::string::npos) << r.out;
}

TEST_F(Kqcam, UnknownPropertyCodeIsAnOperationFailure) {
    const Result r = Run({"--get-config", "0xD0FF"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("property 0xD0FF is not offered by the camera"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"--set-config", "0xD0FF=1"}).exitCode, kExitOperationFailed);
}

TEST_F(Kqcam, SetConfigTakesRawValuesAndChoiceIndexes) {
    // One run: the simulated camera starts afresh with every process.
    Result r = Run({"--set-config", "0xD01C=0x58", "--get-config", "0xD01C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Set 0xD01C (IsoSpeed) to 0x0058 (88) ISO 400; current value 0x0058 (88) ISO 400\n"),
              std::string::npos) << r.out;
    EXPECT_EQ(Values(r.out, "Current"), std::vector<std::string>{"0x0058 (88) ISO 400"});

    // Index 1 of 0xD01C's choices, as --get-config lists them.
    const auto choices = Values(Run({"--get-config", "0xD01C"}).out, "Choice");
    ASSERT_GE(choices.size(), 2u);
    r = Run({"--set-config-index", "0xD01C=1", "--get-config", "0xD01C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Values(r.out, "Current"), std::vector<std::string>{choices[1].substr(2)});
}

// What the camera allows decides, so a value it refuses is an operation
// failure (exit 1), not a command-line mistake.
TEST_F(Kqcam, SetConfigRefusesWhatTheDescriptorDoesNotAllow) {
    Result r = Run({"--set-config", "0xD01C=0x51"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("0x0051 (81) is not allowed for 0xD01C (IsoSpeed); allowed: one of 0x0000 0x0048"),
              std::string::npos) << r.err;
    r = Run({"--set-config", "0xD03D=3"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("read-only"), std::string::npos);
    r = Run({"--set-config", "0xD006=0x102"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("does not fit the UINT8 value"), std::string::npos) << r.err;
    r = Run({"--set-config-index", "0xD01C=99"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("has choices 0 to"), std::string::npos) << r.err;
    EXPECT_EQ(Run({"--set-config-index", "0xD02A=1"}).exitCode, kExitOperationFailed);
    r = Run({"--set-config", "zoom=15"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("is not allowed for 0xD02A (Zoom)"), std::string::npos) << r.err;
}

TEST_F(Kqcam, ZoomMovesAndReadsBack) {
    const Result r = Run({"--zoom", "7", "--get-config", "0xD02A"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Set 0xD02A (Zoom) to 0x0007 (7); current value 0x0007 (7)\n"), std::string::npos);
    EXPECT_EQ(Values(r.out, "Current"), std::vector<std::string>{"0x0007 (7)"});
}

// ---- Capture and download ----

TEST_F(Kqcam, CaptureDownloadsDecodableJpegsWithProgress) {
    const Result r = Run({"--capture-image-and-download", "--frames", "2", "--filename", "shot-%03n.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ListFolder(dir_), (std::vector<std::string>{"shot-001.jpg", "shot-002.jpg"}));
    for (const char* name : {"shot-001.jpg", "shot-002.jpg"}) {
        const std::string data = ReadFile(Path(name));
        const Picture picture = DecodeJpeg(data);
        EXPECT_TRUE(picture.ok) << name << ": " << picture.error;
        EXPECT_EQ(picture.width, 1600);
        EXPECT_EQ(picture.height, 1200);
        // Not a terminal: plain progress lines ending at 100 % with the size.
        EXPECT_NE(r.out.find("Downloading " + std::string(name) + "\n"), std::string::npos);
        EXPECT_NE(r.out.find("  100% " + std::to_string(data.size()) + " bytes "), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Saved " + std::string(name) + " (" + std::to_string(data.size()) + " bytes)"),
                  std::string::npos) << r.out;
    }
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
}

TEST_F(Kqcam, CaptureJsonLinesNameEachFile) {
    const Result r = Run({"--capture-image-and-download", "--json", "--filename", "a%n.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string size = std::to_string(ReadFile(Path("a1.jpg")).size());
    EXPECT_TRUE(std::regex_match(r.out, std::regex("\\{\"file\":\"a1\\.jpg\",\"bytes\":" + size +
                                                   ",\"shot\":1,\"seconds\":[0-9.]+\\}\n")))
        << r.out;
    EXPECT_NE(r.err.find("100%"), std::string::npos) << "progress goes to standard error";
}

TEST_F(Kqcam, DateAndTimeCodesInTheFilename) {
    const std::time_t before = std::time(nullptr);
    const Result r = Run({"--capture-image-and-download", "--filename", "%Y%m%d-%H%M%S_%%_%02n.%C"});
    const std::time_t after = std::time(nullptr);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto names = ListFolder(dir_);
    ASSERT_EQ(names.size(), 1u);
    std::set<std::string> expected;
    for (std::time_t t = before; t <= after; ++t) {
        char text[64];
        std::strftime(text, sizeof text, "%Y%m%d-%H%M%S_%%_01.jpg", std::localtime(&t));
        expected.insert(text);
    }
    EXPECT_EQ(expected.count(names[0]), 1u) << names[0];
}

TEST_F(Kqcam, ExistingFilesAreNotOverwrittenUnlessForced) {
    WriteFile(Path("capt0001.jpg"), "keep me");
    Result r = Run({"--capture-image-and-download"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(Path("capt0001.jpg")), "keep me");
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("capt0002.jpg"))).ok) << "the next free name is taken";

    r = Run({"--capture-image-and-download", "--force-overwrite"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("capt0001.jpg"))).ok);
    EXPECT_EQ(ListFolder(dir_), (std::vector<std::string>{"capt0001.jpg", "capt0002.jpg"}));

    // A pattern without the counter names several pictures too: -1, -2.
    r = Run({"--capture-image-and-download", "-F", "3", "--filename", "fixed.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name : {"fixed.jpg", "fixed-1.jpg", "fixed-2.jpg"}) {
        EXPECT_TRUE(DecodeJpeg(ReadFile(Path(name))).ok) << name;
    }
}

TEST_F(Kqcam, TimeLapseKeepsTheInterval) {
    const Result r = Run({"--capture-image-and-download", "--interval", "0.4", "--frames", "3",
                          "--filename", "tl-%n.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ListFolder(dir_), (std::vector<std::string>{"tl-1.jpg", "tl-2.jpg", "tl-3.jpg"}));
    EXPECT_GE(r.seconds, 0.8);
}

TEST_F(Kqcam, HookScriptRunsAfterEachDownloadWithThePath) {
#if defined(_WIN32)
    const std::string hook = Path("hook.bat");
    WriteFile(hook, "@echo off\r\necho %ACTION% %~1>> \"%~dp0hook.log\"\r\n");
#else
    const std::string hook = Path("hook.sh");
    WriteFile(hook, "#!/bin/sh\n[ \"$ACTION\" = download ] || exit 0\n"
                    "echo \"$ACTION $1 $(wc -c < \"$1\")\" >> \"$(dirname \"$0\")/hook.log\"\n");
#endif
    MakeExecutable(hook);
    const Result r = Run({"--capture-image-and-download", "--frames", "2", "--filename", "h%n.jpg",
                          "--hook-script", hook});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (const std::string& line : Lines(ReadFile(Path("hook.log")))) {
        if (line.compare(0, 9, "download ") == 0) lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 2u);
#if defined(_WIN32)
    EXPECT_EQ(lines[0], "download h1.jpg");
    EXPECT_EQ(lines[1], "download h2.jpg");
#else
    // The file is complete when the hook runs.
    EXPECT_EQ(lines[0], "download h1.jpg " + std::to_string(ReadFile(Path("h1.jpg")).size()));
    EXPECT_EQ(lines[1], "download h2.jpg " + std::to_string(ReadFile(Path("h2.jpg")).size()));
#endif
    const Result missing = Run({"--capture-image-and-download", "--filename", "m.jpg", "--hook-script",
                                Path("no-such-hook")});
    EXPECT_EQ(missing.exitCode, kExitUsage);
    EXPECT_NE(missing.err.find("--hook-script"), std::string::npos) << missing.err;
}

TEST_F(Kqcam, TransferOfAnUnreadableFileFailsAndLeavesNoFile) {
    const Result r = Run({"--capture-image-and-download", "--filename", "x.jpg"},
                         {{"ZTSIM_DOWNLOAD_PATH", Path("missing") + kSep + "gone.jpg"}});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("kqcam: KQ_RC_GetReleasedData delivered no data"), std::string::npos) << r.err;
    EXPECT_TRUE(ListFolder(dir_).empty());
}

// ---- Viewfinder ----

TEST_F(Kqcam, PreviewIsOneJpegFile) {
    const Result r = Run({"--capture-preview", "--filename", "view.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string data = ReadFile(Path("view.jpg"));
    const Picture picture = DecodeJpeg(data);
    EXPECT_TRUE(picture.ok) << picture.error;
    EXPECT_GT(picture.width, 0);
    EXPECT_EQ(r.out, "Saved preview view.jpg (" + std::to_string(data.size()) + " bytes)\n");
}

std::vector<std::string> CheckedFrames(const std::string& stream) {
    std::vector<std::string> frames;
    std::string error;
    EXPECT_TRUE(SplitMjpeg(stream, &frames, &error)) << error;
    for (const std::string& frame : frames) {
        const Picture picture = DecodeJpeg(frame);
        EXPECT_TRUE(picture.ok) << picture.error;
    }
    return frames;
}

// Long enough that the first frames arrive in it on a slow host as well: under
// qemu-i386 with AddressSanitizer the first frame takes about 0.4 s.
TEST_F(Kqcam, MovieForATimeIsAnMjpegStreamWithMatchingStatistics) {
    const Result r = Run({"--capture-movie=1.5s", "--filename", "clip.mjpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string stream = ReadFile(Path("clip.mjpg"));
    const auto frames = CheckedFrames(stream);
    EXPECT_GE(frames.size(), 2u);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(r.out, m, std::regex("Movie: (\\d+) frames in ([0-9.]+) s \\(([0-9.]+) frames per second\\), (\\d+) bytes")))
        << r.out;
    EXPECT_EQ(std::stoul(m[1]), frames.size());
    EXPECT_GE(std::stod(m[2]), 1.5);
    EXPECT_EQ(std::stoul(m[4]), stream.size());

    // With --json the summary is data on standard output, like every action's.
    const Result json = Run({"--capture-movie=2", "--filename", "clip2.mjpg", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_TRUE(std::regex_match(json.out, std::regex("\\{\"movie\":\"clip2.mjpg\",\"frames\":2,.*\\}\n")))
        << json.out << json.err;
    EXPECT_EQ(json.err.find("\"movie\""), std::string::npos) << json.err;
}

TEST_F(Kqcam, MovieOfNFramesToStandardOutput) {
    const Result r = Run({"--capture-movie", "4", "--stdout"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CheckedFrames(r.rawOut).size(), 4u);
    EXPECT_NE(r.err.find("Movie: 4 frames in "), std::string::npos) << r.err;
    EXPECT_TRUE(ListFolder(dir_).empty());
}

// ---- Events and the log ----

TEST_F(Kqcam, WaitEventPrintsEachEventOnOneLine) {
    const std::map<std::string, std::string> error = {{"ZTSIM_CAMERA_ERROR", "8@100"}};
    Result r = Run({"--wait-event", "2"}, error);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out;
    EXPECT_EQ(lines[0].find("EVENT 0xC00A kqPTP_CAMERA_ERROR params 0x00000002 0x00000003 0x00000000 at "), 0u);
    EXPECT_EQ(lines[1].find("EVENT 0xC00A kqPTP_CAMERA_ERROR params 0x00000002 0x00000004 0x00000000 at "), 0u);
    EXPECT_EQ(lines[2].find("Events: 2 received"), 0u);

    // Nf: until the camera announced N pictures (the shutter button's here).
    r = Run({"--wait-event=2f"}, {{"ZTSIM_SHUTTER_BUTTON", "3@300+100"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(CountOf(r.out, "EVENT 0xC008 "), 2) << r.out;
    EXPECT_TRUE(ListFolder(dir_).empty()) << "--wait-event downloads nothing";

    r = Run({"--wait-event=0.3s", "--json"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_GE(r.seconds, 0.3);
}

TEST_F(Kqcam, DebugPrintsTheLogLocationAndTheRunsLines) {
    const Result r = Run({"--debug", "--auto-detect"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("kqcam: library log: "), 0u) << r.err;
    EXPECT_NE(r.err.find("tovexbridge.log"), std::string::npos);
    EXPECT_NE(r.err.find("| KQ_GetDeviceList\n"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("ZT Virtual Camera"), std::string::npos);

    const Result failed = Run({"--debug", "--summary"}, {{"ZTSIM_FAIL", "OpenSession:0x2A"}});
    EXPECT_EQ(failed.exitCode, kExitConnectFailed);
    EXPECT_NE(failed.err.find("ZTOpenSession failed"), std::string::npos) << failed.err;
}

}  // namespace
}  // namespace kqcam_test
