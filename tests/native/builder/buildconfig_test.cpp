#include "buildconfig.h"

#include <gtest/gtest.h>

#include <map>

#include "testsupport.h"

namespace {

const char kFile[] = "conf/app.toml";

std::map<int32_t, std::string> recordsOf(const std::string& text) {
    std::map<int32_t, std::string> records;
    for (const jaunt::NarrowRecord& r : jaunt::parseConfiguration(text, kFile).records) {
        EXPECT_TRUE(records.empty() || r.key > records.rbegin()->first) << "keys not ascending at " << r.key;
        records[r.key] = r.value;
    }
    return records;
}

std::string valueOf(const std::string& text, int32_t key) {
    std::map<int32_t, std::string> records = recordsOf(text);
    return records.count(key) ? records[key] : "<absent>";
}

// Checks that text is refused on the given line with a message containing fragment.
void expectError(const std::string& text, int line, const std::string& fragment) {
    try {
        jaunt::parseConfiguration(text, kFile);
        ADD_FAILURE() << "accepted:\n" << text;
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(e.file(), kFile);
        EXPECT_EQ(e.line(), line) << e.what();
        EXPECT_NE(e.message().find(fragment), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()),
                  std::string(kFile) + ":" + std::to_string(line) + ": " + e.message());
    }
}

TEST(Configuration, WritesEachKindOfKey) {
    auto r = recordsOf(
        "[application]\nname = \"Hello \\u00e9\"\nexecutable_type = 5\n"
        "[redirect]\nstderr = true\nstdout = false\n"
        "[splash.status]\ncolor = [255, 128, 1]\nx = -2147483648\n"
        "[splash.label]\ncolor = \" 7 ,08,255 \"\n"
        "[jvm]\nmin_version = \"1.8\"\n");
    EXPECT_EQ(r[101], "Hello \xC3\xA9");
    EXPECT_EQ(r[107], "5");
    EXPECT_EQ(r[102], "1");
    EXPECT_EQ(r[104], "0");
    EXPECT_EQ(r[10109], "-2147483648");
    EXPECT_EQ(r[10114], "255,128,1");
    EXPECT_EQ(r[10121], "7,8,255");
    EXPECT_EQ(r[126], "1.8");
    // Dotted keys address the same names as sections do.
    EXPECT_EQ(valueOf("jvm.max_version = \"17\"\nsplash.status.x = 3", 127), "17");
}

TEST(Configuration, AcceptsListsForPathsOptionsAndArguments) {
    EXPECT_EQ(valueOf("application.path_prefix = [\"bin\", \"C:\\\\lib x\"]", 10004), "bin;C:\\lib x");
    EXPECT_EQ(valueOf("application.path_prefix = \"a;b\"", 10004), "a;b");
    EXPECT_EQ(valueOf("java.vm_options = [\"-Xmx1g\", \"-Dt=a b\", '-Dq=say \"hi\"', \"\"]", 123),
              "\"-Xmx1g\" \"-Dt=a b\" '-Dq=say \"hi\"' \"\"");
    EXPECT_EQ(valueOf("java.arguments = [\"it's\", \"x\"]", 124), "\"it's\" \"x\"");
    EXPECT_EQ(valueOf("java.arguments = []", 124), "");
    EXPECT_EQ(valueOf("java.arguments = \"a 'b c'\"", 124), "a 'b c'");
}

TEST(Configuration, RawKeysSetAnyKeyByNumber) {
    auto r = recordsOf("[keys]\n128 = \"E:JAVA_HOME;\"\n99999 = 12\n-3 = true\n5 = false\n2001 = \"x\"\n");
    EXPECT_EQ(r[128], "E:JAVA_HOME;");
    EXPECT_EQ(r[99999], "12");
    EXPECT_EQ(r[-3], "1");
    EXPECT_EQ(r[5], "0");
    EXPECT_EQ(r[2001], "x");
}

