// The simulated camera's properties: ZTGetPropertyList, ZTGetPropertyDesc,
// ZTGetPropertyData and ZTSetPropertyData, and their ZTSim_ controls.
//
// By default the camera offers SDK properties 0 to 5, 7 to 9, 11, 16 and 17,
// each with a supported list and a current value from the camera's own
// scale. It lacks property 10, and ids 6 and 12 to 15 are defined but not
// offered; tests may offer any of them.
#include "properties.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "camera_sdk.h"
#include "guard.h"
#include "sim_state.h"
#include "zt_call.h"
#include "zt_sim.h"

using namespace ztsim;

namespace ztsim {

namespace {

struct DefaultProperty {
    int32_t id;
    bool offered;
    std::vector<int32_t> supported;
    int32_t current;
};

std::vector<DefaultProperty> Defaults() {
    const std::vector<int32_t> compensation = {400, 366, 333, 300, 266, 233, 200,
                                               167, 134, 100, 67,  34,  0};
    const std::vector<int32_t> fiveSteps = {0, 1, 2, 3, 4};
    return {
        {0, true, {0, 1, 2, 3, 4}, 0},
        {1, true, {0, 1, 2, 3, 4}, 0},
        {2, true, {1, 2}, 2},
        {3, true, {0, 1, 2}, 2},
        {4, true, {0, 1, 2, 3, 4, 5}, 0},
        {5, true, {0, 1, 2}, 0},
        {6, false, {0, 1}, 0},
        {7, true, {0, 100, 200, 400, 800, 1600}, 200},
        {8, true, {32, 35, 40, 45, 56, 63, 71, 80}, 56},
        {9,
         true,
         {150000, 130000, 100000, 80000, 60000, 50000, 32000, 25000, 20000, 16000, 13000, 10000,
          8000,   6000,   5000,   4000,  3000,  2500,  2000,  1666,  1250,  1000,  769,   666,
          500,    400,    333,    250,   200,   166,   125,   100,   80,    62,    50,    40,
          31,     25,     20,     15,    12,    10,    8,     6,     5,     4},
         125},
        {10, false, compensation, 200},
        {11, true, compensation, 200},
        {12, false, {0, 1}, 0},
        {13, false, {0, 1, 2}, 0},
        {14, false, {0, 1}, 0},
        {15, false, {0, 1}, 0},
        {16, true, fiveSteps, 2},
        {17, true, fiveSteps, 2},
    };
}

// Enters a ZT property function: counts the call and applies the checks all
// of them share. Returns ZT_OK to go on.

// The offered property with that id, or null.
SimProperty* Offered(int32_t propertyId) {
    SimProperty* property = FindProperty(propertyId);
    return property != nullptr && property->offered ? property : nullptr;
}

void FillDefaults(CameraControls& controls) {
    for (const DefaultProperty& entry : Defaults()) {
        SimProperty& property = controls.properties[static_cast<size_t>(entry.id)];
        property = SimProperty{};
        property.offered = entry.offered;
        property.supported = entry.supported;
        property.current = entry.current;
    }
    controls.zoom = SimZoom{};
}

}  // namespace

// Made with the defaults on first use, like the state it is guarded by, and
// never destroyed for the same reasons.
CameraControls& Controls() {
    static CameraControls* const controls = [] {
        auto* made = new CameraControls;
        FillDefaults(*made);
        return made;
    }();
    return *controls;
}

SimProperty* FindProperty(int32_t propertyId) {
    if (propertyId < 0 || propertyId >= kPropertyIdCount) return nullptr;
    return &Controls().properties[static_cast<size_t>(propertyId)];
}

void ResetControlsLocked() { FillDefaults(Controls()); }

}  // namespace ztsim

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyList(ZTHandle session, int32_t** ids,
                                                        int32_t* count) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetPropertyList, session);
        SimState& state = call.state;
        const ZTResult entered =
            call.EnterOnSession(ids != nullptr && count != nullptr);
        if (entered != ZT_OK) return entered;
        std::vector<int32_t> offered;
        for (int32_t id = 0; id < kPropertyIdCount; ++id) {
            if (FindProperty(id)->offered) offered.push_back(id);
        }
        // An empty list is still an array the caller releases.
        auto* array = static_cast<int32_t*>(
            state.registry.Issue(ObjectKind::Array, ZTSIM_FN_GetPropertyList,
                                 sizeof(int32_t) * std::max<size_t>(offered.size(), 1), session));
        std::copy(offered.begin(), offered.end(), array);
        *ids = array;
        *count = static_cast<int32_t>(offered.size());
        return ZT_OK;
    });
}

