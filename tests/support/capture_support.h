// Helpers of the capture tests: files from the simulator, the recorded
// download path, and a connected default camera.
#ifndef KQSDK_TESTS_CAPTURE_SUPPORT_H
#define KQSDK_TESTS_CAPTURE_SUPPORT_H

#include <cstdint>
#include <vector>

namespace kq::test {

// A NUL-terminated UTF-16 path.
using Path = std::vector<std::uint16_t>;

// A new file of `size` bytes written by the simulator (byte i = i % 251 up
// to 1 MiB, sparse beyond).
Path TestFile(std::uint32_t size);

// The path the simulator's last download reported.
Path LastShotPath();

// The path the bridge's download record holds now; empty when none.
Path RecordedPath();

bool Exists(const Path& path);
std::vector<std::uint8_t> ReadWholeFile(const Path& path);

// Starts the Camera SDK, lists, creates and connects the first camera and
// returns its handle.
std::uint32_t ConnectFirstCamera();

}  // namespace kq::test

#endif  // KQSDK_TESTS_CAPTURE_SUPPORT_H
