#include "console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "config.h"
#include "configkeys.h"
#include "log.h"

namespace jaunt {

namespace {

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

// A handle the parent gave: a file, a pipe or a character device (NUL, a console).
bool isGiven(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

HANDLE openConsoleOutput(const char* name) {
    HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) logError("CreateFileA(CONOUT$) for %s failed: %lu", name, lastError());
    return console;
}

// The standard handle and the C runtime's stream, both on the console's output.
void pointAtConsole(DWORD which, FILE* stream, const char* name) {
    HANDLE console = openConsoleOutput(name);
    if (console == INVALID_HANDLE_VALUE) return;
    if (!SetStdHandle(which, console)) logError("SetStdHandle(%s) failed: %lu", name, lastError());
    // A stream whose standard handle was missing at start-up has no descriptor (-2), and Wine's C
    // runtime refuses to reopen such a stream (Windows' does not). One of its own lets both.
    if (_fileno(stream) < 0) {
        HANDLE own = openConsoleOutput(name);
        int descriptor = own == INVALID_HANDLE_VALUE ? -1 : _open_osfhandle(reinterpret_cast<intptr_t>(own), _O_TEXT);
        if (descriptor >= 0) stream->_file = descriptor;
    }
    if (freopen("CONOUT$", "w", stream) == nullptr)
        logError("freopen(CONOUT$) for %s failed", name);
    else if (stream == stderr)
        setvbuf(stream, nullptr, _IONBF, 0);
    logInfo("%s goes to the console", name);
}

}  // namespace

void attachParentConsole() {
    char mode[16];
    getConfigString(KEY_CONSOLE, mode, sizeof(mode));
    if (std::strcmp(mode, "attach") != 0) return;
    if (GetConsoleWindow() != nullptr) {
        logInfo("The launcher has a console of its own");
        return;
    }
    bool output = !isGiven(GetStdHandle(STD_OUTPUT_HANDLE));
    bool error = !isGiven(GetStdHandle(STD_ERROR_HANDLE));
    if (!output && !error) {
        logInfo("Standard output and error are redirected: no console attached");
        return;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        logInfo("No console to attach to: %lu", lastError());
        return;
    }
    if (output) pointAtConsole(STD_OUTPUT_HANDLE, stdout, "standard output");
    if (error) pointAtConsole(STD_ERROR_HANDLE, stderr, "standard error");
}

}  // namespace jaunt
