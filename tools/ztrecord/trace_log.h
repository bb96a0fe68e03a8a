// The recording Camera SDK's trace file: one line at a time, appended with
// a single write so that lines from different threads never mix, never more
// than its size bound. Safe on any thread.
#ifndef ZTRECORD_TRACE_LOG_H
#define ZTRECORD_TRACE_LOG_H

#include <cstdint>
#include <mutex>
#include <string>

namespace ztrecord {

class TraceLog {
public:
    // Room kept below the bound for the closing line.
    static constexpr std::uint64_t kReserve = 256;
    static constexpr std::uint64_t kMinBound = 4096;
    // Longest line written; longer ones are cut and end in "...".
    static constexpr std::size_t kMaxLine = 8192;

    TraceLog() = default;
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;
    ~TraceLog();

    // Creates or truncates `path` (UTF-8). The file never grows past
    // `maxBytes` (at least kMinBound). False when it cannot be opened: then
    // nothing is written.
    bool Open(const std::string& path, std::uint64_t maxBytes);

    // Appends `line` and a newline. Once the bound is near, one line says
    // that the trace is full, and later lines are only counted.
    void Write(const std::string& line);

    // Appends the closing line (within the reserve) and closes the file.
    // Later writes are only counted.
    void Finish(const std::string& line);

    std::uint64_t Written();
    std::uint64_t Dropped();

private:
    bool Append(const std::string& text);  // with mutex_ held

    std::mutex mutex_;
#if defined(_WIN32)
    void* file_ = nullptr;
#else
    int file_ = -1;
#endif
    bool open_ = false;
    bool full_ = false;
    std::uint64_t bound_ = 0;
    std::uint64_t written_ = 0;
    std::uint64_t dropped_ = 0;
};

// "12345 t=678 text": microseconds since load, thread, text.
std::string TraceLine(std::uint64_t microseconds, std::uint32_t thread, const std::string& text);

}  // namespace ztrecord

#endif  // ZTRECORD_TRACE_LOG_H
