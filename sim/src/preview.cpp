// Preview frames. While the preview of a session is on, a timer on the
// callback thread announces a new frame to the session's preview-frame
// subscriptions at the configured rate; ZTGetPreviewFrame then hands out a
// copy of the current picture as a complete 24-bit bottom-up bitmap file
// image (rows padded to four bytes), which the client releases with ZTFree.
//
// The picture: a red band along the top and a blue band along the bottom
// (so that an upside-down or channel-swapped picture shows at once), colour
// bars between them, a black-and-white square that moves along the bars
// from frame to frame, a centred white frame that grows with the zoom, and
// a gauge above the blue band filled in green to the zoom position.
//
// Tests can replace the next frames: with bytes of their own (malformed
// headers included) or with a null pointer, a count of 0 or a negative
// count. Injected frames are used first, in order.
//
// A frame can be fetched whether or not the preview is on: an announcement
// may still be on its way to the client when it turns the preview off.
#include "preview.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <set>
#include <vector>

#include "camera_sdk.h"
#include "guard.h"
#include "notifications.h"
#include "properties.h"
#include "sim_state.h"
#include "zt_call.h"
#include "zt_sim.h"

using namespace ztsim;

namespace {

constexpr uint32_t kMaxRate = 1000;
constexpr int32_t kMaxPreviewSide = 4096;
constexpr uint32_t kBitmapHeaderSize = 14 + 40;
// Pixels the moving square advances per frame.
constexpr uint32_t kSquareStep = 4;

struct InjectedFrame {
    int32_t kind;  // 0: bytes; otherwise a ZTSIM_PREVIEW_... value
    std::vector<uint8_t> bytes;
};

// Guarded by State().mutex.
struct Preview {
    uint32_t rate = kPreviewRate;
    int32_t width = kPreviewWidth;
    int32_t height = kPreviewHeight;
    std::set<ZTHandle> on;      // sessions whose preview is on
    std::set<ZTHandle> timers;  // sessions with a frame timer queued
    uint64_t generation = 0;    // advanced by a reset; older timers stop
    uint32_t frameNumber = 0;   // frames generated since the reset
    uint32_t handedOut = 0;     // frames handed out since the reset
    std::deque<InjectedFrame> injected;
};

Preview& ThePreview() {
    static Preview* const preview = new Preview;
    return *preview;
}

uint32_t PeriodMs(uint32_t rate) { return rate == 0 ? 0 : 1000 / rate; }

void PutU16(uint8_t* p, uint32_t value) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* p, uint32_t value) {
    PutU16(p, value & 0xFFFF);
    PutU16(p + 2, value >> 16);
}

uint32_t RowBytes(int32_t width) { return (static_cast<uint32_t>(width) * 3 + 3) & ~3u; }

uint32_t BitmapSize(int32_t width, int32_t height) {
    return kBitmapHeaderSize + RowBytes(width) * static_cast<uint32_t>(height);
}

struct Rgb {
    uint8_t r, g, b;
};

// The colour of background pixel (x, y), y counted from the top: the
// picture without the moving square.
Rgb BackgroundAt(int32_t x, int32_t y, int32_t width, int32_t height, int32_t zoom,
                 int32_t zoomMaximum) {
    const int32_t band = height / 8;
    if (y < band) return {255, 0, 0};
    if (y >= height - band) return {0, 0, 255};

    // Zoom gauge just above the blue band.
    const int32_t gaugeHeight = height / 24;
    if (y >= height - band - gaugeHeight) {
        const int64_t filled = zoomMaximum > 0 ? int64_t{width} * zoom / zoomMaximum : 0;
        return x < filled ? Rgb{0, 255, 0} : Rgb{64, 64, 64};
    }

    // A white frame round the centre: a quarter of the picture at the
    // widest angle, growing to three quarters at the longest focal length.
    const int64_t scale = zoomMaximum > 0 ? 256 + int64_t{512} * zoom / zoomMaximum : 256;
    const int64_t halfWidth = int64_t{width} * scale / 2048;
    const int64_t halfHeight = int64_t{height} * scale / 2048;
    const int64_t dx = x - width / 2;
    const int64_t dy = y - height / 2;
    const int64_t ax = dx < 0 ? -dx : dx;
    const int64_t ay = dy < 0 ? -dy : dy;
    if (ax <= halfWidth && ay <= halfHeight && (ax >= halfWidth - 2 || ay >= halfHeight - 2)) {
        return {255, 255, 255};
    }

    // Colour bars.
    static const Rgb bars[8] = {{192, 192, 192}, {192, 192, 0}, {0, 192, 192}, {0, 192, 0},
                                {192, 0, 192},   {192, 0, 0},   {0, 0, 192},   {16, 16, 16}};
    return bars[(int64_t{x} * 8) / width];
}

