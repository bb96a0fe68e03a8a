// A shot is taken by ZTShoot (or by the camera's own shutter button, with no
// client call), which encodes the camera's picture and, after
// the shot delay, reports shot-completed with a record whose first word is
// the item to download. ZTDownloadFile writes that item's JPEG to a new
// temporary file and, after the download delay, reports download-completed
// with the configured value and the file's UTF-16 path. Both notifications
// arrive on the simulator's callback thread.
#include "shooting.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "camera_sdk.h"
#include "guard.h"
#include "notifications.h"
#include "shot_image.h"
#include "sim_state.h"
#include "temp_file.h"
#include "zt_call.h"
#include "zt_sim.h"

using namespace ztsim;

namespace {

constexpr int32_t kDefaultShootDelayMs = 20;
constexpr int32_t kDefaultDownloadDelayMs = 30;
constexpr uint32_t kDefaultDownloadValue = 1;
constexpr uint32_t kFirstItem = 0x1001;
// Length of the list of written files at which gone ones are first dropped.
constexpr size_t kFirstPrune = 64;

using Jpeg = std::shared_ptr<const std::vector<unsigned char>>;
// A path as delivered to the callback: UTF-16 code units with the NUL.
using DeliveredPath = std::shared_ptr<const std::vector<uint16_t>>;

// Guarded by State().mutex.
struct Shooting {
    int32_t shootDelayMs = kDefaultShootDelayMs;
    int32_t downloadDelayMs = kDefaultDownloadDelayMs;
    uint32_t downloadValue = kDefaultDownloadValue;
    int width = kShotWidth;
    int height = kShotHeight;
    uint32_t shotCount = 0;
    uint32_t nextItem = kFirstItem;
    // ZTShoot calls still to come before the one that also presses the
    // shutter button; 0: none does.
    uint32_t pressAtShoot = 0;
    uint32_t buttonShots = 0;
    std::map<uint32_t, Jpeg> shots;  // taken, not yet downloaded
    std::u16string lastPath;
    bool hasNextPath = false;
    std::u16string nextPath;
    std::vector<std::u16string> written;  // files written by the simulator
    size_t pruneAt = kFirstPrune;
};

// Remembers a file the simulator wrote, so that a reset deletes it. Files
// already gone (a client transferred and deleted them) are forgotten once
// the list has doubled since the last look, so that a long session of
// captures does not grow the list without end.
void RememberWrittenLocked(Shooting& shots, const std::u16string& path) {
    shots.written.push_back(path);
    if (shots.written.size() < shots.pruneAt) return;
    std::vector<std::u16string> kept;
    for (std::u16string& file : shots.written) {
        if (TempFileExists(file)) kept.push_back(std::move(file));
    }
    shots.written.swap(kept);
    shots.pruneAt = std::max(kFirstPrune, 2 * shots.written.size());
}

Shooting& Shots() {
    static Shooting* const shots = new Shooting;
    return *shots;
}

uint32_t DueIn(int32_t delayMs) { return delayMs < 0 ? 0u : static_cast<uint32_t>(delayMs); }

// ZTSIM_DELAY_AT_ONCE: the caller waits until the first callback thread,
// where shot and download notifications run, has run everything queued to
// it, the notification included. On that thread itself the notification
// simply runs next.
void WaitIfAtOnce(SimState& state, int32_t delayMs) {
    if (delayMs == ZTSIM_DELAY_AT_ONCE) state.callbacks.WaitFirstIdle();
}

DeliveredPath Deliverable(const std::u16string& path) {
    auto units = std::make_shared<std::vector<uint16_t>>(path.begin(), path.end());
    units->push_back(0);
    return units;
}

// Queues download-completed to the live subscriptions on `session` (all
// sessions when null). The caller holds state.mutex.
uint32_t QueueDownloadCompleted(SimState& state, ZTHandle session, uint32_t delayMs,
                                uint32_t value, DeliveredPath path) {
    if (!state.initialized) return 0;
    uint32_t reached = 0;
    for (const LiveSubscription& target :
         state.subscriptions.OfKind(SubscriptionKind::DownloadCompleted, session)) {
        QueueNotification(state, target, delayMs, [value, path](AnyProc proc, void* context) {
            reinterpret_cast<ZTDownloadCompletedProc>(proc)(context, value,
                                                            path ? path->data() : nullptr);
        });
        ++reached;
    }
    return reached;
}

// Copies a path into the caller's buffer, NUL-terminated and cut to fit.
// Returns its length in code units without the NUL.
uint32_t CopyOut(const std::u16string& path, uint16_t* buffer, uint32_t units) {
    if (buffer != nullptr && units > 0) {
        const size_t copied = path.size() < units ? path.size() : units - 1;
        for (size_t i = 0; i < copied; ++i) buffer[i] = path[i];
        buffer[copied] = 0;
    }
    return static_cast<uint32_t>(path.size());
}

std::u16string FromUnits(const uint16_t* path) {
    std::u16string text;
    for (const uint16_t* p = path; *p != 0; ++p) text += static_cast<char16_t>(*p);
    return text;
}

// Queues shot-completed for `item` to the shoot-completed subscriptions on
// `session` (every session when null). The caller holds state.mutex.
void QueueShootCompleted(SimState& state, ZTHandle session, int32_t delayMs, uint32_t item,
                         uint32_t shotNumber) {
    if (delayMs == ZTSIM_DELAY_NEVER) return;
    auto record = std::make_shared<const std::array<uint32_t, 2>>(
        std::array<uint32_t, 2>{{item, shotNumber}});
    for (const LiveSubscription& target :
         state.subscriptions.OfKind(SubscriptionKind::ShootCompleted, session)) {
        QueueNotification(state, target, DueIn(delayMs), [record](AnyProc proc, void* context) {
            reinterpret_cast<ZTShootCompletedProc>(proc)(context, record->data());
        });
    }
}

// One press of the camera's own shutter button: a shot as ZTShoot takes it,
// reported to every open session, with no client call behind it. Returns
// whether a shot was taken (a session is open).
bool PressShutterButtonOnce() {
    SimState& state = State();
    Shooting& shots = Shots();
    std::unique_lock<std::mutex> lock(state.mutex);
    if (!state.initialized || state.sessions.empty()) return false;
    const uint32_t shotNumber = ++shots.shotCount;
    ++shots.buttonShots;
    const int width = shots.width;
    const int height = shots.height;
    lock.unlock();
    // Encoding takes a while; no lock is held meanwhile.
    auto jpeg = std::make_shared<std::vector<unsigned char>>();
    if (!MakeShotJpeg(shotNumber, width, height, kShotQuality, jpeg.get())) return false;
    lock.lock();
    if (!state.initialized || state.sessions.empty()) return false;
    const uint32_t item = shots.nextItem++;
    shots.shots[item] = jpeg;
    const int32_t delayMs = shots.shootDelayMs;
    QueueShootCompleted(state, nullptr, delayMs, item, shotNumber);
    lock.unlock();
    WaitIfAtOnce(state, delayMs);
    return true;
}

}  // namespace

