#include "security.h"

#include <windows.h>
// windows.h first: these need its types.
#include <ntsecapi.h>
#include <sddl.h>

#include "boundedtext.h"
#include "log.h"
#include "wideapi.h"

namespace jaunt {

namespace {

// The textual form of the current user's SID into buffer; false when the token cannot be read.
bool currentUserSid(char* buffer, size_t size) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        logError("OpenProcessToken failed: %lu", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    union {
        TOKEN_USER user;
        unsigned char bytes[256];  // TOKEN_USER and a SID of at most 68 bytes
    } information;
    DWORD length = 0;
    bool ok = GetTokenInformation(token, TokenUser, &information, sizeof(information), &length) != FALSE;
    DWORD error = GetLastError();
    CloseHandle(token);
    if (!ok) {
        logError("GetTokenInformation failed: %lu", static_cast<unsigned long>(error));
        return false;
    }
    char* text = nullptr;
    if (!ConvertSidToStringSidA(information.user.User.Sid, &text)) {
        logError("ConvertSidToStringSidA failed: %lu", static_cast<unsigned long>(GetLastError()));
        return false;
    }
    bool whole = copyText(buffer, size, text);
    LocalFree(text);
    return whole;
}

// Avalanche mixing (the finaliser of a well-known 32-bit hash), for the fallback only.
uint32_t mix(uint32_t value) {
    value ^= value >> 16;
    value *= 0x85ebca6bu;
    value ^= value >> 13;
    value *= 0xc2b2ae35u;
    value ^= value >> 16;
    return value;
}

}  // namespace

uint32_t randomNumber() {
    uint32_t value = 0;
    if (RtlGenRandom(&value, sizeof(value))) return value;
    logError("RtlGenRandom failed, mixing clocks instead");
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    static uint32_t calls = 0;
    value = mix(static_cast<uint32_t>(counter.QuadPart) ^ mix(GetCurrentProcessId()) ^
                mix(GetTickCount() + ++calls) ^ mix(static_cast<uint32_t>(counter.QuadPart >> 32)));
    return value;
}

bool createPrivateDirectory(const char* path) {
    char sid[192];
    char descriptorText[256];
    if (!currentUserSid(sid, sizeof(sid)) ||
        !formatText(descriptorText, sizeof(descriptorText), "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;%s)", sid)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(descriptorText, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        DWORD error = GetLastError();
        logError("ConvertStringSecurityDescriptorToSecurityDescriptorA(%s) failed: %lu", descriptorText,
                 static_cast<unsigned long>(error));
        SetLastError(error);
        return false;
    }
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    BOOL made = createDirectory(path, &attributes);
    DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return made != FALSE;
}

bool createPrivateDirectories(const char* path) {
    DWORD attributes = fileAttributes(path);
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        SetLastError(ERROR_ALREADY_EXISTS);
        return false;
    }
    char parent[kTextSize];
    if (!copyText(parent, sizeof(parent), path)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    size_t length = textLength(parent);
    while (length > 0 && parent[length - 1] != '\\') --length;
    // A root ("C:\\", "\\\\server\\share\\") is never created here.
    if (length > 1 && parent[length - 2] != ':' && parent[length - 2] != '\\') {
        parent[length - 1] = 0;
        if (!createPrivateDirectories(parent)) return false;
    }
    return createPrivateDirectory(path) || GetLastError() == ERROR_ALREADY_EXISTS;
}

}  // namespace jaunt
