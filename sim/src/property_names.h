// Names the simulated SDK gives its property ids.
#ifndef ZTSIM_PROPERTY_NAMES_H
#define ZTSIM_PROPERTY_NAMES_H

#include <stdint.h>

namespace ztsim {

// Static name of an SDK property id, or null for an id the camera model does
// not define.
const char* PropertyName(int32_t propertyId);

}  // namespace ztsim

#endif  // ZTSIM_PROPERTY_NAMES_H
