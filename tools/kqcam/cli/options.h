// The command line: actions run in the order given, and the settings that
// shape them.
#ifndef KQCAM_OPTIONS_H
#define KQCAM_OPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

namespace kqcam {

// How long a movie or an event wait lasts: a number of frames or events, a
// time, a number of pictures, or until interrupted.
struct Limit {
    enum Kind { kUntilInterrupted, kCount, kSeconds, kFiles } kind = kUntilInterrupted;
    std::uint64_t count = 0;
    double seconds = 0;
};

struct Action {
    enum Kind {
        kAutoDetect,
        kSummary,
        kListConfig,
        kGetConfig,
        kSetConfig,
        kSetConfigIndex,
        kZoom,
        kCaptureImage,
        kCapturePreview,
        kCaptureMovie,
        kWaitEvent,
        kCaptureTethered,
        kServe,
    } kind = kAutoDetect;
    std::uint16_t code = 0;
    std::uint64_t value = 0;  // raw value, choice index or zoom position
    Limit limit;
    // --serve's ADDR:PORT (empty: the default), or the label --set-config
    // looks up among the property's values once the camera is there.
    std::string text;
    bool byLabel = false;  // --set-config: `text` is a label, `value` unused

    Action() = default;
    explicit Action(Kind k) : kind(k) {}
};

struct Options {
    std::vector<Action> actions;
    bool help = false;
    bool version = false;
    bool json = false;
    bool debug = false;
    bool forceOverwrite = false;
    bool skipExisting = false;  // a taken name: write nothing (default: the next free name)
    bool quiet = false;         // no progress or other messages, only data and errors
    bool resetInterval = false; // SIGUSR1 restarts the time-lapse interval from its picture
    bool toStdout = false;
    bool filenameGiven = false;
    std::string filename;  // each action's default unless filenameGiven
    double interval = -1;  // seconds between shots; < 0: not given
    bool shootOnSignal = false;  // -I -1: each picture waits for SIGUSR1 (interval is then 0)
    std::uint64_t frames = 0;  // 0: not given
    std::string hookScript;
    int serveCountdown = 0;     // --serve: seconds counted down on the page before a capture
    bool serveControl = false;  // --serve: capture and settings need the control token
};

// Where --serve listens.
struct ListenAddress {
    std::string host = "127.0.0.1";  // IPv6 without brackets
    int port = 8080;                 // 0: any free port
};

// "ADDR:PORT", "[IPV6]:PORT" or ":PORT" (loopback); false for anything else.
bool ParseListenAddress(const std::string& text, ListenAddress* address);

// Throws a usage Failure for anything it cannot take exactly as written.
Options ParseOptions(int argc, char** argv);

// "0xD01C" or "53276"; above 0xFFFF is refused. A property name or alias
// ("iso", "ShutterSpeed", "f-number") is taken too, without regard to case;
// *byName (when given) says which it was.
std::uint16_t ParsePropertyCode(const std::string& text, const char* option,
                                bool* byName = nullptr);
// An unsigned number in hex (0x...) or decimal, nothing else.
bool ParseUnsigned(const std::string& text, std::uint64_t* value);
// "N" (count), "Ns" / "N.Ns" (seconds) or "Nms" (milliseconds).
bool ParseLimit(const std::string& text, Limit* limit);
// ParseLimit's forms, and "Nf" (N pictures: saved by --capture-tethered,
// announced by the camera for --wait-event).
bool ParseTetheredLimit(const std::string& text, Limit* limit);

const char* HelpText();

}  // namespace kqcam

#endif  // KQCAM_OPTIONS_H
