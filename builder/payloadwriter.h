// The included files a launcher carries after its table: writing the payload when a launcher is
// built, and reading it back (as the launcher would) to list or extract the files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buildconfig.h"
#include "launcherimage.h"
#include "payloadformat.h"

namespace jaunt {

struct IncludedFile {
    std::string name;  // the file name the launcher creates in its extraction directory
    std::vector<uint8_t> content;
};

// The payload: for each file its size (u32, little-endian) and its content scrambled with the payload
// key. Throws std::length_error for a file of 4 GiB or more.
std::vector<uint8_t> encodePayload(const std::vector<IncludedFile>& files);

// The value of key 2003: every name followed by ";".
std::string fileNameList(const std::vector<std::string>& names);

// Empty when name can be an included file's name, else why not. On top of what the launcher accepts
// (payloadformat.h), names are printable ASCII, which every Windows code page reads alike.
std::string includedFileNameProblem(const std::string& name);

// Reads the files the configuration includes, in payload order. The runtime library is read from
// runtimeLibrary. A file that cannot be read is reported as a ConfigError of configPath, on the line
// that named it.
std::vector<IncludedFile> loadIncludedFiles(const BuildConfiguration& config, const std::string& configPath,
                                            const std::string& runtimeLibrary);

// The number of key 2002 as the launcher reads it: leading white space, an optional sign, the digits
// up to the first other character; 0 without digits; limited to the 32-bit range.
int32_t configNumber(const std::string& text);

// Lays out the payload of a configured launcher (readLauncherTable's result) by keys 2002 and 2003,
// the way the launcher would extract it.
PayloadError layoutIncludedFiles(const std::vector<uint8_t>& exe, const LauncherTable& launcher,
                                 PayloadLayout* layout);

// The restored content of one record of that layout.
std::vector<uint8_t> restoreIncludedFile(const std::vector<uint8_t>& exe, const LauncherTable& launcher,
                                         const PayloadRecord& record);

}  // namespace jaunt
