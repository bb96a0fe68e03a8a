// Writes a dataset for the client: little-endian, packed, into the client's
// buffer and never past the size computed for the dataset. The size is
// checked against the client's capacity before a writer is made; a write
// that would cross the bound is dropped whole and remembered, so a wrong
// size computation shows up in Complete() instead of in the client's memory.
#ifndef KQSDK_PROPS_DATASET_WRITER_H
#define KQSDK_PROPS_DATASET_WRITER_H

#include <cstdint>

namespace kq {

class DatasetWriter {
public:
    DatasetWriter(void* buffer, std::uint32_t size)
        : out_(static_cast<std::uint8_t*>(buffer)), size_(size) {}

    void U8(std::uint32_t value) { Put(value, 1); }
    void U16(std::uint32_t value) { Put(value, 2); }
    void U32(std::uint32_t value) { Put(value, 4); }
    // The low `width` bytes (1, 2 or 4) of a value.
    void Value(std::uint32_t value, std::uint32_t width) { Put(value, width); }
    void Zeros(std::uint32_t count) {
        if (!Fits(count)) return;
        for (std::uint32_t i = 0; i < count; ++i) out_[written_++] = 0;
    }
    // A PTP string with no characters: its length byte only.
    void EmptyString() { U8(0); }

    std::uint32_t Written() const { return written_; }
    // Every byte of the dataset written and no write dropped.
    bool Complete() const { return !overflowed_ && written_ == size_; }

private:
    bool Fits(std::uint32_t count) {
        if (count > size_ - written_) {
            overflowed_ = true;
            return false;
        }
        return true;
    }
    void Put(std::uint32_t value, std::uint32_t bytes) {
        if (bytes > 4 || !Fits(bytes)) {
            overflowed_ = true;
            return;
        }
        for (std::uint32_t i = 0; i < bytes; ++i) {
            out_[written_++] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }

    std::uint8_t* out_;
    std::uint32_t size_;
    std::uint32_t written_ = 0;
    bool overflowed_ = false;
};

}  // namespace kq

#endif  // KQSDK_PROPS_DATASET_WRITER_H
