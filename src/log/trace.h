// The diagnostic log: one text line per event in tovexbridge.log, in the
// user's local application-data folder, emptied once per load.
#ifndef KQSDK_LOG_TRACE_H
#define KQSDK_LOG_TRACE_H

#include <cstddef>
#include <cstdint>

namespace kq {

enum LogLevel : int { kLogError = 0, kLogInfo = 1, kLogDebug = 2 };

// Size of the buffer a line is composed in: at most 259 characters a line.
constexpr std::size_t kLineBufferSize = 260;
// Characters before the message: "INF 12-07 22:50:54.123 | ".
constexpr std::size_t kLinePrefixLength = 25;
// Longest message that fits a line with its line end; longer ones are cut.
constexpr std::size_t kMaxMessageLength = kLineBufferSize - 1 - kLinePrefixLength - 1;
// Name of the log file.
constexpr const char kLogFileName[] = "tovexbridge.log";

// Composes one line "TAG MM-DD HH:MM:SS.mmm | message\n" into buffer (at
// least kLineBufferSize bytes) and returns its length. Pure: used by Tracef
// and by tests.
std::size_t FormatLogLine(char* buffer, int level, int month, int day, int hour, int minute,
                          int second, unsigned millisecond, const char* message);

// Writes one line at the given level. A null message writes nothing.
void Tracef(const char* message, int level);

// Formatting routines; each writes one line at level INF.
void TraceCall(const char* text);                           // "%s"
void TraceInt(const char* text, int value);                 // "%s %i"
void TraceIntInt(const char* text, int first, int second);  // "%s %i %i"
void TraceStr(const char* text, const char* value);         // "%s %s"
void TraceCode(const char* text, std::uint16_t code);       // "%s 0x%.4X"
// The operation with the Camera SDK's name of the property, or its id when
// the Camera SDK does not name it. A Camera SDK that reports success but
// hands over a null name counts as one that does not name the property: the
// line shows the id rather than a null text.
void TracePropertyOp(const char* operation, std::int32_t sdkPropertyId);
// "SetProperty <name> <value>", or "SetProperty <id> <value>" (the id also
// for a null name, as above).
void TraceSetProperty(std::int32_t sdkPropertyId, std::int32_t value);

// Reports a failed Camera SDK call: an ERR line and, in report mode 1, a
// message box. errorCode 0 means the call returned a handle and has no code.
void ReportSdkError(std::uint32_t errorCode, const char* message);

// The error report mode, which decides what ReportSdkError does: 0 nothing,
// 1 the ERR line and the message box, any other value the ERR line only. It
// is 1 from the load on; BridgeState's reset sets it back to 1, and nothing
// else in the bridge changes it.
void SetErrorReportMode(std::int32_t mode);
std::int32_t ErrorReportMode();

// Opens the log file, creating or emptying it, unless that has been done
// already. The POSIX shared library calls this as it is loaded, so that the
// file holds the current run only. On Windows the file is opened by the
// first line written instead: the loader lock forbids the shell call that
// finds its folder while the library is loaded. A Windows run that writes
// no line therefore leaves the previous run's file as it was.
void OpenLogFile();
// Lines written during unload before the file has been opened are dropped
// rather than opening it under the loader lock.
void BeginLogUnload();
// Flushes and closes the log file; the last step of unload.
void CloseLogFile();

// Test support: full path of the log file (opening it if that has not
// happened yet), empty when there is none; and a flush of buffered lines.
const char* LogFilePath();
void FlushLog();

}  // namespace kq

#endif  // KQSDK_LOG_TRACE_H
