// The frame-to-JPEG encoder of the viewfinder.
//
// The Camera SDK's frame is untrusted: its header is checked against the
// byte count before any row is read (CheckFrameLayout).
//
// libjpeg reports errors through the error manager's error_exit, whose
// standard version ends the process. Here it jumps back to the encoder with
// longjmp (the documented libjpeg pattern), which destroys the compressor
// and drops the frame. Everything on the stack between setjmp and the
// jump is plain C data, so nothing is skipped that needs destroying.
//
// The output goes through a destination manager of our own that writes
// straight into the bridge's buffers. libjpeg's memory destination cannot
// be used safely with that error handling: after it has grown its buffer,
// the caller's buffer pointer is stale until the image is finished, so an
// error in between leaks the grown buffer. Writing into our own buffers
// also spares the copy of every image and the allocation per frame.
#include "viewfinder/jpeg_encoder.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>

// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "log/trace.h"
#include "viewfinder/swap_red_blue.h"

namespace kq {

namespace {

// Smallest step the overflow block grows by.
constexpr std::uint32_t kMinGrowth = 4096;

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

// Error manager that returns to the encoder instead of ending the process.
struct ErrorTrap {
    jpeg_error_mgr pub;  // first, so that cinfo->err points at the trap
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

// A destination that writes into JpegDestination's fixed block and moves
// to the overflow block when the image outgrows it.
struct BufferDestination {
    jpeg_destination_mgr pub;  // first, so that cinfo->dest points at it
    JpegDestination* target;
    std::uint8_t* buffer;  // the block being written: fixed or overflow
    std::uint32_t capacity;
    bool inOverflow;
    const char* failure;  // why the destination gave up, for the log
};

// Everything the encoding touches, kept in one object of the caller's so
// that nothing the error jump returns past lives in a register.
struct EncodeJob {
    jpeg_compress_struct cinfo;
    ErrorTrap trap;
    BufferDestination destination;
    std::uint8_t* frame;
    FrameLayout layout;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* trap = reinterpret_cast<ErrorTrap*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, trap->message);
    std::longjmp(trap->jump, 1);
}

// Warnings go to the log rather than to standard error.
void OutputMessage(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    char line[kMaxMessageLength + 1];
    std::snprintf(line, sizeof line, "EncodeFrameToJpeg: %s", message);
    Tracef(line, kLogInfo);
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo);

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<BufferDestination*>(cinfo->dest);
    dest->buffer = dest->target->fixed;
    dest->capacity = dest->target->fixedSize;
    dest->inOverflow = false;
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = dest->capacity;
    // libjpeg writes its first byte before it checks for room, and a count
    // of 0 would then wrap round: an empty fixed block moves to the overflow
    // block (or drops the frame) before anything is written.
    if (dest->capacity == 0) EmptyOutputBuffer(cinfo);
}

// Called when the block is full: continue in the overflow block, made
// twice as large as the image so far (at most the limit).
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<BufferDestination*>(cinfo->dest);
    JpegDestination& target = *dest->target;
    const std::uint32_t written = dest->capacity;
    if (target.overflow == nullptr || written >= target.limit) {
        dest->failure = "encoded image too large";
        ERREXIT(cinfo, JERR_BUFFER_SIZE);
    }
    std::uint64_t grown = 2ull * written;
    if (grown < std::uint64_t{written} + kMinGrowth) grown = std::uint64_t{written} + kMinGrowth;
    const std::uint32_t wanted =
        grown < target.limit ? static_cast<std::uint32_t>(grown) : target.limit;
    if (!target.overflow->Grow(wanted)) {
        dest->failure = "out of memory for the encoded image";
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    }
    // On the first move the image so far is still in the fixed block; after
    // that Grow has kept it.
    if (!dest->inOverflow && written > 0) {
        std::memcpy(target.overflow->data(), target.fixed, written);
    }
    dest->inOverflow = true;
    dest->buffer = target.overflow->data();
    dest->capacity = wanted;
    dest->pub.next_output_byte = dest->buffer + written;
    dest->pub.free_in_buffer = wanted - written;
    return TRUE;
}

void TermDestination(j_compress_ptr) {}

// All libjpeg calls of one image. An error leaves through ErrorExit.
void Compress(EncodeJob& job) {
    jpeg_compress_struct* cinfo = &job.cinfo;
    jpeg_create_compress(cinfo);

    job.destination.pub.init_destination = InitDestination;
    job.destination.pub.empty_output_buffer = EmptyOutputBuffer;
    job.destination.pub.term_destination = TermDestination;
    cinfo->dest = &job.destination.pub;

    cinfo->image_width = job.layout.width;
    cinfo->image_height = job.layout.height;
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        std::uint8_t* row = job.frame + job.layout.RowOffset(cinfo->next_scanline);
        SwapRedBlue(row, job.layout.width);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
}

