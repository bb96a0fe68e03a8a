// Decoding of the DeviceInfo and DevicePropDesc datasets the library hands
// out. Both are little-endian and packed; every read is checked against the
// size the library reported, so a short or inconsistent dataset is refused
// with a message instead of being read past its end.
#ifndef KQCAM_DATASETS_H
#define KQCAM_DATASETS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kqcam {

// Thrown for a dataset that does not hold what its fields promise.
struct DatasetError {
    std::string message;
};

// Little-endian reads with bounds checks.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t U8(const char* field);
    std::uint16_t U16(const char* field);
    std::uint32_t U32(const char* field);
    // `width` bytes (1 to 8) as an unsigned number.
    std::uint64_t Value(std::size_t width, const char* field);
    // A PTP string: a length byte, then that many UTF-16 code units.
    std::string String(const char* field);
    // A 32-bit count followed by that many 16-bit codes.
    std::vector<std::uint16_t> CodeArray(const char* field);
    std::size_t Remaining() const { return size_ - pos_; }
    std::size_t Position() const { return pos_; }

private:
    void Need(std::size_t bytes, const char* field) const;
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// UTF-8 for `count` UTF-16 code units: surrogate pairs become one
// character, a lone surrogate becomes U+FFFD, so the text is always valid
// UTF-8 (and valid in a JSON string).
std::string Utf16ToUtf8(const std::uint16_t* units, std::size_t count);

struct DeviceInfo {
    std::uint16_t standardVersion = 0;
    std::uint32_t vendorExtensionId = 0;
    std::uint16_t vendorExtensionVersion = 0;
    std::string vendorExtensionDesc;
    std::uint16_t functionalMode = 0;
    std::vector<std::uint16_t> operations;
    std::vector<std::uint16_t> events;
    std::vector<std::uint16_t> properties;
    std::vector<std::uint16_t> captureFormats;
    std::vector<std::uint16_t> imageFormats;
    std::string manufacturer;
    std::string model;
    std::string deviceVersion;
    std::string serialNumber;
};

DeviceInfo DecodeDeviceInfo(const std::uint8_t* data, std::size_t size);

enum class PropForm : std::uint8_t { kNone = 0, kRange = 1, kEnumeration = 2 };

struct PropDesc {
    std::uint16_t code = 0;
    std::uint16_t dataType = 0;
    bool settable = false;
    std::size_t width = 0;  // bytes per value
    std::uint64_t defaultValue = 0;
    std::uint64_t currentValue = 0;
    PropForm form = PropForm::kNone;
    std::uint64_t minimum = 0, maximum = 0, step = 0;  // range form
    std::vector<std::uint64_t> choices;                // enumeration form
};

// Width in bytes of a PTP data type's values, 0 for a type kqcam cannot
// decode. The undefined type 0x0000 counts as 8 bytes, as the library
// writes it.
std::size_t DataTypeWidth(std::uint16_t dataType);

PropDesc DecodePropDesc(const std::uint8_t* data, std::size_t size);

// Whether `value` is allowed by the descriptor's form (any value of the
// type's width when there is no form).
bool FormAllows(const PropDesc& desc, std::uint64_t value);

}  // namespace kqcam

#endif  // KQCAM_DATASETS_H
