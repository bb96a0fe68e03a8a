// Property access in Camera SDK terms, the SupportedValueCache, and the
// emulation of SDK property 10 for cameras that lack it.
#include "props/property_access.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "log/trace.h"
#include "props/value_map.h"

namespace kq {

namespace {

// The supported list of the emulated property (PTP side).
constexpr std::int32_t kEmulatedValues[] = {8,  11, 12, 13, 16, 19, 20, 21, 24,
                                            27, 28, 29, 32, 35, 36, 37, 40};
constexpr std::int32_t kEmulatedValueCount =
    static_cast<std::int32_t>(sizeof kEmulatedValues / sizeof kEmulatedValues[0]);

// Whether the emulation answers for the property now. Asks the camera's
// property list (which is what switches the emulation on), so it is in
// force only while that list can be obtained.
bool EmulationServes(CSDKWrapper& state, std::int32_t sdkPropertyId) {
    return sdkPropertyId == kEmulatedPropertyId && state.IsPropSupported(sdkPropertyId) == 1 &&
           state.emulateProp10.load() != 0;
}

// The cache holds the emulated list exactly when it was filled for property
// 10 while the emulation was on: EnumPropVals fills it from the fixed list
// then, and the emulation is never switched off.
bool CacheIsEmulated(const CSDKWrapper& state, std::int32_t sdkPropertyId) {
    return sdkPropertyId == kEmulatedPropertyId && state.emulateProp10.load() != 0;
}

// Copies `count` values into a new cache array; false (cache left empty)
// when the count is not positive or too large to allocate.
bool FillCache(CSDKWrapper::SupportedValueCache& cache, std::int32_t sdkPropertyId,
               const std::int32_t* values, std::int32_t count) {
    if (count <= 0 || values == nullptr) return false;
    if (static_cast<std::uint32_t>(count) >
        std::numeric_limits<std::size_t>::max() / sizeof(std::int32_t)) {
        return false;
    }
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(std::int32_t);
    auto* copy = static_cast<std::int32_t*>(std::malloc(bytes));
    if (copy == nullptr) return false;
    std::memcpy(copy, values, bytes);
    cache.cachedValues = copy;
    cache.cachedCount = count;
    cache.cachedPropId = sdkPropertyId;
    return true;
}

int ReadFromCamera(CSDKWrapper& state, ZTHandle open, std::int32_t sdkPropertyId,
                   std::int32_t* value) {
    *value = 0;
    const ZTResult result = ZTGetPropertyData(open, sdkPropertyId, value);
    state.lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetPropertyData failed");
        return 0;
    }
    return 1;
}

int WriteToCamera(CSDKWrapper& state, ZTHandle open, std::int32_t sdkPropertyId,
                  std::int32_t value) {
    if (!state.IsPropValSupported(sdkPropertyId, value)) {
        Tracef("ZT_UNSUPPORTED_PROPERTY_VALUE", kLogError);
        return 1;
    }
    const ZTResult result = ZTSetPropertyData(open, sdkPropertyId, value);
    state.lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTSetPropertyData failed");
        return 0;
    }
    return 1;
}

void StoreEmulated(CSDKWrapper& state, std::int32_t value) {
    Tracef("SetProperty: emulating property #10", kLogError);
    state.emulatedProp10Value = value;
}

std::int32_t ReadEmulated(CSDKWrapper& state) {
    Tracef("GetProperty: emulating property #10", kLogError);
    return state.emulatedProp10Value.load();
}

}  // namespace

int CSDKWrapper::GetProperty(std::int32_t* value, std::int32_t sdkPropertyId) {
    TracePropertyOp("GetProperty", sdkPropertyId);
    ZTHandle open = session.load();
    if (open == nullptr) return 0;
    if (EmulationServes(*this, sdkPropertyId)) {
        *value = ReadEmulated(*this);
        return 1;
    }
    return ReadFromCamera(*this, open, sdkPropertyId, value);
}

int CSDKWrapper::SetProperty(std::int32_t sdkPropertyId, std::int32_t value) {
    TraceSetProperty(sdkPropertyId, value);
    ZTHandle open = session.load();
    if (open == nullptr) return 0;
    if (EmulationServes(*this, sdkPropertyId)) {
        StoreEmulated(*this, value);
        return 1;
    }
    return WriteToCamera(*this, open, sdkPropertyId, value);
}

