#include "payloadformat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boundedtext.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A record as the build tool writes it: size, then the content XOR the key.
void putRecord(Bytes* payload, const std::string& content) {
    uint32_t size = static_cast<uint32_t>(content.size());
    for (int shift = 0; shift < 32; shift += 8) payload->push_back(static_cast<unsigned char>(size >> shift));
    for (char c : content) payload->push_back(static_cast<unsigned char>(c) ^ jaunt::kPayloadKey);
}

jaunt::PayloadError parse(const Bytes& payload, int32_t count, const std::string& names,
                          jaunt::PayloadLayout* layout) {
    static const unsigned char nothing = 0;
    return jaunt::parsePayload(payload.empty() ? &nothing : payload.data(), payload.size(), count, names, layout);
}

TEST(PayloadFormat, ScramblingIsItsOwnInverseAndChangesEveryByte) {
    Bytes bytes(256);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i);
    Bytes scrambled = bytes;
    jaunt::scramblePayload(scrambled.data(), scrambled.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        EXPECT_NE(scrambled[i], bytes[i]);
        EXPECT_EQ(scrambled[i], bytes[i] ^ jaunt::kPayloadKey);
    }
    jaunt::scramblePayload(scrambled.data(), scrambled.size());
    EXPECT_EQ(scrambled, bytes);
}

// Scrambling works a word at a time: every start alignment and every tail length must come out as
// the byte-wise XOR, and nothing around the range may change.
TEST(PayloadFormat, ScramblingAnyRangeMatchesTheByteWiseRule) {
    Bytes original(64);
    for (size_t i = 0; i < original.size(); ++i) original[i] = static_cast<unsigned char>(i * 37 + 11);
    for (size_t start = 0; start < 9; ++start) {
        for (size_t count = 0; count + start + 8 <= original.size(); ++count) {
            Bytes bytes = original;
            jaunt::scramblePayload(bytes.data() + start, count);
            Bytes expected = original;
            for (size_t i = start; i < start + count; ++i) expected[i] ^= jaunt::kPayloadKey;
            ASSERT_EQ(bytes, expected) << "start " << start << ", count " << count;
        }
    }
}

TEST(PayloadFormat, RecordsFollowTheNamesInOrder) {
    Bytes payload;
    putRecord(&payload, "");
    putRecord(&payload, "x");
    putRecord(&payload, std::string(20000, 'z'));
    jaunt::PayloadLayout layout;
    ASSERT_EQ(parse(payload, 3, ";;empty.bin;one.jar;;big.jar;", &layout), jaunt::PayloadError::None);
    ASSERT_EQ(layout.records.size(), 3u);
    EXPECT_EQ(layout.namesListed, 3u);
    EXPECT_EQ(layout.records[0].name, "empty.bin");
    EXPECT_EQ(layout.records[0].offset, 4u);
    EXPECT_EQ(layout.records[0].size, 0u);
    EXPECT_EQ(layout.records[1].name, "one.jar");
    EXPECT_EQ(layout.records[1].offset, 8u);
    EXPECT_EQ(payload[8], 'x' ^ jaunt::kPayloadKey);
    EXPECT_EQ(layout.records[2].offset, 13u);
    EXPECT_EQ(layout.records[2].size, 20000u);
    EXPECT_EQ(layout.end, payload.size());
}

TEST(PayloadFormat, CountAndNamesDisagreeingAsTheLauncherReadsThem) {
    Bytes payload;
    putRecord(&payload, "aa");
    putRecord(&payload, "bbb");
    jaunt::PayloadLayout layout;
    // More names than the count: the names beyond it are ignored.
    ASSERT_EQ(parse(payload, 1, "a.jar;b.jar;", &layout), jaunt::PayloadError::None);
    ASSERT_EQ(layout.records.size(), 1u);
    EXPECT_EQ(layout.namesListed, 2u);
    EXPECT_EQ(layout.end, 6u);
    // Fewer names than the count: the records after the last name are never read, so a missing
    // third record is no error.
    ASSERT_EQ(parse(payload, 3, "a.jar;b.jar", &layout), jaunt::PayloadError::None);
    EXPECT_EQ(layout.records.size(), 2u);
    // No names, a count of 0 or a negative count: nothing.
    for (int32_t count : {0, -1, INT32_MIN}) {
        ASSERT_EQ(parse(payload, count, "a.jar;", &layout), jaunt::PayloadError::None);
        EXPECT_TRUE(layout.records.empty());
    }
    ASSERT_EQ(parse(payload, 2, ";;", &layout), jaunt::PayloadError::None);
    EXPECT_TRUE(layout.records.empty());
    EXPECT_EQ(layout.namesListed, 0u);
}

