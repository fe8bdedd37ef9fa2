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
#include <unistd.h>
#endif

#include "childprocess.h"
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

// OpenSSL's trace lines in a signing tool's output, which say nothing of what went wrong.
bool isSigningTrace(const std::string& line) { return line == "Failed" || line.find(":error:") != std::string::npos; }

#if defined(_WIN32)
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
    ChildRun run = runChild(program, arguments, settings.timeoutSeconds);
    passwordPipe.reset();
#else
    ChildRun run = runChild(program, arguments, settings.timeoutSeconds, passwordFd);
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
        throw SigningError(toolName + " could not sign " + output + ": " + firstOutputLine(run.output, isSigningTrace));

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
