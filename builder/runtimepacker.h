// Packing a Java runtime folder in the format of runtimepack.h, and reading a pack back (inspect,
// --extract and the tests).
//
// The pack is reproducible: the same folder gives the same bytes on every system jaunt runs on.
// Its entries are sorted by the bytes of their UTF-8 names, each file is compressed with zlib at
// level 9 (kept as it is when that does not make it smaller), and nothing from the file system
// but names and contents enters it (no times, owners or modes).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "runtimepack.h"

namespace jaunt {

// A runtime folder that cannot be packed, a pack that cannot be read back, or a runtime that does
// not fit the launcher. The message is complete, apart from the setting it concerns.
class RuntimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One entry of a runtime folder.
struct RuntimeSource {
    std::string name;  // in the pack: UTF-8, "/"-separated, relative to the folder
    std::string path;  // on disk, UTF-8 (a file entry); empty for a directory entry
    bool directory = false;
};

// The entries of a runtime folder in pack order: every file, and every directory that holds
// nothing. A link to a file inside the folder counts as that file's content under the link's name;
// a link to a directory, a link leading outside the folder or to nothing, and anything that is
// neither file nor directory (FIFO, socket, device) are refused, as are names the launcher could
// not create (see isRuntimeEntryName), names that are not UTF-8, names that Windows would take for
// one another (they differ only in letter case), and folders beyond the format's limits.
// Messages name the folder as shown (how the configuration names it) and the entry in it.
std::vector<RuntimeSource> listRuntimeFolder(const std::string& folder, const std::string& shown);

struct PackedRuntime {
    std::vector<uint8_t> bytes;
    std::string hash;    // SHA-256 of bytes: 64 lower-case hexadecimal digits
    RuntimeIndex index;  // the pack's index as the launcher reads it
    size_t files = 0;
    size_t directories = 0;
};

// Packs the folder (listRuntimeFolder's entries). Throws RuntimeError.
PackedRuntime packRuntime(const std::string& folder, const std::string& shown);

// The value of key 2010 for a pack that starts offset bytes after the payload position.
std::string runtimeLocationText(uint64_t offset, uint64_t size, const std::string& hash);

// The content of a file entry of a pack of packSize bytes at pack, inflated and checked against the
// entry's size and CRC-32 (and, for a compressed entry, zlib's own Adler-32). Throws RuntimeError.
std::vector<uint8_t> unpackRuntimeEntry(const uint8_t* pack, uint64_t packSize, const RuntimeEntry& entry);

// The entry of that name, compared without regard to ASCII letter case as Windows compares names;
// nullptr when there is none.
const RuntimeEntry* findRuntimeEntry(const RuntimeIndex& index, const std::string& name);

// The bytes stored for content: zlib's format at level 9, or content itself when that is not
// smaller. *deflated says which.
std::vector<uint8_t> storeRuntimeContent(const std::vector<uint8_t>& content, bool* deflated);

}  // namespace jaunt
