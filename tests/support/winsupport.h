// Helpers for the Windows test programs: paths, temporary directories, configured launchers and
// child processes with a chosen environment.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tablewriter.h"

namespace jaunt_test {

// A Linux path (as CMake passes it) in the form Wine's programs open: Z: and backslashes.
// A Windows path is returned unchanged.
std::string windowsPath(const std::string& path);

// The built launcher program (JAUNT_TEST_STUB).
std::string stubPath();

std::vector<uint8_t> readBytes(const std::string& path);
std::string readText(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void writeText(const std::string& path, const std::string& text);
bool fileExists(const std::string& path);

// A new directory under the temporary directory, removed with its contents on destruction.
class TempDirectory {
public:
    explicit TempDirectory(const std::string& tag);
    ~TempDirectory();
    TempDirectory(const TempDirectory&) = delete;
    TempDirectory& operator=(const TempDirectory&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

void removeTree(const std::string& path);

// Writes stub + table (+ payload) to path and returns path.
std::string writeLauncher(const std::string& path, const std::vector<jaunt::NarrowRecord>& narrow,
                          const std::vector<jaunt::WideRecord>& wide = {},
                          const std::vector<uint8_t>& payload = {});

struct RunResult {
    DWORD exitCode = 0;
    bool timedOut = false;
    std::string out;
    std::string err;
};

struct RunOptions {
    // Variables to set (a value) or remove (no value) in the child's environment.
    std::map<std::string, std::string> set;
    std::map<std::wstring, std::wstring> setWide;  // the same for names and values in any script
    std::vector<std::string> remove;
    std::string workingDirectory;  // empty: the test's own
    DWORD timeoutMs = 60000;
    int showCommand = -1;  // 0 or more: the start-up show command (STARTF_USESHOWWINDOW)
};

// Starts commandLine (UTF-16, program name included), waits for it, and returns its exit code and
// what it wrote to standard output and standard error.
RunResult run(const std::wstring& commandLine, const RunOptions& options = RunOptions());

// Starts commandLine like run() without waiting for it; its output goes nowhere. Returns the
// process handle (the caller closes it) and the process id in *processId.
HANDLE startProcess(const std::wstring& commandLine, const RunOptions& options, DWORD* processId);

// Starts commandLine like startProcess(), its first thread suspended until the caller resumes it
// (so that several processes can be let go at once). The caller closes both handles.
bool startSuspended(const std::wstring& commandLine, const RunOptions& options, PROCESS_INFORMATION* process);

std::wstring widen(const std::string& text);  // ANSI code page to UTF-16

// ASCII letters in lower case (the launcher lower-cases the paths it derives).
std::string lower(std::string text);

// A registry value as text, without the terminator some registries store with it; "<no key>" or
// "<no value>" when it cannot be read. *type receives the value's type.
std::string registryText(HKEY root, const char* keyName, const char* valueName, DWORD* type = nullptr);

}  // namespace jaunt_test
