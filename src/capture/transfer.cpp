// Hands the released image to the client: a start record, one record per
// chunk of up to 20480 bytes with its progress, an end record, and then the
// file is deleted.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "bridge/race_annotations.h"
#include "bridge/sdk_wrapper.h"
#include "capture/download_path.h"
#include "capture/quiet_preview_log.h"
#include "log/trace.h"
#include "platform/platform.h"

namespace kq {

namespace {

struct FreePath {
    void operator()(std::uint16_t* path) const noexcept { std::free(path); }
};
using OwnedPath = std::unique_ptr<std::uint16_t, FreePath>;

struct CloseFile {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using OwnedFile = std::unique_ptr<std::FILE, CloseFile>;

// Takes the record's path, with the generation it belongs to: the transfer
// that takes it is the only one that gets this picture, as when transfers
// run one after another and the first deletes the file. A transfer started
// meanwhile finds no path, as it would after the first one.
OwnedPath TakePath(CSDKWrapper::DownloadRecord& record, std::uint32_t* generation) {
    std::lock_guard<std::mutex> lock(record.mutex);
    *generation = record.generation;
    return OwnedPath(record.downloadPath.exchange(nullptr));
}

// Gives a path back to the record after a transfer that kept its file (not
// opened, not read to the end, not deleted), so that a later call transfers
// it again; unless a download completed meanwhile, whose record is newer.
void PutBack(CSDKWrapper::DownloadRecord& record, std::uint32_t generation, OwnedPath path) {
    std::lock_guard<std::mutex> lock(record.mutex);
    if (record.generation == generation) record.downloadPath = path.release();
}

// Whether a download completed since `generation` and its file has the same
// name as the one transferred: then the file on disk is the newer image and
// must not be deleted.
bool NewerDownloadReusedTheName(CSDKWrapper::DownloadRecord& record, std::uint32_t generation,
                                const std::uint16_t* path) {
    std::lock_guard<std::mutex> lock(record.mutex);
    return record.generation != generation && SamePath(record.downloadPath.load(), path);
}

// Forgets the transferred download's value, but only while no newer
// download has replaced the record.
void ForgetValueIfStillCurrent(CSDKWrapper::DownloadRecord& record, std::uint32_t generation) {
    std::lock_guard<std::mutex> lock(record.mutex);
    if (record.generation == generation) record.downloadValue = 0;
}

// Progress in whole percent, rounded down; 100 when the length is unknown.
// Computed in 64 bits so that no 32-bit length overflows, and capped at 100
// for a file that grew while it was read.
std::uint32_t Percent(std::uint64_t done, std::int64_t fileLength) {
    if (fileLength <= 0) return 100;
    const std::uint64_t percent = done * 100u / static_cast<std::uint64_t>(fileLength);
    return percent > 100 ? 100 : static_cast<std::uint32_t>(percent);
}

// The buffer one transfer reads its chunks into: the state's transferBuffer
// when no other transfer holds it, else a heap block of its own.
class ChunkBuffer {
public:
    explicit ChunkBuffer(CSDKWrapper& state) : state_(state) {
        if (state.transferBufferInUse.exchange(1) == 0) {
            // The buffer passes from the transfer that set the flag back to
            // 0 to this one: its reads of the buffer come before our writes.
            HandOffReceived(&state.transferBufferInUse);
            data_ = state.transferBuffer;
            shared_ = true;
        } else {
            data_ = static_cast<std::uint8_t*>(std::malloc(kTransferBufferSize));
        }
    }
    ~ChunkBuffer() {
        if (shared_) {
            HandOffSent(&state_.transferBufferInUse);
            state_.transferBufferInUse = 0;
        } else {
            std::free(data_);
        }
    }
    ChunkBuffer(const ChunkBuffer&) = delete;
    ChunkBuffer& operator=(const ChunkBuffer&) = delete;

