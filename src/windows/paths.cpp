#include "paths.h"

#include <windows.h>
#include <shlobj.h>

#include <cstring>
#include <cwctype>
#include <string>

#include "boundedtext.h"
#include "environment.h"
#include "pathtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

char modulePathCache[kTextSize];
bool modulePathFilled = false;
char moduleDirectoryCache[kTextSize];
bool moduleDirectoryFilled = false;

bool toWide(unsigned codePage, const char* text, std::u16string* wide) {
    int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 0) return false;
    wide->assign(static_cast<size_t>(units), u'\0');
    if (MultiByteToWideChar(codePage, 0, text, -1, reinterpret_cast<wchar_t*>(&(*wide)[0]), units) != units)
        return false;
    wide->resize(static_cast<size_t>(units) - 1);  // drop the terminator
    return true;
}

// Converts to the file-system code page with "?" as the default character. Fails when a character
// could not be represented or the result does not fit.
bool toNarrowLossless(unsigned codePage, const wchar_t* wide, char* out, size_t capacity) {
    BOOL usedDefault = FALSE;
    bool utf8 = codePage == CP_UTF8;  // UTF-8 takes no default character and loses nothing
    int bytes = WideCharToMultiByte(codePage, 0, wide, -1, out, static_cast<int>(capacity),
                                    utf8 ? nullptr : "?", utf8 ? nullptr : &usedDefault);
    return bytes > 0 && !usedDefault;
}

// Applies a rule to the UTF-16 form of path and writes it back, only when the back conversion is
// lossless and fits in the space of the original text.
template <typename Rule>
void rewriteAsWide(char* path, Rule rule) {
    unsigned codePage = launcherCodePage();
    std::u16string wide;
    if (!toWide(codePage, path, &wide)) return;
    rule(&wide);
    size_t capacity = textLength(path) + 1;
    std::string result(capacity, '\0');
    if (toNarrowLossless(codePage, reinterpret_cast<const wchar_t*>(wide.c_str()), &result[0], capacity))
        copyText(path, capacity, result.c_str());
}

bool endsWithExe(const char* text) {
    size_t length = textLength(text);
    if (length <= 3) return false;
    return lstrcmpiA(text + length - 4, ".exe") == 0;
}

typedef DWORD(WINAPI* LongPathRoutine)(LPCWSTR, LPWSTR, DWORD);

// The platform routine where it exists and is implemented, else null: found once.
LongPathRoutine platformLongPathRoutine() {
    static bool bound = false;
    static LongPathRoutine platform = nullptr;
    if (!bound) {
        platform = kernelRoutine<LongPathRoutine>("GetLongPathNameW");
        if (platform != nullptr && platform(L"", nullptr, 0) == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
            platform = nullptr;
        bound = true;
    }
    return platform;
}

}  // namespace

unsigned launcherCodePage() { return CP_UTF8; }

void lowerCasePath(char* path) {
    rewriteAsWide(path, [](std::u16string* wide) {
        for (char16_t& unit : *wide) unit = static_cast<char16_t>(towlower(unit));
    });
}

void collapseBackslashes(char* path) { rewriteAsWide(path, collapseBackslashRuns); }

bool isRelative(const char* path) { return isRelativePath(path); }

const char* modulePath() {
    if (modulePathFilled) return modulePathCache;
    // The short form where the volume has one, so that the path reads the same in every code
    // page; the long form (UTF-8 holds every name) where it has none.
    std::wstring longName(kTextSize, L'\0'), shortName;
    DWORD length = GetModuleFileNameW(nullptr, &longName[0], kTextSize);
    longName.resize(length < kTextSize ? length : 0);
    bool done = false;
    if (shortPathName(longName.c_str(), &shortName) && shortName.size() < kTextSize)
        done = toNarrowLossless(launcherCodePage(), shortName.c_str(), modulePathCache, sizeof(modulePathCache)) &&
               endsWithExe(modulePathCache);
    if (!done && !toNarrowLossless(launcherCodePage(), longName.c_str(), modulePathCache, sizeof(modulePathCache)))
        modulePathCache[0] = 0;  // longer than the buffer holds: no path rather than another one
    lowerCasePath(modulePathCache);
    collapseBackslashes(modulePathCache);
    modulePathFilled = true;
    return modulePathCache;
}

