// The configuration table appended to the launcher's own file: loaded once at start-up, read-only
// afterwards (so the splash thread may read it beside the main thread).
#pragma once

#include <cstddef>
#include <cstdint>

#include "boundedtext.h"
#include "tableformat.h"

namespace jaunt {

// Loads the table from the launcher's own file; every failure ends the process with its report.
void readConfiguration();

// Opens a launcher file for reading the way the loader does (shared read and write access).
// Returns INVALID_HANDLE_VALUE (or null) on failure.
void* openLauncherFile(const char* path);

// Loads the table of the launcher file at path into the process-wide store without reporting.
// Used by readConfiguration and by tests. *opened tells whether the file could be opened.
TableError loadConfigurationFile(const char* path, bool* opened);

// A missing key reads as the empty text. The copy never exceeds size bytes; a longer value is cut.
void getConfigString(int32_t key, char* buffer, size_t size);
// atoi rules: leading white space, optional sign, digits up to the first other character.
int32_t getConfigInt(int32_t key);
// "r,g,b" packed as a COLORREF (red in the low byte). Missing components read as 0.
uint32_t getConfigColor(int32_t key);
// A missing key reads as the empty text; size is in UTF-16 units.
void getConfigWString(int32_t key, wchar_t* buffer, size_t size = kTextSize);
// Absolute file offset of the first byte after the table.
uint32_t getPayloadPosition();

}  // namespace jaunt
