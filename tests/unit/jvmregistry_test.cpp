// Installed Java found through the registry: the JavaSoft keys ("CurrentVersion", then the newest
// subkey), the located-JVM lists of the current user and the local machine, and the choice between
// them, with JRE homes made of test doubles.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "jvmregistry.h"
#include "jvmtrees.h"
#include "log.h"
#include "winsupport.h"

namespace {

using jaunt_test::kJdkKey;
using jaunt_test::kJreKey;
using jaunt_test::setRegistryText;

// The log is on for this program: the order in which candidates are checked is read from it.
const bool logRequested = SetEnvironmentVariableA("JAUNT_LOG", "yes") != 0;

using jaunt_test::lower;

std::string logText() {
    jaunt::logInfo("-");
    const char* path = jaunt::getLogPath();
    return path ? jaunt_test::readText(path) : "";
}

class RegistryLookup : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"registry"};

    void SetUp() override {
        ASSERT_TRUE(logRequested);
        jaunt_test::resetJvmRegistry();
        configure({});
    }
    void TearDown() override { jaunt_test::resetJvmRegistry(); }

    void configure(const std::vector<jaunt::NarrowRecord>& records) {
        std::string path = jaunt_test::writeLauncher(dir.file("config.exe"), records);
        bool opened = false;
        ASSERT_EQ(jaunt::loadConfigurationFile(path.c_str(), &opened), jaunt::TableError::None);
    }

    // A JRE of doubles reporting version, at dir\name; returns its home.
    std::string jre(const std::string& name, const std::string& version) {
        jaunt_test::JreOptions options;
        options.version = version;
        jaunt_test::makeJre(dir.file(name), options);
        return dir.file(name);
    }
    static std::string exe(const std::string& home) { return lower(home + "\\bin\\java.exe"); }

    // A JavaSoft version subkey with its home.
    void javaSoft(const char* key, const std::string& version, const std::string& home) {
        setRegistryText(HKEY_LOCAL_MACHINE, std::string(key) + "\\" + version, "JavaHome", home);
    }

    // The lookup's result, or "<none>".
    std::string find(const char* minimum = "", const char* maximum = "") {
        char path[jaunt::kTextSize];
        return jaunt::findJvmInRegistry(path, sizeof(path), minimum, maximum) ? std::string(path) : "<none>";
    }
};

TEST_F(RegistryLookup, CurrentVersionPrefersTheNewerOfJdkAndJreAndTheJreOnATie) {
    std::string jre14 = jre("jre14", "1.4.2"), jdk15 = jre("jdk15", "1.5.0");
    setRegistryText(HKEY_LOCAL_MACHINE, kJreKey, "CurrentVersion", "1.4");
    setRegistryText(HKEY_LOCAL_MACHINE, kJdkKey, "CurrentVersion", "1.5");
    javaSoft(kJreKey, "1.4", jre14);
    javaSoft(kJdkKey, "1.5", jdk15);
    EXPECT_EQ(find(), exe(jdk15));
    EXPECT_EQ(find("", "1.4"), exe(jre14)) << "the JDK's current version is out of range";

    std::string jdk14 = jre("jdk14", "1.4.2");
    setRegistryText(HKEY_LOCAL_MACHINE, kJdkKey, "CurrentVersion", "1.4");
    javaSoft(kJdkKey, "1.4", jdk14);
    EXPECT_EQ(find(), exe(jre14)) << "equal versions go to the JRE";
}

TEST_F(RegistryLookup, RequiringAJdkIgnoresTheJreKeyAndHomesWithoutTools) {
    configure({{131, "1"}});
    std::string jre16 = jre("jre16", "1.6.0");
    setRegistryText(HKEY_LOCAL_MACHINE, kJreKey, "CurrentVersion", "1.6");
    javaSoft(kJreKey, "1.6", jre16);
    EXPECT_EQ(find(), "<none>");

    std::string notAJdk = jre("notajdk", "1.5.0");
    setRegistryText(HKEY_LOCAL_MACHINE, kJdkKey, "CurrentVersion", "1.5");
    javaSoft(kJdkKey, "1.5", notAJdk);
    EXPECT_EQ(find(), "<none>") << "a home without lib\\tools.jar is no JDK";

    std::string jdk = dir.file("jdk15");
    jaunt_test::makeJdk(jdk);
    javaSoft(kJdkKey, "1.5", jdk);
    EXPECT_EQ(find(), lower(jdk + "\\jre\\bin\\java.exe"));
}

