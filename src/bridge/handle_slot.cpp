#include "bridge/handle_slot.h"

#include <atomic>
#include <cstdio>
#include <new>

#include "log/trace.h"
#include "platform/platform.h"

namespace kq {

// One Camera SDK handle and its uses. Guarded by the table's mutex, except
// the handle and its entry count: written once by the opener, read by every
// user without the lock.
struct HandleRecord {
    HandleTable* table;
    const char* name;
    std::atomic<ZTHandle> handle;
    std::atomic<std::uint32_t> items;
    HandleSlot* slot;      // the slot holding it; null once released
    HandleRecord* parent;  // the record it was made through, used until this one is freed
    std::uint32_t uses;    // HandleRefs and child records
    std::uint32_t waiters;  // releases waiting for uses to end
    bool released;
    HandleRecord* previous;  // the table's list of live records
    HandleRecord* next;
};

namespace {

// A wait of a few seconds in all per operation: long enough for any Camera
// SDK call or client callback that is merely slow, short enough that a stuck
// one cannot hang the client's teardown.
constexpr std::uint32_t kDefaultWaitLimitMs = 5000;

}  // namespace

// ---- Deadline and callback scope ----

Deadline Deadline::After(std::uint32_t milliseconds) {
    return Deadline(true, std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

Deadline Deadline::Immediate() { return Deadline(false, std::chrono::steady_clock::time_point()); }

CallbackScope::CallbackScope() noexcept { platform::SetThreadWord(platform::ThreadWord() + 1); }

CallbackScope::~CallbackScope() { platform::SetThreadWord(platform::ThreadWord() - 1); }

bool InsideCallback() noexcept { return platform::ThreadWord() != 0; }

// ---- HandleRef ----

HandleRef& HandleRef::operator=(HandleRef&& other) noexcept {
    if (this != &other) {
        Reset();
        record_ = other.record_;
        other.record_ = nullptr;
    }
    return *this;
}

ZTHandle HandleRef::get() const noexcept {
    return record_ != nullptr ? record_->handle.load() : nullptr;
}

std::uint32_t HandleRef::items() const noexcept {
    return record_ != nullptr ? record_->items.load() : 0;
}

void HandleRef::Adopt(ZTHandle handle, std::uint32_t items) noexcept {
    if (record_ == nullptr) return;
    HandleTable& table = *record_->table;
    std::lock_guard<std::mutex> lock(table.mutex_);
    record_->handle = handle;
    record_->items = items;
    // A failed call leaves nothing to keep: the slot becomes empty, and the
    // record goes when its last use ends (this one, at the latest).
    if (handle == nullptr && record_->slot != nullptr) {
        record_->slot->record_ = nullptr;
        record_->slot = nullptr;
        record_->released = true;
    }
}

void HandleRef::Reset() noexcept {
    if (record_ == nullptr) return;
    HandleTable& table = *record_->table;
    HandleRecord* toFree;
    {
        std::lock_guard<std::mutex> lock(table.mutex_);
        toFree = table.DropLocked(record_);
    }
    record_ = nullptr;
    if (toFree != nullptr) table.FreeChain(toFree);
}

// ---- HandleSlot ----

HandleRef HandleSlot::Open(const HandleRef& parent, Mode mode) noexcept {
    auto* record = new (std::nothrow) HandleRecord{&table_, name_, nullptr, 0,       this,
                                                   nullptr, 1,     0,       false, nullptr,
                                                   nullptr};
    if (record == nullptr) {
        Tracef("HandleSlot: no memory for a handle record", kLogError);
        return HandleRef();
    }
    HandleRecord* toFree = nullptr;
    {
        std::lock_guard<std::mutex> lock(table_.mutex_);
        const bool parentGone = parent.record_ != nullptr && parent.record_->released;
        if (parentGone || (mode == Mode::kIfEmpty && record_ != nullptr)) {
            delete record;
            return HandleRef();
        }
        if (record_ != nullptr) toFree = table_.RetireLocked(record_);
        record->parent = parent.record_;
        if (record->parent != nullptr) ++record->parent->uses;
        record_ = record;
        table_.Link(record);
    }
    if (toFree != nullptr) table_.FreeChain(toFree);
    return HandleRef(record);
}

HandleRef HandleSlot::Acquire() const noexcept {
    std::lock_guard<std::mutex> lock(table_.mutex_);
    if (record_ == nullptr) return HandleRef();
    ++record_->uses;
    return HandleRef(record_);
}

ZTHandle HandleSlot::load() const noexcept {
    std::lock_guard<std::mutex> lock(table_.mutex_);
    return record_ != nullptr ? record_->handle.load() : nullptr;
}

bool HandleSlot::occupied() const noexcept {
    std::lock_guard<std::mutex> lock(table_.mutex_);
    return record_ != nullptr;
}

void HandleSlot::Release(const Deadline& deadline) noexcept {
    HandleRecord* toFree = nullptr;
    const char* stillInUse = nullptr;
    {
        std::unique_lock<std::mutex> lock(table_.mutex_);
        HandleRecord* record = record_;
        if (record == nullptr) return;
        toFree = table_.RetireLocked(record);
        if (toFree == nullptr && deadline.allowsWaiting() && !InsideCallback()) {
            ++record->waiters;
            table_.released_.wait_until(lock, deadline.time(),
                                        [record] { return record->uses == 0; });
            --record->waiters;
            if (record->uses == 0) {
                table_.Unlink(record);
                toFree = record;
            } else {
                stillInUse = record->name;
            }
        }
    }
    if (stillInUse != nullptr) {
        char message[kLineBufferSize];
        std::snprintf(message, sizeof message, "Release: %s still in use, left to its last user",
                      stillInUse);
        Tracef(message, kLogError);
    }
    if (toFree == nullptr) return;
    table_.FreeChain(toFree);
    // With a subscription freed, the Camera SDK starts no callback of it;
    // those that came in meanwhile and found the slot empty are waited for
    // until they have left the library's code.
    if (deadline.allowsWaiting() && !InsideCallback() && entries_.load() != 0) {
        std::unique_lock<std::mutex> lock(table_.mutex_);
        table_.entryWaiters_.fetch_add(1);
        table_.released_.wait_until(lock, deadline.time(), [this] { return entries_.load() == 0; });
        table_.entryWaiters_.fetch_sub(1);
    }
}

void HandleSlot::Leave() noexcept {
    if (entries_.fetch_sub(1) != 1 || table_.entryWaiters_.load() == 0) return;
    // Taking the lock orders this with a waiter's check of the count.
    std::lock_guard<std::mutex> lock(table_.mutex_);
    table_.released_.notify_all();
}

// ---- HandleTable ----

HandleTable::HandleTable() : waitLimitMs_(kDefaultWaitLimitMs) { platform::AllocateThreadWord(); }

HandleTable::~HandleTable() { platform::FreeThreadWord(); }

Deadline HandleTable::ReleaseDeadline() const {
    return Deadline::After(waitLimitMs_.load());
}

std::uint32_t HandleTable::LiveRecordCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return liveCount_;
}

void HandleTable::SetWaitLimitForTesting(std::uint32_t milliseconds) {
    waitLimitMs_ = milliseconds;
}

void HandleTable::ForgetAllForTesting() {
    std::lock_guard<std::mutex> lock(mutex_);
    while (live_ != nullptr) {
        HandleRecord* record = live_;
        if (record->slot != nullptr) record->slot->record_ = nullptr;
        Unlink(record);
        delete record;
    }
    waitLimitMs_ = kDefaultWaitLimitMs;
}

HandleRecord* HandleTable::DropLocked(HandleRecord* record) {
    --record->uses;
    if (!record->released || record->uses != 0) return nullptr;
    if (record->waiters != 0) {
        // The waiting release frees it.
        released_.notify_all();
        return nullptr;
    }
    Unlink(record);
    return record;
}

HandleRecord* HandleTable::RetireLocked(HandleRecord* record) {
    if (record->slot != nullptr) {
        record->slot->record_ = nullptr;
        record->slot = nullptr;
    }
    record->released = true;
    if (record->uses != 0) return nullptr;
    Unlink(record);
    return record;
}

void HandleTable::FreeChain(HandleRecord* record) {
    while (record != nullptr) {
        if (ZTHandle handle = record->handle.load()) ZTFree(handle);
        HandleRecord* parent = record->parent;
        delete record;
        record = nullptr;
        if (parent != nullptr) {
            std::lock_guard<std::mutex> lock(mutex_);
            record = DropLocked(parent);
        }
    }
}

void HandleTable::Link(HandleRecord* record) {
    record->previous = nullptr;
    record->next = live_;
    if (live_ != nullptr) live_->previous = record;
    live_ = record;
    ++liveCount_;
}

void HandleTable::Unlink(HandleRecord* record) {
    if (record->previous != nullptr) record->previous->next = record->next;
    if (record->next != nullptr) record->next->previous = record->previous;
    if (live_ == record) live_ = record->next;
    record->previous = record->next = nullptr;
    --liveCount_;
}

}  // namespace kq
