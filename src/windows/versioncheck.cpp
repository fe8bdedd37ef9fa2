#include "versioncheck.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "javaversion.h"
#include "jvmbitness.h"
#include "log.h"
#include "paths.h"
#include "runtimecache.h"
#include "tempdir.h"
#include "WinLoader.h"
#include "wideapi.h"

namespace jaunt {

namespace {

// At most this much of the "-version" output is read; real output is a few lines.
constexpr size_t kVersionOutputLimit = 64 * 1024;

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

// home + tail, without doubling a separator when home already ends in one.
bool joinHome(char* path, size_t capacity, const char* home, const char* tail) {
    bool whole = copyText(path, capacity, home);
    size_t length = textLength(path);
    if (length > 0 && path[length - 1] == '\\') ++tail;
    return appendText(path, capacity, tail) && whole;
}

bool homeHas(const char* home, const char* tail) {
    char path[kTextSize];
    return joinHome(path, sizeof(path), home, tail) && pathExists(path);
}

// A file time as the cache stores it: low 32 bits first, each little-endian.
void encodeFileTime(const FILETIME& time, unsigned char* stamp) {
    DWORD parts[2] = {time.dwLowDateTime, time.dwHighDateTime};
    for (int i = 0; i < 8; ++i) stamp[i] = static_cast<unsigned char>(parts[i / 4] >> (8 * (i % 4)));
}

// The version cached for path when the cache entry's last-write time equals the file's.
bool readCachedVersion(const char* path, const FILETIME& lastWrite, char* version, size_t capacity) {
    char subkey[kTextSize];
    if (!registrySubkeyForPath(subkey, sizeof(subkey), path)) return false;
    HKEY key;
    if (openKey(HKEY_CURRENT_USER, subkey, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool hit = false;
    unsigned char stamp[8];
    DWORD size = sizeof(stamp);
    if (queryValue(key, "LastWriteTime", nullptr, stamp, &size) == ERROR_SUCCESS && size == 8) {
        unsigned char current[8];
        encodeFileTime(lastWrite, current);
        // An empty version is no version: the executable is asked again.
        hit = std::memcmp(stamp, current, 8) == 0 && readRegistryText(key, "Version", version, capacity) &&
              version[0] != 0;
    }
    RegCloseKey(key);
    return hit;
}

void writeCachedVersion(const char* path, const FILETIME& lastWrite, const char* version) {
    char subkey[kTextSize];
    if (!registrySubkeyForPath(subkey, sizeof(subkey), path)) return;
    HKEY key;
    LONG status = createKey(HKEY_CURRENT_USER, subkey, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        logError("RegCreateKeyExA(%s) failed: %ld", subkey, static_cast<long>(status));
        return;
    }
    unsigned char stamp[8];
    encodeFileTime(lastWrite, stamp);
    // A failed write only means the executable is asked again next time.
    status = setValue(key, "LastWriteTime", REG_BINARY, stamp, sizeof(stamp));
    if (status == ERROR_SUCCESS) status = setTextValue(key, "Version", version);
    if (status != ERROR_SUCCESS) logError("RegSetValueExA(%s) failed: %ld", subkey, static_cast<long>(status));
    RegCloseKey(key);
}

// Every version this run determined, by the JVM home of its executable (the text jvmHome() takes
// for it): the search may check several executables before it chooses one.
struct DeterminedVersion {
    std::string home;
    std::string version;
};
std::vector<DeterminedVersion>& determinedVersions() {
    static std::vector<DeterminedVersion> versions;
    return versions;
}

void noteVersion(const char* path, const char* version) {
    char home[kTextSize];
    if (jvmHomeForExecutable(path, home, sizeof(home))) determinedVersions().push_back({home, version});
}

bool readVersionFile(const char* name, char* version, size_t capacity) {
    FILE* file = openFile(name, L"rt");
    if (file == nullptr) return false;
    std::string output(kVersionOutputLimit, '\0');
    size_t got = fread(&output[0], 1, output.size(), file);
    fclose(file);
    return parseVersionOutput(output.data(), got, version, capacity);
}

}  // namespace

bool readRegistryText(void* key, const char* name, char* buffer, size_t capacity) {
    if (capacity == 0) return false;
    buffer[0] = 0;
    // A text longer than the buffer, or a value of another type, reads as nothing.
    if (queryTextValue(static_cast<HKEY>(key), name, buffer, static_cast<DWORD>(capacity)) == ERROR_SUCCESS) return true;
    buffer[0] = 0;
    return false;
}

bool registrySubkeyForPath(char* subkey, size_t capacity, const char* path) {
    bool whole = copyText(subkey, capacity, kVersionCacheKey);
    size_t start = textLength(subkey);
    whole = appendText(subkey, capacity, path) && whole;
    for (char* p = subkey + start; *p; ++p)
        if (*p == '\\') *p = '/';
    return whole;
}

bool javaExeForHome(char* path, size_t capacity, const char* home) {
    bool whole = joinHome(path, capacity, home, "\\jre\\bin\\java.exe");
    if (getConfigInt(KEY_REQUIRE_JDK) != 0) {
        // A JDK has lib\tools.jar up to Java 8 and bin\javac.exe in every version.
        if (!homeHas(home, "\\lib\\tools.jar") && !homeHas(home, "\\bin\\javac.exe")) return false;
    }
    if (whole && pathExists(path)) return true;
    return joinHome(path, capacity, home, "\\bin\\java.exe");
}

bool runJavaVersion(const char* path, char* version, size_t capacity) {
    if (capacity > 0) version[0] = 0;
    // The program is named on its own and quoted on the command line: a path with blanks and without
    // a short form (volumes without 8.3 names) must not start "c:\my.exe" for "c:\my apps\...".
    std::wstring program = wideText(path), shortName;
    if (shortPathName(program.c_str(), &shortName))
        program = shortName;
    else
        logError("GetShortPathNameA(%s) failed: %lu", path, lastError());
    char commandLine[kTextSize];
    if (!formatText(commandLine, sizeof(commandLine), "\"%s\" -version", utf8Text(program).c_str())) return false;
    std::wstring wideCommandLine = wideText(commandLine);

    char outputName[kTextSize];
    if (!tempFileName(outputName, sizeof(outputName))) return false;
    HANDLE opened = createFile(outputName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE output = nullptr;
    if (opened == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) failed: %lu", outputName, lastError());
    } else {
        if (!DuplicateHandle(GetCurrentProcess(), opened, GetCurrentProcess(), &output, 0, TRUE,
                             DUPLICATE_SAME_ACCESS)) {
            logError("DuplicateHandle failed: %lu", lastError());
            output = nullptr;
        }
        CloseHandle(opened);
    }
    if (output == nullptr) {  // nothing could capture the version
        deleteFile(outputName);
        return false;
    }

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdError = output;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(program.c_str(), &wideCommandLine[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process)) {
        logError("CreateProcessA(%s) failed: %lu", commandLine, lastError());
        CloseHandle(output);
        deleteFile(outputName);
        return false;
    }
    WaitForSingleObject(process.hProcess, kVersionRunLimitMs);
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(process.hProcess, &exitCode);
    if (exitCode == STILL_ACTIVE) {
        logError("%s did not end within %lu ms", commandLine, kVersionRunLimitMs);
        TerminateProcess(process.hProcess, 1);
        // Once it has really ended it no longer holds the output file, which can then be removed.
        WaitForSingleObject(process.hProcess, kVersionRunLimitMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(output);

    bool found = exitCode == 0 && readVersionFile(outputName, version, capacity);
    if (exitCode != 0 && exitCode != STILL_ACTIVE) logError("%s ended with code %lu", commandLine, exitCode);
    deleteFile(outputName);
    return found;
}

const char* chosenJavaVersion() {
    static char runtimeVersion[kTextSize];
    if (carriesRuntime()) {
        getConfigString(KEY_RUNTIME_VERSION, runtimeVersion, sizeof(runtimeVersion));
        return runtimeVersion;
    }
    const char* home = jvmHome();
    // The last one wins: a later check of the same executable saw its current version.
    const std::vector<DeterminedVersion>& versions = determinedVersions();
    for (size_t i = versions.size(); i-- > 0;)
        if (home[0] != 0 && lstrcmpiA(versions[i].home.c_str(), home) == 0) return versions[i].version.c_str();
    return "";
}

bool checkJavaExe(char* path, size_t capacity, char* version, size_t versionCapacity, const char* minimum,
                  const char* maximum, bool allowPrerelease) {
    char scratch[kTextSize];
    if (version == nullptr) {
        version = scratch;
        versionCapacity = sizeof(scratch);
    }
    logInfo("checkJavaExe (%s, [out], %s, %s, %d)", path, minimum, maximum, allowPrerelease ? 1 : 0);
    if (versionCapacity > 0) version[0] = 0;

    bool result = false;
    char resolved[kTextSize];
    if (!fullPath(resolved, sizeof(resolved), path, false) || !copyText(path, capacity, resolved)) {
        logError("Path too long: %s", path);
    } else {
        uint32_t low = 0, high = 0;
        if (!pathExists(path, &low, &high)) {
            logInfo("file doesn't exist");
        } else {
            logInfo("file exists");
            FILETIME lastWrite;
            lastWrite.dwLowDateTime = low;
            lastWrite.dwHighDateTime = high;
            bool allow = allowPrerelease || getConfigInt(KEY_ALLOW_PRERELEASE) != 0;
            if (readCachedVersion(path, lastWrite, version, versionCapacity)) {
                logInfo("got version from registry %s", version);
                noteVersion(path, version);
                result = isVersionAcceptable(version, minimum, maximum, allow);
            } else if (runJavaVersion(path, version, versionCapacity)) {
                logInfo("got version from execution %s", version);
                writeCachedVersion(path, lastWrite, version);
                noteVersion(path, version);
                result = isVersionAcceptable(version, minimum, maximum, allow);
            } else {
                logInfo("couldn't get version");
            }
        }
    }
    // A JVM this program cannot load is no candidate, however well its version fits.
    if (result && !hasJvmOfOwnBitness(path)) result = false;
    if (result && getConfigInt(KEY_EXECUTABLE_TYPE) == 1)
        return guiExecutableFor(path, capacity) && pathExists(path);
    logInfo("checkJavaExe returning %d", result ? 1 : 0);
    return result;
}

}  // namespace jaunt
