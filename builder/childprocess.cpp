#include "childprocess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#include "temporaries.h"

namespace jaunt {

namespace fs = std::filesystem;

#if defined(_WIN32)

namespace {

std::wstring widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

// One argument quoted so that the C runtime's splitting gives it back unchanged.
std::wstring quoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

DWORD WINAPI readAll(void* context) {
    auto* pipe = static_cast<std::pair<HANDLE, std::string*>*>(context);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(pipe->first, chunk, sizeof chunk, &got, nullptr) && got > 0) pipe->second->append(chunk, got);
    return 0;
}

}  // namespace

// Runs the tool in a job object, so that it ends with everything it started when its time runs
// out, when the build is interrupted or when this process ends.
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds, int) {
    ChildRun run;
    std::wstring line = quoteArgument(widen(program));
    for (const std::string& arg : arguments) line += L" " + quoteArgument(widen(arg));
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    BOOL created = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | CREATE_SUSPENDED,
                                  nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        if (job) CloseHandle(job);
        return run;
    }
    if (job && AssignProcessToJobObject(job, process.hProcess)) setInterruptibleChild(reinterpret_cast<intptr_t>(job));
    ResumeThread(process.hThread);
    run.started = true;
    std::pair<HANDLE, std::string*> pipe(readEnd, &run.output);
    HANDLE reader = CreateThread(nullptr, 0, readAll, &pipe, 0, nullptr);
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(timeoutSeconds) * 1000) == WAIT_TIMEOUT) {
        run.timedOut = true;
        if (job) TerminateJobObject(job, 1);
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    // A process the tool started outside the job may still hold the pipe: the output is not worth
    // waiting for long.
    if (reader) {
        if (WaitForSingleObject(reader, 5000) == WAIT_TIMEOUT) CancelSynchronousIo(reader);
        WaitForSingleObject(reader, 1000);
        CloseHandle(reader);
    } else {
        readAll(&pipe);
    }
    setInterruptibleChild(0);
    CloseHandle(readEnd);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (job) CloseHandle(job);
    return run;
}

// The program's full path in a PATH entry, else an empty string. Only absolute entries count: the
// current directory, where a build may run in a folder others can write, is never searched.
std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string entries = path ? path : "";
    for (size_t start = 0; start <= entries.size();) {
        size_t end = entries.find(';', start);
        if (end == std::string::npos) end = entries.size();
        std::string entry = entries.substr(start, end - start);
        start = end + 1;
        if (entry.size() >= 2 && entry.front() == '"' && entry.back() == '"') entry = entry.substr(1, entry.size() - 2);
        bool absolute = (entry.size() >= 3 && std::isalpha(static_cast<unsigned char>(entry[0])) && entry[1] == ':' &&
                         (entry[2] == '\\' || entry[2] == '/')) ||
                        (entry.size() >= 3 && (entry[0] == '\\' || entry[0] == '/') && entry[1] == entry[0]);
        if (!absolute) continue;
        std::error_code ec;
        fs::path candidate = fs::path(entry) / name;
        if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
    return std::string();
}

#else

namespace {

int64_t nowMs() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

// Runs the tool in a session of its own (no terminal to ask for a password on), ending it with
// everything it started when its time runs out or the build is interrupted.
ChildRun runChild(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds,
                  int keepDescriptor) {
    ChildRun run;
    int output[2];
    int status[2];  // carries errno when exec fails
    if (pipe2(output, O_CLOEXEC) != 0) return run;
    if (pipe2(status, O_CLOEXEC) != 0) {
        close(output[0]), close(output[1]);
        return run;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : arguments) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        setsid();
        dup2(output[1], 1);
        dup2(output[1], 2);
        int devnull = open("/dev/null", O_RDONLY);
        if (devnull >= 0) dup2(devnull, 0);
        if (keepDescriptor >= 0) fcntl(keepDescriptor, F_SETFD, 0);
        execvp(program.c_str(), argv.data());
        int error = errno;
        ssize_t ignored = write(status[1], &error, sizeof error);
        (void)ignored;
        _exit(127);
    }
    close(output[1]);
    close(status[1]);
    if (pid < 0) {
        close(output[0]), close(status[0]);
        return run;
    }
    setInterruptibleChild(pid);
    const int64_t deadline = nowMs() + int64_t(timeoutSeconds) * 1000;
    char chunk[4096];
    for (;;) {
        int64_t left = deadline - nowMs();
        pollfd ready = {output[0], POLLIN, 0};
        int polled = left > 0 ? poll(&ready, 1, static_cast<int>(std::min<int64_t>(left, 1000))) : 0;
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0 && left > 0) continue;
        if (polled <= 0) {
            run.timedOut = polled == 0;
            kill(-pid, SIGKILL);
            kill(pid, SIGKILL);
            break;
        }
        ssize_t got = read(output[0], chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        run.output.append(chunk, static_cast<size_t>(got));
    }
    close(output[0]);
    int execError = 0;
    run.started = read(status[0], &execError, sizeof execError) != static_cast<ssize_t>(sizeof execError);
    close(status[0]);
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    setInterruptibleChild(0);
    run.exitCode = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    return run;
}

// The program's full path in an absolute PATH entry, else an empty string: as on Windows, a
// relative entry (which would name the current directory) is never searched.
std::string findOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string entries = path ? path : "";
    for (size_t start = 0; start <= entries.size();) {
        size_t end = entries.find(':', start);
        if (end == std::string::npos) end = entries.size();
        std::string entry = entries.substr(start, end - start);
        start = end + 1;
        if (entry.empty() || entry[0] != '/') continue;
        std::error_code ec;
        fs::path candidate = fs::path(entry) / name;
        if (fs::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return std::string();
}

#endif

std::string firstOutputLine(const std::string& output, bool (*skip)(const std::string& line)) {
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        start = end + 1;
        if (!line.empty() && (skip == nullptr || !skip(line))) return line;
    }
    return "no reason given";
}

}  // namespace jaunt
