// Released-image transfer: KQ_RC_GetReleasedData of a 25 MB file to a
// callback that reads every byte, against a plain loop reading the same file
// in 20480-byte chunks. The bridge deletes the file it transferred, so each
// iteration hands it a fresh hard link to the same data (made outside the
// timing); both sides read from the page cache.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_support.h"
#include "kqsdk.h"
#include "zt_sim.h"

namespace kq::bench {
namespace {

constexpr std::uint32_t kFileSize = 25u * 1024u * 1024u;

struct Sink {
    std::uint32_t sum = 0;
    std::uint64_t bytes = 0;
    bool ended = false;
};

std::uint32_t Touch(const std::uint8_t* data, std::size_t count) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += data[i];
    return sum;
}

std::uint32_t KQ_STDCALL OnChunk(std::uint32_t, std::uint32_t, void* context,
                                 const KQTransferProgress* progress) {
    auto* sink = static_cast<Sink*>(context);
    if (progress->status == KQ_TRANSFER_DATA) {
        sink->sum += Touch(progress->data, progress->count);
        sink->bytes += progress->count;
    } else if (progress->status == KQ_TRANSFER_END) {
        sink->ended = true;
    }
    return 0;
}

bool WriteFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    std::vector<std::uint8_t> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i % 251);
    bool ok = true;
    for (std::uint32_t written = 0; written < kFileSize; written += block.size()) {
        ok = ok && std::fwrite(block.data(), 1, block.size(), file) == block.size();
    }
    return std::fclose(file) == 0 && ok;
}

void BM_ReleasedDataTransfer(benchmark::State& state) {
    const std::uint32_t camera = ConnectCamera();
    const std::string original = ScratchFolder() + "/released.bin";
    if (camera == 0 || !WriteFile(original)) {
        state.SkipWithError("no camera or no file");
        return;
    }
    const std::string link = ScratchFolder() + "/released-link.bin";
    const std::vector<std::uint16_t> linkPath = Utf16(link);
    std::vector<std::uint8_t> chunk(KQ_TRANSFER_CHUNK_SIZE);

    double bridgeSeconds = 0;
    double plainSeconds = 0;
    std::uint32_t plainSum = 0;
    for (auto _ : state) {
        if (::link(original.c_str(), link.c_str()) != 0) {
            state.SkipWithError("link failed");
            break;
        }
        ZTSim_RaiseDownloadCompleted(1, linkPath.data());
        ZTSim_WaitIdle();

        Sink sink;
        const Clock::time_point t0 = Clock::now();
        KQ_RC_GetReleasedData(camera, 0, kqPTP_FULL_VIEW_RELEASED, 0, &sink, OnChunk);
        const Clock::time_point t1 = Clock::now();
        std::FILE* file = std::fopen(original.c_str(), "rb");
        std::uint64_t plainBytes = 0;
        plainSum = 0;
        for (;;) {
            const std::size_t count = std::fread(chunk.data(), 1, chunk.size(), file);
            if (count == 0) break;
            plainSum += Touch(chunk.data(), count);
            plainBytes += count;
        }
        std::fclose(file);
        const Clock::time_point t2 = Clock::now();

        if (!sink.ended || sink.bytes != kFileSize || plainBytes != kFileSize ||
            sink.sum != plainSum || ::access(link.c_str(), F_OK) == 0) {
            state.SkipWithError("transfer incomplete, wrong or file left behind");
            break;
        }
        bridgeSeconds += Seconds(t0, t1);
        plainSeconds += Seconds(t1, t2);
        state.SetIterationTime(Seconds(t0, t1));
    }
    const double bytes = static_cast<double>(kFileSize) * static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["bridge_MBps"] = bytes / bridgeSeconds / 1e6;
    state.counters["plain_MBps"] = bytes / plainSeconds / 1e6;
    state.counters["throughput_ratio"] = plainSeconds / bridgeSeconds;
    ::unlink(original.c_str());
    Disconnect(camera);
}

BENCHMARK(BM_ReleasedDataTransfer)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kq::bench
