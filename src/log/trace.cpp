#include "log/trace.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "camera_sdk.h"
#include "platform/platform.h"

namespace kq {

namespace {

const char* const kLevelTags[] = {"ERR", "INF", "DEB"};

// The log file outlives BridgeState: it is opened once (at load on POSIX
// hosts, by the first line on Windows) and closed by the library's last
// static destructor.
std::once_flag logOpenOnce;
std::atomic<std::FILE*> logFile{nullptr};
std::atomic<bool> logOpenAttempted{false};
std::atomic<bool> unloading{false};
char logPath[kLineBufferSize] = {0};

void CreateLogFile() {
    char folder[kLineBufferSize] = {0};
    if (!platform::LocalAppDataFolder(folder, sizeof folder) || folder[0] == '\0') return;
    std::size_t length = std::strlen(folder);
    const bool needsSeparator = folder[length - 1] != platform::kPathSeparator;
    const std::size_t needed = length + (needsSeparator ? 1 : 0) + sizeof kLogFileName;
    // A folder too long for the name is skipped: no log rather than an overflow.
    if (needed > sizeof logPath) return;
    std::memcpy(logPath, folder, length);
    if (needsSeparator) logPath[length++] = platform::kPathSeparator;
    std::memcpy(logPath + length, kLogFileName, sizeof kLogFileName);
    logFile.store(platform::OpenSharedForWriting(logPath));
    if (logFile.load() == nullptr) logPath[0] = '\0';
}

std::FILE* LogStream() {
    if (!logOpenAttempted.load(std::memory_order_acquire)) {
        if (unloading.load()) return nullptr;
        std::call_once(logOpenOnce, [] {
            CreateLogFile();
            logOpenAttempted.store(true, std::memory_order_release);
        });
    }
    return logFile.load(std::memory_order_acquire);
}

// Copies at most max characters of text, stopping at its terminator.
std::size_t CopyBounded(char* destination, const char* text, std::size_t max) {
    std::size_t n = 0;
    while (n < max && text[n] != '\0') {
        destination[n] = text[n];
        ++n;
    }
    return n;
}

// Composes a message with a format into a bounded buffer and logs it at INF.
template <typename... Args>
void TraceFormatted(std::size_t bufferSize, const char* format, Args... args) {
    char message[kLineBufferSize];
    std::snprintf(message, bufferSize, format, args...);
    Tracef(message, kLogInfo);
}

const char* SafeText(const char* text) { return text != nullptr ? text : "(null)"; }

}  // namespace

std::size_t FormatLogLine(char* buffer, int level, int month, int day, int hour, int minute,
                          int second, unsigned millisecond, const char* message) {
    const char* tag = (level >= 0 && level <= 2) ? kLevelTags[level] : kLevelTags[kLogInfo];
    int prefix = std::snprintf(buffer, kLinePrefixLength + 1, "%s %02d-%02d %02d:%02d:%02d.%03u | ",
                               tag, month, day, hour, minute, second, millisecond % 1000u);
    std::size_t length = prefix > 0 ? static_cast<std::size_t>(prefix) : 0;
    if (length > kLinePrefixLength) length = kLinePrefixLength;
    length += CopyBounded(buffer + length, message, kLineBufferSize - 2 - length);
    buffer[length++] = '\n';
    buffer[length] = '\0';
    return length;
}

void Tracef(const char* message, int level) {
    if (message == nullptr) return;
    std::FILE* file = LogStream();
    if (file == nullptr) return;
    const platform::LocalTime now = platform::CurrentLocalTime();
    char line[kLineBufferSize];
    const std::size_t length = FormatLogLine(line, level, now.month, now.day, now.hour, now.minute,
                                             now.second, now.millisecond, message);
    // One write per line: the stream's own lock keeps lines from different
    // threads whole.
    std::fwrite(line, 1, length, file);
}

void TraceCall(const char* text) { Tracef(text, kLogInfo); }

void TraceInt(const char* text, int value) {
    TraceFormatted(kLineBufferSize, "%s %i", SafeText(text), value);
}

void TraceIntInt(const char* text, int first, int second) {
    TraceFormatted(kLineBufferSize, "%s %i %i", SafeText(text), first, second);
}

void TraceStr(const char* text, const char* value) {
    TraceFormatted(kLineBufferSize, "%s %s", SafeText(text), SafeText(value));
}

void TraceCode(const char* text, std::uint16_t code) {
    TraceFormatted(256, "%s 0x%.4X", SafeText(text), static_cast<unsigned>(code));
}

void TracePropertyOp(const char* operation, std::int32_t sdkPropertyId) {
    const char* name = nullptr;
    if (ZTGetPropertyName(sdkPropertyId, &name) == ZT_OK && name != nullptr) {
        TraceStr(operation, name);
    } else {
        TraceInt(operation, sdkPropertyId);
    }
}

void TraceSetProperty(std::int32_t sdkPropertyId, std::int32_t value) {
    const char* name = nullptr;
    if (ZTGetPropertyName(sdkPropertyId, &name) == ZT_OK && name != nullptr) {
        TraceFormatted(kLineBufferSize, "%s %s %i", "SetProperty", name, static_cast<int>(value));
    } else {
        TraceIntInt("SetProperty", sdkPropertyId, value);
    }
}

void OpenLogFile() { LogStream(); }

void BeginLogUnload() { unloading.store(true); }

void CloseLogFile() {
    std::FILE* file = logFile.exchange(nullptr);
    if (file != nullptr) std::fclose(file);
}

void FlushLog() {
    if (std::FILE* file = logFile.load()) std::fflush(file);
}

const char* LogFilePath() {
    LogStream();
    return logPath;
}

}  // namespace kq
