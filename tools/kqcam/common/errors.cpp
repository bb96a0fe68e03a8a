#include "errors.h"

#include <cstdio>

#include "kqsdk.h"

namespace kqcam {

const char* ResultName(std::uint32_t result) {
    switch (result) {
    case RESULT_OK: return "RESULT_OK";
    case RESULT_DEVICE_ERROR: return "RESULT_DEVICE_ERROR";
    case RESULT_NULL_POINTER: return "RESULT_NULL_POINTER";
    case RESULT_WRONG_CAMERA: return "RESULT_WRONG_CAMERA";
    case RESULT_NOT_CONNECTED: return "RESULT_NOT_CONNECTED";
    case RESULT_BUFFER_TOO_SMALL: return "RESULT_BUFFER_TOO_SMALL";
    case RESULT_CALLBACK_IN_USE: return "RESULT_CALLBACK_IN_USE";
    case RESULT_CONNECT_FAILED: return "RESULT_CONNECT_FAILED";
    default: return "unknown result";
    }
}

std::string CallFailedMessage(const char* call, std::uint32_t result) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(result));
    return std::string(call) + " failed: " + ResultName(result) + " (" + code + ")";
}

void CheckResult(const char* call, std::uint32_t result, ExitCode code) {
    if (result != RESULT_OK) throw Failure(code, CallFailedMessage(call, result));
}

void UsageError(const std::string& message) { throw Failure(kExitUsage, message); }

void OperationFailed(const std::string& message) { throw Failure(kExitOperationFailed, message); }

}  // namespace kqcam
