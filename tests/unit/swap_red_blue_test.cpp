// The red-blue exchange in both its versions, over pixel counts that cover
// whole 16-pixel blocks, every remainder after them, and rows too short for
// a block.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "viewfinder/swap_red_blue.h"

namespace kq::test {
namespace {

using SwapFunction = bool (*)(std::uint8_t*, std::uint32_t);

bool Portable(std::uint8_t* row, std::uint32_t pixelCount) {
    SwapRedBluePortable(row, pixelCount);
    return true;
}

bool Dispatching(std::uint8_t* row, std::uint32_t pixelCount) {
    SwapRedBlue(row, pixelCount);
    return true;
}

struct SwapCase {
    const char* name;
    SwapFunction swap;
};

class SwapRedBlueTest
    : public ::testing::TestWithParam<std::tuple<SwapCase, std::uint32_t>> {};

// Distinct bytes, so that a byte moved to the wrong place shows.
std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

TEST_P(SwapRedBlueTest, ReordersEveryPixelAndNothingElse) {
    const SwapCase& version = std::get<0>(GetParam());
    const std::uint32_t pixels = std::get<1>(GetParam());
    const std::size_t bytes = std::size_t{3} * pixels;
    constexpr std::size_t kGuard = 16;

    // The row followed by guard bytes that must stay as they are; the row is
    // also run alone in a block of its exact size, where the address
    // sanitizer sees any read or write beyond it.
    std::vector<std::uint8_t> guarded = Pattern(bytes + kGuard);
    std::vector<std::uint8_t> exact = Pattern(bytes);
    if (!version.swap(guarded.data(), pixels)) GTEST_SKIP() << "processor lacks the instructions";
    version.swap(exact.data(), pixels);

    std::vector<std::uint8_t> expected = Pattern(bytes + kGuard);
    for (std::size_t p = 0; p < pixels; ++p) std::swap(expected[3 * p], expected[3 * p + 2]);
    EXPECT_EQ(guarded, expected);
    expected.resize(bytes);
    EXPECT_EQ(exact, expected);
}

const SwapCase kVersions[] = {
    {"Portable", Portable},
    {"Vector", SwapRedBlueVector},
    {"Chosen", Dispatching},
};

INSTANTIATE_TEST_SUITE_P(
    PixelCounts, SwapRedBlueTest,
    ::testing::Combine(::testing::ValuesIn(kVersions),
                       ::testing::Values(0u, 1u, 4u, 5u, 6u, 10u, 11u, 15u, 16u, 17u, 21u, 31u,
                                         32u, 33u, 47u, 48u, 101u, 640u, 1281u)),
    [](const ::testing::TestParamInfo<SwapRedBlueTest::ParamType>& param) {
        return std::string(std::get<0>(param.param).name) + "_" +
               std::to_string(std::get<1>(param.param));
    });

}  // namespace
}  // namespace kq::test