TEST(Configuration, FillsInDefaults) {
    const std::map<int32_t, std::string> defaults = {
        {103, "error.log"},
        {107, "1"},
        {1000, "Error"},
        {1001,
         "No JVM could be found on your system.\r\nPlease define JAUNT_JAVA_HOME\r\n"
         "to point to an installed JDK or JRE or download a JRE."},
        {1002,
         "The JVM found in your path is damaged.\r\nPlease reinstall or define JAUNT_JAVA_HOME\r\n"
         "to point to an installed JDK or JRE."},
        {1003, "The %ENV_VAR_NAME% environment variable does not\r\npoint to a working JDK or JRE."},
        {1004,
         "The JVM found at %DEFINED_PATH% is damaged.\r\nPlease reinstall or define JAUNT_JAVA_HOME\r\n"
         "to point to an installed JDK or JRE."},
        {1005, "The JVM could not be started. The main method may have thrown an exception."},
        {1006, "File or directory %FILE_NAME% not found or empty\r\n"},
        {1007, "Wrong Parameter Usage"},
        {1008, "The environment variable %ENV_VAR_NAME% has to be defined"},
        {1009, "An internal error occurred (error code: %ERROR_CODE%)"},
        {1010, "Couldn't load main class."},
        {1011, "Main method not found."},
        {1012, "Error"},
        {1013, "Ok"},
        {1014, "The application reported an error:"},
        {2001, "e"},
        {2002, "1"},
        {2003, "jauntlib.jar;"},
    };
    EXPECT_EQ(recordsOf(""), defaults);
    EXPECT_EQ(valueOf("application.name = \"Hello\"", 1014), "Hello reported an error:");
    EXPECT_EQ(valueOf("keys.101 = \"Raw\"", 1014), "Raw reported an error:");
    auto r = recordsOf(
        "[messages]\nerror_caption = \"Fehler\"\ndialog_header = \"\"\n[redirect]\nstderr_file = \"e.txt\"");
    EXPECT_EQ(r[1000], "Fehler");
    EXPECT_EQ(r[1014], "");
    EXPECT_EQ(r[103], "e.txt");
}

TEST(Configuration, ReportsEachMistakeWithItsLine) {
    expectError("\n[application]\nnmae = \"x\"", 3, "unknown key application.nmae");
    expectError("[aplication]\nname = \"x\"", 1, "unknown section [aplication]");
    expectError("name = \"x\"", 1, "unknown key name");
    expectError("[splash]\n\nwidth = \"10\"", 3, "splash.width must be an integer");
    expectError("splash.width = 1.5", 1, "must be an integer");
    expectError("splash.width = 2147483648", 1, "out of range");
    expectError("application.name = 5", 1, "application.name must be a string");
    expectError("[application]\nname.x = \"a\"", 2, "application.name must be a string");
    expectError("redirect.stderr = \"yes\"", 1, "must be true or false");
    expectError("[splash.status]\ncolor = [1, 2]", 2, "three numbers 0..255");
    expectError("[splash.status]\ncolor = [1,\n 2,\n 256]", 4, "three numbers 0..255");
    expectError("splash.status.color = [1, -2, 3]", 1, "three numbers");
    for (const char* text : {"1,2", "1,2,3,4", "a,b,c", "1,,2", "1 2 3", "300,0,0", ""})
        expectError(std::string("splash.label.color = \"") + text + "\"", 1, "three numbers");
    expectError("[build]\nflavour = \"x\"", 2, "build.flavour is managed by the build tool");
    expectError("files.count = 2", 1, "files.count is managed by the build tool");
    expectError("[files]\nnames = \"a\"", 2, "files.names is managed by the build tool");
    expectError("java.vm_options = [\"a\",\n\"b\\\"'\"]", 2, "contains both");
    expectError("java.arguments = [1]", 1, "items must be strings");
    expectError("application.path_prefix = [\"a;b\"]", 1, "single directories");
    expectError("java.main_class = [\"a\"]", 1, "java.main_class must be a string");
    expectError("application.name = \"a\\u0000b\"", 1, "NUL");
    expectError("[keys]\nabc = \"x\"", 2, "decimal key number");
    expectError("[keys]\n2147483648 = \"x\"", 2, "decimal key number");
    expectError("[keys]\n128 = [1]", 2, "string, an integer or a boolean");
    expectError("keys = 3", 1, "keys must be a table");
    expectError("[build]\nstub = 3", 2, "build.stub must be a file name");
    expectError("[build]\narch = \"x86_64\"", 2, "build.arch must be \"x86\" or \"x64\"");
    expectError("[build]\nicon = \"a.ico\"", 2, "unknown key build.icon");
    expectError("a = 1\n\n[application\n", 3, "");  // TOML syntax error
}

