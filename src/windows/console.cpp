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
#include "wideapi.h"

namespace jaunt {

namespace {

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

// What the parent gave as a standard handle. A character device may be NUL, kept as it is, or a
// handle of the parent's console that came along with the parent's handles, which this process can
// use only once it is attached to that console.
enum class Given { Nothing, Redirected, Device };
Given givenHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return Given::Nothing;
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK:
        case FILE_TYPE_PIPE:
            return Given::Redirected;
        case FILE_TYPE_CHAR:
            return Given::Device;
        default:
            return Given::Nothing;
    }
}

// After attaching: a stream with nothing, or with a handle of the console, goes to the console.
bool goesToConsole(DWORD which, Given given) {
    DWORD mode = 0;
    return given == Given::Nothing || (given == Given::Device && GetConsoleMode(GetStdHandle(which), &mode));
}

HANDLE openConsoleOutput(const char* name) {
    HANDLE console = createFile("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) logError("CreateFileA(CONOUT$) for %s failed: %lu", name, lastError());
    return console;
}

// The standard handle and the C runtime's stream, both on the console's output.
void pointAtConsole(DWORD which, FILE* stream, const char* name) {
    HANDLE console = openConsoleOutput(name);
    if (console == INVALID_HANDLE_VALUE) return;
    if (!SetStdHandle(which, console)) logError("SetStdHandle(%s) failed: %lu", name, lastError());
    // A stream whose standard handle was missing at start-up may have no descriptor (-2), and the C
    // runtime may then refuse to reopen it (Wine's does). A descriptor of its own lets it.
    if (_fileno(stream) < 0) {
        HANDLE own = openConsoleOutput(name);
        int descriptor = own == INVALID_HANDLE_VALUE ? -1 : _open_osfhandle(reinterpret_cast<intptr_t>(own), _O_TEXT);
        if (descriptor >= 0) stream->_file = descriptor;
    }
    if (freopen("CONOUT$", "w", stream) == nullptr) {
        logError("freopen(CONOUT$) for %s failed", name);
        return;
    }
    if (stream == stderr) setvbuf(stream, nullptr, _IONBF, 0);
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
    Given output = givenHandle(STD_OUTPUT_HANDLE), error = givenHandle(STD_ERROR_HANDLE);
    if (output == Given::Redirected && error == Given::Redirected) {
        logInfo("Standard output and error are redirected: no console attached");
        return;
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        logInfo("No console to attach to: %lu", lastError());
        return;
    }
    if (goesToConsole(STD_OUTPUT_HANDLE, output)) pointAtConsole(STD_OUTPUT_HANDLE, stdout, "standard output");
    if (goesToConsole(STD_ERROR_HANDLE, error)) pointAtConsole(STD_ERROR_HANDLE, stderr, "standard error");
}

}  // namespace jaunt
