// The launcher's entry point: one fixed sequence of stages on the main thread. Every stage returns
// normally or ends the process itself through the error unit.
#include <windows.h>

#include "arguments.h"
#include "cleanup.h"
#include "cmdline.h"
#include "config.h"
#include "configkeys.h"
#include "console.h"
#include "environment.h"
#include "errors.h"
#include "extraction.h"
#include "launch.h"
#include "log.h"
#include "singleinstance.h"
#include "splash.h"
#include "taskbar.h"
#include "WinLoader.h"

namespace {

// A restart needs the shutdown privilege, which a process token holds but does not enable.
void requestReboot() {
    jaunt::logInfo("Requesting a restart");
    HANDLE token = nullptr;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        CloseHandle(token);
    }
    if (!ExitWindowsEx(EWX_REBOOT, 0))
        jaunt::logError("ExitWindowsEx failed: %lu", static_cast<unsigned long>(GetLastError()));
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    // The switches are read from the command line after the program name, formed here the same
    // way the runtime forms WinMain's own argument.
    const char* tail = jaunt::commandLineTail(GetCommandLineA());

    if (jaunt::isRebootRequest(tail)) {
        Sleep(5000);
        requestReboot();
    }
    if (jaunt::isQuietRequest(tail)) jaunt::switchOffErrorDialogs();

    jaunt::initEnvironment(GetModuleHandleA(nullptr) ? GetModuleHandleA(nullptr) : instance);
    // Before any window (the splash, the application's) and before the JVM library is loaded, whose
    // runtime takes the standard handles as it finds them.
    jaunt::setTaskbarIdentity();
    jaunt::attachParentConsole();

    if (!jaunt::extractIncludedFiles()) jaunt::failWithMessage(jaunt::MSG_INTERNAL_ERROR, "%ERROR_CODE%", "16");

    jaunt::singleInstanceGuard(true, true);

    jaunt::removeStaleFiles();

    // The start-up's show command: 0 (started hidden) is the hide request, so no splash appears.
    if (jaunt::getConfigInt(jaunt::KEY_SPLASH) != 0) jaunt::splashScreen(showCommand);

    if (!jaunt::LoadDLL(true, nullptr, false)) jaunt::exitLauncher(83);

    jaunt::recordPendingDeletions();

    jaunt::WideArgumentList arguments;
    jaunt::splitCommandLine(GetCommandLineW(), &arguments);

    if (!jaunt::launch(arguments, true)) jaunt::failWithMessage(jaunt::MSG_LAUNCH_FAILED, nullptr, nullptr);

    return 0;
}
