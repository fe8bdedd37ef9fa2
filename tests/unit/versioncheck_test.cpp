// Checking Java executables: the "-version" run of a fake java.exe, the per-user version cache, the
// limits and the pre-release rule, the GUI switch to javaw.exe and the home-to-executable rule.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "jvmtrees.h"
#include "log.h"
#include "versioncheck.h"
#include "winsupport.h"

namespace {

using jaunt_test::javaRuns;
using jaunt_test::scriptJava;
using jaunt_test::versionOutput;

// The log is on for this program, so that the lines a check writes can be read back.
const bool logRequested = SetEnvironmentVariableA("JAUNT_LOG", "yes") != 0;

using jaunt_test::lower;

std::string logText() {
    jaunt::logInfo("-");  // opens the log on first use
    const char* path = jaunt::getLogPath();
    return path ? jaunt_test::readText(path) : "";
}

struct Check {
    bool accepted;
    std::string path;
    std::string version;
    std::string log;  // the lines this check wrote
};

class VersionCheck : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"version"};
    std::string home, bin, java;

    void SetUp() override {
        ASSERT_TRUE(logRequested);
        jaunt_test::resetJvmRegistry();
        configure({});
        home = dir.file("jre");
        bin = home + "\\bin";
        java = bin + "\\java.exe";
        jaunt_test::makeJre(home);
    }
    void TearDown() override { jaunt_test::resetJvmRegistry(); }

    void configure(const std::vector<jaunt::NarrowRecord>& records) {
        std::string path = jaunt_test::writeLauncher(dir.file("config.exe"), records);
        bool opened = false;
        ASSERT_EQ(jaunt::loadConfigurationFile(path.c_str(), &opened), jaunt::TableError::None);
    }

    Check check(const std::string& executable, const char* minimum = "", const char* maximum = "",
                bool allowPrerelease = false) {
        size_t mark = logText().size();
        char path[jaunt::kTextSize];
        jaunt::copyText(path, sizeof(path), executable.c_str());
        char version[jaunt::kTextSize];
        bool accepted = jaunt::checkJavaExe(path, sizeof(path), version, sizeof(version), minimum, maximum,
                                            allowPrerelease);
        return {accepted, path, version, logText().substr(mark)};
    }

    std::string cacheKey() {
        char key[jaunt::kTextSize];
        EXPECT_TRUE(jaunt::registrySubkeyForPath(key, sizeof(key), lower(java).c_str()));
        return key;
    }
    void setCacheValue(const char* name, DWORD type, const void* data, DWORD size) {
        HKEY key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, cacheKey().c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
    }
    std::vector<unsigned char> cacheValue(const char* name, DWORD* type = nullptr) {
        HKEY key;
        std::vector<unsigned char> data(16384);
        DWORD size = static_cast<DWORD>(data.size()), valueType = 0;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, cacheKey().c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
        LONG status = RegQueryValueExA(key, name, nullptr, &valueType, data.data(), &size);
        RegCloseKey(key);
        if (type) *type = valueType;
        data.resize(status == ERROR_SUCCESS ? size : 0);
        // Some registries add a terminator to a text stored without one; it is not part of it.
        if ((valueType == REG_SZ) && !data.empty() && data.back() == 0) data.pop_back();
        return data;
    }
};

TEST_F(VersionCheck, TheFirstCheckRunsTheExecutableAndLaterOnesReadTheCacheUntilItChanges) {
    Check first = check(java, "1.8", "1.8");
    EXPECT_TRUE(first.accepted);
    EXPECT_EQ(first.version, "1.8.0_201");
    EXPECT_EQ(first.path, lower(java)) << "made a full lower-case path";
    char shortPath[MAX_PATH];
    ASSERT_GT(GetShortPathNameA(java.c_str(), shortPath, sizeof(shortPath)), 0u);
    ASSERT_EQ(javaRuns(bin).size(), 1u);
    EXPECT_EQ(lower(javaRuns(bin)[0]), "\"" + lower(shortPath) + "\" -version") << "the program quoted";
    EXPECT_EQ(first.log, "checkJavaExe (" + java + ", [out], 1.8, 1.8, 0)\r\nfile exists\r\n"
                         "got version from execution 1.8.0_201\r\ncheckJavaExe returning 1\r\n-\r\n");

    // The cache: the file time (low half first) and the text without a terminator.
    DWORD type = 0;
    std::vector<unsigned char> stamp = cacheValue("LastWriteTime", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(java.c_str(), &found));
    std::vector<unsigned char> expected(8);
    for (int i = 0; i < 4; ++i) {
        expected[i] = static_cast<unsigned char>(found.ftLastWriteTime.dwLowDateTime >> (8 * i));
        expected[4 + i] = static_cast<unsigned char>(found.ftLastWriteTime.dwHighDateTime >> (8 * i));
    }
    EXPECT_EQ(stamp, expected);
    std::vector<unsigned char> version = cacheValue("Version", &type);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(std::string(version.begin(), version.end()), "1.8.0_201");

    Check second = check(java, "1.8", "1.8");
    EXPECT_TRUE(second.accepted);
    EXPECT_EQ(second.version, "1.8.0_201");
    EXPECT_EQ(javaRuns(bin).size(), 1u) << "no second run while the executable is unchanged";
    EXPECT_NE(second.log.find("\r\ngot version from registry 1.8.0_201\r\n"), std::string::npos) << second.log;

    // A new last-write time: the executable runs again and both values are replaced.
    scriptJava(bin, versionOutput("1.9.0"));
    jaunt_test::setLastWriteTime(java, 77);
    Check third = check(java, "1.8", "1.8");
    EXPECT_FALSE(third.accepted);
    EXPECT_EQ(third.version, "1.9.0");
    EXPECT_EQ(javaRuns(bin).size(), 2u);
    version = cacheValue("Version");
    EXPECT_EQ(std::string(version.begin(), version.end()), "1.9.0");
    EXPECT_NE(cacheValue("LastWriteTime"), stamp);
}

