// The library's static objects, defined together so that their order is
// fixed: the log closer first (destroyed last, after every line of the
// unload), then BridgeState, then the ValueMap. At unload they are destroyed
// in reverse: the ValueMap, then BridgeState, which releases every Camera SDK
// handle, then the log file is flushed and closed.
#include "bridge/sdk_wrapper.h"
#include "log/trace.h"
#include "props/value_map.h"

namespace kq {

namespace {
struct LogFileCloser {
    ~LogFileCloser() { CloseLogFile(); }
} logFileCloser;
}  // namespace

CSDKWrapper bridgeState;
const ValueMap valueMap;

}  // namespace kq
