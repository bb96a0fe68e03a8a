// The file a download-completed callback names: its size and whether it is
// a whole JPEG file; removed afterwards, as the bridge removes it after a
// transfer.
#ifndef ZTPROBE_FILE_CHECK_H
#define ZTPROBE_FILE_CHECK_H

#include <cstdint>
#include <vector>

namespace ztprobe {

// Longest path taken from a Camera SDK, in UTF-16 code units.
constexpr std::size_t kMaxPathUnits = 32768;

struct FileFacts {
    long long bytes = -1;  // -1: cannot be opened
    bool jpeg = false;     // starts with FF D8 and ends with FF D9
};

// `path` holds the units without a terminator.
FileFacts InspectAndRemove(const std::vector<std::uint16_t>& path);

}  // namespace ztprobe

#endif  // ZTPROBE_FILE_CHECK_H
