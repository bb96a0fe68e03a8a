// kqcam as a process where a studio's trust is won or lost: files that are
// never cut or clobbered, a run that stays in control of the camera when
// interrupted, camera failures told apart from command-line mistakes, and
// the scripting conventions of tethering tools.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "jpeg_check.h"
#include "kqcam_fixture.h"
#include "process.h"

#if !defined(_WIN32)
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kqcam_test {
namespace {

class KqcamSafety : public KqcamFolderTest {
protected:
    // The library's log of the last run (kept beside the tests).
    static std::string LibraryLog() {
        return ReadFile(ProgramFolder() + "kqcam-test" + kSep + "state" + kSep + "tovexbridge.log");
    }
    void ExpectWholeJpegs(const std::vector<std::string>& names) {
        EXPECT_EQ(ListFolder(dir_), names);
        for (const std::string& name : names) {
            const Picture picture = DecodeJpeg(ReadFile(Path(name)));
            EXPECT_TRUE(picture.ok) << name << ": " << picture.error;
        }
    }
};

bool Has(const std::string& text, const std::string& needle) { return text.find(needle) != std::string::npos; }

// ---- Names: one counter, never clobbering ----

TEST_F(KqcamSafety, RepeatedRunsAndActionsTakeTheNextFreeName) {
    // A shell loop of single shots.
    ASSERT_EQ(Run({"--capture-image-and-download"}).exitCode, 0);
    const Result second = Run({"--capture-image-and-download"});
    ASSERT_EQ(second.exitCode, 0) << second.err;
    ExpectWholeJpegs({"capt0001.jpg", "capt0002.jpg"});

    // One counter for everything a run writes; a pattern without one gets a
    // number before its suffix.
    const std::string sub = std::string("more") + kSep;
    Result r = Run({"--capture-preview", "--capture-movie", "2", "--capture-preview", "--filename", sub + "f%n.%C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ListFolder(Path("more")), (std::vector<std::string>{"f1.jpg", "f2.mjpg", "f3.jpg"}));
    r = Run({"--capture-preview", "--capture-preview", "--filename", "v.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("v.jpg"))).ok);
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("v-1.jpg"))).ok);
}

TEST_F(KqcamSafety, SkipExistingTakesNoPictureForATakenName) {
    WriteFile(Path("tl-1.jpg"), "keep me");
    // A skipped name costs no interval: the resumed time-lapse shoots at once.
    const Result r = Run({"--capture-image-and-download", "-F", "2", "-I", "30", "--skip-existing",
                          "--filename", "tl-%n.jpg"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(r.seconds, 25.0);
    EXPECT_NE(r.out.find("Skipped tl-1.jpg: it exists already"), std::string::npos) << r.out;
    EXPECT_EQ(CountOf(r.out, "Saved "), 1) << r.out;
    EXPECT_EQ(ReadFile(Path("tl-1.jpg")), "keep me");
    EXPECT_TRUE(DecodeJpeg(ReadFile(Path("tl-2.jpg"))).ok);
    EXPECT_EQ(Run({"--capture-preview", "--skip-existing", "--force-overwrite"}).exitCode, kExitUsage);
}

TEST_F(KqcamSafety, NoPictureIsTakenWhenTheFileCannotBeCreated) {
    WriteFile(Path("plain-file"), "x");
    const Result r = Run({"--capture-image-and-download", "--filename", std::string("plain-file") + kSep + "x.jpg"});
    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_NE(r.err.find("cannot create"), std::string::npos) << r.err;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"plain-file"});
#if !defined(_WIN32)
    EXPECT_FALSE(Has(LibraryLog(), "KQ_RC_Release")) << "the shutter was released";
#endif
    // A shot that fails after the file was created leaves nothing behind.
    const Result failed = Run({"--capture-image-and-download"}, {{"ZTSIM_FAIL", "Shoot:0x20000004"}});
    EXPECT_EQ(failed.exitCode, kExitOperationFailed);
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"plain-file"});
#if !defined(_WIN32)
    if (geteuid() != 0) {  // a read-only folder stops everyone but root
        const std::string locked = Path("locked");
        ASSERT_EQ(Run({"--capture-preview", "--filename", std::string("locked") + kSep + "p.jpg"}).exitCode, 0);
        chmod(locked.c_str(), 0555);
        const Result readOnly = Run({"--capture-image-and-download", "--filename", std::string("locked") + kSep + "x.jpg"});
        chmod(locked.c_str(), 0755);
        EXPECT_EQ(readOnly.exitCode, kExitOperationFailed);
        EXPECT_FALSE(Has(LibraryLog(), "KQ_RC_Release"));
    }
#endif
}

TEST_F(KqcamSafety, AMovieWithoutFramesLeavesNoFile) {
    const std::map<std::string, std::string> noFrames = {{"ZTSIM_FAIL", "GetPreviewFrame:0x20000004"}};
    for (int run = 0; run < 2; ++run) {
        const Result r = Run({"--capture-movie=0.3s"}, noFrames);
        EXPECT_EQ(r.exitCode, kExitOperationFailed);
        EXPECT_NE(r.err.find("the movie holds no frame"), std::string::npos) << r.err;
        EXPECT_TRUE(ListFolder(dir_).empty());
    }
}

// ---- Output streams ----

TEST_F(KqcamSafety, StdoutCarriesTheMovieAloneFromItsFirstByte) {
    const Result r = Run({"--summary", "--capture-image-and-download", "--capture-movie=3", "--stdout"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> frames;
    std::string error;
    EXPECT_TRUE(SplitMjpeg(r.rawOut, &frames, &error)) << error << "\n" << r.rawOut.substr(0, 200);
    EXPECT_EQ(frames.size(), 3u);
    EXPECT_TRUE(Has(r.err, "Camera summary:")) << r.err;
    EXPECT_TRUE(Has(r.err, "Saved capt0001.jpg")) << r.err;
    EXPECT_TRUE(Has(r.err, "Movie: 3 frames")) << r.err;
}

TEST_F(KqcamSafety, QuietPrintsDataAndErrorsOnly) {
    Result r = Run({"-q", "--capture-image-and-download", "--capture-preview"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
    ExpectWholeJpegs({"capt0001.jpg", "preview.jpg"});
    r = Run({"--quiet", "--json", "--capture-image-and-download"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 1u) << r.out;
    EXPECT_TRUE(Has(r.out, "\"file\":\"capt0002.jpg\"")) << r.out;
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(KqcamSafety, EmptyCameraTextsAreSaidToBeMissing) {
    const Result r = Run({"--summary"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* key : {"Manufacturer:", "Device model:", "Device version:", "Serial number:"}) {
        EXPECT_TRUE(Has(r.out, std::string(key) + " ")) << key;
        EXPECT_FALSE(Has(r.out, std::string(key) + "\n")) << key << " is empty";
        EXPECT_FALSE(Has(r.out, std::string(key) + " \n")) << key << " is empty";
    }
}

// ---- Camera failures against command-line mistakes ----

TEST_F(KqcamSafety, CameraFailuresAreOperationFailuresNotUsageErrors) {
    const std::map<std::string, std::string> noDesc = {{"ZTSIM_FAIL", "GetPropertyDesc:0x20000004"}};
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--set-config", "0xD01C=0x58"}, {"--get-config", "0xD01C"}, {"--set-config-index", "0xD01C=0"}}) {
        const Result r = Run(args, noDesc);
        EXPECT_EQ(r.exitCode, kExitOperationFailed) << args[0];
        EXPECT_TRUE(Has(r.err, "the camera reported no choices for 0xD01C")) << r.err;
        EXPECT_FALSE(Has(r.out, "Choices: 0")) << r.out;
    }
    const Result list = Run({"--list-config"}, noDesc);
    EXPECT_EQ(list.exitCode, kExitOperationFailed);
    EXPECT_FALSE(Has(list.out, "Choices: 0")) << list.out;

    const std::map<std::string, std::string> noZoom = {{"ZTSIM_FAIL", "GetMaximumZoom:0x20000004"}};
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"--zoom", "5"}, {"--get-config", "0xD02A"}}) {
        const Result r = Run(args, noZoom);
        EXPECT_EQ(r.exitCode, kExitOperationFailed) << args[0];
        EXPECT_TRUE(Has(r.err, "did not report its zoom range")) << r.err;
    }
}

// ---- Command line ----

TEST_F(KqcamSafety, CommandLineMistakesAreCaughtBeforeAnyPicture) {
    const std::vector<std::vector<std::string>> wrong = {
        {"--capture-image-and-download", "--filename", ""},
        {"--capture-movie", "0"},
        {"--capture-image-and-download", "--filename", "%f.%C"},
        {"--capture-preview", "--reset-interval"},
    };
    for (const auto& args : wrong) {
        const Result r = Run(args);
        EXPECT_EQ(r.exitCode, kExitUsage) << args[0] << " " << args.back();
        EXPECT_FALSE(Has(r.err, "unknown option")) << r.err;
    }
    // A hook that cannot run is a command-line mistake, found before the
    // shutter is released.
    const Result missing = Run({"--capture-image-and-download", "--hook-script", Path("no-such-hook")});
    EXPECT_EQ(missing.exitCode, kExitUsage);
    EXPECT_TRUE(Has(missing.err, "--hook-script")) << missing.err;
    EXPECT_FALSE(Has(missing.out, "Downloading")) << missing.out;
#if !defined(_WIN32)
    WriteFile(Path("not-executable.sh"), "#!/bin/sh\n");
    const Result plain = Run({"--capture-image-and-download", "--hook-script", Path("not-executable.sh")});
    EXPECT_EQ(plain.exitCode, kExitUsage);
    EXPECT_TRUE(Has(plain.err, "Permission denied")) << plain.err;
#endif
    for (const std::string& name : ListFolder(dir_)) EXPECT_FALSE(Has(name, ".jpg")) << name;
}

TEST_F(KqcamSafety, ShortFormsAndTheSuffixFromTheData) {
    const Result r = Run({"--capture-image-and-download", "-F2", "-I", "0", "--filename", "s%n.%C"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ExpectWholeJpegs({"s1.jpg", "s2.jpg"});
    const Result help = Run({"--help"});
    for (const char* text : {"-F, --frames", "-I, --interval", "--reset-interval", "SIGUSR1", "--skip-existing",
                             "-q, --quiet", "ACTION=init", "ACTION=stop", "NAME.part", "%f"}) {
        EXPECT_TRUE(Has(help.out, text)) << text;
    }
}

TEST_F(KqcamSafety, HookHearsInitStartEachDownloadAndStop) {
    const std::string hook = WriteLoggingHook();
    const Result r = Run({"--summary", "--capture-image-and-download", "-F", "2", "--capture-preview",
                          "--filename", "h%n.jpg", "--hook-script", hook});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> lines;
    for (std::string line : Lines(ReadFile(Path("hook.log")))) {
        while (!line.empty() && line.back() == ' ') line.pop_back();
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"init", "start", "download h1.jpg", "download h2.jpg",
                                               "download h3.jpg", "stop"}));
    // stop is heard after a failure too.
    std::remove(Path("hook.log").c_str());
    const Result failed = Run({"--get-config", "0xD0FF", "--hook-script", hook});
    EXPECT_EQ(failed.exitCode, kExitOperationFailed);
    EXPECT_EQ(Lines(ReadFile(Path("hook.log"))).back().substr(0, 4), "stop");
}

TEST_F(KqcamSafety, CameraErrorsDuringAMovieAreReported) {
    const Result r = Run({"--capture-movie=1s", "--filename", "m.mjpg"}, {{"ZTSIM_CAMERA_ERROR", "8@liveview"}});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(Has(r.err, "kqcam: camera event 0xC00A kqPTP_CAMERA_ERROR")) << r.err;
}

// ---- Signals (POSIX) ----

#if !defined(_WIN32)

TEST_F(KqcamSafety, ClosedOutputPipeStopsPrintingAndKeepsEveryFileWhole) {
    Running run({"--capture-image-and-download", "--frames", "3", "--filename", "p%n.jpg"}, dir_, {}, true);
    const std::string head = run.ReadLinesThenClose(2);
    EXPECT_EQ(head.compare(0, 20, "Downloading p1.jpg\n "), 0) << head;
    const Result r = run.Finish();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectWholeJpegs({"p1.jpg", "p2.jpg", "p3.jpg"});
    EXPECT_TRUE(Has(LibraryLog(), "KQ_DisconnectCamera"));
}

TEST_F(KqcamSafety, SecondInterruptStopsAPendingReleaseAtOnce) {
    // The download fails, so the library would hold the release for 30 s.
    const std::map<std::string, std::string> stuck = {{"ZTSIM_FAIL", "DownloadFile:0x20000004:1"}};
    {
        Running run({"--capture-image-and-download"}, dir_, stuck);
        ASSERT_TRUE(run.AwaitErr("kqcam: waiting for the camera...\n"));
        run.Signal(SIGINT);
        ASSERT_TRUE(run.AwaitErr("Ctrl-C again to stop now"));
        run.Signal(SIGINT);
        const Result r = run.Finish();
        EXPECT_EQ(r.exitCode, kExitOperationFailed);
        EXPECT_TRUE(Has(r.err, "kqcam: stopped while the camera was still taking the picture\n")) << r.err;
        EXPECT_LT(r.seconds, 25.0) << "the release's 30 s were waited out";
        EXPECT_TRUE(Has(LibraryLog(), "KQ_DisconnectCamera")) << "the session was not closed";
    }
    {
        Running run({"--capture-image-and-download"}, dir_, stuck);
        ASSERT_TRUE(run.AwaitErr("waiting for the camera..."));
        run.Signal(SIGTERM);
        const Result r = run.Finish();
        EXPECT_EQ(r.exitCode, kExitOperationFailed);
        EXPECT_LT(r.seconds, 25.0);
    }
    EXPECT_TRUE(ListFolder(dir_).empty());
}

TEST_F(KqcamSafety, UserSignalTakesTheNextTimeLapsePictureNow) {
    Running run({"--capture-image-and-download", "-I", "600", "-F", "2", "--reset-interval"}, dir_);
    ASSERT_TRUE(run.AwaitOut("Saved capt0001.jpg"));
    run.Signal(SIGUSR1);
    const Result r = run.Finish();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_LT(r.seconds, 300.0);
    ExpectWholeJpegs({"capt0001.jpg", "capt0002.jpg"});
}

TEST_F(KqcamSafety, IntervalMinusOneTakesEachPictureOnSignalOnly) {
    Running run({"--capture-image-and-download", "-I", "-1", "-F", "2", "--filename", "sig%n.jpg"}, dir_);
    ASSERT_TRUE(run.AwaitOut("Waiting for SIGUSR1 to take picture 1"));
    EXPECT_TRUE(ListFolder(dir_).empty()) << "no picture before the signal";
    run.Signal(SIGUSR1);
    ASSERT_TRUE(run.AwaitOut("Waiting for SIGUSR1 to take picture 2"));
    run.Signal(SIGUSR1);
    const Result r = run.Finish();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ExpectWholeJpegs({"sig1.jpg", "sig2.jpg"});
}

TEST_F(KqcamSafety, AMovieCutByAFullDiskKeepsWholeFramesAndItsSummary) {
    // A file size limit stands in for a full disk: writes past it fail.
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limit = saved;
    limit.rlim_cur = 100000;
    void (*previous)(int) = signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limit);
    const Result r = Run({"--capture-movie", "40", "--filename", "full.mjpg"});
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);

    EXPECT_EQ(r.exitCode, kExitOperationFailed);
    EXPECT_TRUE(Has(r.err, "File too large")) << r.err;
    const std::string stream = ReadFile(Path("full.mjpg"));
    std::vector<std::string> frames;
    std::string error;
    EXPECT_TRUE(SplitMjpeg(stream, &frames, &error)) << error;
    EXPECT_GT(frames.size(), 0u);
    EXPECT_LT(frames.size(), 40u);
    EXPECT_TRUE(Has(r.out, "Movie: " + std::to_string(frames.size()) + " frames in ")) << r.out;
    EXPECT_TRUE(Has(r.out, std::to_string(stream.size()) + " bytes")) << r.out;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"full.mjpg"});
}

#endif

}  // namespace
}  // namespace kqcam_test
