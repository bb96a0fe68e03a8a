// ztprobe's run: drives a Camera SDK directly, through a table of its
// functions, on its first camera, and collects one verdict for each thing
// the bridge relies on, with the facts behind it.
#ifndef ZTPROBE_PROBE_H
#define ZTPROBE_PROBE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "checks.h"
#include "zt_functions.h"

namespace ztprobe {

enum class Status {
    Holds,    // the bridge's condition holds
    Caution,  // the bridge works; the meaning says what an application must avoid
    Fails,    // the bridge's condition does not hold
    Skipped,  // not checked (an earlier step failed, or --no-shoot)
};

struct Verdict {
    std::string key;      // functions, lifecycle, session, callbacks, frames, properties, shot
    std::string title;
    Status status = Status::Skipped;
    std::string detail;   // what was seen
    std::string meaning;  // what it means for an application
};

struct Failure {
    std::string function;
    std::uint32_t code = 0;
    bool nullHandle = false;  // a handle-returning function returned none
};

struct Latency {
    std::uint32_t calls = 0;
    double minUs = 0, maxUs = 0, totalUs = 0;
};

struct ProbeOptions {
    bool shoot = true;
    int freeCycles = 20;              // subscriptions freed with a callback in flight
    int lingerMs = 500;               // how long the measuring callback lingers at most
    int cycleLingerMs = 20;           // the same in each of the cycles
    int waitMs = 10000;               // limit of every wait for a callback
};

struct ProbeResult {
    std::string library;
    std::vector<Verdict> verdicts;
    std::vector<Failure> failures;
    std::vector<std::string> missing;
    bool noCamera = false;

    std::vector<CameraFacts> cameras;
    std::uint32_t previewFrames = 0;         // preview callbacks counted for the thread count
    int previewCallbackThreads = 0;
    bool callbackOnCallerThread = false;
    bool freeWaitsMeasured = false;
    bool freeWaitsForCallbacks = false;
    double freeWithCallbackUs = 0;           // the measured ZTFree's duration
    int freeCycles = 0;                      // cycles in which a callback was in flight
    std::uint32_t callbacksAfterFree = 0;    // callbacks begun after their ZTFree returned
    std::uint32_t callbacksRunningAfterFree = 0;  // still running when their ZTFree returned
    bool frameChecked = false;
    FrameFacts frame;
    std::int32_t propertyCount = -1;
    std::int32_t maxZoom = -1;
    std::string shotFile;
    long long shotFileBytes = -1;
    bool shotFileIsJpeg = false;
    std::map<std::string, Latency> latencies;
};

ProbeResult RunProbe(const ztkit::ZtApi& api, const ProbeOptions& options);

// 0: everything the bridge relies on holds (cautions included); 1: something
// does not; 3: no camera.
int ExitStatus(const ProbeResult& result);

std::string HumanReport(const ProbeResult& result);
std::string JsonReport(const ProbeResult& result);

const char* StatusName(Status status);

}  // namespace ztprobe

#endif  // ZTPROBE_PROBE_H
