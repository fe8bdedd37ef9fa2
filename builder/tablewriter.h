// Writes configuration tables in the byte layout the launcher reads (tableformat.h), and reads them
// back from memory through the same parser the launcher uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tableformat.h"

namespace jaunt {

struct NarrowRecord {
    int32_t key;
    std::string value;  // bytes in the launcher's ANSI code page, written as they are
};

struct WideRecord {
    int32_t key;
    std::u16string value;  // written as UTF-16LE
};

// Encodes a table with the records in exactly the given order. Nothing is sorted or merged, so
// callers can produce any table the format allows (duplicate keys, descending keys, ...).
// Throws std::length_error when a value or the table does not fit the format's 32-bit lengths.
std::vector<uint8_t> encodeTable(const std::vector<NarrowRecord>& narrow,
                                 const std::vector<WideRecord>& wide);

// A ByteSource over a block of memory, starting at a given offset.
class MemoryByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size, size_t position = 0);
    ByteSource source();

private:
    static bool readBytes(void* context, void* buffer, uint32_t count, uint32_t* got);

    const uint8_t* data_;
    size_t size_;
    size_t position_;
};

// Parses the table that starts at tableStart within bytes (the whole file image).
TableError decodeTable(const std::vector<uint8_t>& bytes, size_t tableStart, ConfigTable* table);

}  // namespace jaunt