int CSDKWrapper::IsPropSupported(std::int32_t sdkPropertyId) {
    ZTHandle open = session.load();
    if (open == nullptr || sdkPropertyId < 0) return 0;
    std::int32_t* ids = nullptr;
    std::int32_t count = 0;
    const ZTResult result = ZTGetPropertyList(open, &ids, &count);
    if (result != ZT_OK) {
        TracePropertyOp("IsPropSupported", sdkPropertyId);
        ReportSdkError(result, "ZTGetPropertyList failed");
    }
    if (ids == nullptr) return 0;
    bool found = false;
    for (std::int32_t i = 0; i < count && !found; ++i) found = ids[i] == sdkPropertyId;
    ZTFree(ids);
    if (sdkPropertyId == kEmulatedPropertyId && !found) {
        emulateProp10 = 1;
        return 1;
    }
    return found ? 1 : 0;
}

int CSDKWrapper::EnumPropVals(std::int32_t sdkPropertyId) {
    TracePropertyOp("EnumPropVals", sdkPropertyId);
    ZTHandle open = session.load();
    if (open == nullptr) return 0;
    cache.Destroy();
    if (!IsPropSupported(sdkPropertyId)) return 0;
    if (sdkPropertyId == kEmulatedPropertyId && emulateProp10.load() != 0) {
        FillCache(cache, sdkPropertyId, kEmulatedValues, kEmulatedValueCount);
        return cache.cachedCount;
    }
    ZTPropertyDesc* desc = nullptr;
    const ZTResult result = ZTGetPropertyDesc(open, sdkPropertyId, &desc);
    lastError = result;
    if (result != ZT_OK) {
        ReportSdkError(result, "ZTGetPropertyDesc failed");
        return 0;
    }
    if (desc == nullptr) return 0;
    if (desc->count > 0 && !FillCache(cache, sdkPropertyId, desc->values, desc->count)) {
        Tracef("EnumPropVals: supported values not kept", kLogError);
    }
    ZTFree(desc);
    return cache.cachedCount;
}

int CSDKWrapper::GetPropValAt(std::int32_t sdkPropertyId, std::int32_t index, std::int32_t* value) {
    *value = 0;
    if (sdkPropertyId < 0) return 0;
    if (cache.cachedPropId != sdkPropertyId || cache.cachedValues == nullptr) {
        EnumPropVals(sdkPropertyId);
    }
    if (cache.cachedValues == nullptr || index < 0 || index >= cache.cachedCount) return 0;
    *value = cache.cachedValues[index];
    return 1;
}

int CSDKWrapper::IsPropValSupported(std::int32_t sdkPropertyId, std::int32_t value) {
    if (session.load() == nullptr || sdkPropertyId < 0) return 0;
    if (cache.cachedPropId != sdkPropertyId || cache.cachedValues == nullptr) {
        EnumPropVals(sdkPropertyId);
    }
    if (cache.cachedValues == nullptr) return 0;
    for (std::int32_t i = 0; i < cache.cachedCount; ++i) {
        if (cache.cachedValues[i] == value) return 1;
    }
    return 0;
}

ClientRead ReadClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::int32_t* value) {
    TracePropertyOp("GetProperty", sdkPropertyId);
    ZTHandle open = state.session.load();
    if (open == nullptr) return ClientRead::kFailed;
    if (EmulationServes(state, sdkPropertyId)) {
        *value = ReadEmulated(state);
        return ClientRead::kValue;
    }
    if (!ReadFromCamera(state, open, sdkPropertyId, value)) return ClientRead::kFailed;
    return SdkToPtpValue(sdkPropertyId, value) ? ClientRead::kValue : ClientRead::kNoEquivalent;
}

ClientWrite WriteClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::uint32_t width,
                             std::int32_t value) {
    ZTHandle open = state.session.load();
    if (open != nullptr && EmulationServes(state, sdkPropertyId)) {
        TraceSetProperty(sdkPropertyId, value);
        StoreEmulated(state, value);
        return ClientWrite::kDone;
    }
    if (!ClientToSdkValue(sdkPropertyId, width, &value)) return ClientWrite::kNoEquivalent;
    TraceSetProperty(sdkPropertyId, value);
    if (open == nullptr) return ClientWrite::kFailed;
    return WriteToCamera(state, open, sdkPropertyId, value) ? ClientWrite::kDone
                                                            : ClientWrite::kFailed;
}

std::int32_t ClientSupportedValueAt(CSDKWrapper& state, std::int32_t sdkPropertyId,
                                    std::int32_t index) {
    std::int32_t value = 0;
    if (!state.GetPropValAt(sdkPropertyId, index, &value)) return 0;
    if (CacheIsEmulated(state, sdkPropertyId)) return value;
    SdkToPtpValue(sdkPropertyId, &value);  // 0 when it has no equivalent
    return value;
}

}  // namespace kq
