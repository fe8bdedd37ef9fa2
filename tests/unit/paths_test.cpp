// Path operations with real Win32 semantics: the module's own path, resolution against its
// directory, existence, and the long form of short names.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "jvmtext.h"
#include "paths.h"
#include "wideapi.h"
#include "winsupport.h"

namespace {

using jaunt_test::lower;

TEST(ModulePath, IsTheShortLowerCaseNameOfThisProgram) {
    std::string path = jaunt::modulePath();
    EXPECT_EQ(path, lower(path));
    ASSERT_GT(path.size(), 4u);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    char longName[MAX_PATH];
    ASSERT_GT(GetModuleFileNameA(nullptr, longName, sizeof(longName)), 0u);
    char expected[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(longName, expected, sizeof(expected)), 0u);
    EXPECT_EQ(path, lower(expected));
    EXPECT_EQ(jaunt::modulePath(), jaunt::modulePath());  // the same buffer every time
}

TEST(ModulePath, DirectoryEndsWithABackslashAndPrefixesThePath) {
    std::string directory = jaunt::moduleDirectory();
    ASSERT_FALSE(directory.empty());
    EXPECT_EQ(directory.back(), '\\');
    EXPECT_EQ(std::string(jaunt::modulePath()).rfind(directory, 0), 0u);
}

TEST(Resolve, RelativePathsGoBelowTheModuleDirectory) {
    char result[jaunt::kTextSize];
    std::string directory = jaunt::moduleDirectory();
    EXPECT_TRUE(jaunt::resolveAgainstModuleDir(result, sizeof(result), "lib\\\\a.jar"));
    EXPECT_EQ(std::string(result), directory + "lib\\a.jar");
    EXPECT_TRUE(jaunt::resolveAgainstModuleDir(result, sizeof(result), "C:\\Abs\\\\x"));
    EXPECT_STREQ(result, "C:\\Abs\\x");
    EXPECT_TRUE(jaunt::resolveAgainstModuleDir(result, sizeof(result), "\\\\server\\share\\\\x"));
    EXPECT_STREQ(result, "\\\\server\\share\\x");
    EXPECT_TRUE(jaunt::resolveAgainstModuleDir(result, sizeof(result), "c:/x"));  // relative
    EXPECT_EQ(std::string(result), directory + "c:/x");
}

TEST(Resolve, FullPathIsAbsoluteAndLowerCaseUnlessAsked) {
    char result[jaunt::kTextSize];
    std::string directory = jaunt::moduleDirectory();
    EXPECT_TRUE(jaunt::fullPath(result, sizeof(result), "Sub\\..\\Data\\File.TXT", false));
    EXPECT_EQ(std::string(result), lower(directory + "Data\\File.TXT"));
    EXPECT_TRUE(jaunt::fullPath(result, sizeof(result), "Sub\\..\\Data\\File.TXT", true));
    EXPECT_EQ(std::string(result), directory + "Data\\File.TXT");
    EXPECT_TRUE(jaunt::fullPath(result, sizeof(result), ".", false));
    EXPECT_EQ(std::string(result) + "\\", directory);
}

TEST(Resolve, ListsDropEmptyEntries) {
    char a[jaunt::kTextSize], b[jaunt::kTextSize];
    EXPECT_TRUE(jaunt::resolvePathList(a, sizeof(a), "x;;C:\\y"));
    EXPECT_TRUE(jaunt::resolvePathList(b, sizeof(b), "x;C:\\y;"));
    EXPECT_STREQ(a, b);
    EXPECT_EQ(std::string(a), std::string(jaunt::moduleDirectory()) + "x;C:\\y");
    EXPECT_TRUE(jaunt::resolvePathList(a, sizeof(a), ";;"));
    EXPECT_STREQ(a, "");
}

TEST(Resolve, OverlongResultsAreCutAndReported) {
    std::string longEntry(jaunt::kTextSize, 'x');
    char result[jaunt::kTextSize + 8];
    std::memset(result, 'G', sizeof(result));
    EXPECT_FALSE(jaunt::resolveAgainstModuleDir(result, jaunt::kTextSize, longEntry.c_str()));
    EXPECT_EQ(std::strlen(result), jaunt::kTextSize - 1);
    EXPECT_EQ(result[jaunt::kTextSize], 'G');
    EXPECT_FALSE(jaunt::resolvePathList(result, 64, "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa;bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"));
    EXPECT_EQ(std::strlen(result), 63u);
    EXPECT_FALSE(jaunt::fullPath(result, jaunt::kTextSize, longEntry.c_str(), false));
}

TEST(Exists, DriveRootsAlwaysExistAndFilesAreFound) {
    EXPECT_TRUE(jaunt::pathExists("C:\\"));
    EXPECT_TRUE(jaunt::pathExists("C:\\."));
    EXPECT_TRUE(jaunt::pathExists("C:\\.\\."));
    EXPECT_TRUE(jaunt::pathExists("Q:\\.\\."));  // no drive Q, and still a root
    jaunt_test::TempDirectory dir("exists");
    std::string file = dir.file("a.txt");
    EXPECT_FALSE(jaunt::pathExists(file.c_str()));
    jaunt_test::writeText(file, "x");
    uint32_t low = 0, high = 0;
    EXPECT_TRUE(jaunt::pathExists(file.c_str(), &low, &high));
    WIN32_FILE_ATTRIBUTE_DATA data;
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(low, data.ftLastWriteTime.dwLowDateTime);
    EXPECT_EQ(high, data.ftLastWriteTime.dwHighDateTime);
    EXPECT_TRUE(jaunt::pathExists(dir.path().c_str()));
    // Patterns exist when an entry matches; a name ending in a separator names no entry.
    EXPECT_TRUE(jaunt::pathExists(dir.file("*.txt").c_str()));
    EXPECT_TRUE(jaunt::pathExists(dir.file("?.txt").c_str()));
    EXPECT_FALSE(jaunt::pathExists(dir.file("*.jar").c_str()));
    EXPECT_FALSE(jaunt::pathExists((dir.path() + "\\").c_str()));
    EXPECT_FALSE(jaunt::pathExists(dir.file("missing\\a.txt").c_str()));
}

TEST(LongPath, ShortNamesGrowBackToTheirLongForm) {
    jaunt_test::TempDirectory dir("longpath");
    std::string file = dir.file("A rather long file name.text");
    jaunt_test::writeText(file, "x");
    char shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(file.c_str(), shortName, sizeof(shortName)), 0u);
    char longName[jaunt::kTextSize];
    uint32_t length = jaunt::longPathName(shortName, longName, sizeof(longName));
    EXPECT_EQ(length, file.size());
    EXPECT_EQ(lower(longName), lower(file));
    // The fallback gives the same answer where the platform routine exists.
    char viaShell[jaunt::kTextSize];
    EXPECT_EQ(jaunt::longPathNameFallback(shortName, viaShell, sizeof(viaShell)), file.size());
    EXPECT_EQ(lower(viaShell), lower(file));
}

