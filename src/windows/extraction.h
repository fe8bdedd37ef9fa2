// Included files: the launcher restores the files appended after its configuration table into a
// fresh directory under the temporary directory. The run never removes them; it registers them for
// removal by a later run, and keeps them open for reading until it ends, so that a later run's
// cleanup leaves them alone while this one may still need them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

// Restores the included files of the launcher's own file into a new directory, which then becomes
// extractionDirectory(). True when done or when there is nothing to extract; false when a file
// could not be restored (logged). Other failures end the process with their report.
bool extractIncludedFiles();

// The same for the launcher file at launcherFile, with the directory put in buffer (kTextSize
// bytes); the configuration must already be loaded from that file.
bool extractIncludedFilesFrom(const char* launcherFile, char* directory, size_t size);

// The directory that received the included files, without trailing backslash; empty when the
// launcher carries none (or before extraction).
const char* extractionDirectory();

// The full paths of the files the last extraction wrote, in the order of the configured names
// (files of size 0 are not written and not listed). The class path is built from these, never from
// a listing of the directory, where nothing but these files belongs.
const std::vector<std::string>& extractedFiles();

// Restores one record of the payload from file (positioned at the record) to destination.
bool extractOneFile(void* file, const char* destination);

// Copies exactly count bytes from the current position of source to destination, restoring the
// payload's scrambling when unscramble is set. False when the source ends early or cannot be read;
// a failed write ends the process with internal error 13.
bool copyBlock(void* source, void* destination, uint32_t count, bool unscramble);

// Closes the read handles kept on the files this process extracted (tests; the launcher keeps them
// until it ends).
void releaseExtractedFiles();

}  // namespace jaunt
