// UTF-16 text from a Camera SDK (camera names, file paths) as UTF-8, read
// within a bound: never past `maxUnits` code units, stopping at a NUL.
// Unpaired surrogates become U+FFFD.
#ifndef ZT_COMMON_UTF16_TEXT_H
#define ZT_COMMON_UTF16_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace ztkit {

// Number of units before the first NUL within maxUnits; maxUnits when none.
inline std::size_t BoundedUtf16Length(const std::uint16_t* text, std::size_t maxUnits) {
    std::size_t length = 0;
    while (length < maxUnits && text[length] != 0) ++length;
    return length;
}

inline void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The units of `text` (exactly `units` of them, NULs included) as UTF-8.
inline std::string Utf16ToUtf8(const std::uint16_t* text, std::size_t units) {
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const std::uint32_t unit = text[i];
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < units && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit < 0xE000) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

}  // namespace ztkit

#endif  // ZT_COMMON_UTF16_TEXT_H
