// A whole capture through the built library, loaded by name: start, list,
// create, connect, register for events, release, the full-view-released
// event, the transfer, disconnect and finish. The bytes the client receives
// are the file the simulated camera wrote, and that file is gone afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "surface/library.h"
#include "zt_sim.h"

namespace kq::surface {
namespace {

void* const kEventContext = reinterpret_cast<void*>(0xE7E7);
void* const kDataContext = reinterpret_cast<void*>(0xDA7A);
constexpr std::uint32_t kClientValue = 0x0BADF00Du;
constexpr std::uint32_t kDownloadValue = 0x00C0FFEEu;

struct Received {
    std::mutex mutex;
    std::vector<KQEventRecord> events;
    std::vector<std::uint32_t> eventCameras;
    std::vector<std::uint32_t> statuses;
    std::vector<std::uint8_t> bytes;
    bool argumentsMatched = true;
} received;

std::uint32_t KQ_STDCALL OnEvent(std::uint32_t camera, void* context, const KQEventRecord* record) {
    std::lock_guard<std::mutex> lock(received.mutex);
    received.events.push_back(*record);
    received.eventCameras.push_back(camera);
    if (context != kEventContext) received.argumentsMatched = false;
    return 0;
}

std::uint32_t KQ_STDCALL OnData(std::uint32_t, std::uint32_t clientValue, void* context,
                                const KQTransferProgress* progress) {
    if (clientValue != kClientValue || context != kDataContext) received.argumentsMatched = false;
    received.statuses.push_back(progress->status);
    if (progress->status == KQ_TRANSFER_DATA) {
        if (progress->offset != received.bytes.size()) received.argumentsMatched = false;
        received.bytes.insert(received.bytes.end(), progress->data, progress->data + progress->count);
    }
    return 0;
}

// Reads a whole file named by a UTF-16 path; false when it cannot be opened.
bool ReadUtf16File(const std::vector<std::uint16_t>& path, std::vector<std::uint8_t>* bytes) {
#if defined(_WIN32)
    std::wstring wide(path.begin(), path.end() - 1);
    std::FILE* file = _wfopen(wide.c_str(), L"rb");
#else
    std::string narrow;
    for (std::size_t i = 0; i + 1 < path.size(); ++i) {
        if (path[i] >= 0x80) return false;  // the simulator's temporary paths are ASCII here
        narrow += static_cast<char>(path[i]);
    }
    std::FILE* file = std::fopen(narrow.c_str(), "rb");
#endif
    if (file == nullptr) return false;
    bytes->clear();
    std::uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes->insert(bytes->end(), chunk, chunk + n);
    std::fclose(file);
    return true;
}

TEST(CaptureSurfaceTest, FullCaptureDeliversTheWrittenImageAndDeletesIt) {
    ZTSim_Reset();
    ZTSim_SetShotDelays(0, 0);
    ZTSim_SetDownloadValue(kDownloadValue);
    {
        Library library;
        ASSERT_TRUE(library.loaded());
        const Exports& kq = library.api();

        ASSERT_EQ(kq.StartSDK(), RESULT_OK);
        std::uint8_t listBuffer[KQ_DEVICE_LIST_MIN_SIZE] = {};
        std::uint32_t size = sizeof listBuffer;
        auto* list = reinterpret_cast<KQDeviceList*>(listBuffer);
        ASSERT_EQ(kq.GetDeviceList(&size, list), RESULT_OK);
        ASSERT_EQ(list->count, 1u);
        std::uint32_t camera = 0;
        ASSERT_EQ(kq.CreateCameraObject(&list->entry, &camera), RESULT_OK);
        ASSERT_EQ(kq.ConnectCamera(camera), RESULT_OK);
        ASSERT_EQ(kq.SetEventCallBack(camera, kEventContext, OnEvent), RESULT_OK);

        ASSERT_EQ(kq.RC_Release(camera), RESULT_OK);
        {
            std::lock_guard<std::mutex> lock(received.mutex);
            ASSERT_EQ(received.events.size(), 1u) << "the event arrives before the release returns";
            EXPECT_EQ(received.events[0].length, 24u);
            EXPECT_EQ(received.events[0].eventCode, kqPTP_FULL_VIEW_RELEASED);
            EXPECT_EQ(received.events[0].param1, kDownloadValue);
            EXPECT_EQ(received.eventCameras[0], camera);
        }

        std::vector<std::uint16_t> path(1024);
        path.resize(ZTSim_LastShotPath(path.data(), 1024) + 1);
        ASSERT_GT(path.size(), 1u);
        std::vector<std::uint8_t> written;
        ASSERT_TRUE(ReadUtf16File(path, &written));
        ASSERT_GT(written.size(), 100000u);

        ASSERT_EQ(kq.RC_GetReleasedData(camera, kClientValue, kqPTP_FULL_VIEW_RELEASED, 0,
                                        kDataContext, OnData),
                  RESULT_OK);
        ASSERT_GE(received.statuses.size(), 3u);
        EXPECT_EQ(received.statuses.front(), KQ_TRANSFER_START);
        EXPECT_EQ(received.statuses.back(), KQ_TRANSFER_END);
        EXPECT_EQ(received.statuses.size(), written.size() / KQ_TRANSFER_CHUNK_SIZE + 3);
        EXPECT_TRUE(received.bytes == written) << "received " << received.bytes.size()
                                               << " bytes, the file holds " << written.size();
        std::vector<std::uint8_t> after;
        EXPECT_FALSE(ReadUtf16File(path, &after)) << "the file is deleted after the transfer";
        EXPECT_TRUE(received.argumentsMatched);

        EXPECT_EQ(kq.DisconnectCamera(camera), RESULT_OK);
        EXPECT_EQ(kq.FinishSDK(), RESULT_OK);
    }
    ZTSim_WaitIdle();
    EXPECT_EQ(ZTSim_OutstandingCount(), 0u);
    EXPECT_EQ(ZTSim_FreeFaultCount(), 0u);
}

}  // namespace
}  // namespace kq::surface
