#include "log.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "boundedtext.h"

namespace jaunt {

namespace {

bool openAttempted = false;
FILE* logStream = nullptr;
char logPath[kTextSize];
bool logPathSet = false;

bool variableIsYes(const char* name) {
    char value[kTextSize];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    return length > 0 && length < sizeof(value) && std::strcmp(value, "yes") == 0;
}

void openLog() {
    openAttempted = true;
    bool requested = variableIsYes("JAUNT_LOG");
    if (variableIsYes("BUNDLEKIT_LOG")) requested = true;
    if (!requested) return;

    // _tempnam uses the TMP directory when that is set and valid, "c:\" otherwise.
    char* name = _tempnam("c:\\", "bkt_nlog_");
    if (name != nullptr) {
        logPathSet = copyText(logPath, sizeof(logPath), name);
        free(name);
        if (logPathSet) logStream = fopen(logPath, "w");
    }
    if (logStream == nullptr) {
        copyText(logPath, sizeof(logPath), "c:\\bkt_nlog");
        logPathSet = true;
        logStream = fopen(logPath, "w");
        if (logStream == nullptr) return;
    }

    char module[kTextSize];
    DWORD length = GetModuleFileNameA(nullptr, module, sizeof(module));
    module[length < sizeof(module) ? length : sizeof(module) - 1] = 0;
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
