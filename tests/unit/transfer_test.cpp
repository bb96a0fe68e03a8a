// The released-image transfer: the TransferProgress records byte by byte,
// the event-code test, the file's deletion, and the record keeping when a
// download completes during a transfer or the file cannot be read.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bridge/callbacks.h"
#include "capture/quiet_preview_log.h"
#include "platform/platform.h"
#include "support/bridge_fixture.h"
#include "support/capture_support.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#endif

namespace kq::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kClientValue = 0xC1C2C3C4u;
void* const kContext = reinterpret_cast<void*>(0x7E57C0DEu);

struct Call {
    std::uint32_t camera;
    std::uint32_t clientValue;
    void* context;
    Bytes record;  // the 32 bytes as handed over
    Bytes chunk;   // the bytes the record points at (kept only when asked)
};

struct Recorder {
    std::vector<Call> calls;
    bool keepChunks = true;
    // Runs inside the client's callback, after the call is recorded.
    std::function<void(const KQTransferProgress&)> during;
};
Recorder* recorder = nullptr;

std::uint32_t KQ_STDCALL OnData(std::uint32_t camera, std::uint32_t clientValue, void* context,
                                const KQTransferProgress* progress) {
    Call call{camera, clientValue, context, Bytes(32), Bytes()};
    std::memcpy(call.record.data(), progress, 32);
    if (recorder->keepChunks && progress->data != nullptr) {
        call.chunk.assign(progress->data, progress->data + progress->count);
    }
    recorder->calls.push_back(call);
    if (recorder->during) recorder->during(*progress);
    return 0;
}

std::vector<KQEventRecord> events;
std::uint32_t KQ_STDCALL OnEvent(std::uint32_t, void*, const KQEventRecord* record) {
    events.push_back(*record);
    return 0;
}

Bytes Record(std::uint32_t status, std::uint32_t percent, std::uint32_t offset,
             std::uint32_t count, const void* data) {
    const std::uint32_t address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(data));
    Bytes bytes;
    for (std::uint32_t field : {status, 0u, percent, offset, count, 0u, 0u, address}) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(field >> (8 * i)));
    }
    return bytes;
}

Bytes Pattern(std::uint32_t offset, std::uint32_t count) {
    Bytes bytes(count);
    for (std::uint32_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>((offset + i) % 251);
    return bytes;
}

class TransferTest : public BridgeTest {
protected:
    static constexpr std::uint32_t kCamera = 0x5A430001u;

    void SetUp() override {
        BridgeTest::SetUp();
        recorder = &recorder_;
        events.clear();
        state.cameraHandle = kCamera;
        quietPreviewLog = 0;
    }

    // A completed download of `path`, handed over as the Camera SDK does.
    void Downloaded(const Path& path, std::uint32_t value = 0x600D) {
        StandInSubscription(state.downloadCompletedSub);
        state.download.downloadCtx = &state;
        DownloadCompletedCallback(&state.download.downloadCtx, value, path.data());
        log.Mark();
    }

    KQResult Transfer(std::uint32_t eventCode = kqPTP_FULL_VIEW_RELEASED) {
        return KQ_RC_GetReleasedData(kCamera, kClientValue, eventCode, 0xDEADBEEFu, kContext, OnData);
    }

    const void* buffer() const { return state.transferBuffer; }

    Recorder recorder_;
};

TEST_F(TransferTest, RecordsForEmptyOneOverAChunkAndTwoWholeChunksThenNothing) {
    struct Expected {
        std::uint32_t percent, offset, count;
    };
    struct Case {
        std::uint32_t size;
        std::vector<Expected> data;
    };
    const Case cases[] = {
        {0, {{100, 0, 0}}},
        {20481, {{99, 0, 20480}, {100, 20480, 1}}},
        {40960, {{50, 0, 20480}, {100, 20480, 20480}, {100, 40960, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        recorder_.calls.clear();
        const Path path = TestFile(c.size);
        Downloaded(path);
        quietPreviewLog = 0;

        EXPECT_EQ(Transfer(), RESULT_OK);

        ASSERT_EQ(recorder_.calls.size(), c.data.size() + 2);
        EXPECT_EQ(recorder_.calls.front().record, Record(1, 0, 0, 0, nullptr));
        for (std::size_t i = 0; i < c.data.size(); ++i) {
            const Expected& e = c.data[i];
            const Call& call = recorder_.calls[i + 1];
            EXPECT_EQ(call.record, Record(2, e.percent, e.offset, e.count, buffer())) << i;
            EXPECT_EQ(call.chunk, Pattern(e.offset, e.count)) << i;
        }
        EXPECT_EQ(recorder_.calls.back().record, Record(4, 0, 0, 0, nullptr));
        for (const Call& call : recorder_.calls) {
            EXPECT_EQ(call.camera, kCamera);
            EXPECT_EQ(call.clientValue, kClientValue);
            EXPECT_EQ(call.context, kContext);
        }
        EXPECT_FALSE(Exists(path)) << "deleted after the transfer";
        EXPECT_EQ(state.download.downloadPath.load(), nullptr);
        EXPECT_EQ(state.download.downloadValue.load(), 0u);
        EXPECT_EQ(quietPreviewLog.load(), 1u);
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_GetReleasedData",
                                                         "INF GetReleasedData begin",
                                                         "INF GetReleasedData end"}));

        // A second call for the same release finds nothing to send.
        recorder_.calls.clear();
        log.Mark();
        EXPECT_EQ(Transfer(), RESULT_OK);
        EXPECT_TRUE(recorder_.calls.empty());
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_GetReleasedData",
                                                         "INF GetReleasedData begin"}));
    }
}

