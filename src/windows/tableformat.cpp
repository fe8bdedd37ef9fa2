#include "tableformat.h"

namespace jaunt {

const char* tableErrorText(TableError error) {
    switch (error) {
        case TableError::Magic: return "Internal Error: magic";
        case TableError::ReadInt: return "Internal Error: readInt";
        case TableError::ReadString: return "Internal Error: readString";
        case TableError::ReadWString: return "Internal Error: readWString";
        case TableError::None: break;
    }
    return "";
}

uint32_t readLittleEndian32(const unsigned char* b) {
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
           (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

bool tableOffsetOf(const unsigned char* image, size_t size, LastSectionFields fields, uint32_t* offset) {
    if (size < fields.sizeOffset + 4 || size < fields.positionOffset + 4) return false;
    *offset = readLittleEndian32(image + fields.sizeOffset) + readLittleEndian32(image + fields.positionOffset);
    return true;
}

bool tableOffsetOf(const unsigned char* image, size_t size, uint32_t* offset) {
    return tableOffsetOf(image, size, kOwnLastSection, offset);
}

namespace {

struct Cursor {
    ByteSource source;
    uint64_t position;
    uint64_t fileSize;

    uint64_t remaining() const { return position < fileSize ? fileSize - position : 0; }

    bool readExactly(void* buffer, uint32_t count) {
        uint32_t got = 0;
        bool ok = source.read(source.context, buffer, count, &got);
        if (got > count) got = count;
        position += got;
        return ok && got == count;
    }

    bool readInt(uint32_t* value) {
        unsigned char bytes[4];
        if (!readExactly(bytes, 4)) return false;
        *value = readLittleEndian32(bytes);
        return true;
    }
};

// Record counts are compared as signed numbers: 0 and values of 0x80000000 and more mean none.
int32_t asSigned(uint32_t value) { return static_cast<int32_t>(value); }

}  // namespace

TableError parseTable(ByteSource source, uint64_t tableStart, uint64_t fileSize, ConfigTable* table) {
    Cursor in{source, tableStart, fileSize};
    uint32_t value = 0;
    if (!in.readInt(&value)) return TableError::ReadInt;
    if (value != kTableMagic) return TableError::Magic;

    if (!in.readInt(&value)) return TableError::ReadInt;
    for (int32_t n = asSigned(value), i = 0; i < n; ++i) {
        uint32_t key = 0, length = 0;
        if (!in.readInt(&key) || !in.readInt(&length)) return TableError::ReadInt;
        if (length > in.remaining()) return TableError::ReadString;
        std::string text(length, '\0');
        if (length != 0 && !in.readExactly(&text[0], length)) return TableError::ReadString;
        table->narrow[asSigned(key)] = std::move(text);
    }

    if (!in.readInt(&value)) return TableError::ReadInt;
    for (int32_t m = asSigned(value), i = 0; i < m; ++i) {
        uint32_t key = 0, length = 0;
        if (!in.readInt(&key) || !in.readInt(&length)) return TableError::ReadInt;
        // A wide value is whole UTF-16 units; an odd length cannot be read in full.
        if (length > in.remaining() || length % 2 != 0) return TableError::ReadWString;
        std::u16string text(length / 2, u'\0');
        if (length != 0) {
            std::string bytes(length, '\0');
            if (!in.readExactly(&bytes[0], length)) return TableError::ReadWString;
            for (uint32_t u = 0; u < length / 2; ++u) {
                text[u] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * u]) |
                                                (static_cast<unsigned char>(bytes[2 * u + 1]) << 8));
            }
        }
        table->wide[asSigned(key)] = std::move(text);
    }

    table->payloadPosition = static_cast<uint32_t>(in.position);
    return TableError::None;
}

}  // namespace jaunt
