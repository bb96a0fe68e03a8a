// The download progress of one file, driven by the library's transfer
// records: a bar redrawn in place on a terminal, plain lines otherwise.
#ifndef KQCAM_PROGRESS_H
#define KQCAM_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kqcam {

bool IsTerminal(std::FILE* stream);

// "1.5 MiB/s" for a number of bytes over a number of seconds.
std::string RateText(std::uint64_t bytes, double seconds);

class Progress {
public:
    Progress(std::FILE* to, bool terminal, std::string name);
    void Start();
    void Update(std::uint32_t percent, std::uint64_t bytes);
    // Ends the bar (a terminal gets its final state and a new line).
    void Finish(std::uint64_t bytes);

private:
    double Elapsed() const;
    void Draw(std::uint32_t percent, std::uint64_t bytes);
    std::FILE* to_;
    bool terminal_;
    std::string name_;
    std::chrono::steady_clock::time_point start_;
    std::uint32_t lastPercent_ = 0;
    std::uint32_t nextLine_ = 0;  // next quarter that earns a plain line
};

}  // namespace kqcam

#endif  // KQCAM_PROGRESS_H