TEST_F(TransferTest, PercentagesOfAFileOver42949672BytesRiseSteadilyTo100) {
    const std::uint32_t size = 50000000;  // size * 100 does not fit 32 bits
    Downloaded(TestFile(size));
    recorder_.keepChunks = false;
    std::uint8_t lastByte = 0;
    recorder_.during = [&](const KQTransferProgress& progress) {
        if (progress.status == KQ_TRANSFER_DATA && progress.count > 0) {
            lastByte = progress.data[progress.count - 1];
        }
    };
    EXPECT_EQ(Transfer(), RESULT_OK);

    ASSERT_EQ(recorder_.calls.size(), 2442u + 2);  // 2441 whole chunks and a short one
    std::uint32_t previous = 0;
    std::uint64_t delivered = 0;
    for (std::size_t i = 1; i + 1 < recorder_.calls.size(); ++i) {
        KQTransferProgress progress;
        std::memcpy(&progress, recorder_.calls[i].record.data(), sizeof progress);
        ASSERT_EQ(progress.offset, delivered) << i;
        delivered += progress.count;
        ASSERT_EQ(progress.percent, delivered * 100 / size) << i;
        ASSERT_GE(progress.percent, previous) << i;
        previous = progress.percent;
    }
    EXPECT_EQ(previous, 100u);
    EXPECT_EQ(delivered, size);
    EXPECT_EQ(lastByte, (size - 1) % 251);
}

TEST_F(TransferTest, OnlyTheLow16BitsOfTheEventCodeCount) {
    const Path path = TestFile(4);
    Downloaded(path);
    EXPECT_EQ(Transfer(0x0001C009u), RESULT_OK);
    EXPECT_EQ(Transfer(0xC0080000u), RESULT_OK);
    EXPECT_TRUE(recorder_.calls.empty());
    EXPECT_EQ(log.Lines(), std::vector<std::string>(2, "INF KQ_RC_GetReleasedData"));
    EXPECT_TRUE(Exists(path));

    EXPECT_EQ(Transfer(0xFFFFC008u), RESULT_OK);
    EXPECT_EQ(recorder_.calls.size(), 3u);
    EXPECT_FALSE(Exists(path));
}

TEST_F(TransferTest, UnopenableFileKeepsItsPath) {
    Path missing = TestFile(1);
    ASSERT_TRUE(platform::DeleteUtf16File(missing.data()));
    Downloaded(missing, 9);
    EXPECT_EQ(Transfer(), RESULT_OK);
    EXPECT_TRUE(recorder_.calls.empty());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"INF KQ_RC_GetReleasedData",
                                                     "INF GetReleasedData begin",
                                                     "ERR The temporary file was not opened"}));
    EXPECT_EQ(RecordedPath(), missing);
    EXPECT_EQ(state.download.downloadValue.load(), 9u);
    EXPECT_EQ(quietPreviewLog.load(), 0u);
}

TEST_F(TransferTest, FileThatCannotBeDeletedIsKeptWithItsPathAndValue) {
    const Path path = TestFile(100);
    Downloaded(path, 5);
    // The client removes the file itself before the transfer gets to it.
    recorder_.during = [&](const KQTransferProgress& progress) {
        if (progress.status == KQ_TRANSFER_END) platform::DeleteUtf16File(path.data());
    };
    EXPECT_EQ(Transfer(), RESULT_OK);
    EXPECT_EQ(recorder_.calls.size(), 3u);
    EXPECT_EQ(RecordedPath(), path);
    EXPECT_EQ(state.download.downloadValue.load(), 5u);
}

// A client callback that throws counts as one that returned: the export
// gives 0, one ERR line tells of it, every record is still delivered, and
// the transfer's end steps run (file deleted, quietPreviewLog set back).
TEST_F(TransferTest, ThrowingCallbackStillGetsEveryRecordAndTheEndSteps) {
    const std::uint32_t throwAt[] = {KQ_TRANSFER_START, KQ_TRANSFER_DATA, KQ_TRANSFER_END};
    for (std::uint32_t status : throwAt) {
        SCOPED_TRACE(status);
        recorder_.calls.clear();
        const Path path = TestFile(30000);
        Downloaded(path);
        quietPreviewLog = 0;
        recorder_.during = [status](const KQTransferProgress& progress) {
            if (progress.status == status) throw std::runtime_error("client");
        };
        EXPECT_EQ(Transfer(), RESULT_OK);
        ASSERT_EQ(recorder_.calls.size(), 4u);
        EXPECT_EQ(recorder_.calls[2].chunk, Pattern(20480, 30000 - 20480));
        EXPECT_EQ(recorder_.calls.back().record, Record(4, 0, 0, 0, nullptr));
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(state.download.downloadPath.load(), nullptr);
        EXPECT_EQ(quietPreviewLog.load(), 1u);
        EXPECT_EQ(log.Lines(),
                  (std::vector<std::string>{
                      "INF KQ_RC_GetReleasedData", "INF GetReleasedData begin",
                      "ERR GetReleasedData: the client's callback threw, the transfer goes on",
                      "INF GetReleasedData end"}));
    }
}

