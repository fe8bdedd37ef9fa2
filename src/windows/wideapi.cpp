#include "wideapi.h"

#include "boundedtext.h"

namespace jaunt {

namespace {

std::wstring wideFrom(unsigned codePage, const char* text) {
    int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text, -1, &wide[0], units);
    wide.resize(static_cast<size_t>(units) - 1);
    return wide;
}

DWORD deliver(const std::string& text, char* buffer, DWORD size) {
    if (text.size() + 1 > size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return static_cast<DWORD>(text.size() + 1);
    }
    copyText(buffer, size, text.c_str());
    return static_cast<DWORD>(text.size());
}

// Runs a wide call of the "length or needed size" kind with a growing buffer.
template <typename Call>
bool wideResult(Call call, std::wstring* result) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD length = call(&buffer[0], static_cast<DWORD>(buffer.size()));
        if (length == 0) return false;
        if (length < buffer.size()) {
            buffer.resize(length);
            *result = buffer;
            return true;
        }
        buffer.assign(length + 1, L'\0');
    }
    return false;
}

bool isSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

bool fillFound(const WIN32_FIND_DATAW& data, FoundFile* found) {
    std::string name = utf8Text(data.cFileName, wcslen(data.cFileName));
    if (name.size() + 1 > sizeof(found->name)) return false;
    copyText(found->name, sizeof(found->name), name.c_str());
    found->attributes = data.dwFileAttributes;
    found->lastWrite = data.ftLastWriteTime;
    return true;
}

}  // namespace

DWORD deliverUtf8(const std::wstring& text, char* buffer, DWORD size) { return deliver(utf8Text(text), buffer, size); }

std::wstring wideText(const char* text) { return wideFrom(CP_UTF8, text); }

std::string utf8Text(const wchar_t* text, size_t length) {
    if (length == 0) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

std::string utf8Text(const std::wstring& text) { return utf8Text(text.c_str(), text.size()); }

std::string utf8FromAnsi(const char* text) { return utf8Text(wideFrom(CP_ACP, text)); }

std::wstring wideFileName(const char* path) {
    std::wstring wide = wideText(path);
    bool absolute = (wide.size() >= 3 && wide[1] == L':' && isSlash(wide[2])) ||
                    (wide.size() >= 2 && isSlash(wide[0]) && isSlash(wide[1]));
    if (absolute && wide.size() < MAX_PATH - 12) return wide;
    if (wide.compare(0, 4, L"\\\\?\\") == 0 || wide.compare(0, 4, L"\\\\.\\") == 0) return wide;
    // A bare name (a device such as CONOUT$, or a file in the current directory) stays as it is.
    if (!absolute && wide.find_first_of(L"\\/") == std::wstring::npos) return wide;
    // The long form skips the call's own normalisation, so it is given the full path with
    // backslashes only, "." and ".." resolved.
    std::wstring full;
    if (!wideResult([&](wchar_t* buffer, DWORD size) { return GetFullPathNameW(wide.c_str(), size, buffer, nullptr); },
                    &full))
        return wide;
    if (full.size() < MAX_PATH - 12) return wide;
    for (wchar_t& c : full)
        if (c == L'/') c = L'\\';
    if (full.size() >= 3 && full[1] == L':' && isSlash(full[2])) return L"\\\\?\\" + full;
    if (full.size() >= 2 && isSlash(full[0]) && isSlash(full[1])) return L"\\\\?\\UNC\\" + full.substr(2);
    return wide;
}

HANDLE createFile(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security, DWORD disposition,
                  DWORD flags, HANDLE templateFile) {
    return CreateFileW(wideFileName(path).c_str(), access, share, security, disposition, flags, templateFile);
}

bool deleteFile(const char* path) { return DeleteFileW(wideFileName(path).c_str()) != FALSE; }

bool moveFile(const char* from, const char* to, DWORD flags) {
    return MoveFileExW(wideFileName(from).c_str(), to ? wideFileName(to).c_str() : nullptr, flags) != FALSE;
}

DWORD fileAttributes(const char* path) { return GetFileAttributesW(wideFileName(path).c_str()); }

bool fileAttributeData(const char* path, WIN32_FILE_ATTRIBUTE_DATA* data) {
    return GetFileAttributesExW(wideFileName(path).c_str(), GetFileExInfoStandard, data) != FALSE;
}

bool setFileAttributes(const char* path, DWORD attributes) {
    return SetFileAttributesW(wideFileName(path).c_str(), attributes) != FALSE;
}

bool createDirectory(const char* path, SECURITY_ATTRIBUTES* security) {
    return CreateDirectoryW(wideFileName(path).c_str(), security) != FALSE;
}

bool removeDirectory(const char* path) { return RemoveDirectoryW(wideFileName(path).c_str()) != FALSE; }

FILE* openFile(const char* path, const wchar_t* mode) { return _wfopen(wideFileName(path).c_str(), mode); }

HMODULE loadLibrary(const char* path, DWORD flags) {
    return LoadLibraryExW(wideFileName(path).c_str(), nullptr, flags);
}

void* kernelEntry(const char* name) {
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}

HANDLE findFirstFile(const char* pattern, FoundFile* found) {
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(wideFileName(pattern).c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return search;
    if (!fillFound(data, found) && !findNextFile(search, found)) {
        FindClose(search);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return search;
}

bool findNextFile(HANDLE search, FoundFile* found) {
    WIN32_FIND_DATAW data;
    while (FindNextFileW(search, &data))
        if (fillFound(data, found)) return true;
    return false;
}

DWORD fullPathName(const char* path, DWORD size, char* buffer, char** filePart) {
    std::wstring wide = wideText(path), full;
    if (!wideResult([&](wchar_t* out, DWORD units) { return GetFullPathNameW(wide.c_str(), units, out, nullptr); },
                    &full))
        return 0;
    DWORD length = deliver(utf8Text(full), buffer, size);
    if (filePart != nullptr && length < size) {
        *filePart = nullptr;
        for (char* p = buffer; *p; ++p)
            if (*p == '\\' || *p == '/') *filePart = p + 1;
        if (*filePart != nullptr && **filePart == 0) *filePart = nullptr;
    }
    return length;
}

DWORD moduleFileName(HMODULE module, char* buffer, DWORD size) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(module, &name[0], static_cast<DWORD>(name.size()));
        if (length == 0) return 0;
        if (length < name.size()) {
            name.resize(length);
            break;
        }
        if (name.size() >= 32768) return 0;
        name.assign(name.size() * 2, L'\0');
    }
    return deliver(utf8Text(name), buffer, size);
}

DWORD tempPath(DWORD size, char* buffer) {
    std::wstring path;
    if (!wideResult([](wchar_t* out, DWORD units) { return GetTempPathW(units, out); }, &path)) return 0;
    return deliver(utf8Text(path), buffer, size);
}

DWORD windowsDirectory(char* buffer, DWORD size) {
    std::wstring path;
    if (!wideResult([](wchar_t* out, DWORD units) { return GetWindowsDirectoryW(out, units); }, &path)) return 0;
    return deliver(utf8Text(path), buffer, size);
}

bool shortPathName(const wchar_t* path, std::wstring* shortName) {
    if (GetEnvironmentVariableW(L"JAUNT_TEST_NO_SHORT_NAMES", nullptr, 0) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return wideResult([&](wchar_t* out, DWORD units) { return GetShortPathNameW(path, out, units); }, shortName);
}

DWORD environmentVariable(const char* name, char* buffer, DWORD size) {
    bool defined = false;
    std::string value = environmentValue(name, &defined);
    if (!defined) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    if (value.empty()) {
        if (size > 0) buffer[0] = 0;
        SetLastError(ERROR_SUCCESS);
        return 0;
    }
    return deliver(value, buffer, size);
}

std::string environmentValue(const char* name, bool* defined) {
    std::wstring wideName = wideText(name);
    SetLastError(ERROR_SUCCESS);
    DWORD needed = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    *defined = needed != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (needed == 0) return std::string();
    std::wstring value(needed, L'\0');
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), &value[0], needed);
    value.resize(length < needed ? length : 0);
    return utf8Text(value);
}

