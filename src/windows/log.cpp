#include "log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "boundedtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

bool openAttempted = false;
FILE* logStream = nullptr;
char logPath[kTextSize];
bool logPathSet = false;

bool variableIsYes(const char* name) {
    char value[kTextSize];
    DWORD length = environmentVariable(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) && std::strcmp(value, "yes") == 0;
}

// A fresh file in the TMP directory, "c:\" when TMP names no directory, as _tempnam picks them,
// but in a directory of any length and with any characters.
bool createFreshLogFile(char* path, size_t size) {
    bool defined = false;
    std::string directory = environmentValue("TMP", &defined);
    DWORD attributes = directory.empty() ? INVALID_FILE_ATTRIBUTES : fileAttributes(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) directory = "c:\\";
    if (directory.back() != '\\' && directory.back() != '/') directory += '\\';
    unsigned start = static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 8));
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        if (!formatText(path, size, "%sbkt_nlog_%X.tmp", directory.c_str(), start + attempt)) return false;
        HANDLE file = createFile(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return true;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
}

void openLog() {
    openAttempted = true;
    bool requested = variableIsYes("JAUNT_LOG");
    if (variableIsYes("BUNDLEKIT_LOG")) requested = true;
    if (!requested) return;

    if (createFreshLogFile(logPath, sizeof(logPath))) {
        logPathSet = true;
        logStream = openFile(logPath, L"w");
    }
    if (logStream == nullptr) {
        copyText(logPath, sizeof(logPath), "c:\\bkt_nlog");
        logPathSet = true;
        logStream = openFile(logPath, L"w");
        if (logStream == nullptr) return;
    }

    char module[kTextSize];
    DWORD length = moduleFileName(nullptr, module, sizeof(module));
    if (length == 0 || length >= sizeof(module)) module[0] = 0;
    time_t now = time(nullptr);
    const char* when = ctime(&now);
    fprintf(logStream, "Started executable %s at %s\n", module, when ? when : "\n");
    fflush(logStream);
}

void writeLine(const char* prefix, const char* format, va_list args) {
    if (!openAttempted) openLog();
    if (logStream == nullptr) return;
    fputs(prefix, logStream);
    vfprintf(logStream, format, args);
    fputs("\n", logStream);
    fflush(logStream);
}

}  // namespace

void logInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine("", format, args);
    va_end(args);
}

void logError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeLine("ERROR: ", format, args);
    va_end(args);
}

const char* getLogPath() { return logPathSet ? logPath : nullptr; }

}  // namespace jaunt