TEST(Configuration, TheApplicationIdHasWindowsForm) {
    for (const char* good : {"Company.Product", "Company.Product.Sub.1-2", "a.b"})
        EXPECT_EQ(valueOf(std::string("application.id = \"") + good + "\"", 109), good);
    std::string longest = "Company." + std::string(128 - 8, 'p');
    EXPECT_EQ(valueOf("application.id = \"" + longest + "\"", 109), longest);
    expectError("application.id = \"" + longest + "x\"", 1, "has 129 characters, more than the 128");
    expectError("[application]\nid = \"Company Product.App\"", 2, "application.id: \"Company Product.App\" contains a space");
    for (const char* bad : {"Product", "A.B.C.D.E", "A..B", ".A.B", "A.B.", ""})
        expectError(std::string("application.id = \"") + bad + "\"", 1, "two to four non-empty parts");
    expectError("application.id = \"Caf\u00e9.App\"", 1, "printable ASCII");
    expectError("application.id = \"A.B\\tC\"", 1, "printable ASCII");
}

TEST(Configuration, ConsoleAttachingIsForGuiLaunchers) {
    EXPECT_EQ(valueOf("application.console = \"attach\"", 110), "attach");
    EXPECT_EQ(valueOf("application.console = \"attach\"\napplication.kind = \"gui\"", 110), "attach");
    expectError("application.console = \"new\"", 1, "the one mode is \"attach\"");
    expectError("application.kind = \"console\"\napplication.console = \"attach\"", 2,
                "application.console = \"attach\" is for a GUI launcher, and application.kind makes a console one");
}

TEST(Configuration, ModuleFlagsAreModuleSlashPackageItems) {
    EXPECT_EQ(valueOf("java.add_opens = [\"java.base/java.lang\", \"java.desktop/sun.awt\"]", 132),
              "java.base/java.lang java.desktop/sun.awt");
    EXPECT_EQ(valueOf("java.add_exports = \"java.base/jdk.internal.misc  java.base/sun.nio.ch\"", 133),
              "java.base/jdk.internal.misc  java.base/sun.nio.ch");
    EXPECT_EQ(valueOf("java.enable_native_access = true", 134), "1");
    expectError("[java]\nadd_opens = [\"java.base/java.lang\",\n \"java.base\"]", 2,
                "java.add_opens: \"java.base\" is not module/package");
    expectError("java.add_exports = \"java.base/java.lang=ALL-UNNAMED\"", 1, "is not module/package");
    expectError("java.add_opens = [\"java.base/java.lang java.base/java.io\"]", 1, "single module/package names");
    expectError("java.add_opens = [3]", 1, "single module/package names");
    expectError("java.add_opens = 3", 1, "java.add_opens must be a string or an array of strings");
}

TEST(Configuration, RefusesAKeySetTwiceAndReportsTheFirstMistakeInTheFile) {
    expectError("[application]\nname = \"A\"\n[keys]\n101 = \"B\"", 4,
                "set twice: as application.name on line 2");
    expectError("[keys]\n101 = \"B\"\n[application]\nname = \"A\"", 4, "set twice: as [keys] 101 on line 2");
    expectError("[keys]\n0128 = \"a\"\n128 = \"b\"", 3, "key 128 is set twice");
    // Sections are stored alphabetically; the error on the earlier line still wins.
    expectError("[redirect]\nbogus = 1\n[application]\nname = 5", 2, "unknown key redirect.bogus");
}

TEST(Configuration, ResolvesBuildPathsAgainstTheConfigurationDirectory) {
    jaunt::BuildConfiguration c = jaunt::parseConfiguration(
        "[build]\nstub = \"stubs/l.exe\"\noutput = \"/abs/app.exe\"\narch = \"x64\"", kFile);
    EXPECT_EQ(std::filesystem::path(c.stub), std::filesystem::path("conf/stubs/l.exe"));
    EXPECT_EQ(c.output, "/abs/app.exe");
    EXPECT_EQ(c.arch, "x64");
    c = jaunt::parseConfiguration("", kFile);
    EXPECT_EQ(c.stub, "");
    EXPECT_EQ(c.output, "");
    EXPECT_EQ(c.arch, "");
}

TEST(Configuration, LoadsFilesAndNamesTheMissingOnes) {
    jaunt::BuildConfiguration c = jaunt::loadConfiguration(JAUNT_TEST_DATA "/hello.toml");
    EXPECT_EQ(c.records.front().key, 101);
    EXPECT_EQ(c.records.front().value, "Hello");
    EXPECT_EQ(c.output, JAUNT_TEST_DATA "/out/hello.exe");

    std::string missing = (testsupport::scratchDirectory() / "none.toml").string();
    try {
        jaunt::loadConfiguration(missing);
        ADD_FAILURE() << "loaded a missing file";
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_EQ(std::string(e.what()), missing + ": no such configuration file");
    }
}

}  // namespace

