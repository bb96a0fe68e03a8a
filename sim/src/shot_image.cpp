#include "shot_image.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace ztsim {

namespace {

// 5x7 digits, one byte per row, bit 4 the leftmost column.
constexpr unsigned char kDigitFont[10][7] = {
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
};

// Colour bars at 75 %: white, yellow, cyan, green, magenta, red, blue, black.
constexpr unsigned char kBars[8][3] = {
    {191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
    {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0},
};

constexpr int kDigitScale = 24;  // each font dot is a 24x24 block
constexpr int kLabelMargin = 40;
constexpr int kNoiseAmplitude = 12;  // +-12 per channel, so the image is not tiny

struct Picture {
    int width;
    int height;
    char digits[11];
    int digitCount;
    uint32_t noise;  // xorshift32 state
};

unsigned char Clamp(int value) {
    return static_cast<unsigned char>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

uint32_t NextNoise(Picture* picture) {
    uint32_t x = picture->noise;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    picture->noise = x;
    return x;
}

// Whether pixel (x, y) lies on a dot of the shot number, and whether it lies
// in the black box behind it.
void LabelAt(const Picture& picture, int x, int y, bool* inBox, bool* onDot) {
    const int cell = 6 * kDigitScale;  // 5 dots and one of spacing
    const int boxWidth = picture.digitCount * cell + kDigitScale;
    const int boxHeight = 9 * kDigitScale;
    *inBox = x >= kLabelMargin && x < kLabelMargin + boxWidth && y >= kLabelMargin &&
             y < kLabelMargin + boxHeight;
    *onDot = false;
    if (!*inBox) return;
    const int lx = x - kLabelMargin - kDigitScale;
    const int ly = y - kLabelMargin - kDigitScale;
    if (lx < 0 || ly < 0) return;
    const int index = lx / cell;
    const int column = (lx % cell) / kDigitScale;
    const int row = ly / kDigitScale;
    if (index >= picture.digitCount || column >= 5 || row >= 7) return;
    const unsigned char bits = kDigitFont[picture.digits[index] - '0'][row];
    *onDot = (bits & (0x10 >> column)) != 0;
}

void FillRow(Picture* picture, int y, unsigned char* row) {
    const int barsEnd = picture->height * 6 / 10;
    const int rampEnd = picture->height * 3 / 4;
    for (int x = 0; x < picture->width; ++x) {
        int rgb[3];
        if (y < barsEnd) {
            const unsigned char* bar = kBars[x * 8 / picture->width];
            for (int c = 0; c < 3; ++c) rgb[c] = bar[c];
        } else if (y < rampEnd) {
            const int grey = x * 255 / (picture->width - 1);
            rgb[0] = rgb[1] = rgb[2] = grey;
        } else {
            rgb[0] = x * 255 / (picture->width - 1);
            rgb[1] = (y - rampEnd) * 255 / (picture->height - rampEnd);
            rgb[2] = 255 - rgb[0];
        }
        bool inBox = false;
        bool onDot = false;
        LabelAt(*picture, x, y, &inBox, &onDot);
        if (inBox) rgb[0] = rgb[1] = rgb[2] = onDot ? 255 : 0;
        const uint32_t noise = NextNoise(picture);
        for (int c = 0; c < 3; ++c) {
            const int delta = static_cast<int>((noise >> (8 * c)) % (2 * kNoiseAmplitude + 1)) -
                              kNoiseAmplitude;
            row[3 * x + c] = Clamp(inBox ? rgb[c] : rgb[c] + delta);
        }
    }
}

// libjpeg reports fatal errors through error_exit, which must not return.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void OnJpegMessage(j_common_ptr) {
    // Warnings are dropped: the simulator writes nothing to the console.
}

// A destination that grows a malloc'd buffer. When memory runs out it
// records the failure and lets the encoder finish into a scratch area.
struct MemoryDestination {
    jpeg_destination_mgr pub;
    unsigned char* data;
    size_t capacity;
    size_t size;
    bool failed;
    unsigned char scratch[4096];
};

MemoryDestination* DestinationOf(j_compress_ptr cinfo) {
    return reinterpret_cast<MemoryDestination*>(cinfo->dest);
}

void InitDestination(j_compress_ptr cinfo) {
    MemoryDestination* dest = DestinationOf(cinfo);
    dest->pub.next_output_byte = dest->data;
    dest->pub.free_in_buffer = dest->capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    MemoryDestination* dest = DestinationOf(cinfo);
    if (!dest->failed) {
        const size_t grown = dest->capacity * 2;
        void* bigger = std::realloc(dest->data, grown);
        if (bigger != nullptr) {
            dest->data = static_cast<unsigned char*>(bigger);
            dest->pub.next_output_byte = dest->data + dest->capacity;
            dest->pub.free_in_buffer = grown - dest->capacity;
            dest->capacity = grown;
            return TRUE;
        }
        dest->failed = true;
    }
    dest->pub.next_output_byte = dest->scratch;
    dest->pub.free_in_buffer = sizeof dest->scratch;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    MemoryDestination* dest = DestinationOf(cinfo);
    if (!dest->failed) dest->size = dest->capacity - dest->pub.free_in_buffer;
}

// Runs the encoder. Only plain data lives in this frame, as longjmp skips
// destructors. Returns false on an encoder error or exhausted memory.
bool Encode(Picture* picture, int quality, unsigned char* row, MemoryDestination* dest) {
    jpeg_compress_struct cinfo;
    ErrorManager errors;
    cinfo.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = OnJpegError;
    errors.pub.output_message = OnJpegMessage;
    if (setjmp(errors.jump) != 0) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest->pub.init_destination = InitDestination;
    dest->pub.empty_output_buffer = EmptyOutputBuffer;
    dest->pub.term_destination = TermDestination;
    cinfo.dest = &dest->pub;
    cinfo.image_width = static_cast<JDIMENSION>(picture->width);
    cinfo.image_height = static_cast<JDIMENSION>(picture->height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < picture->height; ++y) {
        FillRow(picture, y, row);
        JSAMPROW rows[1] = {row};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return !dest->failed;
}

}  // namespace

bool MakeShotJpeg(uint32_t shotNumber, int width, int height, int quality,
                  std::vector<unsigned char>* jpeg) noexcept {
    if (jpeg == nullptr || width < 8 || height < 8 || width > 8192 || height > 8192) return false;
    Picture picture;
    picture.width = width;
    picture.height = height;
    picture.digitCount = std::snprintf(picture.digits, sizeof picture.digits, "%lu",
                                       static_cast<unsigned long>(shotNumber));
    picture.noise = 0x9E3779B9u ^ (shotNumber * 0x85EBCA6Bu);
    if (picture.noise == 0) picture.noise = 1;

    unsigned char* row = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(width) * 3));
    auto* dest = static_cast<MemoryDestination*>(std::calloc(1, sizeof(MemoryDestination)));
    bool ok = row != nullptr && dest != nullptr;
    if (ok) {
        dest->capacity = 256 * 1024;
        dest->data = static_cast<unsigned char*>(std::malloc(dest->capacity));
        ok = dest->data != nullptr && Encode(&picture, quality, row, dest);
    }
    if (ok) {
        try {
            jpeg->assign(dest->data, dest->data + dest->size);
        } catch (...) {
            ok = false;
        }
    }
    if (dest != nullptr) std::free(dest->data);
    std::free(dest);
    std::free(row);
    return ok;
}

}  // namespace ztsim
