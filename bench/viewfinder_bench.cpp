// Viewfinder frame: from the simulator's frame to the JPEG image in the
// client's callback (fetch, reorder, encode, deliver), against libjpeg-turbo
// alone compressing the same picture, already top-down RGB, with the same
// defaults into a buffer it keeps. Each iteration runs both, so the ratio
// holds on a noisy machine. The simulator's own share (drawing and copying
// the frame it hands out) is reported apart.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

#include "alloc_count.h"
#include "bench_support.h"
#include "bridge/callbacks.h"
#include "bridge/sdk_wrapper.h"
#include "camera_sdk.h"
#include "kqsdk.h"
#include "viewfinder/swap_red_blue.h"
#include "zt_sim.h"

namespace kq::bench {
namespace {

struct Received {
    std::uint32_t frames = 0;
    std::uint64_t bytes = 0;
};

std::uint32_t KQ_STDCALL OnFrame(std::uint32_t, void* context, std::uint32_t size,
                                 const std::uint8_t* jpeg) {
    auto* received = static_cast<Received*>(context);
    ++received->frames;
    received->bytes += size;
    benchmark::DoNotOptimize(jpeg[size - 1]);
    return 0;
}

// The picture of one simulator frame as top-down RGB rows.
std::vector<std::uint8_t> TopDownRgb(ZTHandle session, std::uint32_t width, std::uint32_t height) {
    std::uint8_t* frame = nullptr;
    std::int32_t count = 0;
    std::vector<std::uint8_t> rgb;
    if (ZTGetPreviewFrame(session, &frame, &count) != ZT_OK || frame == nullptr) return rgb;
    const std::uint32_t stride = (3 * width + 3) & ~3u;
    rgb.resize(std::size_t{3} * width * height);
    for (std::uint32_t row = 0; row < height; ++row) {
        const std::uint8_t* in = frame + 54 + (height - 1 - row) * stride;
        std::uint8_t* out = rgb.data() + std::size_t{3} * width * row;
        for (std::uint32_t x = 0; x < width; ++x) {
            out[3 * x] = in[3 * x + 2];
            out[3 * x + 1] = in[3 * x + 1];
            out[3 * x + 2] = in[3 * x];
        }
    }
    ZTFree(frame);
    return rgb;
}

// libjpeg-turbo alone: default parameters, memory destination, the output
// buffer kept from one image to the next.
class PlainEncoder {
public:
    PlainEncoder() : buffer_(static_cast<unsigned char*>(std::malloc(kInitialSize))) {}
    ~PlainEncoder() { std::free(buffer_); }
    PlainEncoder(const PlainEncoder&) = delete;
    PlainEncoder& operator=(const PlainEncoder&) = delete;

