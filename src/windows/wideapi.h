// The launcher's narrow texts are UTF-8, so that a path or an argument may hold any character,
// whatever the system's ANSI code page. These are the Win32 calls that take or give such texts,
// made through their wide forms. Calls that take a file name accept paths longer than MAX_PATH:
// an absolute path that long is given in the "\\?\" form.
//
// Functions that fill a caller buffer keep the contract of the ANSI call they replace: the length
// written, the size needed (terminator included) when the buffer is too small, 0 on failure with
// the last error set. A result never ends in a cut character.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace jaunt {

// UTF-8 to UTF-16 and back; invalid UTF-8 bytes become U+FFFD.
std::wstring wideText(const char* text);
std::string utf8Text(const wchar_t* text, size_t length);
std::string utf8Text(const std::wstring& text);
// Text in the ANSI code page (stored files and registry values written by others) to UTF-8.
std::string utf8FromAnsi(const char* text);

// text in UTF-8 into a caller buffer, under the contract above.
DWORD deliverUtf8(const std::wstring& text, char* buffer, DWORD size);

// The wide form of path that the file calls take: the "\\?\" form for an absolute path of
// MAX_PATH - 12 units or more (the limit of a directory's name), the path as it is otherwise.
std::wstring wideFileName(const char* path);

HANDLE createFile(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile = nullptr);
bool deleteFile(const char* path);
bool moveFile(const char* from, const char* to, DWORD flags);
DWORD fileAttributes(const char* path);
bool fileAttributeData(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data);
bool setFileAttributes(const char* path, DWORD attributes);
bool createDirectory(const char* path, SECURITY_ATTRIBUTES* security);
bool removeDirectory(const char* path);
FILE* openFile(const char* path, const wchar_t* mode);
HMODULE loadLibrary(const char* path, DWORD flags);

// A routine of KERNEL32 by name, null where this system's KERNEL32 lacks it: routines newer than the
// oldest Windows the launcher runs on are bound this way.
void* kernelEntry(const char* name);
template <typename Routine>
Routine kernelRoutine(const char* name) {
    return reinterpret_cast<Routine>(kernelEntry(name));
}

// One directory entry, its name in UTF-8 (a name that does not fit is skipped by the search).
struct FoundFile {
    char name[1024];
    DWORD attributes;
    FILETIME lastWrite;
};
HANDLE findFirstFile(const char* pattern, FoundFile* found);
bool findNextFile(HANDLE search, FoundFile* found);

DWORD fullPathName(const char* path, DWORD size, char* buffer, char** filePart);
DWORD moduleFileName(HMODULE module, char* buffer, DWORD size);
DWORD tempPath(DWORD size, char* buffer);
DWORD windowsDirectory(char* buffer, DWORD size);

// The short (8.3) form of an existing path. Volumes need not have short names; the environment
// variable JAUNT_TEST_NO_SHORT_NAMES makes every lookup fail, as it does there, for tests.
bool shortPathName(const wchar_t* path, std::wstring* shortName);

DWORD environmentVariable(const char* name, char* buffer, DWORD size);
// The whole value; defined tells an empty variable from a missing one.
std::string environmentValue(const char* name, bool* defined);
bool setEnvironmentVariable(const char* name, const char* value);
bool setCurrentDirectory(const char* path);

int showMessageBox(HWND owner, const char* text, const char* caption, UINT type);

// Registry keys and values named in UTF-8; text values are read and written as UTF-16, so values
// that earlier versions wrote through the ANSI calls read back the same.
LONG openKey(HKEY root, const char* name, REGSAM access, HKEY* key);
LONG createKey(HKEY root, const char* name, REGSAM access, HKEY* key);
LONG queryTextValue(HKEY key, const char* name, char* buffer, DWORD size);
LONG setTextValue(HKEY key, const char* name, const char* value);
LONG queryValue(HKEY key, const char* name, DWORD* type, void* data, DWORD* size);
LONG setValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size);
// The name of subkey index, in UTF-8; ERROR_NO_MORE_ITEMS after the last.
LONG enumKey(HKEY key, DWORD index, std::string* name);

}  // namespace jaunt
