// The application's own Java runtime, packed into the launcher after its included files, and the
// rules that keep its unpacked copy sound. Platform-free: the launcher reads the index from its own
// file, the build tool writes and inspects packs, the tests and the fuzzer feed the parser from
// memory.
//
// A pack is a header, an index and the data of its files, with nothing after them:
//   header  "JAUNTRT1", u32 index size (bytes after the header), u32 entry count;
//   index   per entry: u16 name length, the name (UTF-8, components separated by "/"), u8 kind,
//           u64 size, u64 stored size, u32 CRC-32 of the content;
//   data    the stored bytes of each file entry, in index order.
// All numbers are little-endian. A directory entry makes an empty directory (files imply theirs).
// Key 2010 locates the pack: "<offset after the payload position> <size> <content hash>".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

constexpr char kRuntimePackMagic[8] = {'J', 'A', 'U', 'N', 'T', 'R', 'T', '1'};
constexpr size_t kRuntimePackHeaderSize = 16;
// Limits that keep a damaged pack from making the launcher take memory or walk for ever.
constexpr uint32_t kRuntimePackMaxEntries = 200000;
constexpr uint32_t kRuntimePackMaxIndex = 32u << 20;
constexpr size_t kRuntimePackMaxName = 1024;
// The content hash names the cache folder: 64 hexadecimal digits.
constexpr size_t kRuntimeHashDigits = 64;

enum class RuntimeEntryKind : uint8_t { Stored = 0, Deflated = 1, Directory = 2 };

struct RuntimeEntry {
    std::string name;  // as stored, "/" separated
    RuntimeEntryKind kind = RuntimeEntryKind::Stored;
    uint64_t size = 0;        // of the content
    uint64_t storedSize = 0;  // in the pack (0 for a directory)
    uint32_t crc = 0;         // CRC-32 of the content
    uint64_t offset = 0;      // of the stored bytes, from the start of the pack
};

enum class RuntimePackError {
    None,
    Cut,           // the header or index ends early
    BadMagic,      // not a runtime pack
    TooLarge,      // more entries or a larger index than the limits allow
    BadEntry,      // an entry of unknown kind, or sizes that do not fit the kind
    BadName,       // a name that is not a plain relative path, or one given twice
    SizeMismatch,  // the data does not add up to the pack's size
};

const char* runtimePackErrorText(RuntimePackError error);

struct RuntimeIndex {
    std::vector<RuntimeEntry> entries;
    uint64_t unpackedSize = 0;  // sum of the file sizes
    uint32_t indexSize = 0;
};

// The index size from a pack's first kRuntimePackHeaderSize bytes; false when they are no header
// or announce more than the limits allow (*error says which).
bool runtimePackIndexSize(const uint8_t* header, size_t size, uint32_t* indexSize, RuntimePackError* error);

// Parses header and index (the first kRuntimePackHeaderSize + index size bytes of the pack) of a
// pack of packSize bytes. Every length is checked against what is left before it is used.
RuntimePackError parseRuntimeIndex(const uint8_t* bytes, size_t size, uint64_t packSize, RuntimeIndex* index);

// True for a name the launcher may create below its runtime folder: "/"-separated components, each
// a plain file name (no drive, stream, device name, "." or ".."), no leading or trailing "/".
bool isRuntimeEntryName(const std::string& name);

// The value of key 2010, split; false when it is not three fields of the right form.
bool parseRuntimeLocation(const char* text, uint64_t* offset, uint64_t* size, std::string* hash);

// CRC-32 (the zlib/PNG polynomial) continued over count more bytes; start with crc = 0.
uint32_t runtimeCrc32(uint32_t crc, const uint8_t* bytes, size_t count);

// The text of the completion mark of a runtime folder: what a later start compares, line by line.
std::string runtimeMarkText(const std::string& hash, const std::string& application, const RuntimeIndex& index);

}  // namespace jaunt
