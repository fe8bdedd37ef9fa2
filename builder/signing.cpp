#include "signing.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#endif

#include "launcherimage.h"
#include "relocations.h"
#include "tableformat.h"
#include "temporaries.h"

namespace jaunt {

namespace fs = std::filesystem;

namespace {

// PE header fields the signature touches. The launcher images keep their PE header at 0x80.
constexpr size_t kOptionalHeader = 0x80 + 24;
constexpr size_t kChecksumOffset = kOptionalHeader + 64;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kCertificateEntry = 4;
// osslsigncode reads at most this many bytes of a password file.
constexpr size_t kMaximumPassword = 4095;

uint16_t read16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// File offset of the certificate table's directory entry, or 0 when the image has none.
size_t certificateEntryOffset(const std::vector<uint8_t>& exe) {
    if (exe.size() < kOptionalHeader + 2) return 0;
    bool plus = read16(exe, kOptionalHeader) == kPe32PlusMagic;
    size_t countOffset = kOptionalHeader + (plus ? 108 : 92);
    size_t directories = kOptionalHeader + (plus ? 112 : 96);
    size_t entry = directories + 8 * kCertificateEntry;
    if (exe.size() < entry + 8 || readLittleEndian32(exe.data() + countOffset) <= kCertificateEntry) return 0;
    return entry;
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Where the image's own sections end in the file: a signature never lies before that.
uint64_t imageEnd(const std::vector<uint8_t>& exe) {
    if (exe.size() < 0x40) return exe.size();
    uint64_t pe = readLittleEndian32(exe.data() + 0x3C);
    if (pe + 24 > exe.size()) return exe.size();
    uint16_t count = read16(exe, pe + 6);
    uint64_t table = pe + 24 + read16(exe, pe + 20);
    uint64_t end = table + 40ull * count;
    if (end > exe.size()) return exe.size();
    for (uint16_t i = 0; i < count; ++i) {
        const uint8_t* header = exe.data() + table + 40ull * i;
        end = std::max<uint64_t>(end, uint64_t(readLittleEndian32(header + 20)) + readLittleEndian32(header + 16));
    }
    return end;
}

// The password of the settings; *given is false when the settings name none.
std::string readPassword(const SignSettings& settings, bool* given) {
    *given = true;
    std::string password;
    if (!settings.passwordEnv.empty()) {
        const char* value = std::getenv(settings.passwordEnv.c_str());
        if (value == nullptr)
            throw SigningError("sign.password_env: the environment variable " + settings.passwordEnv +
                               " is not set");
        password = value;
    } else if (!settings.passwordFile.empty()) {
        std::ifstream in(settings.passwordFile, std::ios::binary);
        if (!in) throw SigningError(settings.passwordFile + ": cannot read the password file");
        std::getline(in, password);
        if (!password.empty() && password.back() == '\r') password.pop_back();
    } else {
        *given = false;
    }
    if (password.size() > kMaximumPassword)
        throw SigningError("the signing password is longer than " + std::to_string(kMaximumPassword) + " bytes");
    if (password.find('\n') != std::string::npos || password.find('\r') != std::string::npos)
        throw SigningError("the signing password contains a line break");
    return password;
}

// The first line of a signing tool's output that says what went wrong (not OpenSSL's trace lines).
std::string firstProblemLine(const std::string& output) {
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        start = end + 1;
        if (line.empty() || line == "Failed" || line.find(":error:") != std::string::npos) continue;
        return line;
    }
    return "no reason given";
}

struct ToolRun {
    bool started = false;
    bool timedOut = false;  // ended after its time ran out
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

#if defined(_WIN32)

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

// Runs the tool in a job object, so that it ends with everything it started when its time runs
// out, when the build is interrupted or when this process ends.
ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds) {
    ToolRun run;
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
std::string findOnPath(const char* name) {
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

// Hands the password to the signing tool through a named pipe that only this user may open and
// that lives as long as this process: the tool reads it as the file it is named by, and it never
// reaches a disk. The pipe's name has a random part and must be new.
class PasswordPipe {
public:
    explicit PasswordPipe(const std::string& password) : password_(password) {
        name_ = "\\\\.\\pipe\\jaunt-sign-" + std::to_string(GetCurrentProcessId()) + "-" + randomHex(16);
        SECURITY_ATTRIBUTES security = {sizeof security, userOnly(), FALSE};
        const DWORD mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
        pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 mode | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096, 0, &security);
        if (pipe_ == INVALID_HANDLE_VALUE)  // systems before Vista know no PIPE_REJECT_REMOTE_CLIENTS
            pipe_ = CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE, mode, 1,
                                     4096, 4096, 0, &security);
        if (security.lpSecurityDescriptor) LocalFree(security.lpSecurityDescriptor);
        if (pipe_ == INVALID_HANDLE_VALUE) throw SigningError("cannot make a pipe for the signing password");
        // The thread owns the pipe from here on and closes it.
        thread_ = CreateThread(nullptr, 0, serve, this, 0, nullptr);
        if (thread_ == nullptr) {
            CloseHandle(pipe_);
            throw SigningError("cannot hand the password to the signing tool");
        }
    }
    ~PasswordPipe() {
        // A tool that never opened the pipe leaves the server waiting: connecting ends the wait.
        done_ = true;
        if (WaitForSingleObject(thread_, 0) == WAIT_TIMEOUT) {
            HANDLE h = CreateFileA(name_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        SecureZeroMemory(&password_[0], password_.size());
    }
    PasswordPipe(const PasswordPipe&) = delete;
    PasswordPipe& operator=(const PasswordPipe&) = delete;
    const std::string& name() const { return name_; }

private:
    // A security descriptor that lets only the current user open the pipe (LocalFree it), or
    // nullptr (the default) when the user's SID cannot be read.
    static void* userOnly() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return nullptr;
        std::vector<char> user(256);
        DWORD size = 0;
        if (!GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
            user.resize(size);
            if (!GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size))
                user.clear();
        }
        CloseHandle(token);
        char* sid = nullptr;
        if (user.empty() || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
            return nullptr;
        std::string sddl = std::string("D:P(A;;GA;;;") + sid + ")";
        LocalFree(sid);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
            return nullptr;
        return descriptor;
    }
    static DWORD WINAPI serve(void* context) {
        auto* self = static_cast<PasswordPipe*>(context);
        BOOL connected = ConnectNamedPipe(self->pipe_, nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
        if (connected && !self->done_) {
            DWORD written = 0;
            WriteFile(self->pipe_, self->password_.data(), static_cast<DWORD>(self->password_.size()), &written,
                      nullptr);
            FlushFileBuffers(self->pipe_);  // until the tool has read it
        }
        // Closed, not disconnected (which would drop what the tool has not read yet): the tool then
        // reads the end of its "file".
        CloseHandle(self->pipe_);
        return 0;
    }

    std::string password_;
    std::string name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    HANDLE thread_ = nullptr;
    std::atomic<bool> done_{false};
};

// signtool.exe on PATH, else in the newest Windows 10/11 SDK.
std::string findSigntool() {
    std::string onPath = findOnPath("signtool.exe");
    if (!onPath.empty()) return onPath;
    for (const char* variable : {"ProgramFiles(x86)", "ProgramFiles"}) {
        const char* base = std::getenv(variable);
        if (base == nullptr) continue;
        fs::path bin = fs::path(base) / "Windows Kits" / "10" / "bin";
        std::error_code ec;
        std::vector<fs::path> versions;
        for (fs::directory_iterator it(bin, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_directory(ec)) versions.push_back(it->path());
        std::sort(versions.rbegin(), versions.rend());
        for (const fs::path& version : versions)
            for (const char* arch : {"x64", "x86"})
                if (fs::exists(version / arch / "signtool.exe", ec)) return (version / arch / "signtool.exe").string();
    }
    return std::string();
}

#else

int64_t nowMs() {
    timespec now = {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Runs the tool in a session of its own (no terminal to ask for a password on), ending it with
// everything it started when its time runs out or the build is interrupted.
ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds,
                int passwordFd) {
    ToolRun run;
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
        if (passwordFd >= 0) fcntl(passwordFd, F_SETFD, 0);
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

#endif

// Compares a signed launcher with the launcher it was made from: the signed one must be the same
// bytes, apart from the checksum and the certificate entry, followed by a certificate table.
void checkSignedLauncher(const std::vector<uint8_t>& original, const std::vector<uint8_t>& signedExe,
                         const std::string& output) {
    SignatureLocation signature = findSignature(signedExe);
    size_t entry = certificateEntryOffset(original);
    bool same = signature.present() && signature.offset >= original.size() && signedExe.size() > original.size() &&
                entry != 0;
    for (size_t i = 0; same && i < original.size(); ++i) {
        bool mayChange = (i >= kChecksumOffset && i < kChecksumOffset + 4) || (i >= entry && i < entry + 8);
        same = mayChange || original[i] == signedExe[i];
    }
    if (!same)
        throw SigningError(output + ": the signing tool changed the launcher's content instead of appending a "
                                    "signature; nothing was written");
}

}  // namespace

void moveIntoPlace(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
        throw SigningError(to + ": cannot replace the file (error " + std::to_string(GetLastError()) + ")");
#else
    std::error_code ec;
    fs::rename(from, to, ec);
    if (ec) throw SigningError(to + ": cannot replace the file: " + ec.message());
#endif
}

SignatureLocation findSignature(const std::vector<uint8_t>& exe) {
    SignatureLocation location;
    size_t entry = certificateEntryOffset(exe);
    if (entry == 0) return location;
    location.offset = readLittleEndian32(exe.data() + entry);
    location.size = readLittleEndian32(exe.data() + entry + 4);
    if (location.present() && (location.offset > exe.size() || location.size > exe.size() - location.offset))
        throw SigningError("the certificate table entry points outside the file");
    if (location.present()) checkSignatureAfter(location, imageEnd(exe));
    return location;
}

void checkSignatureAfter(const SignatureLocation& signature, uint64_t dataEnd) {
    if (signature.present() && signature.offset < dataEnd)
        throw SigningError("the certificate table entry (" + std::to_string(signature.size) + " bytes at offset " +
                           std::to_string(signature.offset) + ") points into the launcher, not after it (" +
                           std::to_string(dataEnd) + " bytes); build the launcher again");
}

std::vector<uint8_t> withoutSignature(const std::vector<uint8_t>& exe, uint64_t payloadEnd) {
    SignatureLocation signature = findSignature(exe);
    if (!signature.present()) return exe;
    checkSignatureAfter(signature, payloadEnd);
    size_t end = signature.offset;
    while (end > payloadEnd && signature.offset - end < 8 && exe[end - 1] == 0) --end;
    std::vector<uint8_t> plain(exe.begin(), exe.begin() + static_cast<long>(end));
    size_t entry = certificateEntryOffset(plain);
    put32(plain, kChecksumOffset, 0);  // 0: not computed
    put32(plain, entry, 0);
    put32(plain, entry + 4, 0);
    return plain;
}

std::vector<std::string> signingArguments(SigningTool tool, const SignSettings& settings, const std::string& input,
                                          const std::string& output, const std::string& passwordPath) {
    std::vector<std::string> args;
    if (tool == SigningTool::Signtool) {
        // signtool signs in place; signLauncher copies the launcher to output first.
        args = {"sign", "/fd", "sha256", "/f", settings.certificate};
        if (!settings.description.empty()) args.insert(args.end(), {"/d", settings.description});
        if (!settings.url.empty()) args.insert(args.end(), {"/du", settings.url});
        if (!settings.timestampUrl.empty()) args.insert(args.end(), {"/tr", settings.timestampUrl, "/td", "sha256"});
        args.push_back(output);
        (void)input;
        return args;
    }
    args = {"sign", "-h", "sha256"};
    if (settings.key.empty())
        args.insert(args.end(), {"-pkcs12", settings.certificate});
    else
        args.insert(args.end(), {"-certs", settings.certificate, "-key", settings.key});
    if (passwordPath.empty())
        args.insert(args.end(), {"-pass", ""});  // the empty password, so that nothing prompts for one
    else
        args.insert(args.end(), {"-readpass", passwordPath});
    if (!settings.description.empty()) args.insert(args.end(), {"-n", settings.description});
    if (!settings.url.empty()) args.insert(args.end(), {"-i", settings.url});
    if (!settings.timestampUrl.empty()) args.insert(args.end(), {"-ts", settings.timestampUrl});
    args.insert(args.end(), {"-in", input, "-out", output});
    return args;
}

std::string signLauncher(const SignSettings& settings, const std::string& input, const std::string& output) {
    std::error_code ec;
    for (const std::string* file : {&settings.certificate, &settings.key}) {
        if (file->empty()) continue;
        if (!fs::is_regular_file(*file, ec))
            throw SigningError(*file + (fs::exists(*file, ec) ? ": not a file" : ": no such certificate or key file"));
    }
    bool passwordGiven = false;
    std::string password = readPassword(settings, &passwordGiven);
    std::vector<uint8_t> original = readFileBytes(input);
    if (findSignature(original).present())
        throw SigningError(input + ": the launcher is signed already");

    SigningTool tool = SigningTool::Osslsigncode;
    std::string program = "osslsigncode";
#if defined(_WIN32)
    // signtool takes a password only on its command line, where other programs can read it, and no
    // PEM key: with either, osslsigncode signs.
    std::string signtool = findSigntool();
    bool signtoolFits = settings.key.empty() && password.empty();
    std::string osslsigncode = findOnPath("osslsigncode.exe");
    if (!signtool.empty() && (signtoolFits || osslsigncode.empty())) {
        if (!signtoolFits)
            throw SigningError(
                "signtool.exe cannot sign with this [sign] table without the password or key on its command "
                "line; put osslsigncode.exe on the PATH, or use a PKCS#12 file without a password");
        tool = SigningTool::Signtool;
        program = signtool;
    } else if (!osslsigncode.empty()) {
        program = osslsigncode;
    } else {
        throw SigningError(
            "no signing tool found: install the Windows SDK's signtool.exe or put osslsigncode.exe on the PATH");
    }
#endif

    // The tool writes into a directory that this build made and only this user can open: never
    // through a name someone else planted (osslsigncode insists on creating its output itself).
    TemporaryFile signing(output, "signed", TemporaryFile::Directory);
    const std::string signedPath = signing.member(fs::path(output).filename().string());
    std::string passwordPath;
#if defined(_WIN32)
    std::unique_ptr<PasswordPipe> passwordPipe;
    if (!password.empty()) {
        passwordPipe.reset(new PasswordPipe(password));
        passwordPath = passwordPipe->name();
    }
    if (tool == SigningTool::Signtool) writeFileBytes(signedPath, original);  // signtool signs the file it is given
#else
    // The password goes through a pipe that the tool reads as /dev/fd/N: it never reaches a disk.
    int passwordFd = -1;
    int passwordPipe[2] = {-1, -1};
    if (!password.empty()) {
        if (pipe2(passwordPipe, O_CLOEXEC) != 0) throw SigningError("cannot make a pipe for the password");
        ssize_t written = write(passwordPipe[1], password.data(), password.size());
        close(passwordPipe[1]);
        if (written != static_cast<ssize_t>(password.size())) {
            close(passwordPipe[0]);
            throw SigningError("cannot hand the password to the signing tool");
        }
        passwordFd = passwordPipe[0];
        passwordPath = "/dev/fd/" + std::to_string(passwordFd);
    }
#endif
    std::vector<std::string> arguments = signingArguments(tool, settings, input, signedPath, passwordPath);
#if defined(_WIN32)
    ToolRun run = runTool(program, arguments, settings.timeoutSeconds);
    passwordPipe.reset();
#else
    ToolRun run = runTool(program, arguments, settings.timeoutSeconds, passwordFd);
    if (passwordFd >= 0) close(passwordFd);
#endif
    std::string toolName = fs::path(program).stem().string();
    if (!run.started)
        throw SigningError(toolName + " could not be started" +
                           (tool == SigningTool::Osslsigncode ? ": is osslsigncode installed?" : std::string()));
    if (run.timedOut)
        throw SigningError(toolName + " did not finish signing " + output + " within " +
                           std::to_string(settings.timeoutSeconds) + " s" +
                           (settings.timestampUrl.empty()
                                ? std::string()
                                : " (is the time-stamp server " + settings.timestampUrl + " answering?)") +
                           "; it was ended and nothing was written (sign.timeout sets the limit)");
    if (run.exitCode != 0 || !fs::is_regular_file(signedPath, ec))
        throw SigningError(toolName + " could not sign " + output + ": " + firstProblemLine(run.output));

    checkSignedLauncher(original, readFileBytes(signedPath), output);
    moveIntoPlace(signedPath, output);
    return toolName;
}

}  // namespace jaunt

namespace jaunt {

std::string writeLauncherFile(const std::string& output, const std::vector<uint8_t>& exe,
                              const SignSettings* signing) {
    // Windows places every image marked as dynamic base at a random address: one whose relocations
    // it cannot apply would not start, or would run with wrong pointers.
    try {
        readRelocations(exe);
    } catch (const RelocationError& e) {
        throw LauncherError(output + ": " + e.what() + "; nothing was written");
    }
    removeStaleTemporaries(output);
    TemporaryFile written(output, signing ? "unsigned" : "new");
    written.write(exe);
    if (signing != nullptr) return signLauncher(*signing, written.path(), output);
    moveIntoPlace(written.path(), output);
    written.keep();
    return std::string();
}

}  // namespace jaunt
