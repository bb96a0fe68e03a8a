// The host services the bridge needs, behind one interface with one
// implementation per operating system (platform_win32.cpp, platform_posix.cpp).
#ifndef KQSDK_PLATFORM_PLATFORM_H
#define KQSDK_PLATFORM_PLATFORM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kq::platform {

// Path separator of the host's file names.
extern const char kPathSeparator;

// Writes the user's local application-data folder (created if missing) into
// buffer, NUL-terminated. Returns false when the folder is unknown or does not
// fit; buffer is then an empty string.
bool LocalAppDataFolder(char* buffer, std::size_t size);

// Opens a narrow-named file for writing in text mode, emptied if present,
// letting other programs read and write it while it is open.
std::FILE* OpenSharedForWriting(const char* path);

// Local wall-clock time with milliseconds, taken in one reading.
struct LocalTime {
    int month;  // 1..12
    int day;    // 1..31
    int hour;
    int minute;
    int second;
    unsigned millisecond;  // 0..999
};
LocalTime CurrentLocalTime();

// Shows a modal error report with the caption "ZT-SDK" and an OK button; on
// hosts without a desktop it is one line on standard error.
void ShowMessageBox(const char* text);

// Suspends the calling thread.
void Sleep(std::uint32_t milliseconds);

// File operations on the UTF-16 paths the Camera SDK reports. Files are
// opened for binary reading without denying other readers or writers.
std::FILE* OpenUtf16ForReading(const std::uint16_t* path);
bool DeleteUtf16File(const std::uint16_t* path);
// Length of an open file in bytes, or -1 when it cannot be determined.
std::int64_t FileLength(std::FILE* file);

// One word per thread for the library's own bookkeeping, 0 in every thread
// until that thread sets it. AllocateThreadWord runs once when the library is
// loaded and FreeThreadWord once when it is unloaded (on Windows the word is
// a TLS index, which must go back to the process so that repeated loads do
// not use them up).
void AllocateThreadWord();
void FreeThreadWord();
std::uintptr_t ThreadWord();
void SetThreadWord(std::uintptr_t value);

// Test seam: unit tests replace Sleep and the message box so that no test
// waits for real or blocks on a dialog. Null members keep the real service;
// a null argument restores both. Not exported from the library.
struct Hooks {
    void (*sleep)(std::uint32_t milliseconds);
    void (*messageBox)(const char* text);
};
void SetHooksForTesting(const Hooks* hooks);

}  // namespace kq::platform

#endif  // KQSDK_PLATFORM_PLATFORM_H