TEST(LongPath, FallbackFollowsThePlatformContract) {
    jaunt_test::TempDirectory dir("fallback");
    std::string file = dir.file("file.txt");
    jaunt_test::writeText(file, "x");
    char small[4];
    SetLastError(0);
    EXPECT_EQ(jaunt::longPathNameFallback(file.c_str(), small, sizeof(small)), file.size() + 1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    char buffer[MAX_PATH];
    EXPECT_EQ(jaunt::longPathNameFallback(dir.file("missing.txt").c_str(), buffer, sizeof(buffer)), 0u);
    EXPECT_EQ(jaunt::longPathName(dir.file("missing.txt").c_str(), buffer, sizeof(buffer)), 0u);
}

TEST(CaseAndBackslashes, RulesApplyInPlace) {
    char text[] = "C:\\Dir\\\\Sub\\\\\\FILE.Txt";
    jaunt::lowerCasePath(text);
    jaunt::collapseBackslashes(text);
    EXPECT_STREQ(text, "c:\\dir\\sub\\file.txt");
    char network[] = "\\\\Server\\\\Share";
    jaunt::collapseBackslashes(network);
    EXPECT_STREQ(network, "\\\\Server\\Share");
}

// The splash's status line: a Java text of any length is cut to the 8192-byte line, and a
// double-byte character that does not fit whole is left out rather than split.
TEST(NarrowCut, ResultsAreCutAtTheBufferAndAtWholeCharacters) {
    std::vector<char> line(jaunt::kTextSize);
    std::wstring fits(jaunt::kTextSize - 1, L'a');
    EXPECT_TRUE(jaunt::toNarrowCut(1252, fits.c_str(), fits.size(), line.data(), line.size()));
    EXPECT_EQ(std::strlen(line.data()), jaunt::kTextSize - 1);
    std::wstring longer(100000, L'b');
    EXPECT_FALSE(jaunt::toNarrowCut(1252, longer.c_str(), longer.size(), line.data(), line.size()));
    EXPECT_EQ(std::strlen(line.data()), jaunt::kTextSize - 1);

    // Shift-JIS: "a" and 4096 two-byte characters need 8193 bytes; 4095 of them fit.
    std::wstring japanese = L"a" + std::wstring(jaunt::kTextSize / 2, L'\x3042');
    EXPECT_FALSE(jaunt::toNarrowCut(932, japanese.c_str(), japanese.size(), line.data(), line.size()));
    EXPECT_EQ(std::strlen(line.data()), jaunt::kTextSize - 1);
    EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, line.data(), -1, nullptr, 0),
              static_cast<int>(jaunt::kTextSize / 2) + 1);  // 4095 characters, "a" and the terminator

    char small[4];
    EXPECT_FALSE(jaunt::toNarrowCut(1252, L"abcdef", 6, small, sizeof(small)));
    EXPECT_STREQ(small, "abc");
    EXPECT_TRUE(jaunt::toNarrowCut(1252, L"abcdef", 2, small, sizeof(small)));
    EXPECT_STREQ(small, "ab");
}

}  // namespace