TEST_F(RegistryLookup, VersionSubkeysAreTriedFromTheNewestDownWithinTheRange) {
    // Only 1.4 and the out-of-range 1.3 have a working home.
    std::string jre14 = jre("jre14", "1.4.0"), jre13 = jre("jre13", "1.4.9");
    javaSoft(kJreKey, "1.3", jre13);
    javaSoft(kJreKey, "1.4", jre14);
    javaSoft(kJreKey, "1.4.2", dir.file("gone142"));
    javaSoft(kJreKey, "1.4.2_06", dir.file("gone14206"));
    size_t mark = logText().size();
    EXPECT_EQ(find("1.4"), exe(jre14));
    std::string log = logText().substr(mark);
    size_t newest = log.find("checkJavaExe (" + dir.file("gone14206"));
    size_t next = log.find("checkJavaExe (" + dir.file("gone142") + "\\");
    size_t found = log.find("checkJavaExe (" + jre14);
    EXPECT_LT(newest, next) << log;
    EXPECT_LT(next, found) << log;
    EXPECT_NE(found, std::string::npos) << log;
    EXPECT_EQ(log.find(jre13), std::string::npos) << "1.3 is below the minimum and never opened";
}

TEST_F(RegistryLookup, AnOverlongCurrentVersionIsIgnoredNotCut) {
    std::string full = "1.8" + std::string(147, 'x');
    std::string cut = full.substr(0, jaunt::kCurrentVersionSize - 1);
    std::string whole = jre("whole", "1.8.0"), wrong = jre("wrong", "1.8.0");
    setRegistryText(HKEY_LOCAL_MACHINE, kJreKey, "CurrentVersion", full);
    javaSoft(kJreKey, full, whole);
    javaSoft(kJreKey, cut, wrong);
    EXPECT_EQ(find(), exe(whole)) << "the newest subkey, not a key named by a cut value";

    std::string longest(jaunt::kCurrentVersionSize - 1, '1');
    std::string fits = jre("fits", "1.1.0");
    setRegistryText(HKEY_LOCAL_MACHINE, kJdkKey, "CurrentVersion", longest);
    javaSoft(kJdkKey, longest, fits);
    EXPECT_EQ(find(), exe(fits)) << "a current version of exactly the buffer's text size is read";
}

TEST_F(RegistryLookup, LocatedJvmsWinTiesAndTheLocalMachineWinsAmongThem) {
    std::string javaSoftHome = jre("javasoft", "1.4.2_06");
    javaSoft(kJreKey, "1.4.2_06", javaSoftHome);
    std::string user15 = jre("user15", "1.5.0"), machine15 = jre("machine15", "1.5.0");
    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, user15 + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(user15)) << "1.5.0 beats 1.4.2_06";
    jaunt_test::addLocatedJvm(HKEY_LOCAL_MACHINE, machine15 + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(machine15)) << "the same version under both roots: the local machine's";

    std::string user16 = jre("user16", "1.6.0");
    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, user16 + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(user16));
    EXPECT_EQ(find("", "1.5"), exe(machine15)) << "limits apply to located JVMs";

    jaunt_test::deleteRegistryTree(HKEY_LOCAL_MACHINE, jaunt_test::kLocatedKey);
    jaunt_test::deleteRegistryTree(HKEY_CURRENT_USER, jaunt_test::kLocatedKey);
    std::string same = jre("same", "1.4.2_06");
    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, same + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(same)) << "equal versions go to the located JVM";
    EXPECT_EQ(find("", "1.4.2_05"), "<none>");
}

TEST_F(RegistryLookup, LocatedEntriesAreSlashedPathsAndMayBePrereleases) {
    std::string early = jre("early", "1.7.0-ea");
    jaunt_test::addLocatedJvm(HKEY_LOCAL_MACHINE, early + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(early)) << "validated with backslashes, pre-releases allowed";

    std::string javaSoftEarly = jre("javasoftearly", "1.8.0-ea");
    javaSoft(kJreKey, "1.8", javaSoftEarly);
    EXPECT_EQ(find(), exe(early)) << "JavaSoft entries allow no pre-release";
    configure({{130, "1"}});
    EXPECT_EQ(find(), exe(javaSoftEarly)) << "unless key 130 allows them";
}

