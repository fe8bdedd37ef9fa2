#include "jreunpack.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "boundedtext.h"
#include "configkeys.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "wideapi.h"

namespace jaunt {

namespace {

// In this order. unpack200 -r removes an archive's packed file only once the archive is written, so
// a JRE counts as prepared exactly when none of these packed files is left.
const char* const kPackedArchives[] = {"lib\\rt.jar",     "lib\\charsets.jar",          "lib\\plugin.jar",
                                       "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar"};

// How long one unpack200 run may take, and how long a launcher waits for another one that prepares
// the same JRE; unpacking the largest archives takes seconds, rarely minutes.
constexpr DWORD kPreparationBoundMs = 5 * 60 * 1000;
DWORD preparationBoundMs = kPreparationBoundMs;

uint64_t fnv1a64(const char* text) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (; *text; ++text) {
        hash ^= static_cast<unsigned char>(*text);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

// True when the packed file of any archive is still there: a preparation that was never done, or
// one that ended midway (the launcher was killed, unpack200 failed or was stopped).
bool packedArchiveLeft(const char* directory) {
    for (const char* archive : kPackedArchives) {
        char packed[kTextSize];
        if (formatText(packed, sizeof(packed), "%s\\%s.pack", directory, archive) && pathExists(packed)) return true;
    }
    return false;
}

// Every archive whose packed file is still there is unpacked again, whatever the state of the others.
void unpackArchives(const char* directory) {
    if (!packedArchiveLeft(directory)) return;
    logInfo("Unpacking JRE");
    fputs("Preparing JRE ...\n", stdout);
    fflush(stdout);
    for (const char* archive : kPackedArchives) unpackJar(directory, archive);
    logInfo("Unpacking JRE done");
}

}  // namespace

bool jreLockName(const char* directory, char* buffer, size_t size) {
    // Object names cannot hold backslashes: the normalised path is hashed.
    char full[kTextSize];
    DWORD length = fullPathName(directory, sizeof(full), full, nullptr);
    if (length == 0 || length >= sizeof(full)) {
        if (!copyText(full, sizeof(full), directory)) return false;
        length = static_cast<DWORD>(textLength(full));
    }
    while (length > 0 && full[length - 1] == '\\') full[--length] = 0;
    lowerCasePath(full);
    uint64_t hash = fnv1a64(full);
    return formatText(buffer, size, "jaunt_jre_%08lx%08lx", static_cast<unsigned long>(hash >> 32),
                      static_cast<unsigned long>(hash & 0xffffffffu));
}

void unpackJar(const char* directory, const char* archive) {
    char target[kTextSize];
    char packed[kTextSize];
    bool whole = formatText(target, sizeof(target), "%s\\%s", directory, archive);
    whole = formatText(packed, sizeof(packed), "%s.pack", target) && whole;
    logInfo("Unpacking %s to %s", packed, target);
    if (!whole || !pathExists(packed)) {
        logInfo("pack path doesn't exists");
        return;
    }

    // Every path is quoted: a JRE under "C:\Program Files" would otherwise start C:\Program.exe.
    char commandLine[3 * kTextSize + 64];
    formatText(commandLine, sizeof(commandLine), "\"%s\\bin\\unpack200.exe\" -r \"%s\" \"%s\"", directory, packed,
               target);
    std::wstring wideCommandLine = wideText(commandLine);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &wideCommandLine[0], nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
        logError("CreateProcessA(%s) failed: %lu", commandLine, static_cast<unsigned long>(GetLastError()));
        logInfo("could not create unpack process");
        failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "20");
    }
    logInfo("waiting for unpack200 to finish");
    DWORD waited = WaitForSingleObject(process.hProcess, preparationBoundMs);
    if (waited != WAIT_OBJECT_0) {
        // A hung tool would hold this launcher and every other one waiting for the lock. Its packed
        // file stays (it is removed only after success), so the next start unpacks the archive again.
        logError("unpack200 did not finish within %lu ms (%lu); ending it",
                 static_cast<unsigned long>(preparationBoundMs),
                 static_cast<unsigned long>(waited == WAIT_FAILED ? GetLastError() : waited));
        if (!TerminateProcess(process.hProcess, 1))
            logError("TerminateProcess(unpack200) failed: %lu", static_cast<unsigned long>(GetLastError()));
        failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "21");
    }
    logInfo("unpack done");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void setPreparationBound(unsigned long milliseconds) { preparationBoundMs = static_cast<DWORD>(milliseconds); }

void prepareJre(const char* directory) {
    // Nothing packed is left: the JRE was never packed or is prepared. While another launcher
    // unpacks, the packed file of the archive at hand is still there, so this never passes a JRE
    // that is half prepared.
    if (!packedArchiveLeft(directory)) return;
    char name[64];
    HANDLE lock = jreLockName(directory, name, sizeof(name)) ? CreateMutexW(nullptr, FALSE, wideText(name).c_str()) : nullptr;
    if (lock == nullptr) {
        logError("CreateMutexA for %s failed: %lu", directory, static_cast<unsigned long>(GetLastError()));
        unpackArchives(directory);
        return;
    }
    DWORD waited = WaitForSingleObject(lock, preparationBoundMs);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
        // An abandoned lock: its holder ended midway; what it left is judged like any interrupted
        // preparation.
        unpackArchives(directory);
        ReleaseMutex(lock);
        CloseHandle(lock);
        return;
    }
    unsigned long reason = static_cast<unsigned long>(waited == WAIT_FAILED ? GetLastError() : waited);
    CloseHandle(lock);
    // Unpacking beside the other launcher could spoil the JRE for good, and loading it half prepared
    // would fail in obscure ways: unless it got prepared meanwhile, this run ends, and a later start
    // finds it prepared or prepares what was left.
    if (!packedArchiveLeft(directory)) return;
    logError("Waiting for the preparation of %s failed (%lu), not unpacking", directory, reason);
    failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "22");
}

}  // namespace jaunt
