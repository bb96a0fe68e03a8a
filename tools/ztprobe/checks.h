// ztprobe's checks of what a Camera SDK hands out, on bytes alone: the
// camera list entry, the preview frame and the property descriptor. Each
// reads only within the bounds it is given and answers with the problem it
// found, or an empty string.
#ifndef ZTPROBE_CHECKS_H
#define ZTPROBE_CHECKS_H

#include <cstdint>
#include <string>
#include <vector>

#include "camera_sdk.h"

namespace ztprobe {

// A preview frame: a 24-bit bitmap file image.
struct FrameFacts {
    std::int32_t size = 0;          // the byte count ZTGetPreviewFrame gave
    std::uint32_t fileSize = 0;     // bfSize
    std::uint32_t pixelOffset = 0;  // bfOffBits
    std::uint32_t imageSize = 0;    // biSizeImage
    std::int32_t width = 0;
    std::int32_t height = 0;        // negative: top-down
    std::uint16_t bitCount = 0;
    bool padded = false;            // rows padded to four bytes (else packed)
};
// bfSize, bfOffBits and biSizeImage agree with the byte count, 24 bits a
// pixel, and the pixel bytes are exactly the rows packed or padded.
std::string CheckFrame(const std::uint8_t* frame, std::int32_t size, FrameFacts* facts);

// One camera list entry: its identifier and name, and whether the name ends
// inside the record.
struct CameraFacts {
    std::uint32_t id = 0;
    std::string name;  // UTF-8
    bool terminated = false;
};
// The whole list: `count` records of ZT_CAMERA_RECORD_SIZE bytes.
std::string CheckCameraList(const ZTCameraRecord* list, std::uint32_t count,
                            std::vector<CameraFacts>* cameras);

// Largest counts the probe takes as sane.
constexpr std::uint32_t kMaxCameras = 64;
constexpr std::int32_t kMaxProperties = 1024;
constexpr std::int32_t kMaxDescriptorValues = 4096;

// A property descriptor and the current value read for it.
std::string CheckDescriptor(const ZTPropertyDesc* desc, bool* valueListed, std::int32_t value);

// A property id list.
std::string CheckPropertyList(const std::int32_t* ids, std::int32_t count);

// A property name: a NUL-terminated string of at most 255 printable bytes.
std::string CheckPropertyName(const char* name, std::string* copy);

}  // namespace ztprobe

#endif  // ZTPROBE_CHECKS_H