// Where each distribution's installer puts the home, relative to the root: (key, value).
struct Layout {
    std::string key;
    const char* value;
};
std::vector<Layout> distributionLayouts() {
    std::vector<Layout> layouts = {{"SOFTWARE\\JavaSoft\\JRE\\17.0.2", "JavaHome"},
                                   {"SOFTWARE\\JavaSoft\\JDK\\21", "JavaHome"},
                                   {"SOFTWARE\\Microsoft\\JDK\\17.0.9.8\\hotspot\\MSI", "Path"},
                                   {"SOFTWARE\\Azul Systems\\Zulu\\zulu-17", "InstallationPath"},
                                   {"SOFTWARE\\Azul Systems\\Zulu\\zulu-21\\x86", "InstallationPath"},
                                   {"SOFTWARE\\BellSoft\\Liberica\\Liberica JDK 17", "InstallationPath"},
                                   {"SOFTWARE\\BellSoft\\Liberica\\21\\jdk", "InstallationPath"}};
    for (const char* vendor : {"Eclipse Adoptium", "Eclipse Foundation", "AdoptOpenJDK"})
        for (const char* kind : {"JRE", "JDK"})
            layouts.push_back({std::string("SOFTWARE\\") + vendor + "\\" + kind + "\\17.0.9.9\\hotspot\\MSI", "Path"});
    return layouts;
}

TEST_F(RegistryLookup, EveryDistributionKeyIsReadUnderBothRoots) {
    std::string home = jre("temurin", "17.0.9") + "\\";  // installers write the home with a separator
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (const Layout& layout : distributionLayouts()) {
            setRegistryText(root, layout.key, layout.value, home);
            EXPECT_EQ(find(), lower(home) + "bin\\java.exe") << layout.key;
            for (const char* key : jaunt_test::kDistributionKeys) jaunt_test::deleteRegistryTree(root, key);
        }
    }
    // Two levels below the Zulu key is too deep; a JRE key is ignored when a JDK is required.
    setRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Azul Systems\\Zulu\\zulu-21\\x86\\deep", "InstallationPath", home);
    EXPECT_EQ(find(), "<none>");
    std::string jdk = dir.file("jdk");
    jaunt_test::makeJdk(jdk);
    setRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Eclipse Adoptium\\JRE\\8.0.392.8\\hotspot\\MSI", "Path", jdk);
    configure({{131, "1"}});
    EXPECT_EQ(find(), "<none>");
    configure({});
    EXPECT_EQ(find(), lower(jdk + "\\jre\\bin\\java.exe"));
    EXPECT_LE(jaunt_test::javaRuns(home + "bin").size(), 2u) << "the version is cached per executable";
}

TEST_F(RegistryLookup, TheNewestVersionWinsNumericallyAcrossAllSources) {
    // The JavaSoft subkeys: 1.8.0_392 is newer than 1.8.0_65, though lower byte-wise.
    std::string jre392 = jre("jre392", "1.8.0_392"), jre65 = jre("jre65", "1.8.0_65");
    javaSoft(kJreKey, "1.8.0_65", jre65);
    javaSoft(kJreKey, "1.8.0_392", jre392);
    EXPECT_EQ(find(), exe(jre392));

    std::string located = jre("located", "9.0.4");
    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, located + "\\bin\\java.exe");
    EXPECT_EQ(find(), exe(located)) << "9 is newer than 1.8";
    std::string sameAsLocated = jre("same", "9.0.4");
    setRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\9.0.4", "JavaHome", sameAsLocated);
    EXPECT_EQ(find(), exe(located)) << "a distribution's installation must be strictly newer";

    std::string jdk17 = jre("jdk17", "17.0.2"), jdk11 = jre("jdk11", "11.0.2"), early = jre("early", "21-ea");
    setRegistryText(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\17.0.2", "JavaHome", jdk17);
    setRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Eclipse Adoptium\\JDK\\11.0.2.7\\hotspot\\MSI", "Path", jdk11);
    setRegistryText(HKEY_CURRENT_USER, "SOFTWARE\\Azul Systems\\Zulu\\zulu-21", "InstallationPath", early);
    EXPECT_EQ(find(), exe(jdk17)) << "17.0.2 above 11.0.2 and 9.0.4; 21-ea is a pre-release";
    EXPECT_EQ(find("", "11"), exe(jdk11)) << "a maximum of 11 accepts 11.0.2";
    configure({{130, "1"}});
    EXPECT_EQ(find(), exe(early));
}

}  // namespace