    std::uint8_t* data() const { return data_; }
    bool shared() const { return shared_; }

private:
    CSDKWrapper& state_;
    std::uint8_t* data_ = nullptr;
    bool shared_ = false;
};

// The client's released-data callback with its arguments. The client cannot
// stop a transfer: a callback that throws counts as one that returned, so
// that every record is still delivered and the transfer's end steps (end
// record, deleting the file, setting quietPreviewLog back) still run. The
// first throw of a transfer is logged.
class ClientCallback {
public:
    ClientCallback(KQReleasedDataCallback callback, std::uint32_t camera,
                   std::uint32_t clientValue, void* context)
        : callback_(callback), camera_(camera), clientValue_(clientValue), context_(context) {}

    void operator()(const KQTransferProgress* progress) {
        try {
            callback_(camera_, clientValue_, context_, progress);
        } catch (...) {
            if (!threw_) {
                Tracef("GetReleasedData: the client's callback threw, the transfer goes on",
                       kLogError);
            }
            threw_ = true;
        }
    }

private:
    const KQReleasedDataCallback callback_;
    const std::uint32_t camera_;
    const std::uint32_t clientValue_;
    void* const context_;
    bool threw_ = false;
};

}  // namespace

int CSDKWrapper::GetReleasedData(KQReleasedDataCallback callback, std::uint32_t clientValue,
                                 void* context) {
    TraceCall("GetReleasedData begin");
    if (callback == nullptr) return 0;
    std::uint32_t generation = 0;
    OwnedPath path = TakePath(download, &generation);
    if (path == nullptr) return 0;

    OwnedFile file(platform::OpenUtf16ForReading(path.get()));
    if (file == nullptr) {
        Tracef("The temporary file was not opened", kLogError);
        PutBack(download, generation, std::move(path));
        return 0;
    }
    std::int64_t fileLength = platform::FileLength(file.get());
    if (fileLength < 0) fileLength = 0;
    const ChunkBuffer chunk(*this);
    if (chunk.data() == nullptr) {
        Tracef("GetReleasedData: no memory for a chunk buffer", kLogError);
        PutBack(download, generation, std::move(path));
        return 0;
    }
    // The client's callback may call back into the library; it runs marked
    // as inside a callback, so that nothing it calls waits for this thread.
    const CallbackScope inside;

    ClientCallback client(callback, cameraHandle.load(), clientValue, context);
    KQTransferProgress progress;
    std::memset(&progress, 0, sizeof progress);
    progress.status = KQ_TRANSFER_START;
    client(&progress);

    // End-of-file is set only by a read that finds no more bytes, so a
    // length that is a multiple of the chunk size ends with a 0-byte record.
    std::uint64_t delivered = 0;
    bool readError = false;
    while (std::feof(file.get()) == 0) {
        const std::size_t count = std::fread(chunk.data(), 1, kTransferBufferSize, file.get());
        if (chunk.shared()) transferCount = static_cast<std::uint32_t>(count);
        if (std::ferror(file.get()) != 0) {
            readError = true;
            break;
        }
        std::memset(&progress, 0, sizeof progress);
        progress.status = KQ_TRANSFER_DATA;
        progress.percent = Percent(delivered + count, fileLength);
        progress.offset = static_cast<std::uint32_t>(delivered);
        progress.count = static_cast<std::uint32_t>(count);
        progress.data = chunk.data();
        client(&progress);
        if (count == 0) break;
        delivered += count;
    }
    file.reset();

    std::memset(&progress, 0, sizeof progress);
    progress.status = KQ_TRANSFER_END;
    client(&progress);

    if (readError) {
        // The client did not receive the whole image: the file and its path
        // stay so that a later call can transfer it again.
        Tracef("GetReleasedData: read error, the temporary file is kept", kLogError);
        PutBack(download, generation, std::move(path));
    } else if (NewerDownloadReusedTheName(download, generation, path.get())) {
        // The file on disk is the newer picture, which the record names.
    } else if (platform::DeleteUtf16File(path.get())) {
        ForgetValueIfStillCurrent(download, generation);
    } else {
        PutBack(download, generation, std::move(path));
    }
    TraceCall("GetReleasedData end");
    quietPreviewLog = 1;
    return readError ? 0 : 1;
}

}  // namespace kq
