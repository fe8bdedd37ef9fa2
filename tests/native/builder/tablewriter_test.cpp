#include "tablewriter.h"

#include <gtest/gtest.h>

using jaunt::ConfigTable;
using jaunt::TableError;

namespace {

std::vector<uint8_t> withPrefix(size_t prefix, const std::vector<uint8_t>& table) {
    std::vector<uint8_t> bytes(prefix, 0xAA);
    bytes.insert(bytes.end(), table.begin(), table.end());
    return bytes;
}

TEST(EncodeTable, WritesTheExactLayout) {
    EXPECT_EQ(jaunt::encodeTable({{1000, "Error"}}, {}),
              (std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8, 1,   0,   0,   0,   0xE8, 3, 0, 0, 5,
                                    0,    0,    0,    'E',  'r', 'r', 'o', 'r', 0,    0, 0, 0}));
    EXPECT_EQ(jaunt::encodeTable({}, {}),
              (std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8, 0, 0, 0, 0, 0, 0, 0, 0}));
    // Negative keys as two's complement; wide text as UTF-16LE with an even byte length.
    EXPECT_EQ(
        jaunt::encodeTable({{-2, ""}}, {{7, u"A\u20AC"}}),
        (std::vector<uint8_t>{0xD5, 0x13, 0xE4, 0xE8, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0, 0,    0,   0, 1,
                              0,    0,    0,    7,    0, 0, 0, 4, 0,    0,    0,    'A',  0, 0xAC, 0x20}));
}

TEST(EncodeTable, KeepsTheCallersOrderAndDuplicates) {
    std::vector<uint8_t> bytes = jaunt::encodeTable({{5, "b"}, {3, "a"}, {5, "c"}}, {});
    ASSERT_EQ(bytes.size(), 4u + 4 + 3 * 9 + 4);
    EXPECT_EQ(bytes[8], 5);
    EXPECT_EQ(bytes[16], 'b');
    EXPECT_EQ(bytes[17], 3);
    EXPECT_EQ(bytes[26], 5);
    EXPECT_EQ(bytes[34], 'c');
}

TEST(DecodeTable, RoundTripsWhereverTheTableStarts) {
    std::vector<uint8_t> table = jaunt::encodeTable({{300, "x y"}, {101, ""}, {300, "later"}, {-9, "neg"}},
                                                    {{20, u"\u00E9t\u00E9"}, {4, u""}});
    for (size_t prefix : {0u, 1u, 600u}) {
        std::vector<uint8_t> bytes = withPrefix(prefix, table);
        bytes.push_back(0x42);  // payload byte: not part of the table
        ConfigTable parsed;
        ASSERT_EQ(jaunt::decodeTable(bytes, prefix, &parsed), TableError::None);
        EXPECT_EQ(parsed.narrow, (std::map<int32_t, std::string>{{-9, "neg"}, {101, ""}, {300, "later"}}));
        EXPECT_EQ(parsed.wide, (std::map<int32_t, std::u16string>{{4, u""}, {20, u"\u00E9t\u00E9"}}));
        EXPECT_EQ(parsed.payloadPosition, prefix + table.size());
    }
}

TEST(DecodeTable, EveryTruncationIsRefusedWithTheLaunchersError) {
    std::vector<uint8_t> table = jaunt::encodeTable({{1, "abc"}}, {{2, u"de"}});
    // Offsets: magic 0..3, count 4..7, record 8..18, wide count 19..22, wide record 23..34.
    for (size_t cut = 0; cut < table.size(); ++cut) {
        std::vector<uint8_t> bytes(table.begin(), table.begin() + static_cast<long>(cut));
        ConfigTable parsed;
        TableError expected = (cut >= 16 && cut < 19) ? TableError::ReadString
                              : cut >= 31             ? TableError::ReadWString
                                                      : TableError::ReadInt;
        EXPECT_EQ(jaunt::decodeTable(bytes, 0, &parsed), expected) << "cut at " << cut;
    }
    std::vector<uint8_t> badMagic = table;
    badMagic[3] ^= 1;
    ConfigTable parsed;
    EXPECT_EQ(jaunt::decodeTable(badMagic, 0, &parsed), TableError::Magic);
    EXPECT_EQ(jaunt::decodeTable(table, table.size() + 5, &parsed), TableError::ReadInt);
}

}  // namespace