// The bitmap file image of the picture without the square, kept while the
// size and the zoom stay the same.
struct Background {
    int32_t width = 0;
    int32_t height = 0;
    int32_t zoom = 0;
    int32_t zoomMaximum = 0;
    std::vector<uint8_t> image;
};

void PutPixel(uint8_t* image, int32_t width, int32_t height, int32_t x, int32_t y, Rgb c) {
    uint8_t* p = image + kBitmapHeaderSize +
                 static_cast<uint32_t>(height - 1 - y) * RowBytes(width) +
                 3 * static_cast<uint32_t>(x);
    p[0] = c.b;
    p[1] = c.g;
    p[2] = c.r;
}

const std::vector<uint8_t>& BackgroundImage(int32_t width, int32_t height, int32_t zoom,
                                            int32_t zoomMaximum) {
    static Background* const cache = new Background;
    if (!cache->image.empty() && cache->width == width && cache->height == height &&
        cache->zoom == zoom && cache->zoomMaximum == zoomMaximum) {
        return cache->image;
    }
    const uint32_t size = BitmapSize(width, height);
    std::vector<uint8_t> image(size, 0);
    uint8_t* header = image.data();
    header[0] = 'B';
    header[1] = 'M';
    PutU32(header + 2, size);
    PutU32(header + 10, kBitmapHeaderSize);
    PutU32(header + 14, 40);
    PutU32(header + 18, static_cast<uint32_t>(width));
    PutU32(header + 22, static_cast<uint32_t>(height));  // positive: bottom-up
    PutU16(header + 26, 1);
    PutU16(header + 28, 24);
    PutU32(header + 30, 0);  // uncompressed
    PutU32(header + 34, RowBytes(width) * static_cast<uint32_t>(height));
    PutU32(header + 38, 2835);  // 72 dots per inch
    PutU32(header + 42, 2835);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            PutPixel(image.data(), width, height, x, y,
                     BackgroundAt(x, y, width, height, zoom, zoomMaximum));
        }
    }
    cache->image.swap(image);
    cache->width = width;
    cache->height = height;
    cache->zoom = zoom;
    cache->zoomMaximum = zoomMaximum;
    return cache->image;
}

