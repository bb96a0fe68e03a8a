// What every benchmark shares: a scratch folder for the log and the files,
// the deliberate pauses replaced by nothing, and a connected simulated camera.
#ifndef KQSDK_BENCH_BENCH_SUPPORT_H
#define KQSDK_BENCH_BENCH_SUPPORT_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kq::bench {

// Folder the log and the benchmark files go to; made by PrepareProcess.
const std::string& ScratchFolder();

// Points the log at the scratch folder and replaces Sleep and the message
// box before the bridge writes its first line.
void PrepareProcess();
// Removes the scratch folder.
void CleanUpProcess();

// Resets the simulator and BridgeState and connects the default camera;
// returns the camera object handle (0 on failure).
std::uint32_t ConnectCamera();
// Disconnects and finishes the Camera SDK.
void Disconnect(std::uint32_t camera);

// Sum of ZTSim_CallCount over every Camera SDK function.
std::uint64_t TotalSdkCalls();

// UTF-16 form of an ASCII path, NUL-terminated.
std::vector<std::uint16_t> Utf16(const std::string& path);

using Clock = std::chrono::steady_clock;
inline double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace kq::bench

#endif  // KQSDK_BENCH_BENCH_SUPPORT_H