// Runs Compress, catching its error jump. Returns 1 when the image is done.
int CompressTrapped(EncodeJob& job) {
    if (setjmp(job.trap.jump) != 0) {
        jpeg_destroy_compress(&job.cinfo);
        return 0;
    }
    Compress(job);
    jpeg_destroy_compress(&job.cinfo);
    return 1;
}

// Copies the reason into the caller's DropReason, if one was given.
void NoteDrop(DropReason* dropReason, const char* reason) {
    if (dropReason == nullptr) return;
    std::snprintf(dropReason->text, sizeof dropReason->text, "%s", reason);
}

}  // namespace

// Rows are 24-bit blue-green-red pixels. Two layouts are accepted:
// - Bottom-up (positive biHeight): the first row in memory is the bottom
//   row of the picture. Top-down (negative biHeight): it is the top row.
//   Either way the JPEG image is written top row first.
// - Rows packed at three bytes a pixel, the Camera SDK's layout, or padded
//   to a multiple of four bytes, as in any bitmap file. The byte count
//   cannot tell them apart (a packed frame with bytes to spare may be as
//   long as a padded one), so the header decides: the rows are padded only
//   when the size of the pixel data it gives (biSizeImage, or when that is
//   0, bfSize - bfOffBits) is that of padded rows; otherwise they are packed.
//   For widths where 3 * width is a multiple of four the two are the same.
// A frame whose rows, in the layout so chosen, do not all lie within the
// byte count is dropped.
const char* CheckFrameLayout(const std::uint8_t* frame, std::uint32_t size, FrameLayout* layout) {
    if (frame == nullptr || size < kFrameHeaderSize) return "shorter than a bitmap header";
    const std::uint32_t fileSize = ReadU32(frame + 2);
    const std::uint32_t pixelOffset = ReadU32(frame + 10);
    const std::int32_t width = static_cast<std::int32_t>(ReadU32(frame + 18));
    const std::int32_t height = static_cast<std::int32_t>(ReadU32(frame + 22));
    const std::uint16_t bitCount = ReadU16(frame + 28);
    const std::uint32_t imageSize = ReadU32(frame + 34);
    if (bitCount != 24) return "not 24 bits per pixel";
    if (width <= 0 || width > kMaxFrameSide) return "width out of range";
    if (height == 0 || height < -kMaxFrameSide || height > kMaxFrameSide) {
        return "height out of range";
    }
    if (pixelOffset < kFrameHeaderSize || pixelOffset > size) return "pixel offset out of range";

    const std::uint64_t rows =
        static_cast<std::uint64_t>(height < 0 ? -std::int64_t{height} : height);
    const std::uint64_t packed = 3ull * static_cast<std::uint64_t>(width);
    const std::uint64_t padded = (packed + 3) & ~std::uint64_t{3};
    // A bfSize below bfOffBits gives a negative size, which no layout has.
    const std::int64_t declared = imageSize != 0
                                      ? std::int64_t{imageSize}
                                      : std::int64_t{fileSize} - std::int64_t{pixelOffset};
    const std::uint64_t stride =
        declared >= 0 && static_cast<std::uint64_t>(declared) == rows * padded ? padded : packed;
    if (rows * stride > size - pixelOffset) return "rows beyond the byte count";
    layout->width = static_cast<std::uint32_t>(width);
    layout->height = static_cast<std::uint32_t>(rows);
    layout->pixelOffset = pixelOffset;
    layout->stride = static_cast<std::uint32_t>(stride);
    layout->topDown = height < 0;
    return nullptr;
}

int EncodeFrameToJpeg(std::uint8_t* frame, std::uint32_t frameSize, std::uint32_t* sizeOut,
                      JpegDestination& destination, DropReason* dropReason) {
    *sizeOut = 0;
    destination.image = nullptr;
    if (dropReason != nullptr) dropReason->text[0] = '\0';
    EncodeJob job;
    std::memset(&job, 0, sizeof job);
    if (const char* reason = CheckFrameLayout(frame, frameSize, &job.layout)) {
        NoteDrop(dropReason, reason);
        return 0;
    }
    job.frame = frame;
    job.destination.target = &destination;
    job.cinfo.err = jpeg_std_error(&job.trap.pub);
    job.trap.pub.error_exit = ErrorExit;
    job.trap.pub.output_message = OutputMessage;
    if (CompressTrapped(job) == 0) {
        NoteDrop(dropReason,
                 job.destination.failure != nullptr ? job.destination.failure : job.trap.message);
        return 0;
    }
    destination.image = job.destination.buffer;
    *sizeOut =
        job.destination.capacity - static_cast<std::uint32_t>(job.destination.pub.free_in_buffer);
    return 1;
}

}  // namespace kq
