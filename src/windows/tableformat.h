// Byte layout of the configuration table appended to the launcher program, and its parser.
// Platform-free: the launcher feeds it from its own file, the build tool and the tests from memory.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace jaunt {

constexpr uint32_t kTableMagic = 0xE8E413D5u;
// File offsets of the raw-data size and raw-data position of the launcher image's fifth section
// header; the table starts where that section's data ends. With the PE header at 0x80 they follow
// from the optional header's size: 224 bytes in the 32-bit image (PE32), 240 in the 64-bit one
// (PE32+).
struct LastSectionFields {
    uint32_t sizeOffset;
    uint32_t positionOffset;
};
constexpr LastSectionFields kPe32LastSection{552, 556};
constexpr LastSectionFields kPe32PlusLastSection{568, 572};

// The fields the running launcher reads in its own file (natively built code sees the 32-bit ones).
#if defined(_WIN64)
constexpr LastSectionFields kOwnLastSection = kPe32PlusLastSection;
#else
constexpr LastSectionFields kOwnLastSection = kPe32LastSection;
#endif
constexpr uint32_t kLastSectionSizeOffset = kOwnLastSection.sizeOffset;
constexpr uint32_t kLastSectionPositionOffset = kOwnLastSection.positionOffset;

enum class TableError {
    None,
    Magic,        // "Internal Error: magic"
    ReadInt,      // "Internal Error: readInt"
    ReadString,   // "Internal Error: readString"
    ReadWString,  // "Internal Error: readWString"
};

// The launcher's failure text for a parse error (empty for None).
const char* tableErrorText(TableError error);

struct ConfigTable {
    std::map<int32_t, std::string> narrow;
    std::map<int32_t, std::u16string> wide;
    uint32_t payloadPosition = 0;  // absolute file offset of the first byte after the table
};

// Reads up to count bytes at the current position; returns false when the read call itself fails.
// *got receives the number of bytes read (fewer than count at the end of the data).
struct ByteSource {
    void* context;
    bool (*read)(void* context, void* buffer, uint32_t count, uint32_t* got);
};

// Parses a table from source, which is positioned at tableStart. fileSize is the size of the whole
// file: a length larger than the rest of the file is refused before anything is allocated.
// On success the table's payload position is tableStart plus the bytes the table occupies.
TableError parseTable(ByteSource source, uint64_t tableStart, uint64_t fileSize, ConfigTable* table);

// The table offset of a launcher image: the 32-bit sum of the two values at the given offsets
// (552 and 556 in the 32-bit image). Returns false when the image is too short to hold them.
bool tableOffsetOf(const unsigned char* image, size_t size, LastSectionFields fields, uint32_t* offset);
// The same through the fields of the running launcher's own kind of image.
bool tableOffsetOf(const unsigned char* image, size_t size, uint32_t* offset);

uint32_t readLittleEndian32(const unsigned char* bytes);

}  // namespace jaunt
