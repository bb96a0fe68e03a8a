// A released picture fetched the moment its event arrives. The library
// keeps only the latest downloaded picture: a second one completing before
// the first was fetched would replace it, and the first would be lost. Inside
// the event callback the Camera SDK's thread is held, so no later download
// can complete meanwhile; there the picture is copied out, transfer records
// and all, and handed later to the same writer as a transfer made directly.
#ifndef KQCAM_RELEASED_PICTURE_H
#define KQCAM_RELEASED_PICTURE_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "kqsdk.h"

namespace kqcam {

struct ReleasedPicture {
    KQResult result = RESULT_OK;  // of KQ_RC_GetReleasedData
    // The records as the library delivered them; each data record's `data`
    // is null here, its bytes are in `bytes` at the record's place.
    std::vector<KQTransferProgress> records;
    std::vector<std::uint8_t> bytes;
    std::chrono::steady_clock::time_point arrived;
};

// Fetches the picture the released-image event `eventCode` announces. Called
// from the event callback; never throws. When memory runs out the records
// stop there, so the picture reads as an incomplete transfer.
ReleasedPicture FetchReleasedPicture(std::uint32_t cameraHandle, std::uint32_t eventCode) noexcept;

// Hands the picture to `callback` as KQ_RC_GetReleasedData would have, with
// the data records pointing into the held bytes, and returns the result the
// library gave.
KQResult ReplayReleasedPicture(const ReleasedPicture& picture, std::uint32_t cameraHandle,
                               std::uint32_t clientValue, void* context,
                               KQReleasedDataCallback callback);

}  // namespace kqcam

#endif  // KQCAM_RELEASED_PICTURE_H
