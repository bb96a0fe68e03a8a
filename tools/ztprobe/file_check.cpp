#include "file_check.h"

#include <cstdio>
#include <string>

#include "utf16_text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace ztprobe {

namespace {

#if defined(_WIN32)
std::FILE* Open(const std::vector<std::uint16_t>& path) {
    std::wstring wide(path.begin(), path.end());
    return _wfopen(wide.c_str(), L"rb");
}
void Remove(const std::vector<std::uint16_t>& path) {
    std::wstring wide(path.begin(), path.end());
    DeleteFileW(wide.c_str());
}
#else
std::FILE* Open(const std::vector<std::uint16_t>& path) {
    return std::fopen(ztkit::Utf16ToUtf8(path.data(), path.size()).c_str(), "rb");
}
void Remove(const std::vector<std::uint16_t>& path) {
    std::remove(ztkit::Utf16ToUtf8(path.data(), path.size()).c_str());
}
#endif

}  // namespace

FileFacts InspectAndRemove(const std::vector<std::uint16_t>& path) {
    FileFacts facts;
    if (path.empty()) return facts;
    std::FILE* file = Open(path);
    if (file == nullptr) return facts;
    unsigned char head[2] = {0, 0};
    unsigned char tail[2] = {0, 0};
    const bool headRead = std::fread(head, 1, 2, file) == 2;
    long long bytes = -1;
#if defined(_WIN32)
    if (_fseeki64(file, 0, SEEK_END) == 0) bytes = _ftelli64(file);
    const bool tailRead = bytes >= 2 && _fseeki64(file, bytes - 2, SEEK_SET) == 0 && std::fread(tail, 1, 2, file) == 2;
#else
    if (fseeko(file, 0, SEEK_END) == 0) bytes = static_cast<long long>(ftello(file));
    const bool tailRead = bytes >= 2 && fseeko(file, static_cast<off_t>(bytes - 2), SEEK_SET) == 0 &&
                          std::fread(tail, 1, 2, file) == 2;
#endif
    std::fclose(file);
    facts.bytes = bytes;
    facts.jpeg = headRead && tailRead && head[0] == 0xFF && head[1] == 0xD8 && tail[0] == 0xFF && tail[1] == 0xD9;
    Remove(path);
    return facts;
}

}  // namespace ztprobe
