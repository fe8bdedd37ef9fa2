#include "environment.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "log.h"
#include "pathtext.h"
#include "paths.h"
#include "wideapi.h"

namespace jaunt {

namespace {

HMODULE moduleHandle = nullptr;
char flavour = 0;

// The longest value an environment variable can hold (32767 units with the terminator).
constexpr size_t kPathValueLimit = 32766;

std::string currentPath() {
    bool defined = false;
    return environmentValue("PATH", &defined);
}

}  // namespace

bool isWindowsNT() {
    OSVERSIONINFOA info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);  // 148 bytes
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    BOOL ok = GetVersionExA(&info);
#pragma GCC diagnostic pop
    return ok && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

void* launcherModuleHandle() { return moduleHandle; }
char flavourLetter() { return flavour; }

void prependToPath(const char* directories) {
    char prefix[kTextSize];
    if (!resolvePathList(prefix, sizeof(prefix), directories)) logError("PATH prefix too long, cut");
    // Nothing to add: PATH stays exactly as the launcher was given it, however long it is.
    if (prefix[0] == 0) return;
    std::string oldPath = currentPath();
    std::string value = composePathValue(prefix, oldPath, kPathValueLimit);
    size_t kept = value.size() - composePathValue(prefix, std::string(), kPathValueLimit).size();
    if (kept < oldPath.size()) {
        // Only whole entries at the end can be lost; name them, so that a missing tool is explained.
        while (kept < oldPath.size() && oldPath[kept] == ';') ++kept;
        logError("PATH too long, left out: %s", oldPath.c_str() + kept);
    }
    if (!setEnvironmentVariable("PATH", value.c_str()))
        logError("SetEnvironmentVariableA(PATH) failed: %lu", static_cast<unsigned long>(GetLastError()));
    else
        logInfo("PATH: %s", value.c_str());
    // The runtime's copy takes a text of any length.
    std::wstring assignment = L"PATH=" + wideText(value.c_str());
    if (_wputenv(assignment.c_str()) != 0) logError("_putenv(PATH) failed");
}

void changeWorkingDirectory(const char* directory) {
    if (directory[0] == 0) return;
    char resolved[kTextSize];
    if (!fullPath(resolved, sizeof(resolved), directory, false)) {
        logError("Working directory too long: %s", directory);
        return;
    }
    if (!setCurrentDirectory(resolved))
        logError("SetCurrentDirectoryA(%s) failed: %lu", resolved, static_cast<unsigned long>(GetLastError()));
    else
        logInfo("Working directory: %s", resolved);
}

void initEnvironment(void* module) {
    readConfiguration();
    moduleHandle = static_cast<HMODULE>(module);

    char letter[2];
    getConfigString(KEY_FLAVOUR, letter, sizeof(letter));
    flavour = letter[0];

    char directories[kTextSize];
    getConfigString(KEY_PATH_PREFIX, directories, sizeof(directories));
    prependToPath(directories);

    char workingDirectory[kTextSize];
    getConfigString(KEY_WORKING_DIRECTORY, workingDirectory, sizeof(workingDirectory));
    changeWorkingDirectory(workingDirectory);
}

}  // namespace jaunt
