#include "support/capture_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "bridge/sdk_wrapper.h"
#include "kqsdk.h"
#include "platform/platform.h"
#include "zt_sim.h"

namespace kq::test {

namespace {
constexpr std::uint32_t kPathUnits = 1024;
}

Path TestFile(std::uint32_t size) {
    Path path(kPathUnits);
    const std::uint32_t length = ZTSim_WriteTestFile(size, path.data(), kPathUnits);
    EXPECT_GT(length, 0u);
    path.resize(length + 1);
    return path;
}

Path LastShotPath() {
    Path path(kPathUnits);
    path.resize(ZTSim_LastShotPath(path.data(), kPathUnits) + 1);
    return path;
}

Path RecordedPath() {
    const std::uint16_t* path = bridgeState.download.downloadPath.load();
    Path copy;
    if (path == nullptr) return copy;
    for (const std::uint16_t* p = path; *p != 0; ++p) copy.push_back(*p);
    copy.push_back(0);
    return copy;
}

bool Exists(const Path& path) {
    std::FILE* file = platform::OpenUtf16ForReading(path.data());
    if (file != nullptr) std::fclose(file);
    return file != nullptr;
}

std::vector<std::uint8_t> ReadWholeFile(const Path& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = platform::OpenUtf16ForReading(path.data());
    if (file == nullptr) return bytes;
    std::uint8_t chunk[16384];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    return bytes;
}

std::uint32_t ConnectFirstCamera() {
    KQ_StartSDK();
    std::uint8_t buffer[KQ_DEVICE_LIST_MIN_SIZE] = {};
    std::uint32_t size = sizeof buffer;
    auto* list = reinterpret_cast<KQDeviceList*>(buffer);
    EXPECT_EQ(KQ_GetDeviceList(&size, list), RESULT_OK);
    std::uint32_t handle = 0;
    EXPECT_EQ(KQ_CreateCameraObject(&list->entry, &handle), RESULT_OK);
    EXPECT_EQ(KQ_ConnectCamera(handle), RESULT_OK);
    return handle;
}

}  // namespace kq::test
