#include "tableformat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

void put32(Bytes* b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b->push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void putText(Bytes* b, uint32_t key, const std::string& text) {
    put32(b, key);
    put32(b, static_cast<uint32_t>(text.size()));
    b->insert(b->end(), text.begin(), text.end());
}

struct Memory {
    const Bytes* bytes;
    size_t position;
};

bool readMemory(void* context, void* buffer, uint32_t count, uint32_t* got) {
    Memory* m = static_cast<Memory*>(context);
    size_t available = m->position < m->bytes->size() ? m->bytes->size() - m->position : 0;
    *got = static_cast<uint32_t>(count < available ? count : available);
    if (*got) std::memcpy(buffer, m->bytes->data() + m->position, *got);
    m->position += *got;
    return true;
}

// Parses bytes as a file whose table starts at start.
jaunt::TableError parse(const Bytes& bytes, size_t start, jaunt::ConfigTable* table) {
    Memory m{&bytes, start};
    return jaunt::parseTable(jaunt::ByteSource{&m, readMemory}, start, bytes.size(), table);
}

TEST(TableFormat, TheSmallestTableWithOneNarrowRecord) {
    const Bytes bytes = {0xD5, 0x13, 0xE4, 0xE8, 1, 0, 0, 0, 0xE8, 3, 0, 0, 5, 0, 0, 0,
                         'E',  'r',  'r',  'o',  'r', 0, 0, 0, 0};
    jaunt::ConfigTable table;
    ASSERT_EQ(parse(bytes, 0, &table), jaunt::TableError::None);
    EXPECT_EQ(table.narrow.at(1000), "Error");
    EXPECT_TRUE(table.wide.empty());
    EXPECT_EQ(table.payloadPosition, 25u);
}

TEST(TableFormat, PayloadPositionIsAbsoluteAndWideValuesAreDecoded) {
    Bytes bytes(100, 0xAA);  // stands for the launcher program
    put32(&bytes, jaunt::kTableMagic);
    put32(&bytes, 1);
    putText(&bytes, 101, "Hello");
    put32(&bytes, 1);
    put32(&bytes, 7);
    put32(&bytes, 4);
    bytes.insert(bytes.end(), {0x48, 0x00, 0x3A, 0x04});  // "H" and CYRILLIC CAPITAL LETTER KA
    bytes.insert(bytes.end(), {1, 2, 3});                 // payload
    jaunt::ConfigTable table;
    ASSERT_EQ(parse(bytes, 100, &table), jaunt::TableError::None);
    EXPECT_EQ(table.narrow.at(101), "Hello");
    EXPECT_EQ(table.wide.at(7), u"H\u043A");
    EXPECT_EQ(table.payloadPosition, bytes.size() - 3);
}

TEST(TableFormat, LaterRecordOfTheSameKeyWinsAndOrderDoesNotMatter) {
    Bytes bytes;
    put32(&bytes, jaunt::kTableMagic);
    put32(&bytes, 3);
    putText(&bytes, 200, "first");
    putText(&bytes, 100, "other");
    putText(&bytes, 200, "");
    put32(&bytes, 0);
    jaunt::ConfigTable table;
    ASSERT_EQ(parse(bytes, 0, &table), jaunt::TableError::None);
    EXPECT_EQ(table.narrow.at(200), "");
    EXPECT_EQ(table.narrow.at(100), "other");
}

TEST(TableFormat, CountsOfTheHighHalfMeanNoRecords) {
    Bytes bytes;
    put32(&bytes, jaunt::kTableMagic);
    put32(&bytes, 0x80000000u);
    put32(&bytes, 0xFFFFFFFFu);
    jaunt::ConfigTable table;
    ASSERT_EQ(parse(bytes, 0, &table), jaunt::TableError::None);
    EXPECT_TRUE(table.narrow.empty());
    EXPECT_EQ(table.payloadPosition, 12u);
}

TEST(TableFormat, WrongMagicAndMissingTable) {
    Bytes bytes;
    put32(&bytes, 0xE8E413D4u);
    put32(&bytes, 0);
    put32(&bytes, 0);
    jaunt::ConfigTable table;
    EXPECT_EQ(parse(bytes, 0, &table), jaunt::TableError::Magic);
    EXPECT_EQ(parse(bytes, bytes.size(), &table), jaunt::TableError::ReadInt);  // ends before a table
    EXPECT_EQ(parse(bytes, bytes.size() + 1000, &table), jaunt::TableError::ReadInt);
    EXPECT_STREQ(jaunt::tableErrorText(jaunt::TableError::Magic), "Internal Error: magic");
    EXPECT_STREQ(jaunt::tableErrorText(jaunt::TableError::ReadWString), "Internal Error: readWString");
}

TEST(TableFormat, LengthsBeyondTheFileAreRefusedBeforeAnyAllocation) {
    for (uint32_t length : {0xFFFFFFFFu, 0x7FFFFFFFu, 5u}) {
        Bytes narrow;
        put32(&narrow, jaunt::kTableMagic);
        put32(&narrow, 1);
        put32(&narrow, 101);
        put32(&narrow, length);
        narrow.insert(narrow.end(), {'a', 'b', 'c', 'd'});  // one byte short of 5
        jaunt::ConfigTable table;
        EXPECT_EQ(parse(narrow, 0, &table), jaunt::TableError::ReadString) << length;

        Bytes wide;
        put32(&wide, jaunt::kTableMagic);
        put32(&wide, 0);
        put32(&wide, 1);
        put32(&wide, 101);
        put32(&wide, length == 5u ? 6u : length);
        wide.insert(wide.end(), {'a', 0, 'b', 0});
        EXPECT_EQ(parse(wide, 0, &table), jaunt::TableError::ReadWString) << length;
    }
}

TEST(TableFormat, OddWideLengthIsARead) {
    Bytes bytes;
    put32(&bytes, jaunt::kTableMagic);
    put32(&bytes, 0);
    put32(&bytes, 1);
    put32(&bytes, 9);
    put32(&bytes, 3);
    bytes.insert(bytes.end(), {'a', 0, 'b', 0});
    jaunt::ConfigTable table;
    EXPECT_EQ(parse(bytes, 0, &table), jaunt::TableError::ReadWString);
}

// A table cut at any byte fails with the reader that was cut, and never reads past the data.
TEST(TableFormat, ATableCutAtAnyByteFailsWithTheRightError) {
    Bytes full;
    put32(&full, jaunt::kTableMagic);         // 0..3
    put32(&full, 1);                          // 4..7
    putText(&full, 1000, "Error");            // key 8..11, length 12..15, text 16..20
    put32(&full, 1);                          // 21..24
    put32(&full, 5);                          // 25..28
    put32(&full, 4);                          // 29..32
    full.insert(full.end(), {'o', 0, 'k', 0});  // 33..36
    for (size_t cut = 0; cut < full.size(); ++cut) {
        Bytes bytes(full.begin(), full.begin() + static_cast<long>(cut));
        jaunt::ConfigTable table;
        jaunt::TableError error = parse(bytes, 0, &table);
        jaunt::TableError expected = jaunt::TableError::ReadInt;
        if (cut >= 16 && cut < 21) expected = jaunt::TableError::ReadString;
        if (cut >= 33) expected = jaunt::TableError::ReadWString;
        EXPECT_EQ(error, expected) << "cut at " << cut;
    }
    jaunt::ConfigTable table;
    EXPECT_EQ(parse(full, 0, &table), jaunt::TableError::None);
}

TEST(TableFormat, TableOffsetIsTheSumOfTheLastSectionFields) {
    Bytes image(600, 0);
    image[552] = 0x00; image[553] = 0x02;  // size 0x200
    image[556] = 0x00; image[557] = 0x10;  // position 0x1000
    uint32_t offset = 0;
    ASSERT_TRUE(jaunt::tableOffsetOf(image.data(), image.size(), &offset));
    EXPECT_EQ(offset, 0x1200u);
    image[555] = 0xFF;  // 0xFF000200 + 0x1000 + wraps nowhere; the sum is 32-bit
    image[559] = 0x01;
    ASSERT_TRUE(jaunt::tableOffsetOf(image.data(), image.size(), &offset));
    EXPECT_EQ(offset, 0xFF000200u + 0x01001000u);
    EXPECT_FALSE(jaunt::tableOffsetOf(image.data(), 559, &offset));
}

}  // namespace
