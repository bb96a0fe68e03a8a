#include "checks.h"

#include <cstdio>
#include <cstring>
#include <set>

#include "utf16_text.h"

namespace ztprobe {

namespace {

constexpr std::int32_t kHeaderSize = 54;  // file header (14) and info header (40)
constexpr std::int32_t kMaxSide = 16384;

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::string Format(const char* format, long long a, long long b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

std::string CheckFrame(const std::uint8_t* frame, std::int32_t size, FrameFacts* facts) {
    *facts = FrameFacts();
    facts->size = size;
    if (frame == nullptr) return "no frame (null pointer)";
    if (size < kHeaderSize) return Format("%lld bytes, shorter than a bitmap header (%lld)", size, kHeaderSize);
    facts->fileSize = ReadU32(frame + 2);
    facts->pixelOffset = ReadU32(frame + 10);
    facts->width = static_cast<std::int32_t>(ReadU32(frame + 18));
    facts->height = static_cast<std::int32_t>(ReadU32(frame + 22));
    facts->bitCount = ReadU16(frame + 28);
    facts->imageSize = ReadU32(frame + 34);
    const long long count = size;
    if (facts->fileSize != static_cast<std::uint32_t>(size)) {
        return Format("bfSize %lld is not the byte count %lld", facts->fileSize, count);
    }
    if (facts->pixelOffset < static_cast<std::uint32_t>(kHeaderSize) ||
        facts->pixelOffset > static_cast<std::uint32_t>(size)) {
        return Format("bfOffBits %lld lies outside 54..%lld", facts->pixelOffset, count);
    }
    const long long pixelBytes = count - facts->pixelOffset;
    if (facts->imageSize != 0 && facts->imageSize != static_cast<std::uint32_t>(pixelBytes)) {
        return Format("biSizeImage %lld is not the %lld bytes after bfOffBits", facts->imageSize, pixelBytes);
    }
    if (facts->bitCount != 24) return Format("%lld bits a pixel, not 24", facts->bitCount);
    if (facts->width <= 0 || facts->width > kMaxSide || facts->height == 0 || facts->height > kMaxSide ||
        facts->height < -kMaxSide) {
        return Format("size %lld x %lld out of range", facts->width, facts->height);
    }
    const long long rows = facts->height < 0 ? -static_cast<long long>(facts->height) : facts->height;
    const long long packed = 3LL * facts->width;
    const long long padded = (packed + 3) & ~3LL;
    if (pixelBytes == rows * padded) {
        facts->padded = true;
    } else if (pixelBytes != rows * packed) {
        return Format("%lld pixel bytes are neither packed nor padded rows (%lld a row packed)", pixelBytes,
                      packed);
    }
    return std::string();
}

std::string CheckCameraList(const ZTCameraRecord* list, std::uint32_t count,
                            std::vector<CameraFacts>* cameras) {
    cameras->clear();
    if (count > kMaxCameras) return Format("%lld cameras, more than %lld", count, kMaxCameras);
    if (count > 0 && list == nullptr) return "a camera count but no list";
    std::set<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < count; ++i) {
        const ZTCameraRecord& record = list[i];
        CameraFacts facts;
        facts.id = record.cameraId;
        const std::size_t units = ztkit::BoundedUtf16Length(record.name, ZT_CAMERA_NAME_UNITS);
        facts.terminated = units < ZT_CAMERA_NAME_UNITS;
        facts.name = ztkit::Utf16ToUtf8(record.name, units);
        if (!ids.insert(facts.id).second) return Format("camera %lld repeats identifier 0x%llx", i, facts.id);
        cameras->push_back(facts);
    }
    return std::string();
}

std::string CheckDescriptor(const ZTPropertyDesc* desc, bool* valueListed, std::int32_t value) {
    *valueListed = false;
    if (desc == nullptr) return "no descriptor (null pointer)";
    if (desc->count < 0 || desc->count > kMaxDescriptorValues) {
        return Format("%lld values, outside 0..%lld", desc->count, kMaxDescriptorValues);
    }
    if (desc->count > 0 && desc->values == nullptr) return Format("%lld values but no array", desc->count);
    for (std::int32_t i = 0; i < desc->count; ++i) {
        if (desc->values[i] == value) *valueListed = true;
    }
    return std::string();
}

std::string CheckPropertyList(const std::int32_t* ids, std::int32_t count) {
    if (count < 0 || count > kMaxProperties) return Format("%lld properties, outside 0..%lld", count, kMaxProperties);
    if (count > 0 && ids == nullptr) return "a property count but no list";
    std::set<std::int32_t> seen;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!seen.insert(ids[i]).second) return Format("property %lld listed twice (at %lld)", ids[i], i);
    }
    return std::string();
}

std::string CheckPropertyName(const char* name, std::string* copy) {
    copy->clear();
    if (name == nullptr) return "no name (null pointer)";
    std::size_t length = 0;
    while (length < 256 && name[length] != '\0') ++length;
    if (length == 256) return "name longer than 255 bytes or not terminated";
    copy->assign(name, length);
    for (const char c : *copy) {
        if (static_cast<unsigned char>(c) < 0x20) return "name holds control characters";
    }
    return std::string();
}

}  // namespace ztprobe
