// The red-blue exchange runs over every pixel of every viewfinder frame and
// is the bridge's largest cost per frame besides libjpeg itself. The vector
// version handles 16 pixels (48 bytes, three 16-byte registers) per step with
// byte shuffles; pixels 5 and 10 straddle two registers, so each output
// register is put together from the shuffles of its neighbours as well.
// Loads and stores never overlap, which keeps the processor from stalling
// on a load that reads a store still in flight.
#include "viewfinder/swap_red_blue.h"

#include <cstddef>

#if defined(__i386__) || defined(__x86_64__)
#include <tmmintrin.h>
#define KQ_HAVE_SSSE3_SWAP 1
#else
#define KQ_HAVE_SSSE3_SWAP 0
#endif

namespace kq {

void SwapRedBluePortable(std::uint8_t* row, std::uint32_t pixelCount) {
    for (std::uint32_t i = 0; i < pixelCount; ++i, row += 3) {
        const std::uint8_t first = row[0];
        row[0] = row[2];
        row[2] = first;
    }
}

#if KQ_HAVE_SSSE3_SWAP

namespace {

constexpr int kBlockBytes = 48;

// Shuffle masks: kMasks.m[out][in] moves the bytes of input register `in`
// that belong in output register `out` to their place, and zeroes the rest
// (a mask byte with its top bit set selects zero).
struct ShuffleMasks {
    alignas(16) std::int8_t m[3][3][16];
};

constexpr int SourceByte(int target) {
    switch (target % 3) {
        case 0: return target + 2;
        case 2: return target - 2;
        default: return target;
    }
}

constexpr ShuffleMasks MakeShuffleMasks() {
    ShuffleMasks masks{};
    for (int out = 0; out < 3; ++out) {
        for (int in = 0; in < 3; ++in) {
            for (int k = 0; k < 16; ++k) {
                const int source = SourceByte(16 * out + k);
                masks.m[out][in][k] = source / 16 == in ? static_cast<std::int8_t>(source % 16)
                                                        : static_cast<std::int8_t>(-128);
            }
        }
    }
    return masks;
}

constexpr ShuffleMasks kMasks = MakeShuffleMasks();

__attribute__((target("ssse3"))) __m128i Mask(int out, int in) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kMasks.m[out][in]));
}

__attribute__((target("ssse3"))) void SwapBlocks(std::uint8_t* row, std::size_t blocks) {
    const __m128i m00 = Mask(0, 0), m01 = Mask(0, 1);
    const __m128i m10 = Mask(1, 0), m11 = Mask(1, 1), m12 = Mask(1, 2);
    const __m128i m21 = Mask(2, 1), m22 = Mask(2, 2);
    for (std::size_t b = 0; b < blocks; ++b, row += kBlockBytes) {
        auto* words = reinterpret_cast<__m128i*>(row);
        const __m128i v0 = _mm_loadu_si128(words);
        const __m128i v1 = _mm_loadu_si128(words + 1);
        const __m128i v2 = _mm_loadu_si128(words + 2);
        const __m128i o0 = _mm_or_si128(_mm_shuffle_epi8(v0, m00), _mm_shuffle_epi8(v1, m01));
        const __m128i o1 = _mm_or_si128(
            _mm_or_si128(_mm_shuffle_epi8(v0, m10), _mm_shuffle_epi8(v1, m11)),
            _mm_shuffle_epi8(v2, m12));
        const __m128i o2 = _mm_or_si128(_mm_shuffle_epi8(v1, m21), _mm_shuffle_epi8(v2, m22));
        _mm_storeu_si128(words, o0);
        _mm_storeu_si128(words + 1, o1);
        _mm_storeu_si128(words + 2, o2);
    }
}

// The processor is examined once. __builtin_cpu_init makes the answer
// valid even before the runtime's own start-up code has examined it.
bool ProcessorHasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3") != 0);
    return has;
}

}  // namespace

bool SwapRedBlueVector(std::uint8_t* row, std::uint32_t pixelCount) {
    if (!ProcessorHasSsse3()) return false;
    const std::size_t blocks = std::size_t{pixelCount} * 3 / kBlockBytes;
    SwapBlocks(row, blocks);
    const std::size_t done = blocks * kBlockBytes;
    SwapRedBluePortable(row + done, pixelCount - static_cast<std::uint32_t>(done / 3));
    return true;
}

#else

bool SwapRedBlueVector(std::uint8_t*, std::uint32_t) { return false; }

#endif

void SwapRedBlue(std::uint8_t* row, std::uint32_t pixelCount) {
    if (!SwapRedBlueVector(row, pixelCount)) SwapRedBluePortable(row, pixelCount);
}

}  // namespace kq
