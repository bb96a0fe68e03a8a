#include "api/export_guard.h"

#include <cstdio>

#include "log/trace.h"

namespace kq {

void LogExportException(const char* exportName) noexcept {
    char line[kMaxMessageLength + 1];
    std::snprintf(line, sizeof line, "%s: ended by an exception", exportName);
    Tracef(line, kLogError);
}

}  // namespace kq