namespace ztsim {

void ResetShootingLocked() {
    Shooting& shots = Shots();
    for (const std::u16string& path : shots.written) DeleteTempFile(path);
    shots = Shooting();
}

}  // namespace ztsim

extern "C" ZT_API ZTResult ZT_STDCALL ZTShoot(ZTHandle session) {
    return Guarded<ZTResult>(kInternalError, [session]() -> ZTResult {
        ZTCall call(ZTSIM_FN_Shoot, session);
        SimState& state = call.state;
        Shooting& shots = Shots();
        if (ZTResult entered = call.EnterOnSession()) return entered;
        const uint32_t shotNumber = ++shots.shotCount;
        const int width = shots.width;
        const int height = shots.height;
        call.Unlock();
        // Encoding takes a while; no lock is held meanwhile.
        auto jpeg = std::make_shared<std::vector<unsigned char>>();
        if (!MakeShotJpeg(shotNumber, width, height, kShotQuality, jpeg.get())) return kInternalError;

        call.Relock();
        if (!state.initialized || !state.IsSession(session)) return ZTSIM_E_INVALID_HANDLE;
        const uint32_t item = shots.nextItem++;
        shots.shots[item] = jpeg;
        const int32_t delayMs = shots.shootDelayMs;
        QueueShootCompleted(state, session, delayMs, item, shotNumber);
        const bool press = shots.pressAtShoot != 0 && --shots.pressAtShoot == 0;
        call.Unlock();
        WaitIfAtOnce(state, delayMs);
        // The button pressed right after this shot: its picture reaches the
        // client after the shot's own, and both have been delivered (and
        // downloaded, by a client that downloads on shot-completed) when
        // ZTShoot returns, whatever the delays and the host's speed.
        if (press) {
            PressShutterButtonOnce();
            state.callbacks.WaitFirstIdle();
        }
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTDownloadFile(ZTHandle session, uint32_t item,
                                                     int32_t mode) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_DownloadFile, session);
        SimState& state = call.state;
        Shooting& shots = Shots();
        if (ZTResult entered = call.EnterOnSession()) return entered;
        if (mode != 1) return ZTSIM_E_UNSUPPORTED;  // only "to a file" is offered
        auto found = shots.shots.find(item);
        if (found == shots.shots.end()) return ZTSIM_E_INVALID_ARGUMENT;
        const Jpeg jpeg = found->second;
        shots.shots.erase(found);
        const bool reportGivenPath = shots.hasNextPath;
        std::u16string path;
        if (reportGivenPath) {
            path.swap(shots.nextPath);
            shots.hasNextPath = false;
        }
        call.Unlock();
        if (!reportGivenPath) {
            // Writing takes a while; no lock is held meanwhile.
            path = WriteNewTempFile(".jpg", jpeg->data(), jpeg->size());
            if (path.empty()) return kInternalError;
        }

        call.Relock();
        if (!reportGivenPath) RememberWrittenLocked(shots, path);
        shots.lastPath = path;
        const int32_t delayMs = shots.downloadDelayMs;
        if (delayMs != ZTSIM_DELAY_NEVER) {
            QueueDownloadCompleted(state, session, DueIn(delayMs), shots.downloadValue,
                                   Deliverable(path));
        }
        call.Unlock();
        WaitIfAtOnce(state, delayMs);
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTUpdateAEAF(ZTHandle session) {
    return Guarded<ZTResult>(kInternalError, [session]() -> ZTResult {
        ZTCall call(ZTSIM_FN_UpdateAEAF, session);
        if (ZTResult entered = call.EnterOnSession()) return entered;
        return ZT_OK;
    });
}

extern "C" ZTSIM_API void ZTSim_SetShotDelays(int32_t shootMs, int32_t downloadMs) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Shots().shootDelayMs = shootMs < ZTSIM_DELAY_AT_ONCE ? ZTSIM_DELAY_NEVER : shootMs;
        Shots().downloadDelayMs = downloadMs < ZTSIM_DELAY_AT_ONCE ? ZTSIM_DELAY_NEVER : downloadMs;
    });
}

