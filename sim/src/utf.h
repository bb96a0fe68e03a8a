// Conversions between the UTF-8 of host names and configuration and the
// UTF-16 the Camera SDK speaks. Malformed input never fails: bytes that do
// not form a character and unpaired surrogates become U+FFFD.
#ifndef ZTSIM_UTF_H
#define ZTSIM_UTF_H

#include <string>

namespace ztsim {

std::u16string Utf8ToUtf16(const std::string& text);
std::string Utf16ToUtf8(const std::u16string& text);

}  // namespace ztsim

#endif  // ZTSIM_UTF_H
