// Exit codes and the error that ends a kqcam run with one of them.
#ifndef KQCAM_ERRORS_H
#define KQCAM_ERRORS_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kqcam {

// Distinct process exit codes, so that scripts can tell what went wrong.
enum ExitCode : int {
    kExitOk = 0,
    kExitOperationFailed = 1,  // a call or a file operation failed
    kExitUsage = 2,            // the command line is wrong
    kExitNoCamera = 3,         // no camera is attached
    kExitConnectFailed = 4,    // the camera is there but the session did not open
};

// Ends the run: `what()` is the one-line message, `exitCode` the status.
class Failure : public std::runtime_error {
public:
    Failure(ExitCode code, const std::string& message)
        : std::runtime_error(message), exitCode(code) {}
    ExitCode exitCode;
};

// The name of a KQ_ result code ("RESULT_CONNECT_FAILED"), or "unknown".
const char* ResultName(std::uint32_t result);

// "KQ_ConnectCamera failed: RESULT_CONNECT_FAILED (0x00002003)".
std::string CallFailedMessage(const char* call, std::uint32_t result);

// Throws a Failure with `code` unless result is RESULT_OK.
void CheckResult(const char* call, std::uint32_t result,
                 ExitCode code = kExitOperationFailed);

[[noreturn]] void UsageError(const std::string& message);
[[noreturn]] void OperationFailed(const std::string& message);

}  // namespace kqcam

#endif  // KQCAM_ERRORS_H
