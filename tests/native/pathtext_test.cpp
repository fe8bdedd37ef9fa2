#include "pathtext.h"

#include <gtest/gtest.h>

namespace {

std::u16string collapsed(std::u16string text) {
    jaunt::collapseBackslashRuns(&text);
    return text;
}

TEST(CollapseBackslashes, RunsShrinkButALeadingPairSurvives) {
    EXPECT_EQ(collapsed(u"\\\\server\\share\\\\x"), u"\\\\server\\share\\x");
    EXPECT_EQ(collapsed(u"a\\\\\\b"), u"a\\b");
    EXPECT_EQ(collapsed(u"\\\\\\\\x"), u"\\\\x");
    EXPECT_EQ(collapsed(u"c:\\dir\\\\"), u"c:\\dir\\");
    EXPECT_EQ(collapsed(u"\\"), u"\\");
    EXPECT_EQ(collapsed(u""), u"");
    EXPECT_EQ(collapsed(u"\\\\"), u"\\\\");
}

TEST(RelativePaths, DrivePathsAndNetworkPathsAreAbsolute) {
    EXPECT_TRUE(jaunt::isRelativePath("x"));
    EXPECT_TRUE(jaunt::isRelativePath("ab"));
    EXPECT_TRUE(jaunt::isRelativePath(""));
    EXPECT_FALSE(jaunt::isRelativePath("c:\\a"));
    EXPECT_FALSE(jaunt::isRelativePath("\\\\s\\x"));
    EXPECT_FALSE(jaunt::isRelativePath("\"c:\\a"));
    EXPECT_TRUE(jaunt::isRelativePath("\"c:"));  // a quoted text of 3 bytes is relative
    EXPECT_FALSE(jaunt::isRelativePath("\"c:\\x"));
    EXPECT_TRUE(jaunt::isRelativePath("\\abc"));
    EXPECT_TRUE(jaunt::isRelativePath("c:x"));
    EXPECT_TRUE(jaunt::isRelativePath("c:/x"));
    EXPECT_TRUE(jaunt::isRelativePath("lib\\a.jar"));
}

TEST(DriveRoots, ExistWithoutATest) {
    EXPECT_TRUE(jaunt::isDriveRoot("C:\\"));
    EXPECT_TRUE(jaunt::isDriveRoot("C:\\."));
    EXPECT_TRUE(jaunt::isDriveRoot("q:\\.\\."));
    EXPECT_FALSE(jaunt::isDriveRoot("C:"));
    EXPECT_FALSE(jaunt::isDriveRoot("C:\\x"));
    EXPECT_FALSE(jaunt::isDriveRoot("C:\\.\\.\\."));
    EXPECT_FALSE(jaunt::isDriveRoot("\\"));
}

TEST(SplitList, RunsOfSeparatorsCountAsOne) {
    using V = std::vector<std::string>;
    EXPECT_EQ(jaunt::splitList("a;;b", ';'), (V{"a", "b"}));
    EXPECT_EQ(jaunt::splitList(";a;b;", ';'), (V{"a", "b"}));
    EXPECT_EQ(jaunt::splitList(";;;", ';'), V{});
    EXPECT_EQ(jaunt::splitList("", ';'), V{});
    EXPECT_EQ(jaunt::splitList("255,,128,1", ','), (V{"255", "128", "1"}));
}

TEST(PathValue, PrefixGoesInFrontWithOneSeparator) {
    EXPECT_EQ(jaunt::composePathValue("D:\\app\\lib", "C:\\windows", 100), "D:\\app\\lib;C:\\windows");
    EXPECT_EQ(jaunt::composePathValue("", "C:\\windows", 100), "C:\\windows");
    EXPECT_EQ(jaunt::composePathValue("D:\\lib", "", 100), "D:\\lib;");
    EXPECT_EQ(jaunt::composePathValue("", "", 100), "");
}

TEST(PathValue, AnOverlongOldPathIsCutAtAnEntryBoundary) {
    // "P;" takes 2, leaving 8 for the old PATH: "aaa;bbb" fits whole entries, "ccc" does not.
    EXPECT_EQ(jaunt::composePathValue("P", "aaa;bbb;ccc", 10), "P;aaa;bbb");
    EXPECT_EQ(jaunt::composePathValue("P", "aaa;bbbbbbbbbbbb", 10), "P;aaa");
    EXPECT_EQ(jaunt::composePathValue("P", "aaaaaaaaaaaaaa", 10), "P;");
    EXPECT_EQ(jaunt::composePathValue("P", "aaa;bbbb", 10), "P;aaa;bbbb");  // exactly the limit
    EXPECT_LE(jaunt::composePathValue(std::string(50, 'x') + ";y", "z", 20).size(), 20u);
}

TEST(ExtractionPaths, OnlyOwnDirectoriesDirectlyInARootAndThePlainFilesInThem) {
    const std::vector<std::string> roots = {"C:\\Users\\u\\Temp", "C:\\Windows\\Temp"};
    for (const char* name : {"jnt1.tmp_dir0", "JNTa1B2.TMP_DIR4294967295", "jnt12345678.tmp_dir1"})
        EXPECT_TRUE(jaunt::isExtractionDirectoryName(name)) << name;
    for (const char* name : {"jnt.tmp_dir1", "jnt123456789.tmp_dir1", "jntg.tmp_dir1", "jnt1.tmp_dir",
                             "jnt1.tmp_dir12345678901", "jnt1.tmp_dir1x", "jnt1.tmp", "xjnt1.tmp_dir1", ""})
        EXPECT_FALSE(jaunt::isExtractionDirectoryName(name)) << name;

    EXPECT_TRUE(jaunt::isExtractionDirectoryPath("c:\\users\\U\\temp\\jnt1F.tmp_dir42", roots));
    EXPECT_TRUE(jaunt::isExtractedFilePath("C:\\Windows\\Temp\\jnt1F.tmp_dir42\\app.jar", roots));
    for (const char* path : {"C:\\Windows\\System32\\jnt1.tmp_dir1", "C:\\Users\\u\\Temp\\x\\jnt1.tmp_dir1",
                             "C:\\Users\\u\\Temp\\..\\jnt1.tmp_dir1", "\\\\server\\share\\jnt1.tmp_dir1",
                             "C:\\Users\\u\\Temp\\jnt1.tmp_dir1\\", "jnt1.tmp_dir1"})
        EXPECT_FALSE(jaunt::isExtractionDirectoryPath(path, roots)) << path;
    for (const char* path :
         {"C:\\Windows\\Temp\\jnt1.tmp_dir1\\sub\\a.jar", "C:\\Windows\\Temp\\jnt1.tmp_dir1\\..",
          "C:\\Windows\\Temp\\jnt1.tmp_dir1\\a.jar:stream", "C:\\Windows\\Temp\\jnt1.tmp_dir1\\a/../b",
          "C:\\Windows\\Temp\\jnt1.tmp_dir1\\", "C:\\Windows\\Temp\\a.jar", "C:\\Windows\\x.dll"})
        EXPECT_FALSE(jaunt::isExtractedFilePath(path, roots)) << path;
}

}  // namespace
