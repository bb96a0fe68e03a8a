#include "bench_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "bridge/sdk_wrapper.h"
#include "kqsdk.h"
#include "platform/platform.h"
#include "zt_sim.h"

namespace kq::bench {

namespace {

std::string scratch;

void NoSleep(std::uint32_t) {}
void NoMessageBox(const char*) {}

}  // namespace

const std::string& ScratchFolder() { return scratch; }

void PrepareProcess() {
    char pattern[] = "/tmp/kqsdk-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    scratch = made != nullptr ? made : "/tmp";
    setenv("XDG_STATE_HOME", scratch.c_str(), 1);
    platform::Hooks hooks{NoSleep, NoMessageBox};
    platform::SetHooksForTesting(&hooks);
}

void CleanUpProcess() {
    if (scratch.empty() || scratch == "/tmp") return;
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
}

std::uint32_t ConnectCamera() {
    KQ_FinishSDK();
    ZTSim_Reset();
    bridgeState.Reset();
    ZTSim_SetPreviewRate(0);
    if (KQ_StartSDK() != RESULT_OK) return 0;
    std::uint8_t buffer[KQ_DEVICE_LIST_MIN_SIZE] = {};
    std::uint32_t size = sizeof buffer;
    auto* list = reinterpret_cast<KQDeviceList*>(buffer);
    if (KQ_GetDeviceList(&size, list) != RESULT_OK || list->count == 0) return 0;
    std::uint32_t camera = 0;
    if (KQ_CreateCameraObject(&list->entry, &camera) != RESULT_OK) return 0;
    if (KQ_ConnectCamera(camera) != RESULT_OK) return 0;
    return camera;
}

void Disconnect(std::uint32_t camera) {
    KQ_DisconnectCamera(camera);
    KQ_FinishSDK();
    ZTSim_WaitIdle();
}

std::uint64_t TotalSdkCalls() {
    std::uint64_t total = 0;
    for (int fn = 0; fn < ZTSIM_FN_COUNT; ++fn) {
        total += ZTSim_CallCount(static_cast<ZTSimFunction>(fn));
    }
    return total;
}

std::vector<std::uint16_t> Utf16(const std::string& path) {
    std::vector<std::uint16_t> units(path.begin(), path.end());
    units.push_back(0);
    return units;
}

}  // namespace kq::bench
