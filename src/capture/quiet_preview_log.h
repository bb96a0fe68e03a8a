// The library-wide flag that keeps preview frames out of the log: while it
// is 0 every preview-frame callback writes a log line. A release clears it,
// the end of a released-image transfer sets it again.
#ifndef KQSDK_CAPTURE_QUIET_PREVIEW_LOG_H
#define KQSDK_CAPTURE_QUIET_PREVIEW_LOG_H

#include <atomic>
#include <cstdint>

namespace kq {

extern std::atomic<std::uint32_t> quietPreviewLog;

}  // namespace kq

#endif  // KQSDK_CAPTURE_QUIET_PREVIEW_LOG_H
