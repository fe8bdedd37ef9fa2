#include "WinLoader.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "environment.h"
#include "errors.h"
#include "javaversion.h"
#include "jreunpack.h"
#include "jvmbitness.h"
#include "jvmregistry.h"
#include "log.h"
#include "paths.h"
#include "runtimecache.h"
#include "searchsequence.h"
#include "versioncheck.h"
#include "jvmtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

char homeText[kTextSize];
HMODULE library = nullptr;
CreateJavaVmFunction createEntry = nullptr;

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

// Makes directory part of the DLL search, so that a JVM library finds the runtime DLLs that lie
// beside its Java executable. Null restores the default search. Systems without SetDllDirectoryA
// keep the default search.
void setDllDirectory(const char* directory) {
    typedef BOOL(WINAPI * SetDllDirectoryRoutine)(LPCWSTR);
    SetDllDirectoryRoutine routine = kernelRoutine<SetDllDirectoryRoutine>("SetDllDirectoryW");
    if (routine != nullptr && !routine(directory ? wideText(directory).c_str() : nullptr))
        logError("SetDllDirectoryA(%s) failed: %lu", directory ? directory : "(null)", lastError());
}

// directory + name, without doubling the separator between them.
bool joinPath(char* path, size_t capacity, const char* directory, const char* name) {
    bool whole = copyText(path, capacity, directory);
    size_t length = textLength(path);
    if (length > 0 && path[length - 1] == '\\' && name[0] == '\\') ++name;
    return appendText(path, capacity, name) && whole;
}

// Searches with the current directory after the system directories (safe search mode), so that
// a java.exe planted in whatever directory the launcher was started from does not come first.
// Systems without SetSearchPathMode keep the default order.
void useSafeSearchMode() {
    typedef BOOL(WINAPI * SetSearchPathModeRoutine)(DWORD);
    SetSearchPathModeRoutine routine = kernelRoutine<SetSearchPathModeRoutine>("SetSearchPathMode");
    if (routine != nullptr && !routine(BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE))
        logError("SetSearchPathMode failed: %lu", lastError());
}

// "No JVM found": message 1001, and after a candidate skipped for its bitness a line naming it.
void showNoJvm() {
    char note[kTextSize];
    if (!skippedBitnessNote(note, sizeof(note))) {
        showErrorMessage(MSG_NO_JVM, nullptr, nullptr);
        return;
    }
    char message[kTextSize];
    getConfigString(MSG_NO_JVM, message, sizeof(message));
    appendText(message, sizeof(message), "\n");
    appendText(message, sizeof(message), note);
    showErrorText(message);
}

void showFailure(JvmSource source, const char* definedPath) {
    switch (source) {
    case JvmSource::Path:
        showErrorMessage(MSG_JVM_IN_PATH_DAMAGED, nullptr, nullptr);
        break;
    case JvmSource::Environment:
        showErrorMessage(MSG_JVM_ENV_VAR_UNUSABLE, "%ENV_VAR_NAME%", definedPath);
        break;
    case JvmSource::Location:
        showErrorMessage(MSG_JVM_AT_PATH_DAMAGED, "%DEFINED_PATH%", definedPath);
        break;
    case JvmSource::Registry:
        showErrorMessage(MSG_LAUNCH_FAILED, nullptr, nullptr);
        break;
    case JvmSource::None:
        showNoJvm();
        break;
    }
}

}  // namespace

const char* jvmHome() { return homeText; }
void* jvmLibrary() { return library; }
CreateJavaVmFunction createJavaVmEntry() { return createEntry; }

bool readLocationFile(const char* fileName, char* location, size_t capacity) {
    if (capacity > 0) location[0] = 0;
    char directory[kTextSize];
    getConfigString(KEY_INSTALLATION_DIRECTORY, directory, sizeof(directory));
    char resolved[kTextSize];
    char file[kTextSize];
    if (!fullPath(resolved, sizeof(resolved), directory, false) || !joinPath(file, sizeof(file), resolved, fileName))
        return false;
    FILE* stream = openFile(file, L"rt");
    if (stream == nullptr) return false;
    char text[kTextSize];
    size_t got = fread(text, 1, sizeof(text) - 1, stream);
    fclose(stream);
    if (!locationFromFileText(text, got, location, capacity)) return false;
    // The installer writes the file in the system's code page.
    return copyText(location, capacity, utf8FromAnsi(location).c_str());
}

bool testLocation(char* javaExe, size_t capacity, const char* location, const char* minimum, const char* maximum,
                  bool skipVersionCheck) {
    if (capacity > 0) javaExe[0] = 0;
    char resolved[kTextSize];
    if (!fullPath(resolved, sizeof(resolved), location, false)) {
        logError("Location too long: %s", location);
        return false;
    }
    prepareJre(resolved);
    bool derived = javaExeForHome(javaExe, capacity, resolved);
    if (skipVersionCheck) return true;
    if (!derived) return false;
    return checkJavaExe(javaExe, capacity, nullptr, 0, minimum, maximum, true);
}

