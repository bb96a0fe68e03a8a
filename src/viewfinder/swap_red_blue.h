// Reordering of the viewfinder frame's pixels from blue-green-red, as the
// Camera SDK's bitmap rows hold them, to the red-green-blue rows the JPEG
// encoder takes.
#ifndef KQSDK_VIEWFINDER_SWAP_RED_BLUE_H
#define KQSDK_VIEWFINDER_SWAP_RED_BLUE_H

#include <cstdint>

namespace kq {

// Exchanges the first and third byte of each of pixelCount 3-byte pixels:
// blue-green-red becomes red-green-blue. Touches no byte beyond the
// 3 * pixelCount bytes at row. Uses the vector version where the processor
// has it.
void SwapRedBlue(std::uint8_t* row, std::uint32_t pixelCount);

// The two versions SwapRedBlue chooses from, for tests and benchmarks.
// SwapRedBlueVector returns false, and leaves the row alone, on a processor
// without the instructions it needs.
void SwapRedBluePortable(std::uint8_t* row, std::uint32_t pixelCount);
bool SwapRedBlueVector(std::uint8_t* row, std::uint32_t pixelCount);

}  // namespace kq

#endif  // KQSDK_VIEWFINDER_SWAP_RED_BLUE_H
