// Folders, files and child processes for the field kit's tests.
#ifndef TOOL_TEST_SUPPORT_H
#define TOOL_TEST_SUPPORT_H

#include <map>
#include <string>

namespace tooltest {

// The folder of the test program (the build's bin/), with a trailing
// separator; the tools, the simulator, kqcam and KQSDK are there, the
// recorder in ../recorder/.
std::string ProgramFolder();
std::string ProbeProgram();
std::string SimulatorLibrary();
std::string KqcamProgram();
std::string KqsdkLibrary();
std::string RecorderFolder();
std::string RecorderLibrary();

// A fresh, empty folder under the build tree, with a trailing separator.
std::string WorkFolder(const std::string& name);
std::string ReadFile(const std::string& path);
bool CopyBytes(const std::string& from, const std::string& to);

struct Run {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs `command` (program and quoted arguments) in `folder` with `env`
// added to the environment, its output collected.
Run RunCommand(const std::string& program, const std::string& arguments, const std::string& folder,
               const std::map<std::string, std::string>& env);

}  // namespace tooltest

#endif  // TOOL_TEST_SUPPORT_H
