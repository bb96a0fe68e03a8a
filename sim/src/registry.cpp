#include "registry.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <sstream>

#include "ledger.h"

namespace ztsim {

namespace {

constexpr size_t kMaxReleasedKept = 4096;
constexpr size_t kMaxFaultsKept = 256;

std::string Hex(uintptr_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

}  // namespace

const char* ObjectKindName(ObjectKind kind) {
    switch (kind) {
    case ObjectKind::CameraManager: return "camera manager";
    case ObjectKind::Subscription: return "subscription";
    case ObjectKind::CameraList: return "camera list";
    case ObjectKind::Session: return "session";
    case ObjectKind::Array: return "array";
    case ObjectKind::Descriptor: return "property descriptor";
    case ObjectKind::Frame: return "preview frame";
    }
    return "object";
}

void* Registry::Issue(ObjectKind kind, ZTSimFunction maker, size_t bytes, const void* parent) {
    const size_t size = bytes == 0 ? 1 : bytes;
    std::unique_ptr<unsigned char[]> memory(new unsigned char[size]);
    std::memset(memory.get(), 0, size);
    void* address = memory.get();
    if (parent != nullptr) ++children_[parent];
    try {
        live_.emplace(address, Record{kind, maker, nextSerial_++, std::move(memory), parent});
    } catch (...) {
        if (parent != nullptr && --children_[parent] == 0) children_.erase(parent);
        throw;
    }
    released_.erase(address);
    return address;
}

bool Registry::Release(const void* address, ObjectKind* kind) {
    auto live = live_.find(address);
    if (live != live_.end()) {
        CheckRelease(address, live->second);
        *kind = live->second.kind;
        if (released_.size() >= kMaxReleasedKept) released_.clear();
        released_[address] = Released{live->second.kind, live->second.maker};
        live_.erase(live);  // frees the block
        return true;
    }
    auto old = forgotten_.find(address);
    if (old != forgotten_.end()) {
        AddFault(address, FaultReason::IssuedBeforeReset,
                 Released{old->second.kind, old->second.maker});
        forgotten_.erase(old);
        return false;
    }
    auto gone = released_.find(address);
    if (gone != released_.end()) {
        AddFault(address, FaultReason::AlreadyReleased, gone->second);
        return false;
    }
    AddFault(address, FaultReason::NeverIssued, Released{ObjectKind::CameraManager, ZTSIM_FN_COUNT});
    return false;
}

void Registry::CheckRelease(const void* address, const Record& record) {
    const Released what{record.kind, record.maker};
    auto call = inFlight_.find(address);
    if (call != inFlight_.end()) {
        AddFault(address, FaultReason::CallInFlight, what,
                 Released{ObjectKind::CameraManager, ZTSIM_FN_COUNT}, call->second);
    }

    auto children = children_.find(address);
    if (children != children_.end()) {
        // Orphan the children, so that a later block at this address is not
        // taken for their parent; name the oldest in the fault.
        const Record* oldest = nullptr;
        for (auto& entry : live_) {
            if (entry.second.parent != address) continue;
            entry.second.parent = nullptr;
            if (oldest == nullptr || entry.second.serial < oldest->serial) oldest = &entry.second;
        }
        children_.erase(children);
        AddFault(address, FaultReason::ChildOutstanding, what,
                 oldest != nullptr ? Released{oldest->kind, oldest->maker}
                                   : Released{ObjectKind::CameraManager, ZTSIM_FN_COUNT});
    }

    if (record.parent != nullptr) {
        auto siblings = children_.find(record.parent);
        if (siblings != children_.end() && --siblings->second == 0) children_.erase(siblings);
    }
}

void Registry::CallStarted(const void* handle, ZTSimFunction fn) {
    if (handle != nullptr) inFlight_.emplace(handle, fn);
}

void Registry::CallEnded(const void* handle, ZTSimFunction fn) {
    if (handle == nullptr) return;
    auto range = inFlight_.equal_range(handle);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == fn) {
            inFlight_.erase(it);
            return;
        }
    }
}