// Writes the bitmap file image of frame `frameNumber` into `image`, which
// holds BitmapSize(width, height) bytes: the background, and the square
// moving along a path across the middle.
void DrawFrame(uint8_t* image, int32_t width, int32_t height, uint32_t frameNumber, int32_t zoom,
               int32_t zoomMaximum) {
    const std::vector<uint8_t>& background = BackgroundImage(width, height, zoom, zoomMaximum);
    std::memcpy(image, background.data(), background.size());
    const int32_t side = height / 6 > 0 ? height / 6 : 1;
    const int32_t travel = width > side ? width - side : 1;
    const int32_t left = static_cast<int32_t>((uint64_t{frameNumber} * kSquareStep) % travel);
    const int32_t top = height / 8 + side / 2;
    for (int32_t y = top; y < top + side && y < height; ++y) {
        for (int32_t x = left; x < left + side && x < width; ++x) {
            const bool edge =
                x < left + 3 || x >= left + side - 3 || y < top + 3 || y >= top + side - 3;
            PutPixel(image, width, height, x, y, edge ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
        }
    }
}

// Queues `count` frame announcements to every preview-frame subscription on
// `session`, handed to the callback threads in turn. Returns the number
// queued. The caller holds state.mutex.
uint32_t AnnounceFramesLocked(SimState& state, ZTHandle session, uint32_t count) {
    uint32_t queued = 0;
    for (const LiveSubscription& target :
         state.subscriptions.OfKind(SubscriptionKind::NewPreviewFrame, session)) {
        for (uint32_t i = 0; i < count; ++i) {
            QueueNotification(
                state, target, 0,
                [](AnyProc proc, void* context) {
                    reinterpret_cast<ZTNewPreviewFrameProc>(proc)(context);
                },
                CallbackLane::InTurn);
            ++queued;
        }
    }
    return queued;
}

void FrameTimer(ZTHandle session, uint64_t generation);

// Queues the frame timer of `session` unless one is queued already. The
// caller holds state.mutex.
void StartTimerLocked(SimState& state, ZTHandle session) {
    Preview& preview = ThePreview();
    if (preview.rate == 0 || !preview.timers.insert(session).second) return;
    const uint64_t generation = preview.generation;
    state.callbacks.Post(PeriodMs(preview.rate),
                         [session, generation]() { FrameTimer(session, generation); });
}

// One tick: announce a frame and queue the next tick, for as long as the
// session lives, its preview is on and the rate is not 0.
void FrameTimer(ZTHandle session, uint64_t generation) {
    GuardedVoid([&]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Preview& preview = ThePreview();
        if (generation != preview.generation) return;
        preview.timers.erase(session);
        if (!state.IsSession(session)) {
            preview.on.erase(session);
            return;
        }
        if (!state.initialized || preview.on.count(session) == 0 || preview.rate == 0) return;
        AnnounceFramesLocked(state, session, 1);
        StartTimerLocked(state, session);
    });
}

// Hands out the next frame: an injected one if any, else the picture.
ZTResult HandOutFrameLocked(SimState& state, ZTHandle session, uint8_t** frame, int32_t* size) {
    Preview& preview = ThePreview();
    if (!preview.injected.empty()) {
        InjectedFrame injected = std::move(preview.injected.front());
        preview.injected.pop_front();
        if (injected.kind == ZTSIM_PREVIEW_NULL_FRAME) {
            *frame = nullptr;
            *size = static_cast<int32_t>(BitmapSize(preview.width, preview.height));
            return ZT_OK;
        }
        if (injected.kind != 0) {
            // A real buffer the client must still release, with a count
            // that says it holds nothing.
            auto* block = static_cast<uint8_t*>(
                state.registry.Issue(ObjectKind::Frame, ZTSIM_FN_GetPreviewFrame, 1, session));
            *frame = block;
            *size = injected.kind == ZTSIM_PREVIEW_ZERO_COUNT ? 0 : -1;
            ++preview.handedOut;
            return ZT_OK;
        }
        auto* block = static_cast<uint8_t*>(state.registry.Issue(
            ObjectKind::Frame, ZTSIM_FN_GetPreviewFrame, injected.bytes.size(), session));
        if (!injected.bytes.empty())
            std::memcpy(block, injected.bytes.data(), injected.bytes.size());
        *frame = block;
        *size = static_cast<int32_t>(injected.bytes.size());
        ++preview.handedOut;
        return ZT_OK;
    }
    const uint32_t bytes = BitmapSize(preview.width, preview.height);
    auto* block = static_cast<uint8_t*>(
        state.registry.Issue(ObjectKind::Frame, ZTSIM_FN_GetPreviewFrame, bytes, session));
    const SimZoom& zoom = Controls().zoom;
    DrawFrame(block, preview.width, preview.height, preview.frameNumber++, zoom.position,
              zoom.maximum);
    *frame = block;
    *size = static_cast<int32_t>(bytes);
    ++preview.handedOut;
    return ZT_OK;
}

}  // namespace

