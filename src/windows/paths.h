// Path operations on the launcher's narrow texts (UTF-8). Relative paths are resolved
// against the directory of the launcher's own file. Results go to caller buffers of the given
// capacity (kTextSize in the launcher) and are cut, never overrun; functions that produce a path
// return false when it had to be cut.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jaunt {

// The launcher's own file name in short (8.3) form, or the long form where the volume has no
// short names; lower-cased and collapsed; filled once.
const char* modulePath();
// The directory of modulePath, ending with a backslash; filled once.
const char* moduleDirectory();

void lowerCasePath(char* path);
void collapseBackslashes(char* path);
bool isRelative(const char* path);

bool resolveAgainstModuleDir(char* destination, size_t capacity, const char* source);
bool fullPath(char* destination, size_t capacity, const char* source, bool keepCase);
bool resolvePathList(char* destination, size_t capacity, const char* source);

bool pathExists(const char* path);
bool pathExists(const char* path, uint32_t* lastWriteLow, uint32_t* lastWriteHigh);

// The contract of GetLongPathNameA, in UTF-8: the length written, the size needed when the buffer is too
// small, 0 on failure with the last error set. Uses the platform routine where it exists and a
// shell-based fallback where it does not.
uint32_t longPathName(const char* path, char* buffer, uint32_t size);

// The fallback itself, exposed so that it can be tested where the platform routine exists.
uint32_t longPathNameFallback(const char* path, char* buffer, uint32_t size);

// The code page of the launcher's narrow texts: UTF-8, whatever the system's code page.
unsigned launcherCodePage();

// Converts length units of text to codePage into buffer (size bytes, terminator included). A
// result that does not fit is cut after the last whole character that does; returns false then.
bool toNarrowCut(unsigned codePage, const wchar_t* text, size_t length, char* buffer, size_t size);

}  // namespace jaunt
