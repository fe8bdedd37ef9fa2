#include "cleanup.h"

#include <windows.h>

#include <string>
#include <vector>

#include "boundedtext.h"
#include "log.h"
#include "paths.h"
#include "pathtext.h"
#include "tempdir.h"
#include "wideapi.h"

namespace jaunt {

namespace {

// Launchers that start at the same moment rewrite the same two values; a named mutex keeps their
// read-modify-write cycles apart so that no entry is lost.
class ListLock {
public:
    ListLock() : mutex_(CreateMutexA(nullptr, FALSE, "jaunt_removal_lists")) {
        if (mutex_ != nullptr) WaitForSingleObject(mutex_, 10000);
    }
    ~ListLock() {
        if (mutex_ != nullptr) {
            ReleaseMutex(mutex_);
            CloseHandle(mutex_);
        }
    }
    ListLock(const ListLock&) = delete;
    ListLock& operator=(const ListLock&) = delete;

private:
    HANDLE mutex_;
};

// Reads a list into buffer (kTextSize bytes). False when the value holds more than the list limit:
// such a list is neither used nor rewritten. A missing value, or one of another type, reads as empty.
bool readList(HKEY key, const char* valueName, char* buffer) {
    LONG status = queryTextValue(key, valueName, buffer, kTextSize);
    if (status == ERROR_MORE_DATA) return false;
    if (status != ERROR_SUCCESS) buffer[0] = 0;
    return true;
}

void writeList(HKEY key, const char* valueName, const char* list) { setTextValue(key, valueName, list); }

// The list values can be written by any process of the user, and the launcher may run elevated:
// only what the launcher itself makes is ever removed, an extraction directory directly inside a
// temporary directory and the plain files directly inside such a directory. Anything else is
// dropped from the list untouched (and logged).
typedef bool (*Remover)(const char* path);
typedef bool (*Recogniser)(const std::string& path, const std::vector<std::string>& roots);

// One pass over a list: remove is tried on every entry that recognise accepts, and those that still
// exist are written back.
void sweepList(HKEY key, const char* valueName, Recogniser recognise, Remover remove,
               const std::vector<std::string>& roots) {
    char list[kTextSize];
    if (!readList(key, valueName, list)) return;
    char kept[kTextSize];
    kept[0] = 0;
    for (const std::string& path : splitList(list, ';')) {
        if (!recognise(path, roots)) {
            logError("Not a file of this launcher, dropped from %s: %s", valueName, path.c_str());
            continue;
        }
        remove(path.c_str());
        if (pathExists(path.c_str())) {
            appendText(kept, sizeof(kept), path.c_str());
            appendText(kept, sizeof(kept), ";");
        }
    }
    writeList(key, valueName, kept);
}

bool isPlain(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0; }

typedef BOOL(WINAPI* HandleInformationRoutine)(HANDLE, FILE_INFO_BY_HANDLE_CLASS, LPVOID, DWORD);

// The attributes of an open file or directory. Where the system has it (Vista and later), the
// attribute query reads them alone; the older call also asks the volume for its serial number,
// which under Wine is a round trip to the mount manager of half a millisecond per call.
bool handleAttributes(HANDLE handle, DWORD* attributes) {
    static bool bound = false;
    static HandleInformationRoutine query = nullptr;
    if (!bound) {
        query = kernelRoutine<HandleInformationRoutine>("GetFileInformationByHandleEx");
        bound = true;
    }
    FILE_ATTRIBUTE_TAG_INFO tagged;
    if (query != nullptr && query(handle, FileAttributeTagInfo, &tagged, sizeof(tagged))) {
        *attributes = tagged.FileAttributes;
        return true;
    }
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(handle, &information)) return false;
    *attributes = information.dwFileAttributes;
    return true;
}

// The file is removed only when nobody else holds it open. Its directory is held while that is
// decided, without leave to delete or rename it, so that it cannot be swapped for a link to
// another place; neither the directory nor the file may be a reparse point.
bool removeFreeFile(const char* path) {
    std::string parent(path, std::string(path).rfind('\\'));
    HANDLE directory = createFile(parent.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (directory == INVALID_HANDLE_VALUE) return false;
    DWORD attributes = 0;
    bool removed = false;
    if (handleAttributes(directory, &attributes) && isPlain(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        HANDLE file = createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            bool plainFile =
                handleAttributes(file, &attributes) && isPlain(attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
            CloseHandle(file);
            removed = plainFile && deleteFile(path);
        }
    } else {
        logError("Not a plain directory, left alone: %s", parent.c_str());
    }
    CloseHandle(directory);
    return removed;
}

// Succeeds only for an empty directory that is not a reparse point.
bool removeEmptyDirectory(const char* path) {
    DWORD attributes = fileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !isPlain(attributes)) return false;
    return removeDirectory(path) != FALSE;
}

// Appends every path and its ";" to one list of the open key, in order. An entry that would take the
// list past its limit is dropped (a shorter one after it may still fit); a list that already holds
// more than the limit is left as it is, since it cannot be extended without losing what it holds.
void appendToList(HKEY key, const char* valueName, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    char list[kTextSize];
    if (!readList(key, valueName, list)) return;
    size_t length = textLength(list);
    bool extended = false;
    for (const std::string& path : paths) {
        size_t entryLength = textLength(path.c_str()) + 1;
        if (length + entryLength > kRemovalListLimit) continue;
        appendText(list, sizeof(list), path.c_str());
        appendText(list, sizeof(list), ";");
        length += entryLength;
        extended = true;
    }
    if (extended) writeList(key, valueName, list);
}

}  // namespace

void appendRemovalEntries(const std::vector<std::string>& files, const std::vector<std::string>& directories) {
    if (files.empty() && directories.empty()) return;
    ListLock lock;
    HKEY key = nullptr;
    if (createKey(HKEY_CURRENT_USER, kRemovalListKey, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    appendToList(key, "delete_file", files);
    appendToList(key, "delete_dir", directories);
    RegCloseKey(key);
}

void removeStaleFiles() {
    ListLock lock;
    HKEY key = nullptr;
    if (openKey(HKEY_CURRENT_USER, kRemovalListKey, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    std::vector<std::string> roots = temporaryRoots();
    // Files first, so that a directory emptied now is removed in the same run.
    sweepList(key, "delete_file", isExtractedFilePath, removeFreeFile, roots);
    sweepList(key, "delete_dir", isExtractionDirectoryPath, removeEmptyDirectory, roots);
    RegCloseKey(key);
}

}  // namespace jaunt