bool setEnvironmentVariable(const char* name, const char* value) {
    return SetEnvironmentVariableW(wideText(name).c_str(), value ? wideText(value).c_str() : nullptr) != FALSE;
}

bool setCurrentDirectory(const char* path) { return SetCurrentDirectoryW(wideText(path).c_str()) != FALSE; }

int showMessageBox(HWND owner, const char* text, const char* caption, UINT type) {
    return MessageBoxW(owner, wideText(text).c_str(), wideText(caption).c_str(), type);
}

LONG openKey(HKEY root, const char* name, REGSAM access, HKEY* key) {
    return RegOpenKeyExW(root, wideText(name).c_str(), 0, access, key);
}

LONG createKey(HKEY root, const char* name, REGSAM access, HKEY* key) {
    return RegCreateKeyExW(root, wideText(name).c_str(), 0, nullptr, 0, access, nullptr, key, nullptr);
}

LONG queryTextValue(HKEY key, const char* name, char* buffer, DWORD size) {
    std::wstring wideName = wideText(name);
    DWORD type = 0, bytes = 0;
    LONG status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, nullptr, &bytes);
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value[0]), &bytes);
    if (status != ERROR_SUCCESS) return status;
    value.resize(wcsnlen(value.c_str(), bytes / sizeof(wchar_t)));
    std::string narrow = utf8Text(value);
    if (narrow.size() + 1 > size) return ERROR_MORE_DATA;
    copyText(buffer, size, narrow.c_str());
    return ERROR_SUCCESS;
}

LONG setTextValue(HKEY key, const char* name, const char* value) {
    std::wstring wide = wideText(value);
    return RegSetValueExW(key, wideText(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

LONG queryValue(HKEY key, const char* name, DWORD* type, void* data, DWORD* size) {
    return RegQueryValueExW(key, wideText(name).c_str(), nullptr, type, static_cast<BYTE*>(data), size);
}

LONG setValue(HKEY key, const char* name, DWORD type, const void* data, DWORD size) {
    return RegSetValueExW(key, wideText(name).c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

LONG enumKey(HKEY key, DWORD index, std::string* name) {
    wchar_t buffer[256];  // the longest key name the registry allows, terminator included
    DWORD units = 256;
    LONG status = RegEnumKeyExW(key, index, buffer, &units, nullptr, nullptr, nullptr, nullptr);
    if (status == ERROR_SUCCESS) *name = utf8Text(buffer, units);
    return status;
}

}  // namespace jaunt