TEST(PayloadFormat, CutRecordsAndBadNamesAreReportedWithTheRecordsBeforeThem) {
    Bytes payload;
    putRecord(&payload, "aa");
    putRecord(&payload, "bbbb");
    jaunt::PayloadLayout layout;
    for (size_t cut = 0; cut < payload.size(); ++cut) {
        Bytes part(payload.begin(), payload.begin() + static_cast<long>(cut));
        jaunt::PayloadError expected = jaunt::PayloadError::ContentCut;
        size_t before = cut < 6 ? 0 : 1;
        if (cut < 4 || (cut >= 6 && cut < 10)) expected = jaunt::PayloadError::SizeCut;
        EXPECT_EQ(parse(part, 2, "a;b", &layout), expected) << "cut at " << cut;
        EXPECT_EQ(layout.records.size(), before) << "cut at " << cut;
        EXPECT_EQ(layout.failedName, before == 0 ? "a" : "b");
    }
    // A size far beyond the rest of the data.
    Bytes huge = {0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3};
    EXPECT_EQ(parse(huge, 1, "h", &layout), jaunt::PayloadError::ContentCut);
    // A bad name fails before its record is read.
    EXPECT_EQ(parse(payload, 2, "a;..\\evil.jar", &layout), jaunt::PayloadError::BadName);
    EXPECT_EQ(layout.records.size(), 1u);
    EXPECT_EQ(layout.failedName, "..\\evil.jar");
    EXPECT_STRNE(jaunt::payloadErrorText(jaunt::PayloadError::BadName), "");
}

TEST(PayloadFormat, OnlyTheFirst8191BytesOfTheNamesCount) {
    Bytes payload;
    putRecord(&payload, "a");
    putRecord(&payload, "b");
    std::string first(8000, 'f');
    // The second name starts within the first 8191 bytes and is cut there.
    std::string names = first + ";" + std::string(500, 's') + ";";
    jaunt::PayloadLayout layout;
    ASSERT_EQ(parse(payload, 2, names, &layout), jaunt::PayloadError::None);
    ASSERT_EQ(layout.records.size(), 2u);
    EXPECT_EQ(layout.records[1].name, std::string(8191 - 8001, 's'));
    names = std::string(8191, 'x') + ";second";
    ASSERT_EQ(parse(payload, 2, names, &layout), jaunt::PayloadError::None);
    EXPECT_EQ(layout.namesListed, 1u);
    // The value is a C string to the launcher: it ends at a NUL.
    ASSERT_EQ(parse(payload, 2, std::string("a;b\0c;d", 8), &layout), jaunt::PayloadError::None);
    ASSERT_EQ(layout.namesListed, 2u);
    EXPECT_EQ(layout.records[1].name, "b");
}

TEST(FileNames, PlainNamesOnly) {
    for (const char* good : {"a.jar", "jauntlib.jar", "x", "with space.zip", ".hidden", "a..b", "CONSOLE.jar",
                             "com10.jar", "nul_", "\xE9t\xE9.jar"})
        EXPECT_TRUE(jaunt::isPlainFileName(good)) << good;
    for (const char* bad : {"", ".", "..", "...", "a.jar.", "a.jar ", "sub\\a.jar", "sub/a.jar", "..\\a.jar",
                            "C:a.jar", "C:\\a.jar", "a.jar:stream", "a*.jar", "a?.jar", "a\"b", "a<b", "a>b", "a|b",
                            "tab\there", "NUL", "nul.txt", "Con", "aux.jar", "PRN", "COM1", "lpt9.jar", "COM1.x.y"})
        EXPECT_FALSE(jaunt::isPlainFileName(bad)) << bad;
}

TEST(FileNames, TheTargetIsRefusedRatherThanCut) {
    char buffer[32];
    EXPECT_TRUE(jaunt::extractionTarget(buffer, sizeof(buffer), "C:\\t\\d", "a.jar"));
    EXPECT_STREQ(buffer, "C:\\t\\d\\a.jar");
    // 31 characters fit a 32-byte buffer; 32 do not.
    std::string directory(20, 'd');
    EXPECT_TRUE(jaunt::extractionTarget(buffer, sizeof(buffer), directory.c_str(), "0123456789"));
    EXPECT_EQ(std::string(buffer).size(), 31u);
    EXPECT_FALSE(jaunt::extractionTarget(buffer, sizeof(buffer), directory.c_str(), "0123456789a"));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(jaunt::extractionTarget(buffer, sizeof(buffer), "C:\\t", "..\\x"));
    EXPECT_STREQ(buffer, "");
    char large[jaunt::kTextSize];
    std::string longDirectory(jaunt::kTextSize - 7, 'd');  // with "\a.jar" exactly 8191 characters
    EXPECT_TRUE(jaunt::extractionTarget(large, sizeof(large), longDirectory.c_str(), "a.jar"));
    EXPECT_FALSE(jaunt::extractionTarget(large, sizeof(large), longDirectory.c_str(), "ab.jar"));
}

}  // namespace
