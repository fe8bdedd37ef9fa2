#include "signing.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "launcherimage.h"
#include "tableformat.h"

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

// A file that is removed when it goes out of scope unless it was kept.
class TemporaryFile {
public:
    explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
    ~TemporaryFile() {
        if (!path_.empty()) {
            std::error_code ec;
            fs::remove(path_, ec);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& path() const { return path_; }
    void keep() { path_.clear(); }

private:
    std::string path_;
};

// A name beside target that no other run of jaunt uses at the same time.
std::string siblingName(const std::string& target, const std::string& tag) {
#if defined(_WIN32)
    unsigned long id = GetCurrentProcessId();
#else
    unsigned long id = static_cast<unsigned long>(getpid());
#endif
    return target + "." + tag + "-" + std::to_string(id) + ".tmp";
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

ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments, int /*passwordFd*/) {
    ToolRun run;
    std::wstring line = quoteArgument(widen(program));
    for (const std::string& arg : arguments) line += L" " + quoteArgument(widen(arg));
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(L'\0');
    BOOL created = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                  nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return run;
    }
    run.started = true;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) run.output.append(chunk, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

// The program's full path when it is on PATH, else an empty string.
std::string findOnPath(const char* name) {
    char found[MAX_PATH];
    DWORD n = SearchPathA(nullptr, name, nullptr, MAX_PATH, found, nullptr);
    return n > 0 && n < MAX_PATH ? std::string(found, n) : std::string();
}

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

ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments, int passwordFd) {
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
        // No terminal for the child: a tool that wants to ask for a password fails instead.
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
    char chunk[4096];
    for (ssize_t got; (got = read(output[0], chunk, sizeof chunk)) != 0;) {
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) break;
        run.output.append(chunk, static_cast<size_t>(got));
    }
    close(output[0]);
    int execError = 0;
    run.started = read(status[0], &execError, sizeof execError) != static_cast<ssize_t>(sizeof execError);
    close(status[0]);
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0 && errno == EINTR) {
    }
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
    return location;
}

std::vector<uint8_t> withoutSignature(const std::vector<uint8_t>& exe, uint64_t payloadEnd) {
    SignatureLocation signature = findSignature(exe);
    if (!signature.present()) return exe;
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

    TemporaryFile signedFile(siblingName(output, "signed"));
    fs::remove(signedFile.path(), ec);
    std::string passwordPath;
    int passwordFd = -1;
#if defined(_WIN32)
    std::unique_ptr<TemporaryFile> passwordFile;
    if (!password.empty()) {
        // A file of the user's own temporary directory, removed as soon as the tool is done.
        char directory[MAX_PATH + 1];
        DWORD n = GetTempPathA(sizeof directory, directory);
        if (n == 0 || n > MAX_PATH) throw SigningError("cannot find the temporary directory for the password");
        passwordFile.reset(new TemporaryFile(siblingName((fs::path(directory) / "jaunt-sign").string(), "pass")));
        HANDLE h = CreateFileA(passwordFile->path().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_TEMPORARY, nullptr);
        DWORD written = 0;
        bool ok = h != INVALID_HANDLE_VALUE &&
                  WriteFile(h, password.data(), static_cast<DWORD>(password.size()), &written, nullptr) &&
                  written == password.size();
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (!ok) throw SigningError("cannot write the password for the signing tool");
        passwordPath = passwordFile->path();
    }
    if (tool == SigningTool::Signtool) {
        // signtool signs the file it is given: a copy beside the output.
        fs::copy_file(input, signedFile.path(), fs::copy_options::overwrite_existing, ec);
        if (ec) throw SigningError(signedFile.path() + ": cannot write the file");
    }
#else
    // The password goes through a pipe that the tool reads as /dev/fd/N: it never reaches a disk.
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
    ToolRun run =
        runTool(program, signingArguments(tool, settings, input, signedFile.path(), passwordPath), passwordFd);
#if !defined(_WIN32)
    if (passwordFd >= 0) close(passwordFd);
#endif
    std::string toolName = fs::path(program).stem().string();
    if (!run.started)
        throw SigningError(toolName + " could not be started" +
                           (tool == SigningTool::Osslsigncode ? ": is osslsigncode installed?" : std::string()));
    if (run.exitCode != 0 || !fs::exists(signedFile.path(), ec))
        throw SigningError(toolName + " could not sign " + output + ": " + firstProblemLine(run.output));

    checkSignedLauncher(original, readFileBytes(signedFile.path()), output);
    moveIntoPlace(signedFile.path(), output);
    signedFile.keep();
    return toolName;
}

}  // namespace jaunt

namespace jaunt {

std::string writeLauncherFile(const std::string& output, const std::vector<uint8_t>& exe,
                              const SignSettings* signing) {
    TemporaryFile written(siblingName(output, signing ? "unsigned" : "new"));
    writeFileBytes(written.path(), exe);
    if (signing != nullptr) return signLauncher(*signing, written.path(), output);
    moveIntoPlace(written.path(), output);
    written.keep();
    return std::string();
}

}  // namespace jaunt
