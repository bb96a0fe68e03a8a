// Text helpers shared by the field-kit tools: quoting for their reports and
// traces, and UTF-8 paths as Windows' wide strings.
#ifndef ZT_COMMON_TEXT_H
#define ZT_COMMON_TEXT_H

#include <cstdio>
#include <string>

#if defined(_WIN32)
#include <windows.h>

#include <vector>
#endif

namespace ztkit {

// `text` in double quotes, with '"' and '\' escaped by a backslash and each
// other control character written with `controlFormat`, a printf format of
// the byte ("\\u%04x" for JSON, "\\x%02x" for a trace line).
inline std::string Quoted(const std::string& text, const char* controlFormat) {
    std::string out = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, controlFormat, u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

#if defined(_WIN32)
// A UTF-8 string as UTF-16 for the wide Windows calls; empty when it is not
// valid UTF-8.
inline std::wstring Wide(const std::string& text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::vector<wchar_t> buffer(static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, buffer.data(), units);
    return std::wstring(buffer.data());
}
#endif

}  // namespace ztkit

#endif  // ZT_COMMON_TEXT_H
