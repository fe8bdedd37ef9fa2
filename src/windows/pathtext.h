// Text rules for paths, free of any platform call.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

// Shrinks every run of backslashes to one, except that a leading pair (a network path) survives.
void collapseBackslashRuns(std::u16string* path);

// A drive path ("c:\...") or a network path ("\\...") is absolute; everything else is relative.
// A text that begins with a double quote is examined one character further on.
bool isRelativePath(const char* path);

// True for a drive root written as "X:\", "X:\." or "X:\.\.", which exists without any test.
bool isDriveRoot(const char* path);

// Splits text at separator; runs of separators count as one, so no entry is empty.
std::vector<std::string> splitList(const std::string& text, char separator);

// Whether text ends with suffix, ASCII letters compared without regard to case (as the platform
// compares file names).
bool endsWithIgnoringCase(const std::string& text, const std::string& suffix);

// The name the extraction gives its directories: "jnt", 1 to 8 hexadecimal digits, ".tmp_dir" and 1
// to 10 decimal digits, letters in either case.
bool isExtractionDirectoryName(const std::string& name);

// "<root>\<extraction directory name>" for one of roots (full paths without trailing backslash,
// compared without regard to the case of ASCII letters).
bool isExtractionDirectoryPath(const std::string& path, const std::vector<std::string>& roots);

// "<extraction directory path>\<name>" with a plain name: no further separator, no drive or
// stream colon, neither "." nor "..".
bool isExtractedFilePath(const std::string& path, const std::vector<std::string>& roots);

}  // namespace jaunt

namespace jaunt {

// The new PATH value: the resolved prefix list, a ";" when it is not empty and does not end in one,
// then the old PATH. The result is at most maxLength characters: what does not fit is cut at an
// entry boundary, so no directory is left half-named.
std::string composePathValue(const std::string& prefix, const std::string& oldPath, size_t maxLength);

}  // namespace jaunt