namespace ztsim {

void ResetPreviewLocked() {
    Preview& preview = ThePreview();
    preview.rate = kPreviewRate;
    preview.width = kPreviewWidth;
    preview.height = kPreviewHeight;
    preview.on.clear();
    preview.timers.clear();
    ++preview.generation;
    preview.frameNumber = 0;
    preview.handedOut = 0;
    preview.injected.clear();
}

}  // namespace ztsim

extern "C" ZT_API ZTResult ZT_STDCALL ZTSetPreviewState(ZTHandle session, int32_t on) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_SetPreviewState, session);
        SimState& state = call.state;
        if (ZTResult entered = call.EnterOnSession()) return entered;
        Preview& preview = ThePreview();
        if (on != 0) {
            preview.on.insert(session);
            StartTimerLocked(state, session);
        } else {
            preview.on.erase(session);
        }
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPreviewFrame(ZTHandle session, uint8_t** frame,
                                                        int32_t* size) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetPreviewFrame, session);
        SimState& state = call.state;
        if (ZTResult entered = call.EnterOnSession(frame != nullptr && size != nullptr)) {
            return entered;
        }
        return HandOutFrameLocked(state, session, frame, size);
    });
}

extern "C" ZTSIM_API void ZTSim_SetPreviewRate(uint32_t framesPerSecond) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Preview& preview = ThePreview();
        preview.rate = framesPerSecond < kMaxRate ? framesPerSecond : kMaxRate;
        // Sessions whose preview is on pick up the new rate; a timer already
        // queued keeps its next tick.
        for (ZTHandle session : preview.on) StartTimerLocked(state, session);
    });
}

extern "C" ZTSIM_API int32_t ZTSim_SetPreviewSize(int32_t width, int32_t height) {
    return Guarded<int32_t>(0, [=]() -> int32_t {
        if (width < 1 || width > kMaxPreviewSide || height < 1 || height > kMaxPreviewSide)
            return 0;
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        ThePreview().width = width;
        ThePreview().height = height;
        return 1;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_RaisePreviewFrames(uint32_t count) {
    return Guarded<uint32_t>(0, [=]() -> uint32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.initialized) return 0;
        uint32_t queued = 0;
        for (ZTHandle session : ThePreview().on) {
            if (state.IsSession(session)) queued += AnnounceFramesLocked(state, session, count);
        }
        return queued;
    });
}

extern "C" ZTSIM_API void ZTSim_InjectPreviewFrame(const uint8_t* bytes, uint32_t size) {
    GuardedVoid([=]() {
        InjectedFrame injected{0, {}};
        if (bytes != nullptr) injected.bytes.assign(bytes, bytes + size);
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        ThePreview().injected.push_back(std::move(injected));
    });
}

extern "C" ZTSIM_API void ZTSim_InjectEmptyPreviewFrame(int32_t kind) {
    GuardedVoid([=]() {
        if (kind != ZTSIM_PREVIEW_NULL_FRAME && kind != ZTSIM_PREVIEW_ZERO_COUNT &&
            kind != ZTSIM_PREVIEW_NEGATIVE_COUNT) {
            return;
        }
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        ThePreview().injected.push_back(InjectedFrame{kind, {}});
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_PreviewOnCount(void) {
    return Guarded<uint32_t>(0, []() -> uint32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        uint32_t count = 0;
        for (ZTHandle session : ThePreview().on) count += state.IsSession(session) ? 1 : 0;
        return count;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_PreviewFramesHandedOut(void) {
    return Guarded<uint32_t>(0, []() -> uint32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return ThePreview().handedOut;
    });
}
