// The launcher program as a file: checking that a stub is an unconfigured launcher, appending a
// configuration table and payload to it, and finding the table of a configured launcher again.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tableformat.h"

namespace jaunt {

// A file that is not the launcher program the operation needs, or a file that cannot be read or
// written. The message is complete and meant for the user.
class LauncherError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> readFileBytes(const std::string& path);
void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// The two launcher programs: the 32-bit one (PE32, i386) and the 64-bit one (PE32+, AMD64). Each
// reads its table through the fifth section header at its own offsets (552/556 or 568/572).
enum class LauncherArch { X86, X64 };

// "x86" or "x64", as in the stub's file name, the --arch option and [build] arch.
const char* launcherArchName(LauncherArch arch);
// Parses an architecture name; false when it is neither.
bool parseLauncherArch(const std::string& name, LauncherArch* arch);
// launcher-x86.exe or launcher-x64.exe.
std::string stubFileName(LauncherArch arch);

// Throws LauncherError ("not an unconfigured launcher program: <reason>") unless stub is a launcher
// image with nothing appended: at least 560 bytes, "MZ", the PE header at offset 0x80, a standard
// optional header (224-byte PE32 for i386 or 240-byte PE32+ for AMD64) and five sections, the last
// of which ends exactly at the end of the file. Returns the launcher's architecture.
LauncherArch checkUnconfiguredLauncher(const std::vector<uint8_t>& stub);

// The configured launcher: stub, then table, then payload. Checks the stub first.
std::vector<uint8_t> makeLauncher(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& table,
                                  const std::vector<uint8_t>& payload);

struct LauncherTable {
    LauncherArch arch = LauncherArch::X86;
    uint32_t tableOffset = 0;  // where the launcher looks for its table
    TableError error = TableError::None;
    ConfigTable table;         // the records read before any error
    uint64_t payloadSize = 0;  // bytes from table.payloadPosition to the end (0 on error)
};

// Reads the table of a configured launcher the way the launcher itself does. Throws LauncherError
// when exe does not have the launcher's header layout; a table the launcher would refuse is
// reported through LauncherTable::error (see tableErrorText).
LauncherTable readLauncherTable(const std::vector<uint8_t>& exe);

}  // namespace jaunt
