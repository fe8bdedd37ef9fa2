#include "tempdir.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "boundedtext.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "jvmtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

constexpr char kPoweruserMessage[] = "I am sorry, but you must be at least Poweruser to run this program.\n";

// The fallbacks, in order, for a temporary path whose long form is not representable.
bool chooseFallback(char* buffer, size_t size) {
    char windows[kTextSize];
    UINT length = windowsDirectory(windows, sizeof(windows));
    if (length == 0 || length >= sizeof(windows)) windows[0] = 0;

    char candidate[kTextSize];
    if (windows[0] != 0 && formatText(candidate, sizeof(candidate), "%s\\temp", windows) &&
        isWritableDirectory(candidate))
        return copyText(buffer, size, candidate);
    for (const char* fixed : {"c:\\temp", "c:\\tmp"})
        if (isWritableDirectory(fixed)) return copyText(buffer, size, fixed);
    if (windows[0] != 0 && isWritableDirectory(windows)) return copyText(buffer, size, windows);
    // The root itself is never used: a writable root gets a c:\tmp of its own.
    if (isWritableDirectory("c:\\")) {
        createDirectory("c:\\tmp", nullptr);
        if (isWritableDirectory("c:\\tmp")) return copyText(buffer, size, "c:\\tmp");
    }
    return false;
}

// The long form of the platform's temporary path, as longPathName gives it. Extraction and the
// cleanup of earlier runs both need it, and every lookup walks each folder of the path, which
// costs Wine about a millisecond; a successful lookup is kept for the same text.
uint32_t longTempPath(const char* platform, char* buffer, uint32_t size) {
    static char lastPlatform[kTextSize];
    static char lastLong[kTextSize];
    static uint32_t lastLength = 0;
    if (lastLength == 0 || std::strcmp(lastPlatform, platform) != 0) {
        uint32_t length = longPathName(platform, buffer, size);
        if (length > 0 && length < size && copyText(lastLong, sizeof(lastLong), buffer) &&
            copyText(lastPlatform, sizeof(lastPlatform), platform))
            lastLength = length;
        else
            lastLength = 0;
        return length;
    }
    if (lastLength >= size) return lastLength + 1;
    copyText(buffer, size, lastLong);
    return lastLength;
}

}  // namespace

bool isWritableDirectory(const char* directory) {
    // The process id keeps the probes of launchers that start at the same moment apart: one could
    // otherwise remove the other's probe, or find it in the way, and judge the directory wrongly.
    char probe[kTextSize];
    if (!formatText(probe, sizeof(probe), "%s\\jnt_w_testdir_%lu", directory,
                    static_cast<unsigned long>(GetCurrentProcessId())))
        return false;
    removeDirectory(probe);  // a probe left over by an interrupted run of the same process id
    if (!createDirectory(probe, nullptr)) return false;
    bool exists = pathExists(probe);
    removeDirectory(probe);
    return exists;
}

void tempDirectory(char* buffer, size_t size) {
    char platform[kTextSize];
    DWORD length = tempPath(sizeof(platform), platform);
    if (length == 0 || length >= sizeof(platform)) platform[0] = 0;

    // The directory holds what goes on the class path, so its long form must be one the JVM reads:
    // text in the system's code page. When the long form cannot be had, the platform's own text is
    // examined.
    char longForm[kTextSize];
    uint32_t longLength = longTempPath(platform, longForm, sizeof(longForm));
    const char* examined = longLength > 0 && longLength < sizeof(longForm) ? longForm : platform;
    if (platform[0] != 0 && representableInAnsi(examined) && copyText(buffer, size, platform)) return;

    logInfo("Temporary directory %s is not usable, trying the fallbacks", platform);
    if (chooseFallback(buffer, size)) return;

    if (errorDialogsOn()) {
        showMessageBox(nullptr, kPoweruserMessage, "Error", MB_ICONERROR);
    } else {
        fputs(kPoweruserMessage, stderr);
        fflush(stderr);
    }
    exitLauncher(1);
}

std::vector<std::string> temporaryRoots() {
    std::vector<std::string> roots;
    auto add = [&roots](std::string root) {
        while (!root.empty() && root.back() == '\\') root.pop_back();
        if (!root.empty()) roots.push_back(root);
    };
    char platform[kTextSize];
    DWORD length = tempPath(sizeof(platform), platform);
    if (length > 0 && length < sizeof(platform)) {
        add(platform);
        char longForm[kTextSize];
        uint32_t longLength = longTempPath(platform, longForm, sizeof(longForm));
        if (longLength > 0 && longLength < sizeof(longForm)) add(longForm);
    }
    char windows[kTextSize];
    UINT windowsLength = windowsDirectory(windows, sizeof(windows));
    if (windowsLength > 0 && windowsLength < sizeof(windows)) {
        add(std::string(windows) + "\\temp");
        add(windows);
    }
    add("c:\\temp");
    add("c:\\tmp");
    return roots;
}

bool tempFileName(char* buffer, size_t size) {
    char directory[kTextSize];
    tempDirectory(directory, sizeof(directory));
    // As GetTempFileName names them ("jnt" and four hex digits), but in a directory of any length.
    const char* separator = directory[0] != 0 && directory[textLength(directory) - 1] == '\\' ? "" : "\\";
    unsigned start = static_cast<unsigned>(GetTickCount() ^ (GetCurrentProcessId() << 4));
    for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
        unsigned unique = (start + attempt) & 0xffffu;
        if (unique == 0) continue;
        char name[kTextSize];
        if (!formatText(name, sizeof(name), "%s%sjnt%04X.tmp", directory, separator, unique)) break;
        HANDLE file = createFile(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return copyText(buffer, size, name);
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) break;
    }
    logError("GetTempFileNameA(%s) failed: %lu", directory, static_cast<unsigned long>(GetLastError()));
    return false;
}

bool processCommFileName(char* buffer, size_t size, unsigned long processId) {
    char platform[kTextSize];
    DWORD length = tempPath(sizeof(platform), platform);
    if (length == 0 || length >= sizeof(platform)) return false;
    return formatText(buffer, size, "%sjnt_p%lu.tmp", platform, processId);
}

}  // namespace jaunt
