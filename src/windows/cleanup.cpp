#include "cleanup.h"

#include <windows.h>

#include "boundedtext.h"
#include "paths.h"
#include "pathtext.h"

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
    DWORD type = 0;
    DWORD bytes = kTextSize;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
    if (status == ERROR_MORE_DATA) return false;
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) bytes = 0;
    // The registry does not promise a terminator (some add one to what they return): a full buffer
    // without one holds more text than the limit.
    if (bytes < kTextSize)
        buffer[bytes] = 0;
    else if (buffer[kTextSize - 1] != 0)
        return false;
    return true;
}

void writeList(HKEY key, const char* valueName, const char* list) {
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(list),
                   static_cast<DWORD>(textLength(list)));
}

// One pass over a list: remove is tried on every full path, and the paths that still exist are
// written back. A relative entry never came from a launcher and would name a file wherever the
// current directory happens to be: it is dropped without being touched.
void sweepList(HKEY key, const char* valueName, bool (*remove)(const char* path)) {
    char list[kTextSize];
    if (!readList(key, valueName, list)) return;
    char kept[kTextSize];
    kept[0] = 0;
    for (const std::string& path : splitList(list, ';')) {
        if (isRelativePath(path.c_str())) continue;
        remove(path.c_str());
        if (pathExists(path.c_str())) {
            appendText(kept, sizeof(kept), path.c_str());
            appendText(kept, sizeof(kept), ";");
        }
    }
    writeList(key, valueName, kept);
}

// A file that another process holds open cannot be opened without sharing: it stays.
bool removeFreeFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return DeleteFileA(path) != FALSE;
}

// Succeeds only for an empty directory.
bool removeEmptyDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

}  // namespace

void appendRemovalEntry(const char* valueName, const char* path) {
    ListLock lock;
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kRemovalListKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;

    char list[kTextSize];
    DWORD type = 0;
    DWORD bytes = sizeof(list) - 1;
    LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(list), &bytes);
    if (status == ERROR_MORE_DATA) {
        // A list longer than the limit cannot be extended without losing what it holds.
        RegCloseKey(key);
        return;
    }
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) bytes = 0;
    list[bytes] = 0;  // the registry does not promise a terminator

    size_t length = textLength(list);
    size_t entryLength = textLength(path) + 1;
    if (length + entryLength <= kRemovalListLimit) {
        appendText(list, sizeof(list), path);
        appendText(list, sizeof(list), ";");
        RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(list),
                       static_cast<DWORD>(textLength(list)));
    }
    RegCloseKey(key);
}

void removeStaleFiles() {
    ListLock lock;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kRemovalListKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    // Files first, so that a directory emptied now is removed in the same run.
    sweepList(key, "delete_file", removeFreeFile);
    sweepList(key, "delete_dir", removeEmptyDirectory);
    RegCloseKey(key);
}

}  // namespace jaunt