namespace {

TEST(IncludedFiles, TheRuntimeLibraryComesFirstThenTheIncludesInOrder) {
    jaunt::BuildConfiguration c =
        jaunt::parseConfiguration("[files]\ninclude = [\n  \"lib/a.jar\",\n  \"/abs/B.zip\"]\n", kFile);
    ASSERT_EQ(c.files.size(), 3u);
    EXPECT_EQ(c.files[0].name, "jauntlib.jar");
    EXPECT_EQ(c.files[0].path, "");
    EXPECT_EQ(c.files[1].name, "a.jar");
    EXPECT_EQ(std::filesystem::path(c.files[1].path), std::filesystem::path("conf/lib/a.jar"));
    EXPECT_EQ(c.files[1].line, 3);
    EXPECT_EQ(c.files[2].name, "B.zip");
    EXPECT_EQ(c.files[2].path, "/abs/B.zip");
    std::map<int32_t, std::string> r;
    for (const jaunt::NarrowRecord& record : c.records) r[record.key] = record.value;
    EXPECT_EQ(r[2002], "3");
    EXPECT_EQ(r[2003], "jauntlib.jar;a.jar;B.zip;");

    // Without the runtime library and without includes, the launcher carries nothing: no keys.
    auto none = recordsOf("files.runtime = false");
    EXPECT_EQ(none.count(2002), 0u);
    EXPECT_EQ(none.count(2003), 0u);
    auto own = recordsOf("[files]\nruntime = false\ninclude = [\"x/jauntlib.jar\"]");
    EXPECT_EQ(own[2002], "1");
    EXPECT_EQ(own[2003], "jauntlib.jar;");
    // [keys] can still replace the managed values, for testing launchers.
    auto raw = recordsOf("files.include = [\"a.jar\"]\n[keys]\n2002 = 5\n");
    EXPECT_EQ(raw[2002], "5");
    EXPECT_EQ(raw[2003], "jauntlib.jar;a.jar;");
}

TEST(IncludedFiles, NamesThatCannotBeExtractedAreRefused) {
    expectError("[files]\ninclude = [\"a.jar\", \"other/A.JAR\"]", 2,
                "two included files would be named A.JAR: the file on line 2 has that name too");
    expectError("[files]\ninclude = [\n\"lib/jauntlib.jar\"]", 3,
                "two included files would be named jauntlib.jar: the runtime library");
    expectError("[files]\ninclude = [\"lib/\"]", 2, "needs a file name");
    expectError("[files]\ninclude = [\"lib/..\"]", 2, "not a plain Windows file name");
    expectError("[files]\ninclude = [\"a\\\\b.jar\"]", 2, "not a plain Windows file name");
    expectError("[files]\ninclude = [\"nul.jar\"]", 2, "not a plain Windows file name");
    expectError("[files]\ninclude = [\"x;y.jar\"]", 2, "contains \";\"");
    expectError("[files]\ninclude = [\"\\u00e9.jar\"]", 2, "outside printable ASCII");
    expectError("[files]\ninclude = [\"\"]", 2, "non-empty strings");
    expectError("[files]\ninclude = [3]", 2, "non-empty strings");
    expectError("[files]\ninclude = \"a.jar\"", 2, "must be an array");
    expectError("[files]\nruntime = \"yes\"", 2, "files.runtime must be true or false");
    expectError("[files]\ncount = 3", 2, "files.count is managed by the build tool");
    expectError("[files]\nnames = \"a\"", 2, "files.names is managed by the build tool");
    expectError("[files]\nbogus = 1", 2, "unknown key files.bogus");
    expectError("files = 1", 1, "files must be a table");
}

TEST(IncludedFiles, TheNameListMustFitTheLaunchersBuffer) {
    // 8191 bytes of names with their separators fit; one more does not.
    std::string config = "files.runtime = false\nfiles.include = [";
    std::string names;
    for (int i = 0; names.size() + 100 <= 8191 - 100; ++i) {
        std::string name = std::to_string(1000 + i) + std::string(95, 'n');  // 99 characters
        config += "\"" + name + "\",";
        names += name + ";";
    }
    size_t room = 8191 - names.size();
    std::string fits = config + "\"" + std::string(room - 1, 'f') + "\"]";
    EXPECT_EQ(valueOf(fits, 2003).size(), 8191u);
    std::string over = config + "\"" + std::string(room, 'f') + "\"]";
    expectError(over, 2, "more than the 8191 the launcher reads");
}

}  // namespace
