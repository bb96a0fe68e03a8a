#include "released_picture.h"

#include <new>

namespace kqcam {

namespace {

struct Collector {
    ReleasedPicture* picture;
    bool full = false;  // memory ran out; nothing more is kept
};

uint32_t KQ_STDCALL Collect(uint32_t, uint32_t, void* context, const KQTransferProgress* record) {
    auto* collector = static_cast<Collector*>(context);
    if (collector == nullptr || record == nullptr || collector->full) return 0;
    try {
        KQTransferProgress copy = *record;
        copy.data = nullptr;
        if (record->status == KQ_TRANSFER_DATA && record->count > 0) {
            // A record that lies about its chunk is kept as it is and its
            // bytes are not read; the writer refuses it for its offset.
            if (record->data != nullptr && record->count <= KQ_TRANSFER_CHUNK_SIZE &&
                record->offset == collector->picture->bytes.size()) {
                collector->picture->bytes.insert(collector->picture->bytes.end(), record->data,
                                                 record->data + record->count);
            }
        }
        collector->picture->records.push_back(copy);
    } catch (const std::bad_alloc&) {
        collector->full = true;
    }
    return 0;
}

}  // namespace

ReleasedPicture FetchReleasedPicture(std::uint32_t cameraHandle, std::uint32_t eventCode) noexcept {
    ReleasedPicture picture;
    picture.arrived = std::chrono::steady_clock::now();
    Collector collector{&picture};
    picture.result = KQ_RC_GetReleasedData(cameraHandle, 0, eventCode, 0, &collector, Collect);
    return picture;
}

KQResult ReplayReleasedPicture(const ReleasedPicture& picture, std::uint32_t cameraHandle,
                               std::uint32_t clientValue, void* context,
                               KQReleasedDataCallback callback) {
    for (KQTransferProgress record : picture.records) {
        if (record.status == KQ_TRANSFER_DATA && record.count > 0) {
            const std::uint64_t end = std::uint64_t{record.offset} + record.count;
            // Bytes that were not kept are not handed out.
            record.data = end <= picture.bytes.size() ? picture.bytes.data() + record.offset : nullptr;
        }
        callback(cameraHandle, clientValue, context, &record);
    }
    return picture.result;
}

}  // namespace kqcam