// The descriptor and its values are one block, released with one ZTFree.
extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyDesc(ZTHandle session, int32_t propertyId,
                                                        ZTPropertyDesc** desc) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetPropertyDesc, session);
        SimState& state = call.state;
        const ZTResult entered = call.EnterOnSession(desc != nullptr);
        if (entered != ZT_OK) return entered;
        const SimProperty* property = Offered(propertyId);
        if (property == nullptr) return ZTSIM_E_UNSUPPORTED;
        const size_t n = property->supported.size();
        auto* block = static_cast<unsigned char*>(
            state.registry.Issue(ObjectKind::Descriptor, ZTSIM_FN_GetPropertyDesc,
                                 sizeof(ZTPropertyDesc) + n * sizeof(int32_t), session));
        auto* made = reinterpret_cast<ZTPropertyDesc*>(block);
        made->values = reinterpret_cast<int32_t*>(block + sizeof(ZTPropertyDesc));
        std::copy(property->supported.begin(), property->supported.end(), made->values);
        made->count = property->countClaimed ? property->claimedCount : static_cast<int32_t>(n);
        *desc = made;
        return ZT_OK;
    });
}

extern "C" ZT_API ZTResult ZT_STDCALL ZTGetPropertyData(ZTHandle session, int32_t propertyId,
                                                        int32_t* value) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_GetPropertyData, session);
        const ZTResult entered = call.EnterOnSession(value != nullptr);
        if (entered != ZT_OK) return entered;
        const SimProperty* property = Offered(propertyId);
        if (property == nullptr) return ZTSIM_E_UNSUPPORTED;
        *value = property->current;
        return ZT_OK;
    });
}

// Values outside the supported list are refused and change nothing.
extern "C" ZT_API ZTResult ZT_STDCALL ZTSetPropertyData(ZTHandle session, int32_t propertyId,
                                                        int32_t value) {
    return Guarded<ZTResult>(kInternalError, [=]() -> ZTResult {
        ZTCall call(ZTSIM_FN_SetPropertyData, session);
        const ZTResult entered = call.EnterOnSession(true);
        if (entered != ZT_OK) return entered;
        SimProperty* property = Offered(propertyId);
        if (property == nullptr) return ZTSIM_E_UNSUPPORTED;
        const auto& supported = property->supported;
        if (std::find(supported.begin(), supported.end(), value) == supported.end()) {
            return ZTSIM_E_INVALID_ARGUMENT;
        }
        property->current = value;
        return ZT_OK;
    });
}

extern "C" ZTSIM_API void ZTSim_SetOfferedProperties(const int32_t* ids, uint32_t count) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        for (SimProperty& property : Controls().properties) property.offered = false;
        for (uint32_t i = 0; ids != nullptr && i < count; ++i) {
            if (SimProperty* property = FindProperty(ids[i])) property->offered = true;
        }
    });
}

extern "C" ZTSIM_API void ZTSim_SetSupportedValues(int32_t propertyId, const int32_t* values,
                                                   uint32_t count) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        SimProperty* property = FindProperty(propertyId);
        if (property == nullptr) return;
        property->supported.assign(values, values != nullptr ? values + count : values);
    });
}

extern "C" ZTSIM_API void ZTSim_SetPropertyValue(int32_t propertyId, int32_t value) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (SimProperty* property = FindProperty(propertyId)) property->current = value;
    });
}

extern "C" ZTSIM_API int32_t ZTSim_PropertyValue(int32_t propertyId) {
    return Guarded<int32_t>(0, [=]() -> int32_t {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        const SimProperty* property = FindProperty(propertyId);
        return property != nullptr ? property->current : 0;
    });
}

extern "C" ZTSIM_API void ZTSim_SetDescriptorCount(int32_t propertyId, int32_t claimed,
                                                   int32_t count) {
    GuardedVoid([=]() {
        SimState& state = State();
        std::lock_guard<std::mutex> lock(state.mutex);
        SimProperty* property = FindProperty(propertyId);
        if (property == nullptr) return;
        property->countClaimed = claimed != 0;
        property->claimedCount = count;
    });
}
