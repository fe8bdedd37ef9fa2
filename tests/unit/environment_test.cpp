// The environment stage's two steps: PATH in both environments, and the working directory.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "boundedtext.h"
#include "environment.h"
#include "paths.h"
#include "winsupport.h"

namespace {

std::string processPath() {
    char value[32768];
    DWORD length = GetEnvironmentVariableA("PATH", value, sizeof(value));
    return length < sizeof(value) ? std::string(value, length) : std::string();
}

std::string runtimePath() {
    const char* value = std::getenv("PATH");
    return value ? value : "";
}

class PathPrefix : public ::testing::Test {
protected:
    void SetUp() override { saved = processPath(); }
    void TearDown() override {
        SetEnvironmentVariableA("PATH", saved.c_str());
        _putenv(("PATH=" + saved).c_str());
    }
    void setPath(const std::string& value) {
        SetEnvironmentVariableA("PATH", value.c_str());
        _putenv(("PATH=" + value).c_str());
    }
    std::string saved;
};

TEST_F(PathPrefix, RelativeEntryGoesInFrontOfTheOldPathInBothEnvironments) {
    setPath("C:\\windows;C:\\tools");
    jaunt::prependToPath("lib");
    std::string expected = std::string(jaunt::moduleDirectory()) + "lib;C:\\windows;C:\\tools";
    EXPECT_EQ(processPath(), expected);
    EXPECT_EQ(runtimePath(), expected);
}

TEST_F(PathPrefix, SeparatorRunsAndTrailingSeparatorsDoNotMatter) {
    setPath("C:\\old");
    jaunt::prependToPath("a;;C:\\Abs\\\\bin;");
    std::string once = processPath();
    setPath("C:\\old");
    jaunt::prependToPath("a;C:\\Abs\\bin");
    EXPECT_EQ(processPath(), once);
    EXPECT_EQ(once, std::string(jaunt::moduleDirectory()) + "a;C:\\Abs\\bin;C:\\old");
}

TEST_F(PathPrefix, AnEmptyPrefixLeavesALongPathUntouchedInBothEnvironments) {
    std::string longPath;
    for (int i = 0; longPath.size() < 11000; ++i) longPath += "C:\\tools\\dir" + std::to_string(i) + ";";
    longPath += "C:\\windows\\system32";
    setPath(longPath);
    _putenv("PATH=runtime copy");  // changes the process environment too
    SetEnvironmentVariableA("PATH", longPath.c_str());
    jaunt::prependToPath("");
    jaunt::prependToPath(";;");
    EXPECT_EQ(processPath(), longPath);
    EXPECT_EQ(runtimePath(), "runtime copy");
}

TEST_F(PathPrefix, ALongOldPathIsKeptWholeAndOnlyTheEnvironmentLimitCutsIt) {
    std::string old;
    for (int i = 0; old.size() < 12000; ++i) old += "C:\\dir" + std::to_string(i) + ";";
    old += "C:\\windows\\system32";
    setPath(old);
    jaunt::prependToPath("C:\\first");
    EXPECT_EQ(processPath(), "C:\\first;" + old);
    EXPECT_EQ(runtimePath(), "C:\\first;" + old);

    // At the limit of an environment value (32767 units with the terminator) the last entries go.
    old = "C:\\d0";
    for (int i = 1; old.size() + 9 <= 32766; ++i) old += ";C:\\d" + std::to_string(i);
    setPath(old);
    ASSERT_EQ(processPath(), old);
    jaunt::prependToPath("C:\\first");
    std::string value = processPath();
    EXPECT_LE(value.size(), 32766u);
    EXPECT_GT(value.size(), 32766u - 12);
    EXPECT_EQ(value.rfind("C:\\first;C:\\d0;C:\\d1;", 0), 0u);
    EXPECT_EQ(old.rfind(value.substr(9), 0), 0u) << "the kept part is a leading run of the old PATH";
    EXPECT_EQ(old[value.size() - 9], ';') << "cut at an entry boundary";
    EXPECT_EQ(runtimePath(), value);
}

class WorkingDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof(current), current);
        saved = current;
    }
    void TearDown() override { SetCurrentDirectoryA(saved.c_str()); }
    std::string current() {
        char value[MAX_PATH];
        GetCurrentDirectoryA(sizeof(value), value);
        return value;
    }
    std::string saved;
};

TEST_F(WorkingDirectory, DotIsTheLaunchersDirectoryInLowerCase) {
    SetCurrentDirectoryA("C:\\");
    jaunt::changeWorkingDirectory(".");
    std::string expected = jaunt::moduleDirectory();
    expected.pop_back();
    for (char& c : expected) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(current(), expected);
}

TEST_F(WorkingDirectory, MissingOrOverlongDirectoriesLeaveItAlone) {
    jaunt_test::TempDirectory dir("cwd");
    SetCurrentDirectoryA(dir.path().c_str());
    std::string before = current();
    jaunt::changeWorkingDirectory("C:\\no\\such\\directory");
    EXPECT_EQ(current(), before);
    jaunt::changeWorkingDirectory(std::string(jaunt::kTextSize + 10, 'd').c_str());
    EXPECT_EQ(current(), before);
    jaunt::changeWorkingDirectory("");
    EXPECT_EQ(current(), before);
}

TEST(Platform, WineAndWindowsAreOfTheNtFamily) { EXPECT_TRUE(jaunt::isWindowsNT()); }

}  // namespace
