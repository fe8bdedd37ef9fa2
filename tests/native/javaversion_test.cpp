#include "javaversion.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// The version read from output, or "<none>".
std::string versionOf(const std::string& output, size_t capacity = 8192) {
    std::vector<char> buffer(capacity + 4, 'G');
    bool found = jaunt::parseVersionOutput(output.data(), output.size(), buffer.data(), capacity);
    for (size_t i = capacity; i < capacity + 4; ++i) EXPECT_EQ(buffer[i], 'G') << "written past the buffer";
    return found ? std::string(buffer.data()) : "<none>";
}

TEST(VersionOutput, ClassicAndOpenJdkFirstLinesGiveTheQuotedVersion) {
    EXPECT_EQ(versionOf("java version \"1.4.2_06\"\nJava(TM) 2 Runtime Environment\n"), "1.4.2_06");
    EXPECT_EQ(versionOf("java version \"1.8.0_301\"\r\n"), "1.8.0_301");
    EXPECT_EQ(versionOf("openjdk version \"17.0.2\" 2022-01-18\nOpenJDK Runtime Environment\n"), "17.0.2");
    EXPECT_EQ(versionOf("java version \"21\" 2023-09-19 LTS\n"), "21");
    EXPECT_EQ(versionOf("java version \"1.5.0\""), "1.5.0") << "no line end at all";
    // First lines of current distributions.
    EXPECT_EQ(versionOf("openjdk version \"21\" 2023-09-19\nOpenJDK Runtime Environment (build 21+35)\n"), "21");
    EXPECT_EQ(versionOf("java version \"17.0.2\" 2022-01-18 LTS\r\n"), "17.0.2");
    EXPECT_EQ(versionOf("openjdk version \"1.8.0_392\"\r\nOpenJDK Runtime Environment (Temurin)\r\n"), "1.8.0_392");
    EXPECT_EQ(versionOf("openjdk version \"17-ea\" 2021-09-14\n"), "17-ea");
    EXPECT_EQ(versionOf("openjdk version \"11.0.2-internal\" 2019-01-15\n"), "11.0.2-internal");
}

TEST(VersionOutput, PickedUpNotesAreSkippedWhateverTheirLength) {
    std::string note = "Picked up JAVA_TOOL_OPTIONS: " + std::string(500, 'x') + "\n";
    EXPECT_EQ(versionOf(note + "Picked up _JAVA_OPTIONS: -Xmx1g\r\nopenjdk version \"11.0.20\"\n"), "11.0.20");
    EXPECT_EQ(versionOf(note), "<none>");
    EXPECT_EQ(versionOf("picked up x\njava version \"1.8\"\n"), "<none>") << "the note's case matters";
}

TEST(VersionOutput, AnythingElseIsNotAVersion) {
    for (const char* output : {"", "\n", "Error: could not find java.dll\n", " java version \"1.8\"\n",
                               "java version 1.8\n", "Java version \"1.8\"\n", "openjdk  version \"17\"\n",
                               "java version \"\"\n", "java version \"1.8.0\n", "java version \"",
                               "jav", "\njava version \"1.8\"\n"}) {
        EXPECT_EQ(versionOf(output), "<none>") << output;
    }
    // Only the first other line counts.
    EXPECT_EQ(versionOf("Warning: something\njava version \"1.8\"\n"), "<none>");
}

TEST(VersionOutput, OnlyTheLineBuffersWorthOfALongLineIsRead) {
    // The closing quote at character 99 is still inside the line buffer; one further is not.
    std::string prefix = "java version \"";
    std::string fits = prefix + std::string(99 - prefix.size() - 1, '9') + "\"";
    ASSERT_EQ(fits.size(), jaunt::kVersionLineLimit);
    EXPECT_EQ(versionOf(fits + " tail\n"), std::string(99 - prefix.size() - 1, '9'));
    std::string cut = prefix + std::string(99 - prefix.size(), '9') + "\"\n";
    EXPECT_EQ(versionOf(cut), "<none>");
    // A NUL ends the text.
    std::string withNul("java version \"1.8\"\n", 19);
    withNul[5] = '\0';
    EXPECT_EQ(versionOf(withNul), "<none>");
}

TEST(VersionOutput, AVersionLongerThanTheCallersBufferIsRefusedNotOverrun) {
    EXPECT_EQ(versionOf("java version \"1.4.2_06\"\n", 8), "<none>");
    EXPECT_EQ(versionOf("java version \"1.4.2_06\"\n", 9), "1.4.2_06");
}