TEST_F(VersionCheck, ACachedVersionIsTrustedEvenWhenTheLimitsRejectIt) {
    EXPECT_FALSE(check(java, "1.9").accepted);
    Check again = check(java, "1.9");
    EXPECT_FALSE(again.accepted);
    EXPECT_NE(again.log.find("got version from registry 1.8.0_201\r\ncheckJavaExe returning 0\r\n"),
              std::string::npos)
        << again.log;
    EXPECT_TRUE(check(java, "1.4", "1.8").accepted);
    EXPECT_EQ(javaRuns(bin).size(), 1u);
}

TEST_F(VersionCheck, DamagedCacheEntriesCountAsStale) {
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(java.c_str(), &found));
    unsigned char stamp[12] = {};
    for (int i = 0; i < 4; ++i) {
        stamp[i] = static_cast<unsigned char>(found.ftLastWriteTime.dwLowDateTime >> (8 * i));
        stamp[4 + i] = static_cast<unsigned char>(found.ftLastWriteTime.dwHighDateTime >> (8 * i));
    }
    struct Case {
        const char* what;
        DWORD stampSize;
        std::string version;
        DWORD versionType;
    };
    std::string tooLong(jaunt::kTextSize, '7');  // no terminator fits in the buffer
    std::vector<Case> cases = {{"a short time", 4, "1.2", REG_SZ},
                               {"a long time", 12, "1.2", REG_SZ},
                               {"an over-long version", 8, tooLong, REG_SZ},
                               {"a binary version", 8, "1.2", REG_BINARY},
                               {"an empty version", 8, "", REG_SZ}};
    size_t runs = 0;
    for (const Case& c : cases) {
        jaunt_test::resetJvmRegistry();
        setCacheValue("LastWriteTime", REG_BINARY, stamp, c.stampSize);
        setCacheValue("Version", c.versionType, c.version.data(), static_cast<DWORD>(c.version.size()));
        Check result = check(java);
        EXPECT_TRUE(result.accepted) << c.what;
        EXPECT_EQ(result.version, "1.8.0_201") << c.what;
        EXPECT_EQ(javaRuns(bin).size(), ++runs) << c.what << " must run the executable";
        EXPECT_EQ(cacheValue("LastWriteTime").size(), 8u) << c.what;
    }
    // The right stamp with a version of exactly the buffer's text size minus one is a hit.
    std::string longest(jaunt::kTextSize - 1, '1');
    setCacheValue("Version", REG_SZ, longest.data(), static_cast<DWORD>(longest.size()));
    Check hit = check(java);
    EXPECT_EQ(hit.version, longest);
    EXPECT_EQ(javaRuns(bin).size(), runs);
}

TEST_F(VersionCheck, OnlyACleanRunWithAVersionLineGivesAVersion) {
    struct Case {
        std::string output;
        std::string command;
        const char* version;  // null: couldn't get version
    };
    std::vector<Case> cases = {
        {"openjdk version \"17.0.2\" 2022-01-18\nOpenJDK Runtime Environment\n", "exit 0", "17.0.2"},
        {"Picked up JAVA_TOOL_OPTIONS: -Dx=y\r\njava version \"1.8.0_301\"\r\n", "exit 0", "1.8.0_301"},
        {versionOutput("1.8.0_201"), "exit 1", nullptr},
        {"Error: could not find java.dll\r\n", "exit 0", nullptr},
        {"", "exit 0", nullptr},
        {"java version \"" + std::string(200, '1') + "\"\r\n", "exit 0", nullptr},
    };
    for (const Case& c : cases) {
        jaunt_test::resetJvmRegistry();
        scriptJava(bin, c.output, c.command);
        Check result = check(java);
        EXPECT_EQ(result.accepted, c.version != nullptr) << c.output;
        if (c.version != nullptr) {
            EXPECT_EQ(result.version, c.version);
        } else {
            EXPECT_NE(result.log.find("\r\ncouldn't get version\r\ncheckJavaExe returning 0\r\n"), std::string::npos)
                << result.log;
            EXPECT_TRUE(cacheValue("Version").empty()) << "a failed run is not cached";
        }
    }
    EXPECT_EQ(javaRuns(bin).size(), cases.size());

    Check missing = check(bin + "\\nothing.exe");
    EXPECT_FALSE(missing.accepted);
    EXPECT_NE(missing.log.find("\r\nfile doesn't exist\r\ncheckJavaExe returning 0\r\n"), std::string::npos);
}

