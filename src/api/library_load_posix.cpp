// Loading the POSIX shared library: the log file is opened, and so emptied,
// while the library is loaded, so that it holds the current run only even
// when the run writes no line. POSIX has no loader lock to forbid that.
//
// Only the shared library carries this: the programs that link the bridge
// statically (unit tests, benchmarks, fuzzers) choose the log's folder at
// run time, after static construction, and open it with their first line.
#include "log/trace.h"

namespace {

struct OpenLogAtLoad {
    OpenLogAtLoad() { kq::OpenLogFile(); }
} openLogAtLoad;

}  // namespace
