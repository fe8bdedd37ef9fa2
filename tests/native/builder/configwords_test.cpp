// The word forms of the configuration, their translation into the launcher's grammars, and every
// value the build refuses because the launcher would trip over it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "buildconfig.h"
#include "classpathtext.h"
#include "configwords.h"
#include "searchsequence.h"
#include "testsupport.h"

namespace {

TEST(ConfigWords, ClassPathWordsBecomeEntriesTheLauncherReadsAsMeant) {
    struct Case {
        const char* path;
        bool optional;
        const char* entry;
    };
    const Case cases[] = {
        {"hello.jar", false, "A1hello.jar"},
        {"lib/app.jar", true, "A0lib\\app.jar"},
        {"C:\\apps\\x.jar", false, "A1C:\\apps\\x.jar"},
        {"%JAUNT_EXEDIR%/x.jar", false, "A1%JAUNT_EXEDIR%\\x.jar"},
        {"classes/", false, "D1classes"},
        {"classes\\", true, "D0classes"},
        {"C:/", false, "D1C:\\"},
        {"lib/*", false, "S1lib"},
        {"lib/*.jar", true, "S0lib"},
        {"lib\\ext/*", false, "S1lib\\ext"},
        {"*", false, "S1."},
        {"${CLASSPATH}", false, "E1CLASSPATH"},
        {"${EXTRA}", true, "E0EXTRA"},
        {"${HOME}/a.jar", false, "A1${HOME}\\a.jar"},  // a path with a variable in it stays a path
        {"${JAUNT_EXEDIR}/", false, "D1${JAUNT_EXEDIR}"},
    };
    for (const Case& c : cases) {
        std::string entry, problem;
        ASSERT_TRUE(jaunt::translateClassPathWord({c.path, c.optional}, &entry, &problem)) << c.path << ": " << problem;
        EXPECT_EQ(entry, c.entry) << c.path;
        // The launcher's own parser reads the entry back as meant.
        auto parsed = jaunt::parseClassPathEntries(entry + ";");
        ASSERT_EQ(parsed.size(), 1u) << entry;
        EXPECT_TRUE(jaunt::isClassPathType(parsed[0].type)) << entry;
        EXPECT_EQ(parsed[0].mandatory, !c.optional) << entry;
        EXPECT_EQ(jaunt::classPathTextProblem(entry + ";"), "") << entry;
    }
    const std::pair<const char*, const char*> refused[] = {
        {"", "cannot be empty"},
        {"a.jar;b.jar", "cannot contain \";\""},
        {"lib/*.zip", "wildcards are only understood as a final /* or /*.jar"},
        {"lib/a?.jar", "wildcards"},
        {"${JAUNT_EXEDIR}", "the launcher's own variable"},
    };
    for (const auto& [path, fragment] : refused) {
        std::string entry, problem;
        EXPECT_FALSE(jaunt::translateClassPathWord({path, false}, &entry, &problem)) << path;
        EXPECT_NE(problem.find(fragment), std::string::npos) << path << ": " << problem;
    }
}

TEST(ConfigWords, SearchWordsBecomeTheLettersOfTheSearchSequence) {
    const std::pair<const char*, const char*> cases[] = {
        {"bundled:jre", "Rjre"},           {"dir:C:/Java/jre8", "AC:\\Java\\jre8"},
        {"fallback:../jre", "B..\\jre"},   {"env:JAVA_HOME", "EJAVA_HOME"},
        {"path", "S"},                     {"registry", "Y"},
    };
    for (const auto& [word, expected] : cases) {
        std::string entry, problem;
        ASSERT_TRUE(jaunt::translateSearchWord(word, &entry, &problem)) << word << ": " << problem;
        EXPECT_EQ(entry, expected);
        auto parsed = jaunt::parseSearchSequence((entry + ";").c_str());
        ASSERT_EQ(parsed.size(), 1u);
        EXPECT_TRUE(jaunt::isSearchLetter(parsed[0].letter));
        EXPECT_EQ(jaunt::searchSequenceTextProblem(entry), "") << entry;
    }
    const std::pair<const char*, const char*> refused[] = {
        {"bundled:", "names no directory"},
        {"env:", "names no variable"},
        {"dir:a;b", "cannot contain \";\""},
        {"Registry", "unknown search entry \"Registry\""},
        {"Rjre", "unknown search entry"},
    };
    for (const auto& [word, fragment] : refused) {
        std::string entry, problem;
        EXPECT_FALSE(jaunt::translateSearchWord(word, &entry, &problem)) << word;
        EXPECT_NE(problem.find(fragment), std::string::npos) << word << ": " << problem;
    }
}

TEST(ConfigWords, PlainTextsMustBeValidInTheLaunchersGrammar) {
    EXPECT_EQ(jaunt::classPathTextProblem("A1hello.jar;;D0classes;S1lib;E0CP;"), "");
    EXPECT_NE(jaunt::classPathTextProblem("hello.jar").find("unknown type letter h"), std::string::npos);
    EXPECT_NE(jaunt::classPathTextProblem("a0x.jar").find("unknown type letter a"), std::string::npos);
    EXPECT_NE(jaunt::classPathTextProblem("A1a.jar;B").find("\"B\" is too short"), std::string::npos);
    EXPECT_NE(jaunt::classPathTextProblem("Axa.jar").find("flag 1 (mandatory) or 0"), std::string::npos);
    EXPECT_NE(jaunt::classPathTextProblem("A1").find("has no path"), std::string::npos);

    EXPECT_EQ(jaunt::searchSequenceTextProblem("Rjre;EJAVA_HOME;Y;;S;Bc:\\j"), "");
    EXPECT_NE(jaunt::searchSequenceTextProblem("Rjre;yes").find("unknown letter y"), std::string::npos);
    EXPECT_NE(jaunt::searchSequenceTextProblem("E").find("names no variable"), std::string::npos);
    EXPECT_NE(jaunt::searchSequenceTextProblem("R").find("names no directory"), std::string::npos);
    EXPECT_NE(jaunt::searchSequenceTextProblem("Yes").find("Y takes nothing after it"), std::string::npos);
}

const char kFile[] = "conf/app.toml";

std::map<int32_t, std::string> recordsOf(const std::string& text) {
    std::map<int32_t, std::string> records;
    for (const jaunt::NarrowRecord& r : jaunt::parseConfiguration(text, kFile).records) records[r.key] = r.value;
    return records;
}

void expectRefused(const std::string& text, int line, const std::string& fragment) {
    try {
        jaunt::parseConfiguration(text, kFile);
        ADD_FAILURE() << "accepted:\n" << text;
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(e.line(), line) << e.what();
        EXPECT_NE(e.message().find(fragment), std::string::npos) << e.what();
    }
}

TEST(ConfigWords, TheWordFormsWriteTheLaunchersKeys) {
    auto r = recordsOf(
        "[application]\nkind = \"console\"\n"
        "[java]\nclasspath = [\"app.jar\", { path = \"plugins/\", optional = true }, \"${CP}\"]\n"
        "[jvm]\nsearch = [\"bundled:jre\", \"env:JAVA_HOME\", \"registry\"]\n");
    EXPECT_EQ(r[107], "0");
    EXPECT_EQ(r[121], "A1app.jar;D0plugins;E1CP;");
    EXPECT_EQ(r[128], "Rjre;EJAVA_HOME;Y;");
    EXPECT_EQ(recordsOf("application.kind = \"gui\"")[107], "1");
    // The raw forms stay: a valid plain text, the number, and [keys].
    r = recordsOf("application.executable_type = 5\njava.classpath = \"A1a.jar;\"\njvm.search_sequence = \"Y\"\n"
                  "[keys]\n141 = \"-5\"\n");
    EXPECT_EQ(r[107], "5");
    EXPECT_EQ(r[121], "A1a.jar;");
    EXPECT_EQ(r[141], "-5");  // [keys] writes what it is given
    EXPECT_EQ(r[128], "Y");
}

TEST(ConfigWords, EveryValueTheLauncherWouldTripOverIsRefusedWithItsLine) {
    expectRefused("[java]\nclasspath = \"hello.jar\"", 2, "java.classpath: entry \"hello.jar\": unknown type letter h");
    expectRefused("[java]\nclasspath = [\n\"a.jar\",\n\"b.jar;c.jar\"]", 4, "cannot contain \";\"");
    expectRefused("[java]\nclasspath = [{ path = \"a.jar\", optinal = true }]", 2, "not optinal");
    expectRefused("[jvm]\nsearch_sequence = \"Rjre;Xfoo\"", 2, "unknown letter X");
    expectRefused("[jvm]\nsearch = \"registry\"", 2, "jvm.search must be an array");
    expectRefused("[jvm]\nsearch = [\"registry\",\n\"java_home\"]", 3, "unknown search entry \"java_home\"");
    expectRefused("[application]\nkind = \"window\"", 2, "application.kind must be \"gui\" or \"console\"");
    expectRefused("application.kind = \"gui\"\napplication.executable_type = 1", 2, "key 107 is set twice");
    // The launcher's version order: numeric components, each limit over its own length.
    expectRefused("[jvm]\nmin_version = \"1.10\"\nmax_version = \"1.9\"", 3, "minimum Java version 1.10 is above the maximum 1.9");
    expectRefused("[jvm]\nmax_version = \"9\"\nmin_version = \"11\"", 3, "above the maximum");
    EXPECT_EQ(recordsOf("jvm.min_version = \"1.8.0_392\"\njvm.max_version = \"1.8\"")[127], "1.8");
    EXPECT_EQ(recordsOf("jvm.min_version = \"1.9\"\njvm.max_version = \"1.10\"")[126], "1.9");
    expectRefused("[splash.status]\nfont = \"" + std::string(32, 'F') + "\"", 2, "font names of at most 31");
    EXPECT_EQ(recordsOf("splash.label.font = \"" + std::string(31, 'F') + "\"")[10119].size(), 31u);
    expectRefused("[splash.label]\ncolor = [0, 256, 0]", 2, "three numbers 0..255");
    expectRefused("[splash]\nheight = -1", 2, "splash.height: -1 is negative");
    expectRefused("[splash.status]\nsize = -12", 2, "negative");
    expectRefused("[application]\nname = \"" + std::string(8192, 'n') + "\"", 2, "8192 bytes long; the launcher reads at most 8191");
    EXPECT_EQ(recordsOf("application.name = \"" + std::string(8191, 'n') + "\"")[101].size(), 8191u);
}

TEST(ConfigWords, UnknownNamesGetTheNearestKnownOne) {
    expectRefused("[java]\nclass_path = [\"a.jar\"]", 2, "unknown key java.class_path (did you mean java.classpath?)");
    expectRefused("[jvm]\nserch = []", 2, "(did you mean jvm.search?)");
    expectRefused("[aplication]\nname = \"x\"", 1, "unknown section [aplication] (did you mean [application]?)");
    expectRefused("[java]\nfrobnicate = 1", 2, "unknown key java.frobnicate");
    try {
        jaunt::parseConfiguration("[java]\nfrobnicate = 1", kFile);
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(e.message().find("did you mean"), std::string::npos) << e.what();
    }
}

TEST(ConfigWords, AMandatoryArchiveMissingAtBuildTimeIsAWarningWithItsLine) {
    std::filesystem::path dir = testsupport::scratchDirectory();
    std::ofstream(dir / "here.jar") << "PK";
    std::string config = (dir / "app.toml").string();
    jaunt::BuildConfiguration c = jaunt::parseConfiguration(
        "[java]\nclasspath = [\n\"here.jar\",\n\"gone.jar\",\n{ path = \"maybe.jar\", optional = true },\n"
        "\"C:/abs/x.jar\", \"%JAUNT_EXEDIR%/y.jar\"]\n",
        config);
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_EQ(c.warnings[0].rfind(config + ":4: warning: java.classpath: gone.jar does not exist", 0), 0u)
        << c.warnings[0];
    EXPECT_EQ(c.firstArchive.argument, "here.jar");
    EXPECT_EQ(c.firstArchive.line, 3);
    // A plain text is looked at the same way.
    c = jaunt::parseConfiguration("java.classpath = \"A1sub\\\\gone.jar;\"\n", config);
    ASSERT_EQ(c.warnings.size(), 1u);
    EXPECT_NE(c.warnings[0].find(":1: warning: java.classpath: sub\\gone.jar does not exist"), std::string::npos);
}

}  // namespace