TEST(VersionLimits, LimitsMatchAsPrefixesComponentByComponent) {
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.5.0_06", "", "1.5", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.4", "1.4", "", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.4.2_06", "1.4", "", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.10", "1.4", "", false)) << "numeric, not byte-wise";
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.3.1", "1.4", "", false));
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.6.0", "", "1.5", false));
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.4", "1.4.2", "", false)) << "shorter than the minimum";
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.4", "", "1.4.2", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("anything", "", "", false));
    // Versions of today against limits of either style.
    EXPECT_TRUE(jaunt::isVersionAcceptable("17.0.2", "9", "", false)) << "17 is above 9";
    EXPECT_TRUE(jaunt::isVersionAcceptable("11.0.2", "1.8", "11", false));
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.8.0_392", "9", "", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("1.8.0_392", "1.8.0_300", "1.8", false)) << "the update is a component";
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.8.0_202", "1.8.0_300", "", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("21", "17", "21.0.1", false));
    EXPECT_FALSE(jaunt::isVersionAcceptable("21.0.2", "", "21.0.1", false));
    EXPECT_TRUE(jaunt::isVersionAcceptable("9.0.4", "9.0.04", "9.0.4", false)) << "leading zeros do not count";
    EXPECT_TRUE(jaunt::isVersionAcceptable("17-ea", "17", "17", true)) << "a tag beyond the limit's length";
}

TEST(VersionLimits, PreReleasesNeedPermission) {
    for (const char* version : {"1.4.2-beta", "1.5.0-ea", "beta", "17-ea"}) {
        EXPECT_TRUE(jaunt::isPrerelease(version)) << version;
        EXPECT_FALSE(jaunt::isVersionAcceptable(version, "", "", false)) << version;
        EXPECT_TRUE(jaunt::isVersionAcceptable(version, "", "", true)) << version;
    }
    EXPECT_FALSE(jaunt::isPrerelease("1.4.2_06"));
    EXPECT_FALSE(jaunt::isPrerelease("11.0.2-internal"));
    EXPECT_FALSE(jaunt::isPrerelease("1.4.2-BETA"));
    // Permission does not lift the limits.
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.3-beta", "1.4", "", true));
}

TEST(VersionLimits, RegistryNamesAreFilteredOverTheShorterLength) {
    EXPECT_TRUE(jaunt::isVersionInRange("1.4", "1.4.2", ""));
    EXPECT_FALSE(jaunt::isVersionAcceptable("1.4", "1.4.2", "", true));
    EXPECT_FALSE(jaunt::isVersionInRange("1.3", "1.4", ""));
    EXPECT_TRUE(jaunt::isVersionInRange("1.4.2_06", "1.4", "1.5"));
    EXPECT_FALSE(jaunt::isVersionInRange("1.6", "1.4", "1.5"));
    EXPECT_TRUE(jaunt::isVersionInRange("1", "1.4", "1.5"));
    EXPECT_TRUE(jaunt::isVersionInRange("", "1.4", "1.5"));
    EXPECT_TRUE(jaunt::isVersionInRange("9.9", "", ""));
    EXPECT_TRUE(jaunt::isVersionInRange("17", "1.8", "21.0.1"));
    EXPECT_FALSE(jaunt::isVersionInRange("1.8", "9", ""));
}

TEST(VersionOrder, ComponentsCompareByValueAndTagsBelowReleases) {
    std::vector<std::string> names = {"17.0.2", "1.4.2", "9.0.4", "1.10", "1.4.2_06", "21", "1.8.0_392", "17",
                                      "17-ea", "1.4.2-beta", "11.0.2", "1.3", "1.4", "21.0.1", "1.8.0_65"};
    jaunt::sortVersionNames(&names);
    EXPECT_EQ(names, (std::vector<std::string>{"1.3", "1.4", "1.4.2-beta", "1.4.2", "1.4.2_06", "1.8.0_65",
                                               "1.8.0_392", "1.10", "9.0.4", "11.0.2", "17-ea", "17", "17.0.2",
                                               "21", "21.0.1"}));
    EXPECT_GT(jaunt::compareVersions("1.4.2_06", "1.4.2"), 0);
    EXPECT_EQ(jaunt::compareVersions("1.5", "1.5"), 0);
    EXPECT_GT(jaunt::compareVersions("100000000000000000000001", "100000000000000000000000"), 0) << "no overflow";
    EXPECT_LT(jaunt::compareVersions("17-beta", "17-ea"), 0) << "tags byte-wise";
    // Equal by value, yet only identical texts compare equal.
    EXPECT_NE(jaunt::compareVersions("1.4.2_06", "1.4.2_6"), 0);
    EXPECT_EQ(jaunt::compareVersions("1.4.2_06", "1.4.2_6"), -jaunt::compareVersions("1.4.2_6", "1.4.2_06"));
}