const char* moduleDirectory() {
    if (moduleDirectoryFilled) return moduleDirectoryCache;
    char* filePart = nullptr;
    DWORD length = fullPathName(modulePath(), sizeof(moduleDirectoryCache), moduleDirectoryCache, &filePart);
    if (length == 0 || length >= sizeof(moduleDirectoryCache)) {
        copyText(moduleDirectoryCache, sizeof(moduleDirectoryCache), modulePath());
        filePart = nullptr;
        for (char* p = moduleDirectoryCache; *p; ++p)
            if (*p == '\\') filePart = p + 1;
    }
    if (filePart != nullptr) *filePart = 0;
    moduleDirectoryFilled = true;
    return moduleDirectoryCache;
}

bool resolveAgainstModuleDir(char* destination, size_t capacity, const char* source) {
    bool whole = true;
    if (isRelativePath(source)) {
        whole = copyText(destination, capacity, moduleDirectory());
        whole = appendText(destination, capacity, source) && whole;
    } else {
        whole = copyText(destination, capacity, source);
    }
    collapseBackslashes(destination);
    return whole;
}

bool fullPath(char* destination, size_t capacity, const char* source, bool keepCase) {
    char resolved[kTextSize];
    bool whole = resolveAgainstModuleDir(resolved, sizeof(resolved), source);
    char absolute[kTextSize];
    DWORD length = fullPathName(resolved, sizeof(absolute), absolute, nullptr);
    if (length == 0) {
        copyText(absolute, sizeof(absolute), resolved);
    } else if (length >= sizeof(absolute)) {
        copyText(absolute, sizeof(absolute), resolved);
        whole = false;
    }
    whole = copyText(destination, capacity, absolute) && whole;
    if (!keepCase) lowerCasePath(destination);
    collapseBackslashes(destination);
    return whole;
}

bool resolvePathList(char* destination, size_t capacity, const char* source) {
    bool whole = true;
    if (capacity == 0) return false;
    destination[0] = 0;
    bool first = true;
    for (const std::string& entry : splitList(source, ';')) {
        char resolved[kTextSize];
        whole = resolveAgainstModuleDir(resolved, sizeof(resolved), entry.c_str()) && whole;
        if (!first) whole = appendText(destination, capacity, ";") && whole;
        whole = appendText(destination, capacity, resolved) && whole;
        first = false;
    }
    return whole;
}

// A name with wildcards is a pattern that exists when some entry matches it, and a name that ends in
// a separator names no entry (as a directory search takes them). Any other name is looked up
// directly, which spares the search of its whole folder.
bool pathExists(const char* path, uint32_t* lastWriteLow, uint32_t* lastWriteHigh) {
    if (isDriveRoot(path)) return true;
    size_t length = textLength(path);
    if (length > 0 && std::strpbrk(path, "*?") == nullptr && path[length - 1] != '\\' && path[length - 1] != '/') {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!fileAttributeData(path, &data)) return false;
        if (lastWriteLow) *lastWriteLow = data.ftLastWriteTime.dwLowDateTime;
        if (lastWriteHigh) *lastWriteHigh = data.ftLastWriteTime.dwHighDateTime;
        return true;
    }
    FoundFile found;
    HANDLE handle = findFirstFile(path, &found);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FindClose(handle);
    if (lastWriteLow) *lastWriteLow = found.lastWrite.dwLowDateTime;
    if (lastWriteHigh) *lastWriteHigh = found.lastWrite.dwHighDateTime;
    return true;
}

bool pathExists(const char* path) { return pathExists(path, nullptr, nullptr); }

