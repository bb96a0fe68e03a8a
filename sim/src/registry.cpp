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

void* Registry::Issue(ObjectKind kind, ZTSimFunction maker, size_t bytes) {
    const size_t size = bytes == 0 ? 1 : bytes;
    std::unique_ptr<unsigned char[]> memory(new unsigned char[size]);
    std::memset(memory.get(), 0, size);
    void* address = memory.get();
    live_.emplace(address, Record{kind, maker, nextSerial_++, std::move(memory)});
    released_.erase(address);
    return address;
}

bool Registry::Release(const void* address, ObjectKind* kind) {
    auto live = live_.find(address);
    if (live != live_.end()) {
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

void Registry::AddFault(const void* address, FaultReason reason, Released what) {
    ++faultCount_;
    if (faults_.size() < kMaxFaultsKept) {
        faults_.push_back(FreeFault{reinterpret_cast<uintptr_t>(address), reason, what});
    }
}

bool Registry::IsLive(const void* address, ObjectKind kind) const {
    auto live = live_.find(address);
    return live != live_.end() && live->second.kind == kind;
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
    released_.clear();
    faults_.clear();
    faultCount_ = 0;
}

}  // namespace ztsim
