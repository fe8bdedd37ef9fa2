// The table loader reading real launcher files, and the accessors on what it loaded.
#include <gtest/gtest.h>

#include <cstring>

#include "config.h"
#include "configkeys.h"
#include "launcherimage.h"
#include "winsupport.h"

namespace {

using jaunt::NarrowRecord;
using jaunt::TableError;

class Loader : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"config"};

    TableError load(const std::vector<NarrowRecord>& narrow, const std::vector<jaunt::WideRecord>& wide = {}) {
        std::string path = jaunt_test::writeLauncher(dir.file("app.exe"), narrow, wide, {0x11, 0x22});
        bool opened = false;
        TableError error = jaunt::loadConfigurationFile(path.c_str(), &opened);
        EXPECT_TRUE(opened);
        return error;
    }
    TableError loadBytes(const std::vector<uint8_t>& bytes) {
        std::string path = dir.file("raw.exe");
        jaunt_test::writeBytes(path, bytes);
        bool opened = false;
        TableError error = jaunt::loadConfigurationFile(path.c_str(), &opened);
        EXPECT_TRUE(opened);
        return error;
    }
    std::string text(int32_t key, size_t size = jaunt::kTextSize) {
        std::vector<char> buffer(size + 4, 'G');
        jaunt::getConfigString(key, buffer.data(), size);
        for (size_t i = size; i < size + 4; ++i) EXPECT_EQ(buffer[i], 'G') << "written past the size";
        return buffer.data();
    }
};

TEST_F(Loader, ReadsTheTableAfterTheProgramAndFindsThePayload) {
    ASSERT_EQ(load({{101, "Hello"}, {1000, "Error"}}), TableError::None);
    EXPECT_EQ(text(101), "Hello");
    EXPECT_EQ(text(1000), "Error");
    EXPECT_EQ(text(999), "");
    size_t stubSize = jaunt_test::readBytes(jaunt_test::stubPath()).size();
    // magic, count, two records (8 + 5 and 8 + 5 bytes), wide count 0
    EXPECT_EQ(jaunt::getPayloadPosition(), stubSize + 4 + 4 + 13 + 13 + 4);
}

TEST_F(Loader, LaterDuplicateWinsAndWideValuesLoad) {
    ASSERT_EQ(load({{200, "first"}, {100, "x"}, {200, "second"}}, {{7, u"w\u00e9"}}), TableError::None);
    EXPECT_EQ(text(200), "second");
    wchar_t wide[8];
    jaunt::getConfigWString(7, wide, 8);
    EXPECT_EQ(std::wstring(wide), L"w\u00e9");
    jaunt::getConfigWString(8, wide, 8);
    EXPECT_EQ(std::wstring(wide), L"");
    jaunt::getConfigWString(7, wide, 2);  // cut to the buffer
    EXPECT_EQ(std::wstring(wide), L"w");
}

TEST_F(Loader, StringsAreCutToTheCallersSize) {
    std::string longValue(jaunt::kTextSize + 100, 'v');
    ASSERT_EQ(load({{101, longValue}, {2001, "ex"}}), TableError::None);
    EXPECT_EQ(text(101), std::string(jaunt::kTextSize - 1, 'v'));
    EXPECT_EQ(text(2001, 2), "e");
    EXPECT_EQ(text(101, 32), std::string(31, 'v'));
    EXPECT_EQ(text(101, 1), "");
}

TEST_F(Loader, RecordsAcrossManyReadBlocksLoadWhole) {
    // About 40 KB of records of varying lengths, so that record heads and values fall across the
    // reader's block boundaries at every offset.
    std::vector<NarrowRecord> records;
    for (int32_t key = 1; key <= 1500; ++key) records.push_back({key, std::string(key % 41, char('a' + key % 26))});
    ASSERT_EQ(load(records, {{7, u"wide"}}), TableError::None);
    for (const NarrowRecord& record : records) ASSERT_EQ(text(record.key), record.value) << record.key;
    wchar_t wide[8];
    jaunt::getConfigWString(7, wide, 8);
    EXPECT_EQ(std::wstring(wide), L"wide");
    size_t stubSize = jaunt_test::readBytes(jaunt_test::stubPath()).size(), tableSize = 4 + 4 + 4 + 8 + 8;
    for (const NarrowRecord& record : records) tableSize += 8 + record.value.size();
    EXPECT_EQ(jaunt::getPayloadPosition(), stubSize + tableSize);
}

