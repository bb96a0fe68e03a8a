// The frame encoder on arbitrary frame bytes and byte counts: header fields,
// pixel offsets, sizes and layouts, into destinations of arbitrary size with
// and without an overflow block. The frame is a heap block of exactly the
// stated byte count, so that any read beyond it is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "bridge/sdk_wrapper.h"
#include "viewfinder/jpeg_buffer.h"
#include "viewfinder/jpeg_encoder.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kq::fuzz::PrepareProcess();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // The destination's parameters come from the end of the input, the frame
    // from its start, so that seeds are frames followed by a few bytes.
    const std::uint32_t fixedSize = input.ConsumeBool()
                                        ? kq::kJpegBufferSize
                                        : input.ConsumeIntegralInRange<std::uint32_t>(0, 2048);
    const bool withOverflow = input.ConsumeBool();
    const std::uint32_t limit = input.ConsumeBool()
                                    ? kq::kMaxJpegImageSize
                                    : input.ConsumeIntegralInRange<std::uint32_t>(0, 1u << 20);
    const std::vector<std::uint8_t> bytes = input.ConsumeRemainingBytes<std::uint8_t>();

    auto* frame = static_cast<std::uint8_t*>(std::malloc(bytes.empty() ? 1 : bytes.size()));
    if (!bytes.empty()) std::memcpy(frame, bytes.data(), bytes.size());
    auto* fixed = static_cast<std::uint8_t*>(std::malloc(fixedSize == 0 ? 1 : fixedSize));
    kq::JpegOverflow overflow;
    kq::JpegDestination destination{fixed, fixedSize, withOverflow ? &overflow : nullptr, limit,
                                    nullptr};

    kq::FrameLayout layout{};
    const bool fits = kq::CheckFrameLayout(frame, static_cast<std::uint32_t>(bytes.size()),
                                           &layout) == nullptr;
    if (fits) {
        // Every row the layout names lies inside the frame.
        const std::uint64_t end = std::uint64_t{layout.RowOffset(0)} + 3ull * layout.width;
        const std::uint64_t last =
            std::uint64_t{layout.RowOffset(layout.height - 1)} + 3ull * layout.width;
        KQ_FUZZ_REQUIRE(end <= bytes.size() && last <= bytes.size());
    }

    std::uint32_t imageSize = 0xFFFFFFFFu;
    const int encoded = kq::EncodeFrameToJpeg(frame, static_cast<std::uint32_t>(bytes.size()),
                                              &imageSize, destination);
    if (encoded == 1) {
        KQ_FUZZ_REQUIRE(fits);
        KQ_FUZZ_REQUIRE(imageSize >= 4 && imageSize <= limit + fixedSize);
        const std::uint8_t* image = destination.image;
        const bool inFixed = image == fixed && imageSize <= fixedSize;
        const bool inOverflow = withOverflow && image == overflow.data() &&
                                imageSize <= overflow.capacity() && imageSize <= limit;
        KQ_FUZZ_REQUIRE(inFixed || inOverflow);
        KQ_FUZZ_REQUIRE(image[0] == 0xFF && image[1] == 0xD8);
        KQ_FUZZ_REQUIRE(image[imageSize - 2] == 0xFF && image[imageSize - 1] == 0xD9);
    } else {
        KQ_FUZZ_REQUIRE(encoded == 0 && imageSize == 0 && destination.image == nullptr);
    }
    std::free(fixed);
    std::free(frame);
    return 0;
}
