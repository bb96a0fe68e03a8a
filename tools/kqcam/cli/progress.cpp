#include "progress.h"

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kqcam {

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

std::string RateText(std::uint64_t bytes, double seconds) {
    char text[32];
    const double rate = seconds > 0 ? static_cast<double>(bytes) / seconds : 0.0;
    if (rate >= 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1f MiB/s", rate / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.1f KiB/s", rate / 1024.0);
    }
    return text;
}

Progress::Progress(std::FILE* to, bool terminal, std::string name)
    : to_(to), terminal_(terminal), name_(std::move(name)) {}

double Progress::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void Progress::Start() {
    start_ = std::chrono::steady_clock::now();
    lastPercent_ = 0;
    nextLine_ = 25;
    if (!terminal_) std::fprintf(to_, "Downloading %s\n", name_.c_str());
}

void Progress::Draw(std::uint32_t percent, std::uint64_t bytes) {
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(percent * kWidth / 100);
    std::fprintf(to_, "\r%s [%.*s%*s] %3u%% %10llu bytes %12s", name_.c_str(), filled,
                 "##############################", kWidth - filled, "", percent,
                 static_cast<unsigned long long>(bytes), RateText(bytes, Elapsed()).c_str());
    std::fflush(to_);
}

void Progress::Update(std::uint32_t percent, std::uint64_t bytes) {
    if (percent > 100) percent = 100;
    lastPercent_ = percent;
    if (terminal_) {
        Draw(percent, bytes);
        return;
    }
    if (percent < nextLine_) return;
    while (nextLine_ <= percent) nextLine_ += 25;
    std::fprintf(to_, "  %3u%% %llu bytes %s\n", percent, static_cast<unsigned long long>(bytes),
                 RateText(bytes, Elapsed()).c_str());
    std::fflush(to_);
}

void Progress::Finish(std::uint64_t bytes) {
    if (terminal_) {
        Draw(lastPercent_, bytes);
        std::fprintf(to_, "\n");
        std::fflush(to_);
    }
}

}  // namespace kqcam
