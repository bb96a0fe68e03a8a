// The picture the simulated camera takes: colour bars, a grey ramp and a
// colour gradient with a little noise, and the shot number in large digits
// in the top left corner, encoded as a baseline JPEG.
#ifndef ZTSIM_SHOT_IMAGE_H
#define ZTSIM_SHOT_IMAGE_H

#include <stdint.h>

#include <vector>

namespace ztsim {

constexpr int kShotWidth = 1600;
constexpr int kShotHeight = 1200;
constexpr int kShotQuality = 92;

// Encodes the picture of shot `shotNumber` into *jpeg (replacing its
// contents). Returns false when encoding failed or memory ran out; never
// throws.
bool MakeShotJpeg(uint32_t shotNumber, int width, int height, int quality,
                  std::vector<unsigned char>* jpeg) noexcept;

}  // namespace ztsim

#endif  // ZTSIM_SHOT_IMAGE_H
