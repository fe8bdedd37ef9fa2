#include "singleinstance.h"

#include <windows.h>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "errors.h"
#include "instancetext.h"
#include "log.h"
#include "paths.h"
#include "processwindows.h"
#include "tempdir.h"
#include "wideapi.h"

namespace jaunt {

namespace {

// How long a later instance waits for the communication file to become free: 200 tests, 50 ms apart.
constexpr unsigned kHandOverAttempts = 200;
constexpr DWORD kRetryInterval = 50;
// How long it waits for the semaphore's holder to show up in the process record (it may be between
// creating the semaphore and writing the record, or be another later instance that holds the name
// for a moment) before it runs as an instance of its own.
constexpr unsigned kUnrecordedAttempts = 20;

char semaphoreNameText[kTextSize];
bool semaphoreNameFilled = false;
HANDLE instanceSemaphore = nullptr;  // held by the first instance until the process ends

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

// The short form of a wide path, for comparing two spellings of one file.
std::wstring shortPath(const wchar_t* path) {
    std::wstring shortName;
    return shortPathName(path, &shortName) ? shortName : std::wstring(path);
}

// True unless the process's image is known to be another file than our own.
bool runsOurImage(HANDLE process) {
    typedef BOOL(WINAPI * QueryImageName)(HANDLE, DWORD, LPWSTR, PDWORD);
    QueryImageName query = kernelRoutine<QueryImageName>("QueryFullProcessImageNameW");
    wchar_t theirs[kTextSize], ours[kTextSize];
    DWORD theirLength = kTextSize;
    if (query == nullptr || !query(process, 0, theirs, &theirLength)) return true;  // cannot tell
    DWORD ourLength = GetModuleFileNameW(nullptr, ours, kTextSize);
    if (ourLength == 0 || ourLength >= kTextSize) return true;
    return lstrcmpiW(shortPath(theirs).c_str(), shortPath(ours).c_str()) == 0;
}

// True when a process with this id runs and is older than a file written at fileTime: otherwise the
// file was not for it (the id was reused). A process that cannot be looked at counts as running.
bool runsSince(unsigned long processId, const FILETIME& fileTime) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    FILETIME created, ended, kernel, user;
    bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (runs && GetProcessTimes(process, &created, &ended, &kernel, &user)) {
        // FAT keeps write times in steps of 2 seconds: a file written just after the process
        // started may look older than it.
        ULARGE_INTEGER start, written;
        start.LowPart = created.dwLowDateTime;
        start.HighPart = created.dwHighDateTime;
        written.LowPart = fileTime.dwLowDateTime;
        written.HighPart = fileTime.dwHighDateTime;
        runs = start.QuadPart <= written.QuadPart + 2 * 10000000ull;
    }
    CloseHandle(process);
    return runs;
}

// This process is the first instance: it keeps the semaphore, removes a communication file that a
// long-gone process with the same id may have left (it would look like a hand-over) and the
// hand-over files that nobody will take any more, and then records itself, so that no later
// instance can write to that file before it is cleared.
void becomeFirstInstance(HANDLE semaphore) {
    instanceSemaphore = semaphore;
    char commFile[kTextSize];
    if (processCommFileName(commFile, sizeof(commFile), GetCurrentProcessId())) {
        if (deleteFile(commFile)) logInfo("Removed a stale communication file %s", commFile);
        char* name = commFile + textLength(commFile);
        while (name > commFile && name[-1] != '\\') --name;
        *name = 0;
        removeOrphanedHandOvers(commFile);
    }
    writeProcessRecord();
    logInfo("Single instance: first instance %s", semaphoreName());
}

// The pending file beside commFile: its name without ".tmp", then this process and thread. ending
// replaces ".tmp" for the file it is written under first.
bool pendingFileName(const char* commFile, char* buffer, size_t size, const char* ending = ".tmp") {
    size_t length = textLength(commFile);
    if (length >= 4 && lstrcmpiA(commFile + length - 4, ".tmp") == 0) length -= 4;
    return formatText(buffer, size, "%.*s_%lu_%lu%s", static_cast<int>(length), commFile,
                      static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<unsigned long>(GetCurrentThreadId()), ending);
}

bool gone(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

bool writeWholeFile(const char* path, const std::u16string& text) {
    HANDLE file = createFile(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) failed: %lu", path, lastError());
        return false;
    }
    // x86 and x64 are little-endian: the units in memory are the UTF-16LE bytes.
    DWORD size = static_cast<DWORD>(text.size() * sizeof(char16_t)), written = 0;
    bool ok = WriteFile(file, text.data(), size, &written, nullptr) && written == size;
    if (!ok) logError("WriteFile(%s) failed: %lu", path, lastError());
    CloseHandle(file);
    if (!ok) deleteFile(path);
    return ok;
}

}  // namespace

