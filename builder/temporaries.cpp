#include "temporaries.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>

#if defined(_WIN32)
#include <windows.h>
#include <bcrypt.h>
#include <sddl.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/random.h>
#include <unistd.h>
#endif

#include "launcherimage.h"

namespace jaunt {

namespace fs = std::filesystem;

namespace {

// The files an interruption removes: written before they are marked used, so that a handler that
// runs at any moment sees whole names. A name too long for its slot is left to the next build.
constexpr int kSlots = 8;
constexpr size_t kSlotSize = 4096;
char slotPaths[kSlots][kSlotSize];
bool slotIsDirectory[kSlots];
std::atomic<bool> slotUsed[kSlots];
std::atomic<intptr_t> interruptibleChild{0};

#if defined(_WIN32)

BOOL WINAPI onConsoleEvent(DWORD) {
    HANDLE job = reinterpret_cast<HANDLE>(interruptibleChild.load());
    if (job != nullptr) TerminateJobObject(job, 1);
    // The ended tool may hold its output open for a moment.
    for (int attempt = 0; attempt < 20; ++attempt) {
        bool left = false;
        // Files first, then the directories they were in.
        for (int pass = 0; pass < 2; ++pass)
            for (int i = 0; i < kSlots; ++i) {
                if (!slotUsed[i].load() || slotIsDirectory[i] != (pass == 1)) continue;
                BOOL removed = pass == 0 ? DeleteFileA(slotPaths[i]) : RemoveDirectoryA(slotPaths[i]);
                DWORD error = GetLastError();
                if (!removed && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) left = true;
            }
        if (!left) break;
        Sleep(100);
    }
    return FALSE;  // the default handler ends the process
}

void watchInterruptions() {
    static bool installed = SetConsoleCtrlHandler(onConsoleEvent, TRUE) != 0;
    (void)installed;
}

bool processRuns(unsigned long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;  // denied: it exists
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

unsigned long ownProcessId() { return GetCurrentProcessId(); }

#else

void onSignal(int signal) {
    pid_t child = static_cast<pid_t>(interruptibleChild.load());
    if (child > 0) {
        kill(-child, SIGKILL);  // the tool runs in a session of its own: end it with its children
        kill(child, SIGKILL);
    }
    for (int pass = 0; pass < 2; ++pass)  // files first, then the directories they were in
        for (int i = 0; i < kSlots; ++i)
            if (slotUsed[i].load() && slotIsDirectory[i] == (pass == 1)) pass == 0 ? unlink(slotPaths[i]) : rmdir(slotPaths[i]);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void watchInterruptions() {
    static bool installed = [] {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction current = {};
            // A signal the user chose to ignore (nohup) stays ignored.
            if (sigaction(signal, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
            struct sigaction action = {};
            action.sa_handler = onSignal;
            sigemptyset(&action.sa_mask);
            sigaction(signal, &action, nullptr);
        }
        return true;
    }();
    (void)installed;
}

bool processRuns(unsigned long id) {
    return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

unsigned long ownProcessId() { return static_cast<unsigned long>(getpid()); }

#endif

void takeSlot(const std::string& path, bool directory, std::vector<int>* slots) {
    if (path.size() >= kSlotSize) return;
    for (int i = 0; i < kSlots; ++i) {
        if (slotUsed[i].load()) continue;
        std::memcpy(slotPaths[i], path.c_str(), path.size() + 1);
        slotIsDirectory[i] = directory;
        slotUsed[i].store(true);
        slots->push_back(i);
        return;
    }
}

void freeSlots(std::vector<int>* slots) {
    for (int slot : *slots) slotUsed[slot].store(false);
    slots->clear();
}

#if defined(_WIN32)
// A directory that only the current user (and the system) may open, whatever the folder it is made
// in allows: the same protected access list as the launcher's own directories.
bool makePrivateDirectory(const std::string& path) {
    HANDLE token = nullptr;
    std::string sddl;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        std::vector<char> user(256);
        DWORD size = 0;
        if (!GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size)) {
            user.resize(size);
            if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) user.clear();
        }
        char* sid = nullptr;
        if (!user.empty() && ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid)) {
            sddl = std::string("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;") + sid + ")";
            LocalFree(sid);
        }
        CloseHandle(token);
    }
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
    if (!sddl.empty())
        ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                             &security.lpSecurityDescriptor, nullptr);
    BOOL made = CreateDirectoryA(path.c_str(), &security);
    DWORD error = GetLastError();
    if (security.lpSecurityDescriptor) LocalFree(security.lpSecurityDescriptor);
    SetLastError(error);
    return made != 0;
}
#endif

void closeHandle(intptr_t* handle) {
    if (*handle == -1) return;
#if defined(_WIN32)
    CloseHandle(reinterpret_cast<HANDLE>(*handle));
#else
    close(static_cast<int>(*handle));
#endif
    *handle = -1;
}

}  // namespace