TEST(VersionOrder, TheFeatureReleaseTakesTheOldAndTheNewScheme) {
    EXPECT_EQ(jaunt::javaFeatureVersion("1.8.0_201"), 8);
    EXPECT_EQ(jaunt::javaFeatureVersion("1.4.2-beta"), 4);
    EXPECT_EQ(jaunt::javaFeatureVersion("9-ea"), 9);
    EXPECT_EQ(jaunt::javaFeatureVersion("17.0.2"), 17);
    EXPECT_EQ(jaunt::javaFeatureVersion("21"), 21);
    EXPECT_EQ(jaunt::javaFeatureVersion("1"), 1) << "a lone 1 is release 1, not the old scheme";
    for (const char* unknown : {"", "ea", " 17", "1.", "1.x", "99999999999999999999"})
        EXPECT_EQ(jaunt::javaFeatureVersion(unknown), 0) << unknown;
}

std::string homeOf(const char* executable, size_t capacity = 8192) {
    std::vector<char> buffer(capacity);
    bool whole = jaunt::jvmHomeForExecutable(executable, buffer.data(), capacity);
    return std::string(buffer.data()) + (whole ? "" : "<cut>");
}

TEST(ExecutableNames, TheHomeIsTheDirectoryWithTwoDots) {
    EXPECT_EQ(homeOf("C:\\jdk\\jre\\bin\\java.exe"), "C:\\jdk\\jre\\bin\\..");
    EXPECT_EQ(homeOf("c:\\jre\\bin\\javaw.exe"), "c:\\jre\\bin\\..");
    EXPECT_EQ(homeOf("c:\\jre\\bin\\jre.exe"), "c:\\jre\\bin\\..") << "other names lose their file name only";
    EXPECT_EQ(homeOf("c:\\JAVA.EXE"), "c:\\..");
    EXPECT_EQ(homeOf("java.exe"), "..");
    EXPECT_EQ(homeOf("x"), "..");
    EXPECT_EQ(homeOf(""), "..");
    EXPECT_EQ(homeOf("c:\\jre\\bin\\java.exe", 10), "c:\\jre\\bi<cut>");
    EXPECT_EQ(jaunt::executableDirectoryLength("c:\\j\\bin\\javaw.exe"),
              jaunt::executableDirectoryLength("c:\\j\\bin\\java.exe"));
}

TEST(ExecutableNames, JvmLibrariesAreLookedForBesideTheExecutableThenInTheEmbeddedJre) {
    std::vector<std::string> candidates = jaunt::jvmLibraryCandidates("c:\\jdk\\bin\\javaw.exe", "server");
    ASSERT_EQ(candidates.size(), 10u);
    EXPECT_EQ(candidates[0], "c:\\jdk\\bin\\server\\jvm.dll");
    EXPECT_EQ(candidates[1], "c:\\jdk\\bin\\hotspot\\jvm.dll");
    EXPECT_EQ(candidates[5], "c:\\jdk\\bin\\..\\jre\\bin\\server\\jvm.dll");
    EXPECT_EQ(candidates[9], "c:\\jdk\\bin\\..\\jre\\bin\\classic\\jvm.dll");
    EXPECT_EQ(jaunt::jvmLibraryCandidates("c:\\jre\\bin\\java.exe", "").size(), 8u);
}

std::string gui(const std::string& path, size_t capacity = 8192) {
    std::vector<char> buffer(capacity);
    std::memcpy(buffer.data(), path.c_str(), path.size() + 1);
    bool ok = jaunt::guiExecutableFor(buffer.data(), capacity);
    return ok ? std::string(buffer.data()) : "<refused:" + std::string(buffer.data()) + ">";
}

TEST(ExecutableNames, TheGuiSiblingReplacesTheFinalExe) {
    EXPECT_EQ(gui("c:\\jre\\bin\\java.exe"), "c:\\jre\\bin\\javaw.exe");
    EXPECT_EQ(gui("c:\\jre\\bin\\javaw.exe"), "c:\\jre\\bin\\javaw.exe") << "already the GUI executable";
    EXPECT_EQ(gui("c:\\jre\\bin\\java"), "c:\\jre\\bin\\java");
    EXPECT_EQ(gui("c:\\a.exe", 10), "c:\\aw.exe");
    EXPECT_EQ(gui("c:\\a.exe", 9), "<refused:c:\\a.exe>") << "no room for the extra character";
}

}  // namespace
