// Test helpers of the viewfinder: building 24-bit bitmap file images in the
// layouts a Camera SDK may hand over, and decoding JPEG images with libjpeg.
#ifndef KQSDK_TESTS_UNIT_VIEWFINDER_IMAGES_H
#define KQSDK_TESTS_UNIT_VIEWFINDER_IMAGES_H

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

// clang-format off
#include <jpeglib.h>
// clang-format on

namespace kq::test {

struct Rgb {
    std::uint8_t r, g, b;
};

enum class RowLayout { Padded, Packed };

// A bitmap file image of width x height pixels whose picture pixel (x, y),
// y counted from the top, is colour(x, y). Rows are stored bottom-up, or
// top-down (negative height in the header) when topDown is set.
inline std::vector<std::uint8_t> MakeBitmap(int width, int height, RowLayout layout, bool topDown,
                                            const std::function<Rgb(int, int)>& colour) {
    const std::uint32_t packed = 3u * static_cast<std::uint32_t>(width);
    const std::uint32_t stride = layout == RowLayout::Padded ? (packed + 3) & ~3u : packed;
    std::vector<std::uint8_t> image(54 + static_cast<std::size_t>(stride) * height, 0);
    auto put32 = [&image](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    image[0] = 'B';
    image[1] = 'M';
    put32(2, static_cast<std::uint32_t>(image.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(topDown ? -height : height));
    image[26] = 1;
    image[28] = 24;
    for (int y = 0; y < height; ++y) {
        const int memoryRow = topDown ? y : height - 1 - y;
        std::uint8_t* row = image.data() + 54 + static_cast<std::size_t>(memoryRow) * stride;
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
        // Padding bytes that would show as a sheared stripe if read as pixels.
        for (std::uint32_t i = packed; i < stride; ++i) row[i] = 0xFF;
    }
    return image;
}

// The test picture used throughout: red on the left and top, blue on the
// right and bottom, so that a mirrored, flipped, sheared or channel-swapped
// image shows.
inline Rgb Quadrants(int x, int y, int width, int height) {
    const bool left = x < width / 2;
    const bool top = y < height / 2;
    if (top && left) return {255, 0, 0};
    if (top) return {0, 255, 0};
    if (left) return {255, 255, 255};
    return {0, 0, 255};
}

struct DecodedImage {
    bool ok = false;
    std::string error;
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<std::uint8_t> pixels;  // RGB, top row first

    Rgb At(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return {pixels[i], pixels[i + 1], pixels[i + 2]};
    }
};

namespace detail {
struct DecodeTrap {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

inline void DecodeErrorExit(j_common_ptr cinfo) {
    auto* trap = reinterpret_cast<DecodeTrap*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, trap->message);
    std::longjmp(trap->jump, 1);
}

inline void DecodeQuiet(j_common_ptr) {}

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    DecodeTrap trap;
    unsigned char* rows;  // malloc'ed, so that an error jump leaks nothing
};

inline void RunDecode(DecodeJob& job, const std::uint8_t* data, std::size_t size, int* width,
                      int* height, int* components) {
    jpeg_create_decompress(&job.cinfo);
    jpeg_mem_src(&job.cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
    jpeg_read_header(&job.cinfo, TRUE);
    job.cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&job.cinfo);
    *width = static_cast<int>(job.cinfo.output_width);
    *height = static_cast<int>(job.cinfo.output_height);
    *components = job.cinfo.output_components;
    const std::size_t stride = static_cast<std::size_t>(*width) * 3;
    job.rows = static_cast<unsigned char*>(std::malloc(stride * (*height) + 1));
    while (job.cinfo.output_scanline < job.cinfo.output_height) {
        JSAMPROW row = job.rows + stride * job.cinfo.output_scanline;
        jpeg_read_scanlines(&job.cinfo, &row, 1);
    }
    jpeg_finish_decompress(&job.cinfo);
}

inline bool DecodeTrapped(DecodeJob& job, const std::uint8_t* data, std::size_t size, int* width,
                          int* height, int* components) {
    if (setjmp(job.trap.jump) != 0) {
        jpeg_destroy_decompress(&job.cinfo);
        return false;
    }
    RunDecode(job, data, size, width, height, components);
    jpeg_destroy_decompress(&job.cinfo);
    return true;
}
}  // namespace detail

// Decodes a whole JPEG image (RGB output). Fails, rather than ending the
// test program, on a malformed image.
inline DecodedImage DecodeJpeg(const std::uint8_t* data, std::size_t size) {
    DecodedImage image;
    auto* job = static_cast<detail::DecodeJob*>(std::calloc(1, sizeof(detail::DecodeJob)));
    job->cinfo.err = jpeg_std_error(&job->trap.pub);
    job->trap.pub.error_exit = detail::DecodeErrorExit;
    job->trap.pub.output_message = detail::DecodeQuiet;
    image.ok =
        detail::DecodeTrapped(*job, data, size, &image.width, &image.height, &image.components);
    if (image.ok) {
        image.pixels.assign(job->rows,
                            job->rows + static_cast<std::size_t>(image.width) * image.height * 3);
    } else {
        image.error = job->trap.message;
    }
    std::free(job->rows);
    std::free(job);
    return image;
}

inline DecodedImage DecodeJpeg(const std::vector<std::uint8_t>& data) {
    return DecodeJpeg(data.data(), data.size());
}

// Whether a decoded colour is near the expected one (JPEG is lossy).
inline bool Near(Rgb actual, Rgb expected, int tolerance = 40) {
    auto close = [tolerance](int a, int b) { return a - b <= tolerance && b - a <= tolerance; };
    return close(actual.r, expected.r) && close(actual.g, expected.g) &&
           close(actual.b, expected.b);
}

inline std::string Describe(Rgb c) {
    char text[32];
    std::snprintf(text, sizeof text, "(%u,%u,%u)", c.r, c.g, c.b);
    return text;
}

}  // namespace kq::test

#endif  // KQSDK_TESTS_UNIT_VIEWFINDER_IMAGES_H
