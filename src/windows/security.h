// What keeps the launcher's own files to their user: unpredictable numbers for the names it makes,
// and directories that only the current user (and the system) may use.
#pragma once

#include <cstdint>

namespace jaunt {

// A number from the system's cryptographic generator; when that fails, a mix of the process's
// clocks and identifiers (logged), which still differs between launchers started together.
uint32_t randomNumber();

// Creates directory with a protected access list: full control for the current user and for the
// system, inherited by everything made inside; no other account may list it or plant files in it,
// whatever the rights of the directory it is in. False (with the last error set) when the
// directory cannot be created or the access list cannot be built.
bool createPrivateDirectory(const char* path);

// Makes sure directory path exists: each missing directory of it, below the existing ones, is
// created with createPrivateDirectory; existing ones are taken as they are. False (with the last
// error set) when one cannot be created.
bool createPrivateDirectories(const char* path);

}  // namespace jaunt