std::string randomHex(size_t digits) {
    std::vector<unsigned char> bytes((digits + 1) / 2);
#if defined(_WIN32)
    bool ok = BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()),
                              BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
#else
    bool ok = getrandom(bytes.data(), bytes.size(), 0) == static_cast<ssize_t>(bytes.size());
#endif
    if (!ok) throw LauncherError("the system's random source does not answer");
    static const char hex[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) text += {hex[b >> 4], hex[b & 15]};
    text.resize(digits);
    return text;
}

TemporaryFile::TemporaryFile(const std::string& target, const std::string& tag, Kind kind) : kind_(kind) {
    watchInterruptions();
    for (int attempt = 0; attempt < 10; ++attempt) {
        std::string path = target + "." + tag + "-" + std::to_string(ownProcessId()) + "-" + randomHex(16) + ".tmp";
        // Registered before it exists, so that no moment leaves it behind an interruption.
        takeSlot(path, kind == Directory, &slots_);
        bool made = false;
#if defined(_WIN32)
        if (kind == Directory) {
            made = makePrivateDirectory(path);
        } else {
            HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            made = h != INVALID_HANDLE_VALUE;
            if (made) handle_ = reinterpret_cast<intptr_t>(h);
        }
        bool taken = !made && (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS);
#else
        if (kind == Directory) {
            made = mkdir(path.c_str(), 0700) == 0;
        } else {
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
            made = fd >= 0;
            if (made) handle_ = fd;
        }
        bool taken = !made && errno == EEXIST;
#endif
        if (made) {
            path_ = path;
            return;
        }
        freeSlots(&slots_);
        if (!taken) throw LauncherError(path + ": cannot create the " + (kind == Directory ? "directory" : "file"));
    }
    throw LauncherError(target + ": cannot create a temporary file beside it");
}

TemporaryFile::~TemporaryFile() {
    closeHandle(&handle_);
    if (!path_.empty()) {
        std::error_code ec;
        if (kind_ == Directory)
            fs::remove_all(path_, ec);
        else
            fs::remove(path_, ec);
    }
    freeSlots(&slots_);
}

std::string TemporaryFile::member(const std::string& name) {
    std::string path = (fs::path(path_) / name).string();
    takeSlot(path, false, &slots_);
    return path;
}

void TemporaryFile::write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (handle_ != -1 && done < bytes.size()) {
#if defined(_WIN32)
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30)), written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data() + done, chunk, &written, nullptr)) break;
#else
        ssize_t written = ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
#endif
        done += static_cast<size_t>(written);
    }
    closeHandle(&handle_);
    if (done != bytes.size()) throw LauncherError(path_ + ": cannot write the file");
}

void TemporaryFile::keep() {
    closeHandle(&handle_);
    path_.clear();
    freeSlots(&slots_);
}

void removeStaleTemporaries(const std::string& target) {
    fs::path output(target);
    fs::path directory = output.parent_path().empty() ? fs::path(".") : output.parent_path();
    const std::string prefix = output.filename().string() + ".";
    static const std::regex name("(new|unsigned|signed|runtime)-([0-9]{1,10})(-[0-9a-f]+)?\\.tmp");
    std::error_code ec;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
        std::string file = it->path().filename().string();
        std::smatch parts;
        if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) continue;
        std::string rest = file.substr(prefix.size());
        if (!std::regex_match(rest, parts, name)) continue;
        unsigned long long id = std::stoull(parts[2].str());
        if (id > 0xFFFFFFFFull || id == ownProcessId() || processRuns(static_cast<unsigned long>(id))) continue;
        std::error_code ignored;
        if (it->is_symlink(ignored)) continue;
        if (it->is_directory(ignored))
            fs::remove_all(it->path(), ignored);
        else
            fs::remove(it->path(), ignored);
    }
}

void setInterruptibleChild(intptr_t child) { interruptibleChild.store(child); }

}  // namespace jaunt
