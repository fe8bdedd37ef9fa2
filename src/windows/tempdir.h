// The writable directory for the files the launcher creates: the platform's temporary directory,
// or, when its name cannot be written in the file-system code page, the first writable one of a
// fixed list of fallbacks.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jaunt {

// The chosen directory into buffer (kTextSize bytes). The platform's temporary path keeps its
// trailing backslash; a fallback has none. Ends the process when no directory is usable.
void tempDirectory(char* buffer, size_t size);

// Every directory tempDirectory can choose in this environment, without trailing backslash: the
// platform's temporary path (as given and in its long form) and the fallbacks. Only directly inside
// these does the launcher make its extraction directories.
std::vector<std::string> temporaryRoots();

// True when a probe directory can be created in directory (and it is removed again).
bool isWritableDirectory(const char* directory);

// Creates a new, unique, empty file "jnt<hex>.tmp" in tempDirectory and puts its path in buffer
// (kTextSize bytes). False when the platform could not create it.
bool tempFileName(char* buffer, size_t size);

// "<platform temporary path>jnt_p<pid>.tmp", the file through which a second instance hands its
// command line to the first.
bool processCommFileName(char* buffer, size_t size, unsigned long processId);

}  // namespace jaunt
