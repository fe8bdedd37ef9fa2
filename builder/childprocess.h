// Running a helper program (a signing tool, jlink, jdeps) as a child of the build, bounded in
// time, and finding such programs on the PATH.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

struct ChildRun {
    bool started = false;
    bool timedOut = false;  // ended after its time ran out
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

// Runs program (a full path; on Linux also a name that is looked up on the PATH) with arguments
// and collects its output. It runs for at most timeoutSeconds; then it is ended with everything it
// started, as it is when the build is interrupted (on Windows in a job object, on Linux in a session
// of its own, with no terminal to ask questions on). On Linux keepDescriptor, when not -1, is left
// open in the child (the other descriptors of this process are closed there).
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds,
                  int keepDescriptor = -1);

// The program's full path in an absolute PATH entry (";"-separated on Windows, ":" elsewhere), or
// an empty string. Relative entries, which would name the current directory, are never searched.
std::string findOnPath(const std::string& name);

// The first line of a tool's output that says something (no line end, no trailing blanks), passing
// over lines for which skip is true; "no reason given" when there is none.
std::string firstOutputLine(const std::string& output, bool (*skip)(const std::string& line) = nullptr);

}  // namespace jaunt
