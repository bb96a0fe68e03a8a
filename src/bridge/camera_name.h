// The camera's name, from the Camera SDK's record to the DeviceListEntry.
#ifndef KQSDK_BRIDGE_CAMERA_NAME_H
#define KQSDK_BRIDGE_CAMERA_NAME_H

#include <cstddef>
#include <cstdint>

namespace kq {

// Longest name the DeviceListEntry holds: 34 UTF-16 units and a terminator.
constexpr std::size_t kMaxNameUnits = 34;

// Copies a UTF-16 name of at most sourceUnits units (it need not be
// terminated within them) into destination, which holds kMaxNameUnits + 1
// units. A longer name is cut to kMaxNameUnits units, never between the two
// halves of a surrogate pair. Always terminates; returns the units copied.
std::size_t CopyCameraName(std::uint16_t* destination, const std::uint16_t* source,
                           std::size_t sourceUnits);

}  // namespace kq

#endif  // KQSDK_BRIDGE_CAMERA_NAME_H
