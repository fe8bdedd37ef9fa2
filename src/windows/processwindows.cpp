#include "processwindows.h"

#include <windows.h>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"

namespace jaunt {

namespace {

// What an enumeration needs travels with the call, so that the main thread activating windows and
// the splash thread counting them never share a target or a counter.
struct WindowWalk {
    DWORD processId;
    bool restoreMinimised;
    HWND console;
    int count;
};

bool belongsTo(HWND window, DWORD processId) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == processId;
}

BOOL CALLBACK activateWindow(HWND window, LPARAM parameter) {
    const WindowWalk* walk = reinterpret_cast<const WindowWalk*>(parameter);
    if (!IsWindowVisible(window) || !belongsTo(window, walk->processId)) return TRUE;
    if (walk->restoreMinimised && IsIconic(window)) {
        // ShowWindow on another thread's window waits until that thread handles the message, for
        // ever when the application is busy or hung; the asynchronous form leaves it to that thread.
        if (GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId())
            ShowWindow(window, SW_RESTORE);
        else
            ShowWindowAsync(window, SW_RESTORE);
    }
    SetForegroundWindow(window);
    SetForegroundWindow(GetLastActivePopup(window));
    return TRUE;
}

BOOL CALLBACK countWindow(HWND window, LPARAM parameter) {
    WindowWalk* walk = reinterpret_cast<WindowWalk*>(parameter);
    if (IsWindowVisible(window) && belongsTo(window, walk->processId) && window != walk->console) ++walk->count;
    return TRUE;
}

bool consoleDetermined = false;
HWND consoleWindow = nullptr;

}  // namespace

void activateProcessWindows(unsigned long processId, bool restoreMinimised) {
    WindowWalk walk{processId, restoreMinimised, nullptr, 0};
    EnumWindows(activateWindow, reinterpret_cast<LPARAM>(&walk));
}

int countProcessWindows(unsigned long processId) {
    WindowWalk walk{processId, false, static_cast<HWND>(findConsoleWindow()), 0};
    EnumWindows(countWindow, reinterpret_cast<LPARAM>(&walk));
    return walk.count;
}

// The console window is found by a title nobody else has: the console's own title is set to it
// for a moment and the window bearing it looked up, then the title is put back.
void* findConsoleWindow() {
    if (consoleDetermined) return consoleWindow;
    consoleDetermined = true;
    if (getConfigInt(KEY_EXECUTABLE_TYPE) == 1) return nullptr;
    char saved[kTextSize];
    if (GetConsoleTitleA(saved, sizeof(saved)) == 0) return nullptr;
    char unique[64];
    formatText(unique, sizeof(unique), "%lu/%lu", static_cast<unsigned long>(GetTickCount()),
               static_cast<unsigned long>(GetCurrentProcessId()));
    if (!SetConsoleTitleA(unique)) return nullptr;
    Sleep(40);  // the console host applies the new title asynchronously
    consoleWindow = FindWindowA(nullptr, unique);
    SetConsoleTitleA(saved);
    return consoleWindow;
}

}  // namespace jaunt
