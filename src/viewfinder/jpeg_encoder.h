// Conversion of one preview frame, a 24-bit bitmap file image from the
// Camera SDK, into a baseline JPEG image with libjpeg's default settings.
#ifndef KQSDK_VIEWFINDER_JPEG_ENCODER_H
#define KQSDK_VIEWFINDER_JPEG_ENCODER_H

#include <cstdint>

#include "viewfinder/jpeg_buffer.h"

namespace kq {

// Largest encoded image the viewfinder accepts; a larger one is dropped
// rather than letting one frame take unbounded memory.
constexpr std::uint32_t kMaxJpegImageSize = 64u * 1024u * 1024u;
// Largest width or height of a frame: the largest a JPEG image can have.
constexpr std::int32_t kMaxFrameSide = 65500;
// Bytes of the bitmap file header and the bitmap info header.
constexpr std::uint32_t kFrameHeaderSize = 14 + 40;

// Where the encoder writes. An image that fits is written straight into
// `fixed`; a larger one moves to `overflow` (grown as needed, up to `limit`
// bytes). After a successful encoding `image` points at the image.
struct JpegDestination {
    std::uint8_t* fixed;
    std::uint32_t fixedSize;
    JpegOverflow* overflow;  // null: images larger than `fixed` are dropped
    std::uint32_t limit;
    const std::uint8_t* image;
};

// Where the rows of a frame are. Rows are counted from the top of the
// picture; rowOffset(r) is row r's distance from the start of the frame.
struct FrameLayout {
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t pixelOffset;  // bfOffBits
    std::uint32_t stride;       // bytes from one row in memory to the next
    bool topDown;               // the first row in memory is the top row

    std::uint32_t RowOffset(std::uint32_t row) const {
        const std::uint32_t memoryRow = topDown ? row : height - 1 - row;
        return pixelOffset + memoryRow * stride;
    }
};

// Checks the frame's header against its byte count and works out where its
// rows are. Returns null when every row lies inside the frame, or else a
// short reason for dropping it. Reads nothing beyond `size` bytes.
const char* CheckFrameLayout(const std::uint8_t* frame, std::uint32_t size, FrameLayout* layout);

// Why a frame was dropped: a short text for the caller's log.
struct DropReason {
    char text[200];
};

// Encodes the frame of `frameSize` bytes into `destination` and stores the
// image's size in *sizeOut (0 on failure). Returns 1 when the image is in
// destination.image, 0 when the frame was dropped (it failed the check, or
// the encoder reported an error); then *dropReason, when given, says why.
// Writes no log line for a dropped frame: frames come many a second, and
// the caller decides what is worth a line. Reorders the pixels of the
// frame's rows in place.
int EncodeFrameToJpeg(std::uint8_t* frame, std::uint32_t frameSize, std::uint32_t* sizeOut,
                      JpegDestination& destination, DropReason* dropReason = nullptr);

}  // namespace kq

#endif  // KQSDK_VIEWFINDER_JPEG_ENCODER_H