uint32_t longPathName(const char* path, char* buffer, uint32_t size) {
    LongPathRoutine platform = platformLongPathRoutine();
    if (platform == nullptr) return longPathNameFallback(path, buffer, size);
    std::wstring wide = wideFileName(path), result(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        DWORD length = platform(wide.c_str(), &result[0], static_cast<DWORD>(result.size()));
        if (length == 0) return 0;
        if (length < result.size()) {
            result.resize(length);
            // A path given in the long form comes back in it; callers get the plain one.
            if (result.compare(0, 8, L"\\\\?\\UNC\\") == 0) result = L"\\\\" + result.substr(8);
            else if (result.compare(0, 4, L"\\\\?\\") == 0) result = result.substr(4);
            return deliverUtf8(result, buffer, size);
        }
        result.assign(length + 1, L'\0');
    }
    return 0;
}

uint32_t longPathNameFallback(const char* path, char* buffer, uint32_t size) {
    if (fileAttributes(path) == INVALID_FILE_ATTRIBUTES) return 0;
    char full[MAX_PATH];
    DWORD length = fullPathName(path, sizeof(full), full, nullptr);
    if (length == 0) return 0;
    if (length > MAX_PATH - 1) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }

    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || desktop == nullptr) return 0;
    wchar_t wide[MAX_PATH];
    if (MultiByteToWideChar(launcherCodePage(), 0, full, -1, wide, MAX_PATH) == 0) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_BUFFER_OVERFLOW);
        desktop->Release();
        return 0;
    }
    LPITEMIDLIST items = nullptr;
    HRESULT parsed = desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &items, nullptr);
    if (FAILED(parsed)) {
        SetLastError(HRESULT_FACILITY(parsed) == FACILITY_WIN32 ? HRESULT_CODE(parsed) : ERROR_INVALID_DATA);
        desktop->Release();
        return 0;
    }

    uint32_t result = 0;
    wchar_t longWide[MAX_PATH];
    longWide[0] = 0;
    std::string longText;
    if (!SHGetPathFromIDListW(items, longWide)) {
        if (longWide[0] != 0) SetLastError(ERROR_INVALID_DATA);
    } else {
        longText = utf8Text(longWide, textLength(longWide));
        const char* longForm = longText.c_str();
        uint32_t longLength = static_cast<uint32_t>(textLength(longForm));
        if (size < longLength + 1) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            result = longLength + 1;
        } else {
            lstrcpynA(buffer, longForm, static_cast<int>(size));
            result = longLength;
        }
    }
    IMalloc* allocator = nullptr;
    if (SUCCEEDED(SHGetMalloc(&allocator)) && allocator != nullptr) {
        allocator->Free(items);
        allocator->Release();
    }
    desktop->Release();
    return result;
}

// The conversion sizes itself, so a double-byte code page cannot overrun the buffer: a result
// that is too long is cut to the most units whose conversion fits, found by halving.
namespace {
int narrowBytes(unsigned codePage, const wchar_t* text, int units) {
    return units > 0 ? WideCharToMultiByte(codePage, 0, text, units, nullptr, 0, nullptr, nullptr) : 0;
}
}  // namespace

bool toNarrowCut(unsigned codePage, const wchar_t* text, size_t length, char* buffer, size_t size) {
    if (size == 0) return false;
    const int capacity = static_cast<int>(size - 1);
    // Every unit takes at least one byte unless it is half of a pair, so more units never fit.
    int units = length > size * 2 ? static_cast<int>(size * 2) : static_cast<int>(length);
    bool whole = static_cast<size_t>(units) == length;
    if (narrowBytes(codePage, text, units) > capacity) {
        whole = false;
        int fits = 0, tooMany = units;
        while (tooMany - fits > 1) {
            int middle = fits + (tooMany - fits) / 2;
            if (narrowBytes(codePage, text, middle) <= capacity) fits = middle;
            else tooMany = middle;
        }
        units = fits;
        if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] < 0xDC00) --units;  // keep pairs whole
    }
    int bytes = units > 0 ? WideCharToMultiByte(codePage, 0, text, units, buffer, capacity, nullptr, nullptr) : 0;
    buffer[bytes > 0 ? bytes : 0] = 0;
    return whole;
}

}  // namespace jaunt
