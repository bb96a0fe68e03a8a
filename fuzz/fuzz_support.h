// Process set-up shared by the fuzzers: a scratch folder for the simulator's
// files, a log that goes nowhere, and the deliberate pauses and the message
// box replaced by nothing.
#ifndef KQSDK_FUZZ_FUZZ_SUPPORT_H
#define KQSDK_FUZZ_FUZZ_SUPPORT_H

#include <string>

namespace kq::fuzz {

// Once per process; later calls do nothing.
void PrepareProcess();

// The scratch folder (no trailing separator).
const std::string& ScratchFolder();

// Ends the process through the sanitizer's report when a check fails, so
// that libFuzzer keeps the input.
#define KQ_FUZZ_REQUIRE(condition) \
    do {                           \
        if (!(condition)) __builtin_trap(); \
    } while (0)

}  // namespace kq::fuzz

#endif  // KQSDK_FUZZ_FUZZ_SUPPORT_H
