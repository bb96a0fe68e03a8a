// ReportSdkError: a failed Camera SDK call, logged and shown to the user.
#include <atomic>
#include <cstdio>

#include "log/trace.h"
#include "platform/platform.h"

namespace kq {

namespace {
std::atomic<std::int32_t> errorReportMode{1};
}  // namespace

void SetErrorReportMode(std::int32_t mode) { errorReportMode.store(mode); }

std::int32_t ErrorReportMode() { return errorReportMode.load(); }

void ReportSdkError(std::uint32_t errorCode, const char* message) {
    const std::int32_t mode = errorReportMode.load();
    if (message == nullptr || mode == 0) return;
    char text[kLineBufferSize];
    if (errorCode != 0) {
        std::snprintf(text, sizeof text, "%s: ErrorCode = 0x%08X", message,
                      static_cast<unsigned>(errorCode));
    } else {
        std::snprintf(text, sizeof text, "%s", message);
    }
    Tracef(text, kLogError);
    if (mode == 1) platform::ShowMessageBox(text);
}

}  // namespace kq