const char* semaphoreName() {
    if (!semaphoreNameFilled) {
        instanceName(semaphoreNameText, sizeof(semaphoreNameText), modulePath());
        semaphoreNameFilled = true;
    }
    return semaphoreNameText;
}

void writeProcessRecord() {
    HKEY key;
    if (createKey(HKEY_CURRENT_USER, kProcessRecordKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    DWORD id = GetCurrentProcessId();
    setValue(key, modulePath(), REG_DWORD, &id, sizeof(id));
    RegCloseKey(key);
}

unsigned long readProcessRecord() {
    HKEY key;
    if (openKey(HKEY_CURRENT_USER, kProcessRecordKey, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD id = 0, type = 0, size = sizeof(id);
    LONG status = queryValue(key, modulePath(), &type, &id, &size);
    RegCloseKey(key);
    // A value of another type was not written by a launcher, even when it happens to be 4 bytes long.
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(id) ? id : 0;
}

void* openInstanceProcess(unsigned long processId) {
    if (processId == 0 || processId == GetCurrentProcessId()) return nullptr;
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) process = OpenProcess(SYNCHRONIZE, FALSE, processId);  // systems without the right
    if (process == nullptr) return nullptr;
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT || !runsOurImage(process)) {
        CloseHandle(process);
        return nullptr;
    }
    return process;
}

void removeOrphanedHandOvers(const char* directory) {
    char pattern[kTextSize];
    size_t length = textLength(directory);
    const char* separator = length > 0 && directory[length - 1] == '\\' ? "" : "\\";
    if (!formatText(pattern, sizeof(pattern), "%s%sjnt_p*_*", directory, separator)) return;
    FoundFile found;
    HANDLE search = findFirstFile(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        unsigned long first = 0, writer = 0;
        if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !parseHandOverFileName(found.name, &first, &writer))
            continue;
        // A live writer still looks after its own file; a live first instance will take it.
        if (runsSince(first, found.lastWrite) || runsSince(writer, found.lastWrite)) continue;
        char path[kTextSize];
        if (formatText(path, sizeof(path), "%s%s%s", directory, separator, found.name) && deleteFile(path))
            logInfo("Removed an orphaned hand-over file %s", path);
    } while (findNextFile(search, &found));
    FindClose(search);
}

HandOver handOverArguments(const char* commFile, const std::u16string& text, void* firstProcess,
                           unsigned attempts, char* pendingFile, size_t pendingSize) {
    // Written under a name of its own and then renamed, the pending file is whole whenever it
    // exists, and keeps the time it was written at: the running instance takes pending files (and
    // the communication file) in the order of those times.
    char partFile[kTextSize];
    if (!pendingFileName(commFile, pendingFile, pendingSize) ||
        !pendingFileName(commFile, partFile, sizeof(partFile), ".part") || !writeWholeFile(partFile, text))
        return HandOver::Failed;
    if (!moveFile(partFile, pendingFile, 0)) {
        logError("MoveFileExA(%s, %s) failed: %lu", partFile, pendingFile, lastError());
        deleteFile(partFile);
        return HandOver::Failed;
    }
    // The reader deletes files only: a directory of that name never goes away, so waiting is futile.
    DWORD attributes = fileAttributes(commFile);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        logError("Single instance: %s is a directory", commFile);
        return HandOver::Pending;
    }
    for (unsigned attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0) Sleep(kRetryInterval);
        // Without MOVEFILE_REPLACE_EXISTING the move fails while the file exists: the text of another
        // instance is never replaced, and the reader never sees a half-written file.
        if (moveFile(pendingFile, commFile, 0)) return HandOver::Delivered;
        DWORD error = GetLastError();
        if (gone(error)) return HandOver::Delivered;  // the running instance took the pending file
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED &&
            error != ERROR_SHARING_VIOLATION)
            logError("MoveFileExA(%s, %s) failed: %lu", pendingFile, commFile, static_cast<unsigned long>(error));
        if (firstProcess != nullptr && WaitForSingleObject(firstProcess, 0) != WAIT_TIMEOUT) {
            if (!deleteFile(pendingFile) && gone(GetLastError())) return HandOver::Delivered;
            return HandOver::FirstEnded;
        }
    }
    return HandOver::Pending;
}

