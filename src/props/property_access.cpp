// Property access in Camera SDK terms, the SupportedValueCache, and the
// emulation of SDK property 10 for cameras that lack it.
#include "props/property_access.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// Stores a PTP-side value in the emulated property. Like a camera that
// lists the values it accepts, the emulation accepts only the values of its
// own list, so that its current value is always one it enumerates; any other
// is dropped as unsupported. Returns 1 in both cases, as SetProperty does.
int StoreEmulated(CSDKWrapper& state, std::int32_t value) {
    Tracef("SetProperty: emulating property #10", kLogError);
    for (const std::int32_t listed : kEmulatedValues) {
        if (listed == value) {
            state.emulatedProp10Value = value;
            return 1;
        }
    }
    Tracef("ZT_UNSUPPORTED_PROPERTY_VALUE", kLogError);
    return 1;
}

std::int32_t ReadEmulated(CSDKWrapper& state) {
    Tracef("GetProperty: emulating property #10", kLogError);
    return state.emulatedProp10Value.load();
}

}  // namespace

int CSDKWrapper::GetProperty(std::int32_t* value, std::int32_t sdkPropertyId) {
    TracePropertyOp("GetProperty", sdkPropertyId);
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    if (EmulationServes(*this, sdkPropertyId)) {
        *value = ReadEmulated(*this);
        return 1;
    }
    return ReadFromCamera(*this, open.get(), sdkPropertyId, value);
}

int CSDKWrapper::SetProperty(std::int32_t sdkPropertyId, std::int32_t value) {
    TraceSetProperty(sdkPropertyId, value);
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    if (EmulationServes(*this, sdkPropertyId)) return StoreEmulated(*this, value);
    return WriteToCamera(*this, open.get(), sdkPropertyId, value);
}

int CSDKWrapper::IsPropSupported(std::int32_t sdkPropertyId) {
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr || sdkPropertyId < 0) return 0;
    std::int32_t* ids = nullptr;
    std::int32_t count = 0;
    const ZTResult result = ZTGetPropertyList(open.get(), &ids, &count);
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
    SupportedValuesRef enumerated;
    return EnumPropVals(sdkPropertyId, &enumerated);
}

int CSDKWrapper::EnumPropVals(std::int32_t sdkPropertyId, SupportedValuesRef* enumerated) {
    TracePropertyOp("EnumPropVals", sdkPropertyId);
    enumerated->Reset();
    const HandleRef open = session.Acquire();
    if (open.get() == nullptr) return 0;
    cache.Destroy();
    if (!IsPropSupported(sdkPropertyId)) return 0;
    SupportedValuesRef list;
    if (sdkPropertyId == kEmulatedPropertyId && emulateProp10.load() != 0) {
        list = SupportedValuesRef::Make(sdkPropertyId, kEmulatedValues, kEmulatedValueCount);
    } else {
        ZTPropertyDesc* desc = nullptr;
        const ZTResult result = ZTGetPropertyDesc(open.get(), sdkPropertyId, &desc);
        lastError = result;
        if (result != ZT_OK) {
            ReportSdkError(result, "ZTGetPropertyDesc failed");
            return 0;
        }
        if (desc == nullptr) return 0;
        if (desc->count > 0) {
            list = SupportedValuesRef::Make(sdkPropertyId, desc->values, desc->count);
            if (!list) Tracef("EnumPropVals: supported values not kept", kLogError);
        }
        ZTFree(desc);
    }
    const int count = list ? list->count() : 0;
    cache.Replace(list.Share());
    *enumerated = std::move(list);
    return count;
}

namespace {

// The cached list of the property, enumerated again when the cache holds
// another property's or none.
SupportedValuesRef ListOf(CSDKWrapper& state, std::int32_t sdkPropertyId) {
    SupportedValuesRef list = state.cache.Snapshot();
    if (!list || list->propId() != sdkPropertyId) state.EnumPropVals(sdkPropertyId, &list);
    return list;
}

}  // namespace

int CSDKWrapper::GetPropValAt(std::int32_t sdkPropertyId, std::int32_t index, std::int32_t* value) {
    *value = 0;
    if (sdkPropertyId < 0) return 0;
    const SupportedValuesRef list = ListOf(*this, sdkPropertyId);
    if (!list || index < 0 || index >= list->count()) return 0;
    *value = list->values()[index];
    return 1;
}

int CSDKWrapper::IsPropValSupported(std::int32_t sdkPropertyId, std::int32_t value) {
    if (session.load() == nullptr || sdkPropertyId < 0) return 0;
    const SupportedValuesRef list = ListOf(*this, sdkPropertyId);
    if (!list) return 0;
    for (std::int32_t i = 0; i < list->count(); ++i) {
        if (list->values()[i] == value) return 1;
    }
    return 0;
}

ClientRead ReadClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::int32_t* value) {
    TracePropertyOp("GetProperty", sdkPropertyId);
    const HandleRef open = state.session.Acquire();
    if (open.get() == nullptr) return ClientRead::kFailed;
    if (EmulationServes(state, sdkPropertyId)) {
        *value = ReadEmulated(state);
        return ClientRead::kValue;
    }
    if (!ReadFromCamera(state, open.get(), sdkPropertyId, value)) return ClientRead::kFailed;
    return SdkToPtpValue(sdkPropertyId, value) ? ClientRead::kValue : ClientRead::kNoEquivalent;
}

ClientWrite WriteClientValue(CSDKWrapper& state, std::int32_t sdkPropertyId, std::uint32_t width,
                             std::int32_t value) {
    // Translated first, emulated or not: a value without an SDK equivalent
    // goes no further, and the camera is not asked even for its property
    // list. The log shows the SDK-side value, as for any property.
    std::int32_t sdkValue = value;
    if (!ClientToSdkValue(sdkPropertyId, width, &sdkValue)) return ClientWrite::kNoEquivalent;
    TraceSetProperty(sdkPropertyId, sdkValue);
    const HandleRef open = state.session.Acquire();
    if (open.get() == nullptr) return ClientWrite::kFailed;
    // The emulation holds the client's own (PTP-side) value.
    if (EmulationServes(state, sdkPropertyId)) {
        StoreEmulated(state, value);
        return ClientWrite::kDone;
    }
    return WriteToCamera(state, open.get(), sdkPropertyId, sdkValue) ? ClientWrite::kDone
                                                                     : ClientWrite::kFailed;
}

std::int32_t ClientSupportedValueAt(const SupportedValuesRef& list, std::int32_t sdkPropertyId,
                                    std::int32_t index, bool emulated) {
    if (!list || index < 0 || index >= list->count()) return 0;
    std::int32_t value = list->values()[index];
    if (emulated) return value;
    SdkToPtpValue(sdkPropertyId, &value);  // 0 when it has no equivalent
    return value;
}

bool CacheIsEmulated(const CSDKWrapper& state, std::int32_t sdkPropertyId) {
    return sdkPropertyId == kEmulatedPropertyId && state.emulateProp10.load() != 0;
}

}  // namespace kq
