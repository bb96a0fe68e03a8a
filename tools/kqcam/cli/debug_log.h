// --debug: where the library writes its log, and the lines of this run.
#ifndef KQCAM_DEBUG_LOG_H
#define KQCAM_DEBUG_LOG_H

#include <cstdio>

namespace kqcam {

void PrintLogLocation(std::FILE* to);
// The library empties its log when it first writes to it in a process, so
// after the run everything in it was written by the run.
void PrintLogLines(std::FILE* to);

}  // namespace kqcam

#endif  // KQCAM_DEBUG_LOG_H