// A later instance never drops its arguments: when the first instance ends while it waits, it runs
// as the first instance itself; when the file stays occupied for the whole wait, it leaves its text
// in its pending file (named after the communication file), where the running instance takes it
// in turn, logs where, and ends as usual. Starting a second application beside a running but busy
// first one would be the greater surprise.
void singleInstanceGuard(bool checkKey, bool handOver) {
    if (checkKey && getConfigInt(KEY_SINGLE_INSTANCE) == 0) return;
    const char* name = semaphoreName();
    unsigned unrecorded = 0;
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, wideText(name).c_str());
        DWORD error = GetLastError();
        if (semaphore == nullptr || error != ERROR_ALREADY_EXISTS) {
            if (semaphore == nullptr) logError("CreateSemaphoreA(%s) failed: %lu", name, static_cast<unsigned long>(error));
            becomeFirstInstance(semaphore);
            return;
        }
        CloseHandle(semaphore);

        unsigned long firstId = readProcessRecord();
        HANDLE first = static_cast<HANDLE>(openInstanceProcess(firstId));
        if (first == nullptr) {
            if (++unrecorded >= kUnrecordedAttempts) {
                logError("Single instance: no running instance recorded for %s; running on our own", name);
                return;
            }
            Sleep(kRetryInterval);
            continue;
        }
        logInfo("Single instance: handing over to process %lu", firstId);
        // Windows gives the foreground only to a process that the foreground process allows.
        AllowSetForegroundWindow(static_cast<DWORD>(firstId));
        activateProcessWindows(firstId, true);
        if (!handOver) {
            CloseHandle(first);
            exitLauncher(0);
        }
        char commFile[kTextSize], pendingFile[kTextSize];
        HandOver result = HandOver::Failed;
        if (processCommFileName(commFile, sizeof(commFile), firstId))
            result = handOverArguments(commFile, handOverText(reinterpret_cast<const char16_t*>(GetCommandLineW())),
                                       first, kHandOverAttempts, pendingFile, sizeof(pendingFile));
        CloseHandle(first);
        switch (result) {
        case HandOver::Delivered:
            exitLauncher(0);
        case HandOver::FirstEnded:
            logInfo("Single instance: process %lu ended; starting again", firstId);
            continue;
        case HandOver::Pending:
            logError("Single instance: %s stayed occupied; the arguments are left in %s", commFile, pendingFile);
            exitLauncher(0);
        case HandOver::Failed:
            logError("Single instance: the arguments could not be handed over");
            exitLauncher(0);
        }
    }
}

}  // namespace jaunt
