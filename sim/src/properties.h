// The simulated camera's properties and zoom: which SDK property ids it
// offers, their supported values and current values, and the zoom lens.
// Everything here is guarded by State().mutex.
#ifndef ZTSIM_PROPERTIES_H
#define ZTSIM_PROPERTIES_H

#include <stdint.h>

#include <array>
#include <vector>

namespace ztsim {

// The camera model defines SDK property ids 0 to 17.
constexpr int32_t kPropertyIdCount = 18;

struct SimProperty {
    bool offered = false;
    std::vector<int32_t> supported;
    int32_t current = 0;
    // The count the descriptor reports instead of the real one, for tests of
    // counts a client must not trust.
    bool countClaimed = false;
    int32_t claimedCount = 0;
};

struct SimZoom {
    int32_t maximum = 100;
    int32_t position = 0;
    int32_t lastRequest = -1;
    bool stopShortArmed = false;
    int32_t stopShortAt = 0;
};

struct CameraControls {
    std::array<SimProperty, kPropertyIdCount> properties;
    SimZoom zoom;
};

// Delay between a zoom request and its completion notification.
constexpr uint32_t kZoomCompletionDelayMs = 5;

// The controls of the simulated camera. The caller holds State().mutex.
CameraControls& Controls();

// The property with that id, or null outside 0..17.
SimProperty* FindProperty(int32_t propertyId);

// Restores the default properties and zoom. The caller holds State().mutex.
void ResetControlsLocked();

}  // namespace ztsim

#endif  // ZTSIM_PROPERTIES_H
