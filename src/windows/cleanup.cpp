#include "cleanup.h"

#include <windows.h>

#include "boundedtext.h"

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

}  // namespace jaunt
