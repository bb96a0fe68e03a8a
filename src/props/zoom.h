// Conversions between UserZoom positions (0..14) and the camera's own zoom
// positions (0..maximum).
#ifndef KQSDK_PROPS_ZOOM_H
#define KQSDK_PROPS_ZOOM_H

#include <cstdint>

namespace kq {

// The camera position for a UserZoom value 0..14 (14: the maximum).
std::int32_t UserZoomToCamera(std::int32_t userValue, std::int32_t maximum);
// The UserZoom value for a camera position (the maximum: 14).
std::int32_t CameraZoomToUser(std::int32_t position, std::int32_t maximum);

}  // namespace kq

#endif  // KQSDK_PROPS_ZOOM_H