    unsigned long Encode(const std::vector<std::uint8_t>& rgb, std::uint32_t width,
                         std::uint32_t height, std::vector<JSAMPROW>& rows) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr error;
        cinfo.err = jpeg_std_error(&error);
        jpeg_create_compress(&cinfo);
        unsigned long size = capacity_;
        jpeg_mem_dest(&cinfo, &buffer_, &size);
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_start_compress(&cinfo, TRUE);
        for (std::uint32_t row = 0; row < height; ++row) {
            rows[row] = const_cast<JSAMPROW>(rgb.data() + std::size_t{3} * width * row);
        }
        jpeg_write_scanlines(&cinfo, rows.data(), height);
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        if (size > capacity_) capacity_ = size;
        return size;
    }

private:
    static constexpr unsigned long kInitialSize = 4u * 1024u * 1024u;
    unsigned char* buffer_;
    unsigned long capacity_ = kInitialSize;
};

void BM_ViewfinderFrame(benchmark::State& state) {
    const auto width = static_cast<std::uint32_t>(state.range(0));
    const auto height = static_cast<std::uint32_t>(state.range(1));
    const std::uint32_t camera = ConnectCamera();
    Received received;
    if (camera == 0 || !ZTSim_SetPreviewSize(static_cast<std::int32_t>(width),
                                             static_cast<std::int32_t>(height)) ||
        KQ_RC_StartViewFinder(camera, &received, OnFrame) != RESULT_OK) {
        state.SkipWithError("no viewfinder");
        return;
    }
    ZTHandle session = bridgeState.session.load();
    const std::vector<std::uint8_t> rgb = TopDownRgb(session, width, height);
    std::vector<JSAMPROW> rows(height);
    PlainEncoder plain;
    void* const context = &bridgeState.previewCtx;

    // Allocations of one frame each way, counted once outside the timing.
    std::uint64_t before = AllocationCount();
    NewPreviewFrameCallback(context);
    const std::uint64_t bridgeAllocs = AllocationCount() - before;
    before = AllocationCount();
    plain.Encode(rgb, width, height, rows);
    const std::uint64_t encoderAllocs = AllocationCount() - before;
    before = AllocationCount();
    {
        std::uint8_t* frame = nullptr;
        std::int32_t count = 0;
        ZTGetPreviewFrame(session, &frame, &count);
        ZTFree(frame);
    }
    const std::uint64_t simAllocs = AllocationCount() - before;

    double bridgeSeconds = 0;
    double plainSeconds = 0;
    double simSeconds = 0;
    std::uint64_t plainBytes = 0;
    const std::uint32_t framesBefore = received.frames;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        NewPreviewFrameCallback(context);
        const Clock::time_point t1 = Clock::now();
        plainBytes += plain.Encode(rgb, width, height, rows);
        const Clock::time_point t2 = Clock::now();
        std::uint8_t* frame = nullptr;
        std::int32_t count = 0;
        ZTGetPreviewFrame(session, &frame, &count);
        ZTFree(frame);
        const Clock::time_point t3 = Clock::now();
        bridgeSeconds += Seconds(t0, t1);
        plainSeconds += Seconds(t1, t2);
        simSeconds += Seconds(t2, t3);
        state.SetIterationTime(Seconds(t0, t1));
    }
    const double n = static_cast<double>(state.iterations());
    if (received.frames - framesBefore != state.iterations()) {
        state.SkipWithError("a frame was not delivered");
    }
    state.counters["bridge_ms"] = 1e3 * bridgeSeconds / n;
    state.counters["libjpeg_ms"] = 1e3 * plainSeconds / n;
    state.counters["ratio"] = bridgeSeconds / plainSeconds;
    state.counters["sim_fetch_ms"] = 1e3 * simSeconds / n;
    state.counters["ratio_wo_sim"] = (bridgeSeconds - simSeconds) / plainSeconds;
    state.counters["jpeg_kB"] = static_cast<double>(received.bytes) / received.frames / 1024.0;
    state.counters["plain_kB"] = static_cast<double>(plainBytes) / n / 1024.0;
    // Allocations of one delivered frame: the simulator's (handing out the
    // frame) and the rest, which is the encoder's own; plain libjpeg's for
    // comparison.
    state.counters["allocs_frame"] = static_cast<double>(bridgeAllocs);
    state.counters["allocs_sim"] = static_cast<double>(simAllocs);
    state.counters["allocs_bridge_encoder"] = static_cast<double>(bridgeAllocs - simAllocs);
    state.counters["allocs_plain_libjpeg"] = static_cast<double>(encoderAllocs);
    KQ_RC_TermViewFinder(camera);
    Disconnect(camera);
}

BENCHMARK(BM_ViewfinderFrame)
    ->Args({640, 480})
    ->Args({1280, 720})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The red-blue exchange alone over one frame's rows, row by row as the
// encoder runs it: the portable loop against the vector version.
void BM_SwapRedBlue(benchmark::State& state) {
    const bool vector = state.range(0) != 0;
    const auto width = static_cast<std::uint32_t>(state.range(1));
    const auto height = static_cast<std::uint32_t>(state.range(2));
    const std::uint32_t stride = (3 * width + 3) & ~3u;
    std::vector<std::uint8_t> frame(std::size_t{stride} * height, 0x5a);
    if (vector && !SwapRedBlueVector(frame.data(), 1)) {
        state.SkipWithError("processor lacks the vector instructions");
        return;
    }
    for (auto _ : state) {
        for (std::uint32_t row = 0; row < height; ++row) {
            std::uint8_t* pixels = frame.data() + std::size_t{stride} * row;
            if (vector) {
                SwapRedBlueVector(pixels, width);
            } else {
                SwapRedBluePortable(pixels, width);
            }
        }
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 3 * width * height);
    state.SetLabel(vector ? "vector" : "portable");
}

BENCHMARK(BM_SwapRedBlue)
    ->Args({0, 640, 480})
    ->Args({1, 640, 480})
    ->Args({0, 1280, 720})
    ->Args({1, 1280, 720})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kq::bench