extern "C" ZTSIM_API void ZTSim_SetDownloadValue(uint32_t value) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Shots().downloadValue = value;
    });
}

extern "C" ZTSIM_API void ZTSim_SetShotSize(uint32_t width, uint32_t height) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (width < 8 || height < 8 || width > 8192 || height > 8192) return;
        Shots().width = static_cast<int>(width);
        Shots().height = static_cast<int>(height);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_ShotCount(void) {
    return Guarded<uint32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return Shots().shotCount;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_LastShotPath(uint16_t* buffer, uint32_t units) {
    return Guarded<uint32_t>(0, [=]() {
        std::u16string path;
        {
            SimState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            path = Shots().lastPath;
        }
        return CopyOut(path, buffer, units);
    });
}

extern "C" ZTSIM_API void ZTSim_SetNextDownloadPath(const uint16_t* path) {
    GuardedVoid([=]() {
        std::u16string given = path != nullptr ? FromUnits(path) : std::u16string();
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Shots().hasNextPath = path != nullptr;
        Shots().nextPath.swap(given);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_WriteTestFile(uint32_t size, uint16_t* buffer, uint32_t units) {
    return Guarded<uint32_t>(0, [=]() -> uint32_t {
        const std::u16string path = WriteNewTestFile(size);
        if (path.empty()) return 0;
        {
            SimState& state = State();
            std::lock_guard<std::mutex> lock(state.mutex);
            RememberWrittenLocked(Shots(), path);
        }
        return CopyOut(path, buffer, units);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_RaiseDownloadCompleted(uint32_t value, const uint16_t* path) {
    return Guarded<uint32_t>(0, [=]() {
        DeliveredPath delivered = path != nullptr ? Deliverable(FromUnits(path)) : nullptr;
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return QueueDownloadCompleted(state, nullptr, 0, value, delivered);
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_PressShutterButton(uint32_t count) {
    return Guarded<uint32_t>(0, [=]() {
        uint32_t taken = 0;
        for (uint32_t i = 0; i < count && PressShutterButtonOnce(); ++i) ++taken;
        return taken;
    });
}

extern "C" ZTSIM_API void ZTSim_PressShutterButtonDuringShoot(uint32_t shoot) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        Shots().pressAtShoot = shoot;
    });
}

extern "C" ZTSIM_API uint32_t ZTSim_ShutterButtonShots(void) {
    return Guarded<uint32_t>(0, []() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        return Shots().buttonShots;
    });
}
