// The few things kqcam needs from the operating system.
#ifndef KQCAM_PLATFORM_H
#define KQCAM_PLATFORM_H

#include <atomic>
#include <ctime>
#include <string>
#include <vector>

namespace kqcam {

// Set by Ctrl-C (SIGINT, SIGTERM); long waits end at the next check.
extern std::atomic<bool> interrupted;
// How many times Ctrl-C was pressed; SIGTERM counts as two (stop now).
extern std::atomic<int> interruptCount;
// Set by SIGUSR1 (POSIX): take the next time-lapse picture now.
extern std::atomic<bool> captureNow;
// Whether the system has SIGUSR1 (POSIX does, Windows does not).
extern const bool kHasUserSignal;
// Also ignores SIGPIPE, so that a closed pipe makes writes fail instead of
// ending kqcam in the middle of a file. Call it before any thread starts:
// on POSIX the signals are blocked in every thread and taken by one thread
// of their own (sigwait), so no handler interrupts the program's threads or
// the library's.
void InstallInterruptHandler();

// Makes standard output binary (for a movie written to it).
void SetStdoutBinary();

// Where the library writes its diagnostic log: the user's local
// application-data folder on Windows, $XDG_STATE_HOME or ~/.local/state
// elsewhere.
std::string BridgeLogPath();

// Runs `script` with `argument` as its one argument and ACTION=download,
// ARGUMENT=`argument` in its environment, and waits for it. Returns its exit
// status, or -1 with `error` set when it could not be started.
int RunHookScript(const std::string& script, const std::string& argument, std::string* error);
// The same with ACTION=`action` (init, start, download, stop); an empty
// `argument` is not passed and ARGUMENT is not set.
int RunHook(const std::string& script, const char* action, const std::string& argument,
            std::string* error);
// Whether `script` can be started, before anything else runs: false with
// `error` set (the system's message) when it is missing or not executable.
bool CheckHookScript(const std::string& script, std::string* error);

// Runs this program again with `args` (the program name not included),
// sharing standard input, output and error, and waits for it. Returns its
// exit status, or -1 with `error` set when it could not be started.
int RunSelf(const std::vector<std::string>& args, std::string* error);

// The local time now, for file names.
std::tm LocalNow();

}  // namespace kqcam

#endif  // KQCAM_PLATFORM_H