TEST_F(VersionCheck, AHangingExecutableIsEndedAfterTenSecondsAndLeavesNoFile) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof(temp), temp);
    auto leftovers = [&] {
        size_t count = 0;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((std::string(temp) + "jnt*.tmp").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return count;
        do ++count;
        while (FindNextFileA(h, &found));
        FindClose(h);
        return count;
    };
    size_t before = leftovers();
    scriptJava(bin, versionOutput("1.8.0_201"), "hang");
    DWORD start = GetTickCount();
    Check result = check(java);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_FALSE(result.accepted);
    EXPECT_GE(elapsed, 9900u);
    EXPECT_LT(elapsed, 25000u) << "ended, not waited for";
    EXPECT_NE(result.log.find("couldn't get version"), std::string::npos);
    EXPECT_EQ(leftovers(), before) << "the output file is removed";
}

TEST_F(VersionCheck, GuiLaunchersGetTheJavawSibling) {
    configure({{107, "1"}});
    Check gui = check(java);
    EXPECT_TRUE(gui.accepted);
    EXPECT_EQ(gui.path, lower(bin + "\\javaw.exe"));
    EXPECT_EQ(gui.log.find("checkJavaExe returning"), std::string::npos) << "no closing line on this branch";

    DeleteFileA((bin + "\\javaw.exe").c_str());
    Check without = check(java);
    EXPECT_FALSE(without.accepted) << "accepted java.exe without javaw.exe";

    configure({{107, "2"}});
    Check console = check(java);
    EXPECT_TRUE(console.accepted);
    EXPECT_EQ(console.path, lower(java));
    EXPECT_EQ(javaRuns(bin).size(), 1u);
}

TEST_F(VersionCheck, PreReleasesPassWhereTheCallerOrKey130AllowsThem) {
    scriptJava(bin, versionOutput("1.5.0-ea"));
    EXPECT_FALSE(check(java, "", "", false).accepted);
    EXPECT_TRUE(check(java, "", "", true).accepted);
    configure({{130, "1"}});
    EXPECT_TRUE(check(java, "", "", false).accepted);
    EXPECT_FALSE(check(java, "1.6", "", false).accepted) << "the limits still apply";
}

std::string exeForHome(const std::string& home, bool* result) {
    char path[jaunt::kTextSize];
    *result = jaunt::javaExeForHome(path, sizeof(path), home.c_str());
    return path;
}

TEST_F(VersionCheck, AHomeGivesItsJreExecutableFirstAndAJdkMayBeRequired) {
    std::string jdk = dir.file("jdk");
    jaunt_test::makeJdk(jdk);
    std::string modern = dir.file("jdk17");
    jaunt_test::copyFixture("JAUNT_TEST_FAKE_JAVA", modern + "\\bin\\java.exe");
    jaunt_test::writeText(modern + "\\bin\\javac.exe", "");
    bool result = false;

    EXPECT_EQ(exeForHome(home, &result), home + "\\bin\\java.exe");
    EXPECT_TRUE(result);
    EXPECT_EQ(exeForHome(home + "\\", &result), home + "\\bin\\java.exe") << "no doubled separator";
    EXPECT_EQ(exeForHome(jdk, &result), jdk + "\\jre\\bin\\java.exe");
    EXPECT_TRUE(result);
    EXPECT_EQ(exeForHome(dir.file("none"), &result), dir.file("none") + "\\bin\\java.exe");
    EXPECT_TRUE(result) << "existence is left to the check";
    std::string longHome(jaunt::kTextSize - 5, 'h');
    EXPECT_EQ(exeForHome(longHome, &result).size(), jaunt::kTextSize - 1);
    EXPECT_FALSE(result) << "a cut path is refused";

    configure({{131, "1"}});
    EXPECT_EQ(exeForHome(home, &result), home + "\\jre\\bin\\java.exe");
    EXPECT_FALSE(result) << "a JRE is no JDK";
    EXPECT_EQ(exeForHome(jdk, &result), jdk + "\\jre\\bin\\java.exe");
    EXPECT_TRUE(result);
    EXPECT_EQ(exeForHome(modern, &result), modern + "\\bin\\java.exe");
    EXPECT_TRUE(result) << "a JDK without tools.jar but with javac.exe";

}

TEST(VersionCache, KeysNameTheExecutableWithSlashes) {
    char key[64];
    ASSERT_TRUE(jaunt::registrySubkeyForPath(key, sizeof(key), "c:\\jre\\bin\\java.exe"));
    EXPECT_STREQ(key, "SOFTWARE\\loomwright\\jaunt\\jvms\\c:/jre/bin/java.exe");
    EXPECT_FALSE(jaunt::registrySubkeyForPath(key, 40, "c:\\jre\\bin\\java.exe"));
    EXPECT_EQ(std::string(key).size(), 39u);
}

}  // namespace
