// Heap copies of the UTF-16 paths the Camera SDK reports, shared by the
// download hand-over and the released-image transfer. Copies are made with
// the C heap and freed with std::free; making one never throws.
#ifndef KQSDK_CAPTURE_DOWNLOAD_PATH_H
#define KQSDK_CAPTURE_DOWNLOAD_PATH_H

#include <cstdint>

namespace kq {

// A NUL-terminated copy of path, or null when memory runs out.
std::uint16_t* CopyPath(const std::uint16_t* path) noexcept;

// Whether two NUL-terminated paths hold the same code units.
bool SamePath(const std::uint16_t* first, const std::uint16_t* second) noexcept;

}  // namespace kq

#endif  // KQSDK_CAPTURE_DOWNLOAD_PATH_H