#if !defined(_WIN32)
// A directory opens for reading on POSIX but every read of it fails.
TEST_F(TransferTest, ReadErrorSendsTheEndRecordAndKeepsTheFile) {
    const std::string folder = std::string(KQSDK_TEST_STATE_DIR) + "/unreadable";
    mkdir(KQSDK_TEST_STATE_DIR, 0700);
    mkdir(folder.c_str(), 0700);
    Path path(folder.begin(), folder.end());
    path.push_back(0);
    Downloaded(path, 3);

    EXPECT_EQ(Transfer(), RESULT_OK);
    ASSERT_EQ(recorder_.calls.size(), 2u);
    EXPECT_EQ(recorder_.calls[0].record, Record(1, 0, 0, 0, nullptr));
    EXPECT_EQ(recorder_.calls[1].record, Record(4, 0, 0, 0, nullptr));
    EXPECT_EQ(RecordedPath(), path);
    EXPECT_EQ(state.download.downloadValue.load(), 3u);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "INF KQ_RC_GetReleasedData", "INF GetReleasedData begin",
                               "ERR GetReleasedData: read error, the temporary file is kept",
                               "INF GetReleasedData end"}));
}
#endif

// A download completes on the simulator's thread while the client handles a
// chunk: the transfer finishes with the file it started on, deletes only
// that one, and leaves the newer file and its record alone. The event raised
// meanwhile does not touch the chunk being delivered.
class TransferDuringDownloadTest : public TransferTest {
protected:
    std::uint32_t Connect() {
        state.cameraHandle = 0;
        const std::uint32_t handle = ConnectFirstCamera();
        EXPECT_EQ(KQ_SetEventCallBack(handle, nullptr, OnEvent), RESULT_OK);
        return handle;
    }
};

TEST_F(TransferDuringDownloadTest, NewerDownloadSurvivesTheTransferThatEnds) {
    ASSERT_EQ(Connect(), kCamera);
    const Path older = TestFile(30000);
    const Path newer = TestFile(7);
    ASSERT_EQ(ZTSim_RaiseDownloadCompleted(1, older.data()), 1u);
    ZTSim_WaitIdle();
    ASSERT_EQ(RecordedPath(), older);

    Bytes chunkAfterEvent;
    recorder_.during = [&](const KQTransferProgress& progress) {
        if (progress.status != KQ_TRANSFER_DATA || progress.offset != 0) return;
        ZTSim_RaiseDownloadCompleted(2, newer.data());
        ZTSim_WaitIdle();
        chunkAfterEvent.assign(progress.data, progress.data + progress.count);
    };
    EXPECT_EQ(Transfer(), RESULT_OK);

    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[1].param1, 2u);
    ASSERT_EQ(recorder_.calls.size(), 4u);
    EXPECT_EQ(recorder_.calls[1].chunk, Pattern(0, 20480));
    EXPECT_EQ(chunkAfterEvent, Pattern(0, 20480)) << "the event left the chunk alone";
    EXPECT_EQ(recorder_.calls[2].chunk, Pattern(20480, 30000 - 20480)) << "still the older file";
    EXPECT_FALSE(Exists(older));
    EXPECT_TRUE(Exists(newer));
    EXPECT_EQ(RecordedPath(), newer);
    EXPECT_EQ(state.download.downloadValue.load(), 2u);

    recorder_.calls.clear();
    recorder_.during = nullptr;
    EXPECT_EQ(Transfer(), RESULT_OK);
    ASSERT_EQ(recorder_.calls.size(), 3u);
    EXPECT_EQ(recorder_.calls[1].chunk, Pattern(0, 7));
    EXPECT_FALSE(Exists(newer));
    EXPECT_EQ(state.download.downloadPath.load(), nullptr);
}

TEST_F(TransferDuringDownloadTest, NewerDownloadUnderTheSameNameIsNotDeleted) {
    ASSERT_EQ(Connect(), kCamera);
    const Path path = TestFile(10);
    ASSERT_EQ(ZTSim_RaiseDownloadCompleted(1, path.data()), 1u);
    ZTSim_WaitIdle();
    recorder_.during = [&](const KQTransferProgress& progress) {
        if (progress.status != KQ_TRANSFER_DATA) return;
        ZTSim_RaiseDownloadCompleted(2, path.data());
        ZTSim_WaitIdle();
    };
    EXPECT_EQ(Transfer(), RESULT_OK);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(RecordedPath(), path);
    EXPECT_EQ(state.download.downloadValue.load(), 2u);
}

}  // namespace
}  // namespace kq::test
