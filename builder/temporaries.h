// Temporary files beside an output file, and what an interrupted build leaves of them.
//
// They are created exclusively under a name with a random part, so that a file or link planted in a
// shared folder under a name a build will use is never opened or followed. A build that fails
// removes its own; one interrupted by Ctrl+C (or ended by SIGTERM/SIGHUP) removes them and ends
// the tool it started; what a killed build left is removed by the next build of the same output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

class TemporaryFile {
public:
    enum Kind { File, Directory };
    // Creates a new, empty file "<target>.<tag>-<process id>-<random>.tmp", or with Directory a
    // directory of that name that only this user can open (for a tool that insists on creating
    // its output itself). Throws LauncherError when none can be created.
    TemporaryFile(const std::string& target, const std::string& tag, Kind kind = File);
    ~TemporaryFile();  // removes the file unless it was kept
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    const std::string& path() const { return path_; }
    // Writes bytes into the file created for it (never through another name). Throws LauncherError.
    void write(const std::vector<uint8_t>& bytes);
    // The file was moved away or is wanted: it is no longer removed.
    void keep();
    // The path of a file of that name in the directory; it goes with the directory.
    std::string member(const std::string& name);

private:
    std::string path_;
    Kind kind_;
    std::vector<int> slots_;  // their places among the paths an interruption removes
    intptr_t handle_ = -1;
};

// Removes the temporary files that builds of target which no longer run left beside it.
void removeStaleTemporaries(const std::string& target);

// The child process that an interruption ends (a process id on Linux, a job object on Windows);
// 0 when there is none.
void setInterruptibleChild(intptr_t child);

// Random lower-case hexadecimal digits from the system's random source.
std::string randomHex(size_t digits);

}  // namespace jaunt
