// The included files appended after the configuration table, and the rules for their names.
// Platform-free: the launcher restores the files from its own file, the build tool writes and
// inspects them, the tests and the fuzzer feed the parser from memory.
//
// The payload is one record per included file, in the order of the names of key 2003, with nothing
// between records and no header or trailer: the content size (u32, little-endian), then the content,
// every byte stored XOR kPayloadKey. The names are not in the payload.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

// The one byte every stored content byte is XORed with, by the build tool and the launcher alike.
constexpr unsigned char kPayloadKey = 0xA5;

// Scrambles or restores count bytes in place (XOR with kPayloadKey; the operation is its own inverse).
void scramblePayload(unsigned char* bytes, size_t count);

// True for a name the launcher may create directly inside its extraction directory: not empty, no
// drive, directory or stream part (no "\", "/" or ":"), none of the characters the platform refuses
// in file names, no trailing dot or blank (so neither "." nor ".."), and not a device name such as
// NUL or COM1 (with or without an extension). Bytes of 0x80 and above are not judged.
bool isPlainFileName(const char* name);

// "<directory>\<name>" into buffer. False, with buffer left empty, when the name is not a plain file
// name or the path does not fit: a cut path would name another file.
bool extractionTarget(char* buffer, size_t capacity, const char* directory, const char* name);

enum class PayloadError {
    None,
    SizeCut,     // a record's size header is cut short
    ContentCut,  // a record's content ends before its size
    BadName,     // a name that is not a plain file name
};

// A short description of the error, e.g. "the size header is cut short" (empty for None).
const char* payloadErrorText(PayloadError error);

struct PayloadRecord {
    std::string name;
    uint64_t offset = 0;  // of the content, counted from the start of the payload
    uint32_t size = 0;
};

struct PayloadLayout {
    // The records the launcher extracts, in order: as many as there are names, at most count.
    // On an error, the records before the failing one.
    std::vector<PayloadRecord> records;
    size_t namesListed = 0;  // names in key 2003 as the launcher reads it
    uint64_t end = 0;        // payload offset after the last record read
    PayloadError error = PayloadError::None;
    std::string failedName;  // the name of the record that failed
};

// Lays out a payload of size bytes the way the launcher reads it, given key 2002 (count; 0 or less:
// nothing) and the text of key 2003 (names separated by ";", runs counting as one; only its first
// 8191 bytes, up to a NUL, are read, like the launcher's buffer). Names beyond count are ignored; with fewer names
// than count, the records after the last name are never read.
PayloadError parsePayload(const unsigned char* data, size_t size, int32_t count, const std::string& names,
                          PayloadLayout* layout);

}  // namespace jaunt
