#include "errors.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "cleanup.h"
#include "config.h"
#include "configkeys.h"
#include "log.h"
#include "paths.h"
#include "splash.h"
#include "wideapi.h"

namespace jaunt {

namespace {

bool dialogs = true;
// Set by the splash thread, read by the thread that reports.
std::atomic<HWND> ownerWindow{nullptr};

std::vector<std::string>& pendingFiles() {
    static std::vector<std::string> files;
    return files;
}

std::vector<std::string>& pendingDirectories() {
    static std::vector<std::string> directories;
    return directories;
}

}  // namespace

void switchOffErrorDialogs() { dialogs = false; }
bool errorDialogsOn() { return dialogs; }
void setErrorOwnerWindow(void* window) { ownerWindow.store(static_cast<HWND>(window)); }

void addPendingFile(const char* path) { pendingFiles().push_back(path); }
void addPendingDirectory(const char* path) { pendingDirectories().push_back(path); }

void recordPendingDeletions() {
    appendRemovalEntries(pendingFiles(), pendingDirectories());
}

namespace {

// A console shows UTF-16 as it is; a pipe or a file receives the UTF-8 bytes.
void writeErrorLine(const char* text) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR &&
        GetConsoleMode(handle, &mode)) {
        std::wstring line = wideText(text) + L"\r\n";
        DWORD written = 0;
        fflush(stderr);
        if (WriteConsoleW(handle, line.c_str(), static_cast<DWORD>(line.size()), &written, nullptr)) return;
    }
    fprintf(stderr, "%s\n", text);
    fflush(stderr);
}

}  // namespace

void composeReport(const char* message, char* buffer, unsigned size) {
    const char* logPath = getLogPath();
    if (logPath == nullptr) {
        copyText(buffer, size, message);
        return;
    }
    char longPath[kTextSize];
    uint32_t length = longPathName(logPath, longPath, sizeof(longPath));
    if (length == 0 || length >= sizeof(longPath)) copyText(longPath, sizeof(longPath), logPath);
    formatText(buffer, size, "%s\n\nLog: %s", message, longPath);
}

void showErrorText(const char* text) {
    recordPendingDeletions();
    splashScreen(0);
    char report[kTextSize];
    composeReport(text, report, sizeof(report));
    if (dialogs) {
        char caption[kTextSize];
        getConfigString(MSG_ERROR_CAPTION, caption, sizeof(caption));
        // The splash thread may end, and its window with it, while the box is made; a box refused
        // for want of its owner is shown without one rather than not at all.
        HWND owner = ownerWindow.load();
        if (showMessageBox(owner, report, caption, MB_ICONERROR) == 0 && owner != nullptr)
            showMessageBox(nullptr, report, caption, MB_ICONERROR);
    } else {
        writeErrorLine(report);
    }
}

void showErrorMessage(int32_t key, const char* placeholder, const char* value) {
    char message[kTextSize];
    getConfigString(key, message, sizeof(message));
    if (placeholder != nullptr) replaceFirst(message, sizeof(message), placeholder, value ? value : "");
    showErrorText(message);
}

void failWithText(const char* text) {
    showErrorText(text);
    ExitProcess(1);
}

void failWithMessage(int32_t key, const char* placeholder, const char* value) {
    showErrorMessage(key, placeholder, value);
    ExitProcess(1);
}

void exitLauncher(unsigned code) {
    recordPendingDeletions();
    ExitProcess(code);
}

}  // namespace jaunt
