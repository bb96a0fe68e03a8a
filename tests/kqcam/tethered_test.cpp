// kqcam as a photographer tethers with it: pictures from the camera's own
// shutter button, alone and in the middle of a burst, and settings by name.
#include <gtest/gtest.h>

#include <regex>

#include "jpeg_check.h"
#include "kqcam_fixture.h"
#include "process.h"

namespace kqcam_test {
namespace {

class Tethered : public KqcamFolderTest {
protected:
    void ExpectCameraPictures(const std::vector<std::string>& names) {
        EXPECT_EQ(ListFolder(dir_), names);
        for (const std::string& name : names) {
            const Picture picture = DecodeJpeg(ReadFile(Path(name)));
            EXPECT_TRUE(picture.ok) << name << ": " << picture.error;
            EXPECT_EQ(picture.width, 1600) << name;
        }
    }
};

TEST_F(Tethered, ShutterButtonPicturesAreSavedNamedAndHandedToTheHook) {
    const std::string hook = WriteLoggingHook();
    // Three presses, the first well after kqcam has registered for events
    // (which it does as soon as the session is open).
    const Result r = Run({"--capture-tethered=3f", "--filename", "t%n.jpg", "--hook-script", hook},
                         {{"ZTSIM_SHUTTER_BUTTON", "3@500+50"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(ListFolder(dir_).size(), 5u);
    for (const char* name : {"t1.jpg", "t2.jpg", "t3.jpg"}) {
        EXPECT_TRUE(DecodeJpeg(ReadFile(Path(name))).ok) << name;
        EXPECT_NE(r.out.find(std::string("Saved ") + name + " ("), std::string::npos) << r.out;
    }
    EXPECT_EQ(CountOf(r.out, "taken with the camera's shutter button\n"), 3) << r.out;
    EXPECT_NE(r.out.find("Tethered: 3 pictures saved, 3 events in "), std::string::npos) << r.out;
    EXPECT_EQ(Lines(ReadFile(Path("hook.log"))),
              (std::vector<std::string>{"init ", "start ", "download t1.jpg", "download t2.jpg",
                                        "download t3.jpg", "stop "}));
}

// A picture the button already took is never thrown away: --skip-existing
// only saves taking one, so a taken name is passed over instead.
TEST_F(Tethered, SkipExistingPassesOverATakenNameForAShutterButtonPicture) {
    WriteFile(Path("t1.jpg"), "earlier run");
    const Result r = Run({"--capture-tethered=1f", "--filename", "t%n.jpg", "--skip-existing"},
                         {{"ZTSIM_SHUTTER_BUTTON", "1@500"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(Path("t1.jpg")), "earlier run");
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("t2.jpg"))).ok) << r.out;
}

TEST_F(Tethered, AliasJsonLinesAndATimeLimit) {
    Result r = Run({"--wait-event-and-download=2f", "--json"}, {{"ZTSIM_SHUTTER_BUTTON", "2@500"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    for (int i = 0; i < 2; ++i) {
        const std::string name = "capt000" + std::to_string(i + 1) + ".jpg";
        EXPECT_TRUE(std::regex_match(lines[i], std::regex("\\{\"file\":\"" + name + "\",\"bytes\":\\d+,\"shot\":" +
                                                         std::to_string(i + 1) +
                                                         ",\"seconds\":[0-9.]+,\"source\":\"shutter-button\"\\}")))
            << lines[i];
    }
    ExpectCameraPictures({"capt0001.jpg", "capt0002.jpg"});

    // Nobody presses: the wait ends with its time and nothing written.
    const std::string quiet = FreshFolder("Tethered.AliasJsonLinesAndATimeLimit.quiet");
    r = RunKqcam({"--capture-tethered=300ms"}, quiet);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Tethered: 0 pictures saved, 0 events in "), std::string::npos) << r.out;
    EXPECT_TRUE(ListFolder(quiet).empty());
}

// The button pressed during the second of three releases: four pictures,
// none lost or taken for the next release's, the button's told apart.
TEST_F(Tethered, ShutterButtonDuringABurstIsSavedAsItsOwnFile) {
    const Result r = Run({"--capture-image-and-download", "--frames", "3", "--filename", "b%n.jpg", "--json"},
                         {{"ZTSIM_SHUTTER_DURING_SHOOT", "2"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectCameraPictures({"b1.jpg", "b2.jpg", "b3.jpg", "b4.jpg"});
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool button = lines[i].find(",\"source\":\"shutter-button\"}") != std::string::npos;
        EXPECT_EQ(button, i == 2) << lines[i];
    }
}

TEST_F(Tethered, WrongTetheredAndNamedPropertyArgumentsAreUsageErrors) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--capture-tethered=5x"},
        {"--get-config", "nosuch"},
        {"--set-config", "whitebalance=daylight"},
        {"--set-config-value", "whitebalance=1"},
        {"--capture-image-and-download", "--hook-script", "./nope.sh"},
    };
    for (const auto& args : wrong) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, kExitUsage) << joined << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << joined << r.err;
    }
    // Which values a property takes is the camera's matter (exit 1), and only
    // labels are taken, for every property: none is moved to the nearest one.
    const std::vector<std::vector<std::string>> noLabel = {
        {"--set-config", "iso=401"},          {"--set-config", "shutterspeed=1/124"},
        {"--set-config", "shutterspeed=fast"}, {"--set-config", "aperture=5.62"},
        {"--set-config-value", "iso=0x58"},
    };
    for (const auto& args : noLabel) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, kExitOperationFailed) << args[1] << r.err;
        EXPECT_EQ(Lines(r.err).size(), 1u) << args[1] << r.err;
        EXPECT_TRUE(r.out.empty()) << args[1] << ": nothing was set\n" << r.out;
    }
    // What the camera offers is named in the message.
    EXPECT_NE(Run({"--set-config", "iso=401"}).err.find("(Auto, ISO 100, ISO 200, ISO 400"), std::string::npos);
}

TEST_F(Tethered, PropertiesByNameTakeAndShowPhotographersValues) {
    Result r = Run({"--set-config", "iso=400", "--set-config", "ShutterSpeed=1/125", "--set-config",
                    "f-number=f/8", "--set-config", "ev=+0.7", "--set-config", "contrast=-1",
                    "--get-config", "ISO"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line :
         {"Set 0xD01C (IsoSpeed) to 0x0058 (88) ISO 400; current value 0x0058 (88) ISO 400\n",
          "Set 0xD01E (ShutterSpeed) to 0x0070 (112) 1/125; current value 0x0070 (112) 1/125\n",
          "Set 0xD01D (Aperture) to 0x0038 (56) f/8; current value 0x0038 (56) f/8\n",
          "Set 0xD01F (ExposureCompensation) to 0x23 (35) +0.7 EV;",
          "Set 0xD017 (Contrast) to 0xFF (255) -1; current value 0xFF (255) -1\n",
          "Current: 0x0058 (88) ISO 400\n", "Choice: 0 0x0000 (0) Auto\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
    }
    // By name a raw value is written in hex; the index form takes names too;
    // labels only, also after a code or a configuration path.
    r = Run({"--set-config", "iso=0x60", "--set-config-index", "aperture=0", "--get-config", "aperture",
             "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("\"current\":{\"hex\":\"0x0060\",\"label\":\"ISO 800\",\"value\":96}"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"current\":{\"hex\":\"0x0023\",\"label\":\"f/3.2\",\"value\":35}"), std::string::npos)
        << r.out;
    r = Run({"--set-config-value", "0xD01C=ISO 1600", "--set-config-value", "/main/capturesettings/shutterspeed=1/250"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("current value 0x0068 (104) ISO 1600\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("current value 0x0078 (120) 1/250\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace kqcam_test