bool testEnvironmentVariable(char* javaExe, size_t capacity, const char* name, const char* minimum,
                             const char* maximum) {
    char home[kTextSize];
    DWORD length = environmentVariable(name, home, sizeof(home));
    if (length == 0 || length >= sizeof(home)) return false;  // unset, empty, or longer than a path
    for (char* p = home; *p; ++p)
        if (*p == '/') *p = '\\';
    if (!javaExeForHome(javaExe, capacity, home)) return false;
    return checkJavaExe(javaExe, capacity, nullptr, 0, minimum, maximum, false);
}

bool testSearchPath(char* javaExe, size_t capacity, const char* minimum, const char* maximum) {
    wchar_t found[kTextSize];
    useSafeSearchMode();
    DWORD length = SearchPathW(nullptr, L"java.exe", nullptr, kTextSize, found, nullptr);
    if (length == 0 || length >= kTextSize || !copyText(javaExe, capacity, utf8Text(found, length).c_str())) return false;
    return checkJavaExe(javaExe, capacity, nullptr, 0, minimum, maximum, false);
}

JvmSource searchJvm(char* javaExe, size_t capacity, char* definedPath, size_t definedCapacity) {
    logInfo("Searching for a JVM");
    char sequence[kTextSize], minimum[kTextSize], maximum[kTextSize];
    getConfigString(KEY_SEARCH_SEQUENCE, sequence, sizeof(sequence));
    getConfigString(KEY_MIN_VERSION, minimum, sizeof(minimum));
    getConfigString(KEY_MAX_VERSION, maximum, sizeof(maximum));
    if (definedCapacity > 0) definedPath[0] = 0;

    char location[kTextSize];
    if (readLocationFile(kPreferredLocationFile, location, sizeof(location))) {
        logInfo("Has preferred location %s", location);
        if (testLocation(javaExe, capacity, location, minimum, maximum, false)) {
            logInfo("Using preferred location");
            copyText(definedPath, definedCapacity, location);
            return JvmSource::Location;
        }
    }

    std::vector<SearchEntry> entries = parseSearchSequence(sequence);
    for (const SearchEntry& entry : entries) {
        const char* argument = entry.argument.c_str();
        logInfo("Testing location %s (type %c)", argument, entry.letter);
        switch (entry.letter) {
        case 'A':
        case 'B':
        case 'R':
            if (testLocation(javaExe, capacity, argument, minimum, maximum, false)) {
                copyText(definedPath, definedCapacity, argument);
                return JvmSource::Location;
            }
            break;
        case 'E':
            if (testEnvironmentVariable(javaExe, capacity, argument, minimum, maximum)) {
                copyText(definedPath, definedCapacity, argument);
                return JvmSource::Environment;
            }
            break;
        case 'S':
            if (testSearchPath(javaExe, capacity, minimum, maximum)) {
                copyText(definedPath, definedCapacity, argument);
                return JvmSource::Path;
            }
            break;
        case 'Y':
            if (findJvmInRegistry(javaExe, capacity, minimum, maximum)) return JvmSource::Registry;
            break;
        default:
            break;
        }
    }
    logInfo("Search sequence finished");

    const char* variable = productJavaHomeVariable(flavourLetter());
    if (variable != nullptr && testEnvironmentVariable(javaExe, capacity, variable, minimum, maximum)) {
        copyText(definedPath, definedCapacity, variable);
        return JvmSource::Environment;
    }

    if (readLocationFile(kInstallerLocationFile, location, sizeof(location))) {
        logInfo("Has installer location %s", location);
        if (testLocation(javaExe, capacity, location, minimum, maximum, false)) {
            logInfo("Using installer location");
            copyText(definedPath, definedCapacity, location);
            return JvmSource::Location;
        }
    }

    // Directories once more, without any version limit: an installation whose Java executable
    // exists is better than none.
    for (const SearchEntry& entry : entries) {
        if (!isTriedInFallbackPass(entry)) continue;
        const char* argument = entry.argument.c_str();
        logInfo("Testing relative location %s", argument);
        if (testLocation(javaExe, capacity, argument, minimum, maximum, true) && pathExists(javaExe) &&
            hasJvmOfOwnBitness(javaExe)) {
            logInfo("%s exists", javaExe);
            copyText(definedPath, definedCapacity, argument);
            return JvmSource::Location;
        }
    }
    return JvmSource::None;
}

void* tryJvmLibrary(const char* javaExe, const char* vmType) {
    char directory[kTextSize];
    char candidate[kTextSize];
    copyTextN(directory, sizeof(directory), javaExe, executableDirectoryLength(javaExe));
    if (!formatText(candidate, sizeof(candidate), "%s%s\\jvm.dll", directory, vmType)) {
        logError("JVM library path too long: %s", candidate);
        return nullptr;
    }
    bool exists = pathExists(candidate);
    logInfo("Trying %s (exists %d)", candidate, exists ? 1 : 0);
    setDllDirectory(directory);
    // A library that cannot be loaded must not raise a system dialog: the next candidate follows.
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // The library's own directory takes the place of the launcher's in the search for its
    // dependencies, so that a DLL planted beside the launcher (a downloads folder) is not loaded.
    // Loaded under a name the JVM's own (narrow, fixed-size) calls can read back, since it finds
    // its other files from it: the short form where the long one cannot serve.
    std::string loadName;
    if (!jvmReadablePath(candidate, &loadName, true) && exists) logInfo("Java may not read the path %s", candidate);
    HMODULE loaded = loadLibrary(loadName.c_str(), LOAD_WITH_ALTERED_SEARCH_PATH);
    unsigned long error = lastError();
    SetErrorMode(oldMode);
    if (loaded == nullptr && exists) logError("LoadLibraryExA(%s) failed with error %lu", candidate, error);
    return loaded;
}