TEST_F(Loader, NumbersFollowAtoiRules) {
    ASSERT_EQ(load({{1, "540"}, {2, ""}, {3, "12abc"}, {4, " 7"}, {5, "-3"}, {6, "abc"}}), TableError::None);
    EXPECT_EQ(jaunt::getConfigInt(1), 540);
    EXPECT_EQ(jaunt::getConfigInt(2), 0);
    EXPECT_EQ(jaunt::getConfigInt(3), 12);
    EXPECT_EQ(jaunt::getConfigInt(4), 7);
    EXPECT_EQ(jaunt::getConfigInt(5), -3);
    EXPECT_EQ(jaunt::getConfigInt(6), 0);
    EXPECT_EQ(jaunt::getConfigInt(7), 0);
}

TEST_F(Loader, ColoursPackRedInTheLowByte) {
    ASSERT_EQ(load({{1, "0,0,0"}, {2, "255,128,1"}, {3, "255,,128,,1"}, {4, "9"}}), TableError::None);
    EXPECT_EQ(jaunt::getConfigColor(1), 0u);
    EXPECT_EQ(jaunt::getConfigColor(2), 0x000180FFu);
    EXPECT_EQ(jaunt::getConfigColor(3), 0x000180FFu);
    EXPECT_EQ(jaunt::getConfigColor(4), 9u);  // missing components read as 0
    EXPECT_EQ(jaunt::getConfigColor(5), 0u);
}

TEST_F(Loader, BrokenTablesReportTheirReader) {
    std::vector<uint8_t> stub = jaunt_test::readBytes(jaunt_test::stubPath());
    EXPECT_EQ(loadBytes(stub), TableError::ReadInt);  // nothing appended

    std::vector<uint8_t> table = jaunt::encodeTable({{1000, "Error"}, {101, "Hello"}}, {});
    std::vector<uint8_t> wrongMagic = stub;
    wrongMagic.insert(wrongMagic.end(), table.begin(), table.end());
    wrongMagic[stub.size()] ^= 1;
    EXPECT_EQ(loadBytes(wrongMagic), TableError::Magic);

    std::vector<uint8_t> cut = stub;
    cut.insert(cut.end(), table.begin(), table.begin() + 20);  // inside the text of key 1000
    EXPECT_EQ(loadBytes(cut), TableError::ReadString);
    // What was read before the failure is kept, so its report can use the caption.
    EXPECT_EQ(text(1000), "");

    std::vector<uint8_t> afterCaption = stub;
    afterCaption.insert(afterCaption.end(), table.begin(), table.end() - 6);  // inside "Hello"
    EXPECT_EQ(loadBytes(afterCaption), TableError::ReadString);
    EXPECT_EQ(text(1000), "Error");

    std::vector<uint8_t> huge = stub;
    std::vector<uint8_t> header = jaunt::encodeTable({{101, "abcd"}}, {});
    header[12] = header[13] = header[14] = header[15] = 0xFF;  // length 0xFFFFFFFF
    huge.insert(huge.end(), header.begin(), header.end());
    EXPECT_EQ(loadBytes(huge), TableError::ReadString);
}

TEST(LoaderOpen, AMissingFileIsReportedAsNotOpened) {
    bool opened = true;
    jaunt::loadConfigurationFile("c:\\no\\such\\launcher.exe", &opened);
    EXPECT_FALSE(opened);
}

}  // namespace