void Registry::AddFreeWaitTimeout(const void* address, ZTSimFunction maker) {
    AddFault(address, FaultReason::FreeWaitTimedOut, Released{ObjectKind::Subscription, maker});
}

void Registry::AddTerminateWaitTimeout() {
    AddFault(nullptr, FaultReason::TerminateWaitTimedOut,
             Released{ObjectKind::CameraManager, ZTSIM_FN_COUNT});
}

void Registry::AddFault(const void* address, FaultReason reason, Released what, Released other,
                        ZTSimFunction call) {
    ++faultCount_;
    if (faults_.size() < kMaxFaultsKept) {
        faults_.push_back(
            FreeFault{reinterpret_cast<uintptr_t>(address), reason, what, other, call});
    }
}

bool Registry::IsLive(const void* address, ObjectKind kind) const {
    auto live = live_.find(address);
    return live != live_.end() && live->second.kind == kind;
}

ZTSimFunction Registry::MakerOf(const void* address) const {
    auto live = live_.find(address);
    return live != live_.end() ? live->second.maker : ZTSIM_FN_COUNT;
}

uint32_t Registry::OutstandingCount() const { return static_cast<uint32_t>(live_.size()); }

uint32_t Registry::FreeFaultCount() const { return faultCount_; }

std::string Registry::Describe() const {
    std::vector<const std::pair<const void* const, Record>*> ordered;
    for (const auto& entry : live_) ordered.push_back(&entry);
    std::sort(ordered.begin(), ordered.end(),
              [](const auto* a, const auto* b) { return a->second.serial < b->second.serial; });

    std::ostringstream out;
    out << "outstanding: " << live_.size() << "\n";
    for (const auto* entry : ordered) {
        out << "  " << ObjectKindName(entry->second.kind) << " from "
            << FunctionName(entry->second.maker) << " at "
            << Hex(reinterpret_cast<uintptr_t>(entry->first)) << "\n";
    }
    out << "free faults: " << faultCount_ << "\n";
    for (const FreeFault& fault : faults_) {
        if (fault.reason == FaultReason::TerminateWaitTimedOut) {
            out << "  ZTTerminateSDK: ZTTerminateSDK waited " << kCallbackWaitLimitSeconds
                << " s for a running callback\n";
            continue;
        }
        out << "  ZTFree(" << Hex(fault.address) << "): ";
        switch (fault.reason) {
        case FaultReason::NeverIssued:
            out << "never handed out";
            break;
        case FaultReason::AlreadyReleased:
            out << "already released " << ObjectKindName(fault.what.kind) << " from "
                << FunctionName(fault.what.maker);
            break;
        case FaultReason::IssuedBeforeReset:
            out << ObjectKindName(fault.what.kind) << " from " << FunctionName(fault.what.maker)
                << " handed out before the last reset";
            break;
        case FaultReason::CallInFlight:
            out << ObjectKindName(fault.what.kind) << " from " << FunctionName(fault.what.maker)
                << " freed while a call on it is in flight (" << FunctionName(fault.call) << ")";
            break;
        case FaultReason::ChildOutstanding:
            out << ObjectKindName(fault.what.kind) << " from " << FunctionName(fault.what.maker)
                << " freed before a child made through it (" << ObjectKindName(fault.other.kind)
                << " from " << FunctionName(fault.other.maker) << ")";
            break;
        case FaultReason::FreeWaitTimedOut:
            out << "ZTFree waited " << kCallbackWaitLimitSeconds
                << " s for a running callback of the "
                << ObjectKindName(fault.what.kind) << " from " << FunctionName(fault.what.maker);
            break;
        case FaultReason::TerminateWaitTimedOut:
            break;
        }
        out << "\n";
    }
    if (faultCount_ > faults_.size()) out << "  (further free faults not listed)\n";
    return out.str();
}

void Registry::DropForgotten() { forgotten_.clear(); }

void Registry::Forget() {
    for (auto& entry : live_) forgotten_.emplace(entry.first, std::move(entry.second));
    live_.clear();
    children_.clear();
    released_.clear();
    faults_.clear();
    faultCount_ = 0;
}

}  // namespace ztsim
