// Choosing the temporary directory, its fallbacks, and the names made in it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boundedtext.h"
#include "tempdir.h"
#include "winsupport.h"

namespace {

std::string platformTemp() {
    char path[MAX_PATH];
    GetTempPathA(sizeof(path), path);
    return path;
}

class TempDirectoryChoice : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t saved[MAX_PATH];
        savedTmp = GetEnvironmentVariableW(L"TMP", saved, MAX_PATH) ? saved : L"";
    }
    void TearDown() override { SetEnvironmentVariableW(L"TMP", savedTmp.empty() ? nullptr : savedTmp.c_str()); }
    std::wstring savedTmp;
};

TEST_F(TempDirectoryChoice, ARepresentablePathIsUsedAsItIsWithItsBackslash) {
    char chosen[jaunt::kTextSize];
    jaunt::tempDirectory(chosen, sizeof(chosen));
    EXPECT_EQ(std::string(chosen), platformTemp());
    EXPECT_EQ(std::string(chosen).back(), '\\');
}

TEST_F(TempDirectoryChoice, AnUnrepresentablePathFallsBackToTheWindowsTemp) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs a code page without Cyrillic letters";
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    std::wstring cyrillic = std::wstring(base) + L"\u0442\u0435\u043c\u043f";
    CreateDirectoryW(cyrillic.c_str(), nullptr);
    SetEnvironmentVariableW(L"TMP", cyrillic.c_str());
    ASSERT_NE(platformTemp().find('?'), std::string::npos) << "the A functions cannot name it";

    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    char chosen[jaunt::kTextSize];
    jaunt::tempDirectory(chosen, sizeof(chosen));
    EXPECT_EQ(std::string(chosen), std::string(windows) + "\\temp");
    RemoveDirectoryW(cyrillic.c_str());
}

// The long form of the temporary path is looked up once per text: a TMP that names another folder
// must be looked up anew, not answered with the last folder's long form.
TEST_F(TempDirectoryChoice, TheRootsFollowTheTemporaryPathInItsLongForm) {
    jaunt_test::TempDirectory dir("roots");
    for (const char* name : {"first temporary folder", "second temporary folder"}) {
        std::string folder = dir.file(name);
        ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        char shortForm[MAX_PATH];
        ASSERT_NE(GetShortPathNameA(folder.c_str(), shortForm, sizeof(shortForm)), 0u);
        SetEnvironmentVariableA("TMP", shortForm);
        for (int call = 0; call < 2; ++call) {
            std::vector<std::string> roots = jaunt::temporaryRoots();
            EXPECT_EQ(roots.at(0), shortForm);
            EXPECT_EQ(roots.at(1), folder) << "call " << call;
        }
    }
}

TEST(WritableDirectory, ProbesLeaveNothingAndSurviveOtherProbes) {
    jaunt_test::TempDirectory dir("writable");
    EXPECT_TRUE(jaunt::isWritableDirectory(dir.path().c_str()));
    std::string own = dir.file("jnt_w_testdir_" + std::to_string(GetCurrentProcessId()));
    ASSERT_TRUE(CreateDirectoryA(own.c_str(), nullptr));  // an interrupted run of the same process id
    EXPECT_TRUE(jaunt::isWritableDirectory(dir.path().c_str()));
    EXPECT_FALSE(jaunt_test::fileExists(own));
    // Another launcher's probe in the same place, in use at this moment, is left alone.
    std::string other = dir.file("jnt_w_testdir");
    ASSERT_TRUE(CreateDirectoryA(other.c_str(), nullptr));
    jaunt_test::writeText(other + "\\busy", "x");
    EXPECT_TRUE(jaunt::isWritableDirectory(dir.path().c_str()));
    EXPECT_TRUE(jaunt_test::fileExists(other + "\\busy"));
    EXPECT_FALSE(jaunt::isWritableDirectory(dir.file("missing").c_str()));
}

TEST(TempNames, AFreshEmptyFileAndTheCommunicationFileName) {
    char name[jaunt::kTextSize];
    ASSERT_TRUE(jaunt::tempFileName(name, sizeof(name)));
    std::string path = name;
    std::string directory = platformTemp();
    EXPECT_EQ(path.rfind(directory, 0), 0u);
    std::string file = path.substr(directory.size());
    EXPECT_EQ(file.rfind("jnt", 0), 0u);
    EXPECT_EQ(file.substr(file.size() - 4), ".tmp");
    EXPECT_TRUE(jaunt_test::fileExists(path));
    EXPECT_EQ(jaunt_test::readBytes(path).size(), 0u);
    char second[jaunt::kTextSize];
    ASSERT_TRUE(jaunt::tempFileName(second, sizeof(second)));
    EXPECT_STRNE(name, second);
    DeleteFileA(name);
    DeleteFileA(second);

    ASSERT_TRUE(jaunt::processCommFileName(name, sizeof(name), 4242));
    EXPECT_EQ(std::string(name), directory + "jnt_p4242.tmp");
    EXPECT_FALSE(jaunt::processCommFileName(name, 8, 4242));
}

}  // namespace
