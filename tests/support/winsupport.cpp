#include "winsupport.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "launcherimage.h"

namespace jaunt_test {

std::string windowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string result = "Z:" + path;
    for (char& c : result)
        if (c == '/') c = '\\';
    return result;
}

std::string stubPath() {
    const char* stub = std::getenv("JAUNT_TEST_STUB");
    if (stub == nullptr) throw std::runtime_error("JAUNT_TEST_STUB is not set");
    return windowsPath(stub);
}

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string readText(const std::string& path) {
    std::vector<uint8_t> bytes = readBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeText(const std::string& path, const std::string& text) {
    writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool fileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

namespace {

// Through the wide calls in the long form, so that names in any script and paths of any length go.
void removeWideTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                removeWideTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(h, &found));
        FindClose(h);
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

void removeTree(const std::string& path) {
    std::wstring wide = widen(path);
    removeWideTree(wide.size() >= 2 && wide[1] == L':' ? L"\\\\?\\" + wide : wide);
}

TempDirectory::TempDirectory(const std::string& tag) {
    static unsigned counter = 0;
    char base[MAX_PATH];
    GetTempPathA(sizeof(base), base);
    std::ostringstream name;
    name << base << "jt_" << tag << "_" << GetCurrentProcessId() << "_" << ++counter;
    path_ = name.str();
    removeTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) throw std::runtime_error("cannot create " + path_);
}

TempDirectory::~TempDirectory() { removeTree(path_); }

std::string writeLauncher(const std::string& path, const std::vector<jaunt::NarrowRecord>& narrow,
                          const std::vector<jaunt::WideRecord>& wide, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> stub = readBytes(stubPath());
    writeBytes(path, jaunt::makeLauncher(stub, jaunt::encodeTable(narrow, wide), payload));
    return path;
}

std::wstring widen(const std::string& text) {
    int units = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(units > 0 ? units : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], units);
    wide.resize(wcslen(wide.c_str()));
    return wide;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string registryText(HKEY root, const char* keyName, const char* valueName, DWORD* type) {
    HKEY key;
    if (RegOpenKeyExA(root, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
    std::vector<char> data(65536);
    DWORD size = static_cast<DWORD>(data.size()), valueType = 0;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &valueType, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (type) *type = valueType;
    if (status != ERROR_SUCCESS) return "<no value>";
    if (size > 0 && data[size - 1] == 0) --size;
    return std::string(data.data(), size);
}

namespace {

std::wstring environmentBlock(const RunOptions& options) {
    std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
    auto upper = [](std::wstring name) {
        for (wchar_t& c : name) c = static_cast<wchar_t>(towupper(c));
        return name;
    };
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
        std::wstring entry(p);
        size_t eq = entry.find(L'=', 1);
        if (eq == std::wstring::npos) continue;
        variables[upper(entry.substr(0, eq))] = entry;
    }
    FreeEnvironmentStringsW(strings);
    for (const std::string& name : options.remove) variables.erase(upper(widen(name)));
    for (const auto& item : options.set) variables[upper(widen(item.first))] = widen(item.first + "=" + item.second);
    for (const auto& item : options.setWide) variables[upper(item.first)] = item.first + L"=" + item.second;
    std::wstring block;
    for (const auto& item : variables) {
        block += item.second;
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

HANDLE inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// CreateProcessW with inherited handles and a wide environment. Under load Wine now and then reports
// ERROR_INTERNAL_ERROR when the new process ended before its start completed, before any of the
// program's code ran; that start is tried again, up to three times in all. Every other failure,
// and a third internal error, is the caller's.
BOOL createProcess(const std::wstring& commandLine, DWORD flags, std::wstring& environment, const std::wstring& directory,
                   STARTUPINFOW* startup, PROCESS_INFORMATION* process) {
    for (int attempt = 1;; ++attempt) {
        std::wstring line = commandLine;  // the call may write into its command line
        BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                                      CREATE_UNICODE_ENVIRONMENT | flags, &environment[0],
                                      directory.empty() ? nullptr : directory.c_str(), startup, process);
        if (started || GetLastError() != ERROR_INTERNAL_ERROR || attempt == 3) return started;
        Sleep(200);
    }
}

}  // namespace

RunResult run(const std::wstring& commandLine, const RunOptions& options) {
    // Output goes to files rather than pipes: nothing can block on a full pipe, and Wine's helper
    // processes never hold a reader open.
    TempDirectory outputs("run");
    std::string outPath = outputs.file("out.txt"), errPath = outputs.file("err.txt");
    HANDLE out = inheritableFile(outPath);
    HANDLE err = inheritableFile(errPath);
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    HANDLE in = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0,
                            nullptr);

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    if (options.showCommand >= 0) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.showCommand);
    }
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process;
    std::wstring block = environmentBlock(options);
    RunResult result;
    BOOL started = createProcess(commandLine, 0, block, widen(options.workingDirectory), &startup, &process);
    CloseHandle(out);
    CloseHandle(err);
    CloseHandle(in);
    if (!started) throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    if (WaitForSingleObject(process.hProcess, options.timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(process.hProcess, 255);
        WaitForSingleObject(process.hProcess, 5000);
    }
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.out = readText(outPath);
    result.err = readText(errPath);
    return result;
}

namespace {

// Starts commandLine with its standard handles on NUL and the given creation flags.
bool startWithFlags(const std::wstring& commandLine, const RunOptions& options, DWORD flags,
                    PROCESS_INFORMATION* process) {
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    if (options.showCommand >= 0) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(options.showCommand);
    }
    std::wstring block = environmentBlock(options);
    BOOL started = createProcess(commandLine, flags, block, widen(options.workingDirectory), &startup, process);
    DWORD error = GetLastError();
    CloseHandle(nul);
    SetLastError(error);
    return started != 0;
}

}  // namespace

HANDLE startProcess(const std::wstring& commandLine, const RunOptions& options, DWORD* processId) {
    PROCESS_INFORMATION process;
    if (!startWithFlags(commandLine, options, 0, &process))
        throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    CloseHandle(process.hThread);
    *processId = process.dwProcessId;
    return process.hProcess;
}

bool startSuspended(const std::wstring& commandLine, const RunOptions& options, PROCESS_INFORMATION* process) {
    return startWithFlags(commandLine, options, CREATE_SUSPENDED, process);
}

}  // namespace jaunt_test
