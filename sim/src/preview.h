// Preview frames of the simulated camera: ZTSetPreviewState,
// ZTGetPreviewFrame and the "Preview frames" control functions.
#ifndef ZTSIM_PREVIEW_H
#define ZTSIM_PREVIEW_H

#include <stdint.h>

namespace ztsim {

// Default frame size and rate.
constexpr int32_t kPreviewWidth = 640;
constexpr int32_t kPreviewHeight = 480;
constexpr uint32_t kPreviewRate = 30;

// Restores the default size and rate, turns every preview off, stops the
// frame timer and forgets injected frames. The caller holds State().mutex.
void ResetPreviewLocked();

}  // namespace ztsim

#endif  // ZTSIM_PREVIEW_H