void* loadJvmLibraryForExe(const char* javaExe) {
    void* loaded = nullptr;
    char preferred[kTextSize];
    getConfigString(KEY_PREFERRED_VM_TYPE, preferred, sizeof(preferred));
    if (preferred[0] != 0) loaded = tryJvmLibrary(javaExe, preferred);
    for (const char* type : kVmTypes) {
        if (loaded != nullptr) break;
        loaded = tryJvmLibrary(javaExe, type);
    }
    return loaded;
}

void* loadJvmLibrary(const char* javaExe) {
    void* loaded = loadJvmLibraryForExe(javaExe);
    if (loaded != nullptr) return loaded;
    // A JDK whose own bin holds no VM: the JRE inside it.
    char embedded[kTextSize];
    copyTextN(embedded, sizeof(embedded), javaExe, executableDirectoryLength(javaExe));
    if (appendText(embedded, sizeof(embedded), "..\\jre\\bin\\java.exe")) loaded = loadJvmLibraryForExe(embedded);
    if (loaded == nullptr) setDllDirectory(nullptr);
    return loaded;
}

bool resolveCreateJavaVm(void* module) {
    if (module == nullptr) return false;
    FARPROC entry = GetProcAddress(static_cast<HMODULE>(module), "JNI_CreateJavaVM");
    if (entry == nullptr) return false;
    createEntry = reinterpret_cast<CreateJavaVmFunction>(reinterpret_cast<void*>(entry));
    return true;
}

bool LoadDLL(bool reportErrors, const char* providedLocation, bool locationIsJavaExe) {
    logInfo("LoadDLL (%d, %s, %d)", reportErrors ? 1 : 0, providedLocation ? providedLocation : "(null)",
            locationIsJavaExe ? 1 : 0);
    char javaExe[kTextSize];
    char definedPath[kTextSize];
    javaExe[0] = definedPath[0] = 0;
    JvmSource source = JvmSource::None;
    clearSkippedBitness();
    if (providedLocation == nullptr && carriesRuntime()) {
        // The application's own runtime is its Java: no search, no version check.
        char home[kTextSize];
        prepareCarriedRuntime(home, sizeof(home));
        if (!formatText(javaExe, sizeof(javaExe), "%s\\bin\\java.exe", home)) {
            logError("Runtime path too long: %s", home);
            if (reportErrors) showNoJvm();
            return false;
        }
        source = JvmSource::Location;
        copyText(definedPath, sizeof(definedPath), home);
    } else if (providedLocation != nullptr) {
        logInfo("Got JRE location %s (java exe: %d)", providedLocation, locationIsJavaExe ? 1 : 0);
        char minimum[kTextSize], maximum[kTextSize];
        getConfigString(KEY_MIN_VERSION, minimum, sizeof(minimum));
        getConfigString(KEY_MAX_VERSION, maximum, sizeof(maximum));
        logInfo("MinVersion: %s, MaxVersion: %s", minimum, maximum);
        bool accepted = false;
        if (locationIsJavaExe)
            accepted = copyText(javaExe, sizeof(javaExe), providedLocation) &&
                       checkJavaExe(javaExe, sizeof(javaExe), nullptr, 0, minimum, maximum, true);
        else
            accepted = testLocation(javaExe, sizeof(javaExe), providedLocation, minimum, maximum, true) &&
                       hasJvmOfOwnBitness(javaExe);
        if (!accepted) {
            logError("Provided JVM unusable");
            if (reportErrors) showNoJvm();
            return false;
        }
        source = JvmSource::Location;
        copyText(definedPath, sizeof(definedPath), providedLocation);
    } else {
        source = searchJvm(javaExe, sizeof(javaExe), definedPath, sizeof(definedPath));
        if (source == JvmSource::None) {
            logError("No JVM found");
            if (reportErrors) showNoJvm();
            return false;
        }
    }

    logInfo("Trying to load JVM-DLL from %s", javaExe);
    library = static_cast<HMODULE>(loadJvmLibrary(javaExe));
    jvmHomeForExecutable(javaExe, homeText, sizeof(homeText));
    if (library == nullptr) logError("Could not get DLL-Handle.");
    if (resolveCreateJavaVm(library)) {
        logInfo("Loading of JVM-DLL successful");
        return true;
    }
    logError("Could not load functions");
    if (reportErrors) showFailure(source, definedPath);
    return false;
}

}  // namespace jaunt