namespace {

// The wide calls behind the launcher's UTF-8 texts: long paths in the "\\?\" form, names in any
// script, and the contract of the ANSI calls they replace.
TEST(WideCalls, LongPathsTakeTheLongFormAndNamesKeepEveryCharacter) {
    EXPECT_EQ(jaunt::wideFileName("c:\\short\\file.txt"), L"c:\\short\\file.txt");
    EXPECT_EQ(jaunt::wideFileName("CONOUT$"), L"CONOUT$");
    std::string deep = "c:/" + std::string(300, 'd') + "/x/../file.txt";
    EXPECT_EQ(jaunt::wideFileName(deep.c_str()), L"\\\\?\\c:\\" + std::wstring(300, L'd') + L"\\file.txt");
    std::string share = "\\\\server\\share\\" + std::string(300, 's');
    EXPECT_EQ(jaunt::wideFileName(share.c_str()), L"\\\\?\\UNC\\server\\share\\" + std::wstring(300, L's'));

    jaunt_test::TempDirectory dir("wide");
    std::string folder = dir.path() + "\\" + std::string(250, 'f');
    ASSERT_TRUE(jaunt::createDirectory(folder.c_str(), nullptr));
    std::string file = folder + "\\\xC5\x81\xE3\x82\xA2.txt";  // "Łア.txt"
    HANDLE handle = jaunt::createFile(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    CloseHandle(handle);
    jaunt::FoundFile found;
    HANDLE search = jaunt::findFirstFile((folder + "\\*.txt").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_STREQ(found.name, "\xC5\x81\xE3\x82\xA2.txt");
    EXPECT_TRUE(jaunt::pathExists(file.c_str()));
    char full[jaunt::kTextSize];
    EXPECT_EQ(jaunt::fullPathName(file.c_str(), sizeof(full), full, nullptr), file.size());
    EXPECT_EQ(jaunt::fullPathName(file.c_str(), 10, full, nullptr), file.size() + 1) << "the size needed";
    EXPECT_TRUE(jaunt::deleteFile(file.c_str()));
    EXPECT_TRUE(jaunt::removeDirectory(folder.c_str()));
}

TEST(WideCalls, EnvironmentVariablesFollowTheAnsiContract) {
    SetEnvironmentVariableW(L"JAUNT_WIDE_TEST", L"\x0141\x30a2");
    char value[8];
    EXPECT_EQ(jaunt::environmentVariable("JAUNT_WIDE_TEST", value, sizeof(value)), 5u);
    EXPECT_STREQ(value, "\xC5\x81\xE3\x82\xA2");
    EXPECT_EQ(jaunt::environmentVariable("JAUNT_WIDE_TEST", value, 5), 6u) << "the size needed";
    SetEnvironmentVariableW(L"JAUNT_WIDE_TEST", L"");
    EXPECT_EQ(jaunt::environmentVariable("JAUNT_WIDE_TEST", value, sizeof(value)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS)) << "empty, not missing";
    SetEnvironmentVariableW(L"JAUNT_WIDE_TEST", nullptr);
    EXPECT_EQ(jaunt::environmentVariable("JAUNT_WIDE_TEST", value, sizeof(value)), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

// What the JVM can read: the text in the code page, or its short form; without short names a
// folder of another script cannot be given, and the options send it over after creation.
TEST(JvmTexts, PathsOutsideTheCodePageNeedAShortNameOrGoOverLate) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs a code page without these letters";
    jaunt_test::TempDirectory dir("jvmtext");
    std::wstring folder = jaunt_test::widen(dir.path()) + L"\\\x0141ukasz";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    std::string path = jaunt::utf8Text(folder);
    std::string text;
    EXPECT_TRUE(jaunt::jvmPathText((dir.path() + "\\caf\xC3\xA9").c_str(), &text)) << "in the code page";
    EXPECT_EQ(text, dir.path() + "\\caf\xE9");
    ASSERT_TRUE(jaunt::jvmPathText(path.c_str(), &text)) << "Wine has short names";
    EXPECT_EQ(text.find('?'), std::string::npos);

    SetEnvironmentVariableW(L"JAUNT_TEST_NO_SHORT_NAMES", L"1");
    EXPECT_FALSE(jaunt::jvmPathText(path.c_str(), &text));
    jaunt::LateSettings late;
    std::vector<std::string> options = jaunt::jvmOptions(
        {"-Djava.class.path=c:\\a.jar;" + path + "\\b.jar;c:\\c.jar", "-Dname=" + path, "-Dplain=caf\xC3\xA9", "-Xss1m"},
        &late);
    SetEnvironmentVariableW(L"JAUNT_TEST_NO_SHORT_NAMES", nullptr);
    EXPECT_EQ(options, (std::vector<std::string>{"-Djava.class.path=c:\\a.jar", "-Dplain=caf\xE9", "-Xss1m"}));
    std::u16string wideFolder(folder.begin(), folder.end());
    EXPECT_EQ(late.classPath, (std::vector<std::u16string>{wideFolder + u"\\b.jar", u"c:\\c.jar"})) << "kept in order";
    EXPECT_EQ(late.wholeClassPath, u"c:\\a.jar;" + wideFolder + u"\\b.jar;c:\\c.jar");
    ASSERT_EQ(late.properties.size(), 1u);
    EXPECT_EQ(late.properties[0].first, u"name");
    EXPECT_EQ(late.properties[0].second, wideFolder);
}

}  // namespace
