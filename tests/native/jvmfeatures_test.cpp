#include "jvmfeatures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Options = std::vector<std::string>;

TEST(ModuleFlags, ItemsAreModuleSlashPackageOfJavaNames) {
    for (const char* good : {"java.base/java.lang", "jdk.internal.vm.ci/jdk.vm.ci.code", "a/b", "$x_1/_y.z$"})
        EXPECT_TRUE(jaunt::isModulePackage(good)) << good;
    for (const char* bad : {"", "java.base", "/java.lang", "java.base/", "java.base/java.lang/x", "java..base/x",
                            ".java/x", "java./x", "java.base/1lang", "java base/x", "java.base/java.lang=ALL-UNNAMED",
                            "java.base/java-lang"})
        EXPECT_FALSE(jaunt::isModulePackage(bad)) << bad;
    EXPECT_EQ(jaunt::moduleFlagItems(" a/b \t c/d  "), (Options{"a/b", "c/d"}));
    EXPECT_EQ(jaunt::moduleFlagItems(""), Options{});
}

TEST(ModuleFlags, OnlyAJavaWithModulesGetsThem) {
    Options all = {"--add-opens=java.base/java.lang=ALL-UNNAMED", "--add-opens=java.desktop/sun.awt=ALL-UNNAMED",
                   "--add-exports=java.base/jdk.internal.misc=ALL-UNNAMED", "--enable-native-access=ALL-UNNAMED"};
    const char* opens = "java.base/java.lang broken java.desktop/sun.awt";
    EXPECT_EQ(jaunt::moduleOptions(17, opens, "java.base/jdk.internal.misc", true), all);
    EXPECT_EQ(jaunt::moduleOptions(21, opens, "java.base/jdk.internal.misc", true), all);
    // Native access came with Java 17; the module flags with Java 9.
    EXPECT_EQ(jaunt::moduleOptions(11, opens, "java.base/jdk.internal.misc", true), Options(all.begin(), all.end() - 1));
    EXPECT_EQ(jaunt::moduleOptions(9, "", "", true), Options{});
    EXPECT_EQ(jaunt::moduleOptions(8, opens, "java.base/jdk.internal.misc", true), Options{});
    EXPECT_EQ(jaunt::moduleOptions(0, opens, "java.base/jdk.internal.misc", true), Options{}) << "unknown version";
}

TEST(ClassDataSharing, TheOptionsFollowTheJavaRelease) {
    const std::string archive = "C:\\cds\\a.jsa";
    for (bool exists : {false, true}) {
        EXPECT_EQ(jaunt::cdsOptions(19, archive, exists),
                  (Options{"-Xlog:cds*=off", "-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=C:\\cds\\a.jsa"}));
        EXPECT_EQ(jaunt::cdsOptions(12, archive, exists), Options{});
        EXPECT_EQ(jaunt::cdsOptions(0, archive, exists), Options{});
    }
    EXPECT_EQ(jaunt::cdsOptions(13, archive, false),
              (Options{"-Xlog:cds*=off", "-XX:ArchiveClassesAtExit=C:\\cds\\a.jsa"}));
    EXPECT_EQ(jaunt::cdsOptions(18, archive, true), (Options{"-Xlog:cds*=off", "-XX:SharedArchiveFile=C:\\cds\\a.jsa"}));
}

TEST(ClassDataSharing, ArchiveNamesAreTheTwoHashesInHex) {
    EXPECT_EQ(jaunt::cdsArchiveName(0x0123456789abcdefULL, 0xfULL), "0123456789abcdef-000000000000000f.jsa");
    // FNV-1a: the offset basis for no bytes, its published value for "a".
    EXPECT_EQ(jaunt::hashBytes(jaunt::kHashStart, "", 0), 0xcbf29ce484222325ULL);
    EXPECT_EQ(jaunt::hashBytes(jaunt::kHashStart, "a", 1), 0xaf63dc4c8601ec8cULL);
    EXPECT_NE(jaunt::hashBytes(jaunt::kHashStart, "ab", 2), jaunt::hashBytes(jaunt::kHashStart, "ba", 2));
}

}  // namespace
