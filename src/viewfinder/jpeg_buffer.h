// The heap block that holds an encoded viewfinder image too large for the
// fixed jpegBuffer. Images that fit never touch it, so the client keeps
// seeing one address for them.
#ifndef KQSDK_VIEWFINDER_JPEG_BUFFER_H
#define KQSDK_VIEWFINDER_JPEG_BUFFER_H

#include <cstdint>
#include <cstdlib>

namespace kq {

class JpegOverflow {
public:
    JpegOverflow() = default;
    ~JpegOverflow() { std::free(data_); }
    JpegOverflow(const JpegOverflow&) = delete;
    JpegOverflow& operator=(const JpegOverflow&) = delete;

    std::uint8_t* data() const { return data_; }
    std::uint32_t capacity() const { return capacity_; }

    // Makes the block at least `bytes` long, keeping its contents. Returns
    // false, leaving the block as it was, when memory runs out.
    bool Grow(std::uint32_t bytes) noexcept {
        if (bytes <= capacity_) return true;
        void* grown = std::realloc(data_, bytes);
        if (grown == nullptr) return false;
        data_ = static_cast<std::uint8_t*>(grown);
        capacity_ = bytes;
        return true;
    }

private:
    std::uint8_t* data_ = nullptr;
    std::uint32_t capacity_ = 0;
};

}  // namespace kq

#endif  // KQSDK_VIEWFINDER_JPEG_BUFFER_H
