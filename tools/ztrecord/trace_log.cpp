#include "trace_log.h"

#include "text.h"

#include <cstdio>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace ztrecord {

TraceLog::~TraceLog() { Finish(std::string()); }

bool TraceLog::Open(const std::string& path, std::uint64_t maxBytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (open_) return false;
#if defined(_WIN32)
    HANDLE file = CreateFileW(ztkit::Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    file_ = file;
#else
    const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (file < 0) return false;
    file_ = file;
#endif
    open_ = true;
    full_ = false;
    bound_ = maxBytes < kMinBound ? kMinBound : maxBytes;
    written_ = 0;
    return true;
}

bool TraceLog::Append(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
#if defined(_WIN32)
        DWORD wrote = 0;
        if (!WriteFile(static_cast<HANDLE>(file_), text.data() + done, static_cast<DWORD>(text.size() - done), &wrote,
                       nullptr) ||
            wrote == 0) {
            return false;
        }
#else
        const ssize_t wrote = ::write(file_, text.data() + done, text.size() - done);
        if (wrote <= 0) return false;
#endif
        done += static_cast<std::size_t>(wrote);
        written_ += static_cast<std::uint64_t>(wrote);
    }
    return true;
}

void TraceLog::Write(const std::string& line) {
    std::string text = line.size() > kMaxLine ? line.substr(0, kMaxLine - 3) + "..." : line;
    text += '\n';
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || full_) {
        ++dropped_;
        return;
    }
    if (written_ + text.size() > bound_ - kReserve) {
        full_ = true;
        ++dropped_;
        char note[128];
        std::snprintf(note, sizeof note, "trace full at %llu bytes: later lines are counted, not written\n",
                      static_cast<unsigned long long>(written_));
        const std::string noteText = note;
        if (written_ + noteText.size() <= bound_ - kReserve / 2) Append(noteText);
        return;
    }
    Append(text);
}

void TraceLog::Finish(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_) return;
    if (!line.empty()) {
        std::string text = line.size() > kReserve / 2 - 1 ? line.substr(0, kReserve / 2 - 1) : line;
        text += '\n';
        if (written_ + text.size() <= bound_) Append(text);
    }
#if defined(_WIN32)
    CloseHandle(static_cast<HANDLE>(file_));
    file_ = nullptr;
#else
    ::close(file_);
    file_ = -1;
#endif
    open_ = false;
    full_ = true;
}

std::uint64_t TraceLog::Written() {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

std::uint64_t TraceLog::Dropped() {
    std::lock_guard<std::mutex> lock(mutex_);
    return dropped_;
}

std::string TraceLine(std::uint64_t microseconds, std::uint32_t thread, const std::string& text) {
    char head[48];
    std::snprintf(head, sizeof head, "%llu t=%u ", static_cast<unsigned long long>(microseconds), thread);
    return head + text;
}

}  // namespace ztrecord
