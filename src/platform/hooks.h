// Shared by the per-OS platform files: the replaceable services of the test seam.
#ifndef KQSDK_PLATFORM_HOOKS_H
#define KQSDK_PLATFORM_HOOKS_H

#include <atomic>
#include <cstdint>

namespace kq::platform::detail {

using SleepFn = void (*)(std::uint32_t);
using MessageBoxFn = void (*)(const char*);

extern std::atomic<SleepFn> sleepHook;
extern std::atomic<MessageBoxFn> messageBoxHook;

}  // namespace kq::platform::detail

#endif  // KQSDK_PLATFORM_HOOKS_H
