// Runs the jaunt program itself on synthetic stubs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "launcherimage.h"
#include "payloadwriter.h"
#include "tablewriter.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Outcome;
using testsupport::readText;
using testsupport::runJaunt;
using testsupport::writeText;

std::map<int32_t, std::string> narrowRecordsOf(const fs::path& exe) {
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(jaunt::readFileBytes(exe.string()));
    EXPECT_EQ(launcher.error, jaunt::TableError::None);
    return launcher.table.narrow;
}

class JauntCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::scratchDirectory();
        jaunt::writeFileBytes((dir / "stub.exe").string(), testsupport::makeStub());
        // Without the runtime library, which these tests do not have next to the program.
        writeText(dir / "app.toml",
                  "application.name = \"Hello\"\njava.main_class = \"Hello\"\nfiles.runtime = false\n");
    }
    fs::path dir;
};

TEST_F(JauntCli, BuildsWithExplicitStubAndOutput) {
    Outcome run = runJaunt(dir, "build app.toml --stub stub.exe -o made.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("wrote made.exe"), std::string::npos) << run.out;
    std::vector<uint8_t> exe = jaunt::readFileBytes((dir / "made.exe").string());
    std::vector<uint8_t> stub = testsupport::makeStub();
    ASSERT_GT(exe.size(), stub.size());
    // The sections before the resource section are the stub's; the resources are rewritten.
    EXPECT_TRUE(std::equal(stub.begin() + 0x240, stub.begin() + 0x400, exe.begin() + 0x240));
    auto records = narrowRecordsOf(dir / "made.exe");
    EXPECT_EQ(records[101], "Hello");
    EXPECT_EQ(records[1014], "Hello reported an error:");
    EXPECT_EQ(jaunt::readLauncherTable(exe).payloadSize, 0u);
}

TEST_F(JauntCli, TakesStubAndOutputFromTheConfigurationThenFromDefaults) {
    fs::create_directories(dir / "conf");
    writeText(dir / "conf/app.toml",
              "java.main_class = \"Hello\"\n[build]\nstub = \"../stub.exe\"\noutput = \"out.exe\"\n[files]\nruntime = false\n");
    ASSERT_EQ(runJaunt(dir, "build conf/app.toml").exitCode, 0);
    EXPECT_TRUE(fs::exists(dir / "conf/out.exe"));
    EXPECT_EQ(jaunt::readFileBytes((dir / "conf/out.exe").string()).at(0x300), 0);
    // Options win over [build]: the other stub is marked in its first section.
    std::vector<uint8_t> marked = testsupport::makeStub(0x700);
    marked[0x300] = 0xAB;
    jaunt::writeFileBytes((dir / "big.exe").string(), marked);
    ASSERT_EQ(runJaunt(dir, "build conf/app.toml -o cli.exe --stub big.exe").exitCode, 0);
    EXPECT_EQ(jaunt::readFileBytes((dir / "cli.exe").string()).at(0x300), 0xAB);

    // Without options or [build]: the stub of the dist layout next to the program, and CONFIG.exe.
    fs::create_directories(dir / "dist/bin");
    fs::copy_file(JAUNT_PROGRAM, dir / "dist/bin/jaunt");
    fs::create_directories(dir / "dist/stubs");
    fs::copy_file(dir / "stub.exe", dir / "dist/stubs/launcher-x86.exe");
    Outcome run = runJaunt(dir, "build app.toml", (dir / "dist/bin/jaunt").string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(narrowRecordsOf(dir / "app.exe")[101], "Hello");
}

TEST_F(JauntCli, ArchitecturePicksTheStubAndAGivenStubMustMatchIt) {
    fs::create_directories(dir / "dist/bin");
    fs::copy_file(JAUNT_PROGRAM, dir / "dist/bin/jaunt");
    fs::create_directories(dir / "dist/stubs");
    jaunt::writeFileBytes((dir / "dist/stubs/launcher-x86.exe").string(), testsupport::makeStub(0x600));
    jaunt::writeFileBytes((dir / "dist/stubs/launcher-x64.exe").string(), testsupport::makeStub(0x800, true));
    writeText(dir / "app64.toml", "application.name = \"Hello\"\njava.main_class = \"Hello\"\n[build]\narch = \"x64\"\n[files]\nruntime = false\n");
    const std::string jaunt = (dir / "dist/bin/jaunt").string();
    struct Case {
        const char* arguments;
        jaunt::LauncherArch arch;
    };
    const Case cases[] = {
        {"build app.toml -o a.exe", jaunt::LauncherArch::X86},
        {"build app.toml -o a.exe --arch x64", jaunt::LauncherArch::X64},
        {"build app64.toml -o a.exe", jaunt::LauncherArch::X64},
        {"build app64.toml -o a.exe --arch x86", jaunt::LauncherArch::X86},  // the option wins
    };
    for (const Case& c : cases) {
        Outcome run = runJaunt(dir, c.arguments, jaunt);
        ASSERT_EQ(run.exitCode, 0) << c.arguments << ": " << run.err;
        jaunt::LauncherTable launcher = jaunt::readLauncherTable(jaunt::readFileBytes((dir / "a.exe").string()));
        EXPECT_EQ(launcher.arch, c.arch) << c.arguments;
        EXPECT_EQ(launcher.table.narrow[101], "Hello") << c.arguments;
    }
    ASSERT_EQ(runJaunt(dir, "build app.toml -o b.exe --arch x64", jaunt).exitCode, 0);
    Outcome run = runJaunt(dir, "inspect b.exe");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.rfind("launcher: x64 (64-bit, PE32+)\ntable offset: ", 0), 0u) << run.out;

    // A stub named by path must be of the architecture asked for.
    run = runJaunt(dir, "build app.toml -o c.exe --arch x86 --stub dist/stubs/launcher-x64.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("an x64 launcher, but the architecture asked for is x86"), std::string::npos) << run.err;
    run = runJaunt(dir, "build app.toml -o c.exe --arch arm");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("--arch"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "c.exe"));
}

TEST_F(JauntCli, FailsWithOneMessageAndExitCodeOne) {
    writeText(dir / "bad.toml", "[application]\nname = 3\n");
    writeText(dir / "configured.exe", readText(dir / "stub.exe") + "x");
    const std::pair<std::string, std::string> cases[] = {
        {"build bad.toml --stub stub.exe", "jaunt: bad.toml:2: application.name must be a string\n"},
        {"build none.toml --stub stub.exe", "jaunt: none.toml: no such configuration file\n"},
        {"build app.toml --stub configured.exe",
         "jaunt: configured.exe: not an unconfigured launcher program: it has 1 bytes after its last section "
         "(already configured?)\n"},
        {"build app.toml --stub stub.exe -o stub.exe", "refusing to overwrite"},
        {"", "jaunt: A subcommand is required\n"},
        {"inspect", "jaunt: file is required"},
        {"inspect stub.exe", "jaunt: stub.exe: Internal Error: readInt"},
    };
    for (const auto& [arguments, message] : cases) {
        Outcome run = runJaunt(dir, arguments);
        EXPECT_EQ(run.exitCode, 1) << arguments;
        EXPECT_NE(run.err.find(message), std::string::npos) << arguments << " said: " << run.err;
        EXPECT_EQ(run.err.rfind("jaunt: ", 0), 0u) << run.err;
    }
    EXPECT_EQ(jaunt::readFileBytes((dir / "stub.exe").string()), testsupport::makeStub());
}

// Bad pictures, icons, version texts and stubs: one line naming the file and the problem, and no
// launcher (nor a partial one) left where the output would have gone.
TEST_F(JauntCli, BadResourcesAndStubsLeaveOneLineAndNoOutput) {
    std::vector<uint8_t> png = testsupport::makePng(6, 5);
    jaunt::writeFileBytes((dir / "cut.png").string(), std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
    // PNG headers (signature and IHDR; stb checks no CRC) of a huge and of an empty picture.
    auto pngHeader = [](uint32_t width, uint32_t height) {
        std::vector<uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
        for (uint32_t v : {width, height})
            for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
        b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
        return b;
    };
    jaunt::writeFileBytes((dir / "huge.png").string(), pngHeader(8193, 2));
    jaunt::writeFileBytes((dir / "empty.png").string(), pngHeader(0, 4));
    writeText(dir / "text.png", "not a picture at all");
    std::vector<uint8_t> notLast = testsupport::makeStub();
    testsupport::put32(notLast, 0x98 + 112, 0x4000);  // resource directory in another section
    jaunt::writeFileBytes((dir / "notlast.exe").string(), notLast);
    std::vector<uint8_t> damaged = testsupport::makeStub();
    testsupport::put16(damaged, 0x400 + 12, 0xFFFF);  // the root directory lists 65535 entries
    jaunt::writeFileBytes((dir / "damaged.exe").string(), damaged);
    const std::pair<std::string, std::string> cases[] = {
        {"splash.image = \"missing.png\"", "app.toml:1: splash.image: missing.png: cannot open"},
        {"splash.image = \"cut.png\"", "app.toml:1: splash.image: cut.png: cannot decode the picture"},
        {"splash.image = \"text.png\"", "app.toml:1: splash.image: text.png: not a BMP, PNG, JPEG or GIF picture"},
        {"splash.image = \"huge.png\"", "app.toml:1: splash.image: huge.png: the picture is 8193 x 2 pixels, more than 8192"},
        {"splash.image = \"empty.png\"", "app.toml:1: splash.image: empty.png: the picture has a width or height of 0"},
        {"application.icon = \"text.png\"", "app.toml:1: application.icon: text.png: not a BMP, PNG, JPEG or GIF"},
        {"application.icon = \"cut.png\"", "app.toml:1: application.icon: cut.png: cannot decode the picture"},
        {"application.version = \"one.two\"", "app.toml:1: application.version = \"one.two\" must be up to four numbers"},
        {"build.stub = \"notlast.exe\"", "notlast.exe: cannot find the resource section: the resources are not in the last section"},
        {"build.stub = \"damaged.exe\"", "damaged.exe: malformed resource section: a directory's entries"},
        {"application.vendor = \"" + std::string(8191, 'v') + "\"\napplication.description = \"" +
             std::string(8191, 'd') + "\"\napplication.copyright = \"" + std::string(8191, 'c') +
             "\"\napplication.name = \"" + std::string(8191, 'n') + "\"",
         "application.vendor, application.description, application.copyright and application.name make"},
    };
    // Files in out/ other than the launcher: temporary files left behind.
    auto leftovers = [&] {
        size_t count = 0;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(dir / "out", ec)) count += entry.path().filename() != "app.exe";
        return count;
    };
    for (const auto& [setting, message] : cases) {
        writeText(dir / "app.toml", setting + "\njava.main_class = \"Hello\"\nfiles.runtime = false\n");
        std::string arguments = "build app.toml -o out/app.exe";
        if (setting.rfind("build.stub", 0) != 0) arguments += " --stub stub.exe";
        Outcome run = runJaunt(dir, arguments);
        const std::string shown = setting.substr(0, 60);
        EXPECT_EQ(run.exitCode, 1) << shown;
        EXPECT_EQ(run.err.rfind("jaunt: ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << shown << " said: " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(dir / "out/app.exe")) << shown;
        EXPECT_EQ(leftovers(), 0u) << shown;
    }
    // A launcher that is written replaces an older one whole and leaves no partial file.
    writeText(dir / "out/app.exe", "old");
    writeText(dir / "app.toml", "splash.image = \"ok.png\"\njava.main_class = \"Hello\"\nfiles.runtime = false\n");
    jaunt::writeFileBytes((dir / "ok.png").string(), png);
    EXPECT_EQ(runJaunt(dir, "build app.toml -o out/app.exe --stub stub.exe").exitCode, 0);
    EXPECT_EQ(narrowRecordsOf(dir / "out/app.exe").at(141), "6");
    EXPECT_EQ(leftovers(), 0u);
}

TEST_F(JauntCli, InspectShowsEveryRecordEscaped) {
    std::vector<uint8_t> table = jaunt::encodeTable(
        {{101, "Hello"}, {99999, "a\"b\\c\r\n\t\xE9"}, {1000, "Error"}}, {{1001, u"\u00E9t\u00E9\n"}});
    jaunt::writeFileBytes((dir / "app.exe").string(),
                          jaunt::makeLauncher(testsupport::makeStub(), table, {9, 9, 9}));
    Outcome run = runJaunt(dir, "inspect app.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "launcher: x86 (32-bit, PE32)\n"
              "table offset: 1536 (0x00000600)\n"
              "narrow records: 3\n"
              "101  application.name  = \"Hello\"\n"
              "1000  messages.error_caption  = \"Error\"\n"
              "99999  -  = \"a\\\"b\\\\c\\r\\n\\t\\xE9\"\n"
              "wide records: 1\n"
              "1001  messages.no_jvm  = \"\\u00E9t\\u00E9\\n\"\n"
              "payload position: 1607 (0x00000647)\n"  // 1536 + a 71-byte table
              "payload bytes: 3\n"
              "signature: none\n"
              "resources: 1\n"
              "  manifest 1  language 1033  4 bytes\n");
}

TEST_F(JauntCli, IncludedFilesAreCarriedListedAndExtracted) {
    std::string big(20000, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13);
    writeText(dir / "lib/app.jar", big);
    writeText(dir / "empty.txt", "");
    writeText(dir / "inc.toml", "java.main_class = \"Hello\"\n[files]\nruntime = false\ninclude = [\"lib/app.jar\", \"empty.txt\"]\n");
    Outcome run = runJaunt(dir, "build inc.toml --stub stub.exe -o inc.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(", 2 included files)"), std::string::npos) << run.out;
    std::vector<uint8_t> exe = jaunt::readFileBytes((dir / "inc.exe").string());
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
    EXPECT_EQ(launcher.table.narrow[2002], "2");
    EXPECT_EQ(launcher.table.narrow[2003], "app.jar;empty.txt;");
    EXPECT_EQ(launcher.payloadSize, 4u + 20000u + 4u);
    // Stored scrambled: the content does not appear as it is.
    EXPECT_EQ(std::search(exe.begin(), exe.end(), big.begin() + 100, big.begin() + 200), exe.end());

    run = runJaunt(dir, "inspect inc.exe --extract out");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("payload bytes: 20008\n"
                           "signature: none\n"
                           "included files: 2\n"
                           "  app.jar  20000 bytes\n"
                           "  empty.txt  0 bytes\n"
                           "extracted out/app.jar\n"
                           "extracted out/empty.txt\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(readText(dir / "out/app.jar"), big);
    EXPECT_TRUE(fs::exists(dir / "out/empty.txt"));
    EXPECT_EQ(fs::file_size(dir / "out/empty.txt"), 0u);

    // A missing included file is named with its line; nothing is written.
    writeText(dir / "missing.toml", "files.runtime = false\nfiles.include = [\"nothere.jar\"]\n");
    run = runJaunt(dir, "build missing.toml --stub stub.exe -o missing.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: missing.toml:2: files.include: nothere.jar: no such file\n");
    EXPECT_FALSE(fs::exists(dir / "missing.exe"));
}

TEST_F(JauntCli, TheRuntimeLibraryComesFromTheDistributionLayout) {
    fs::create_directories(dir / "dist/bin");
    fs::copy_file(JAUNT_PROGRAM, dir / "dist/bin/jaunt");
    writeText(dir / "plain.toml", "application.name = \"Hello\"\njava.main_class = \"Hello\"\n");
    std::string program = (dir / "dist/bin/jaunt").string();
    Outcome run = runJaunt(dir, "build plain.toml --stub stub.exe -o plain.exe", program);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("plain.toml: the runtime library " + (dir / "dist/lib/jauntlib.jar").string() +
                           " does not exist; build it, or set files.runtime = false"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "plain.exe"));

    writeText(dir / "dist/lib/jauntlib.jar", "PK runtime");
    run = runJaunt(dir, "build plain.toml --stub stub.exe -o plain.exe", program);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = runJaunt(dir, "inspect plain.exe --extract x");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("included files: 1\n  jauntlib.jar  10 bytes\n"), std::string::npos) << run.out;
    EXPECT_EQ(readText(dir / "x/jauntlib.jar"), "PK runtime");
}

TEST_F(JauntCli, InspectExplainsPayloadsThatDoNotMatchTheirKeys) {
    std::vector<uint8_t> payload = jaunt::encodePayload({{"a", {1, 2}}, {"b", {3, 4, 5}}});
    auto write = [&](const char* name, const std::string& count, const std::string& names, size_t cut) {
        std::vector<uint8_t> tail(payload.begin(), payload.end() - static_cast<long>(cut));
        jaunt::writeFileBytes((dir / name).string(),
                              jaunt::makeLauncher(testsupport::makeStub(),
                                                  jaunt::encodeTable({{2002, count}, {2003, names}}, {}), tail));
    };
    write("cut.exe", "2", "a;b;", 1);
    Outcome run = runJaunt(dir, "inspect cut.exe --extract cutout");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.out.find("included files: 1\n  a  2 bytes\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.err, "jaunt: cut.exe: included file 2 (b): the content is cut short\n");
    EXPECT_FALSE(fs::exists(dir / "cutout/a")) << "nothing is extracted from a broken payload";

    write("bad.exe", "1", "..\\up", 0);
    run = runJaunt(dir, "inspect bad.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: bad.exe: included file 1 (..\\up): the name is not a plain file name\n");

    write("more.exe", "3", "a;b;", 0);
    run = runJaunt(dir, "inspect more.exe");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("note: key 2002 counts 3 files but key 2003 names 2; the launcher extracts 2\n"),
              std::string::npos)
        << run.out;

    write("fewer.exe", "1", "a;b;", 0);
    run = runJaunt(dir, "inspect fewer.exe");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("included files: 1\n  a  2 bytes\n"
                           "note: key 2003 names 2 files but key 2002 counts 1; the launcher extracts 1\n"
                           "unused payload bytes: 7\n"),
              std::string::npos)
        << run.out;
}

}  // namespace

namespace {

// jaunt init and the main class read at build time, on jars made by the JDK's jar tool.
TEST_F(JauntCli, InitWritesAConfigurationThatBuildsAtOnce) {
    testsupport::makeJar(dir, "hello.jar", "com.example.Hello");
    Outcome run = runJaunt(dir, "init hello.jar");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("wrote hello.toml; make the launcher with: jaunt build hello.toml"), std::string::npos) << run.out;
    std::string text = readText(dir / "hello.toml");
    EXPECT_NE(text.find("main_class = \"com.example.Hello\""), std::string::npos) << text;
    writeText(dir / "hello.toml", text + "[files]\nruntime = false\n");  // no runtime library beside the test program
    run = runJaunt(dir, "build hello.toml --stub stub.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    auto records = narrowRecordsOf(dir / "hello.exe");
    EXPECT_EQ(records[107], "1");
    EXPECT_EQ(records[121], "A1hello.jar;");
    EXPECT_EQ(records[122], "com.example.Hello");
    EXPECT_EQ(records[128], "Rjre;EJAVA_HOME;Y;");

    // An existing configuration is never replaced; a jar without Main-Class still gets one to edit.
    EXPECT_EQ(runJaunt(dir, "init hello.jar").exitCode, 1);
    EXPECT_EQ(readText(dir / "hello.toml"), text + "[files]\nruntime = false\n");
    testsupport::makeJar(dir, "lib.jar", "");
    run = runJaunt(dir, "init lib.jar");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("lib.jar has no Main-Class in its manifest: set java.main_class in lib.toml"),
              std::string::npos) << run.err;
    EXPECT_NE(readText(dir / "lib.toml").find("# main_class = "), std::string::npos);
    writeText(dir / "broken.jar", "PK\x03\x04 not really");
    run = runJaunt(dir, "init broken.jar");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("jaunt: broken.jar: a damaged archive"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "broken.toml"));
}

TEST_F(JauntCli, WithoutAMainClassTheBuildSaysWhereItLooked) {
    testsupport::makeJar(dir, "first.jar", "");
    testsupport::makeJar(dir, "lib/inc.jar", "com.example.Included");
    writeText(dir / "m.toml", "[java]\nclasspath = [\"first.jar\", \"other.jar\"]\n[files]\nruntime = false\n");
    Outcome run = runJaunt(dir, "build m.toml --stub stub.exe");
    EXPECT_EQ(run.exitCode, 1);
    // Only the first archive of the class path counts.
    EXPECT_NE(run.err.find("jaunt: m.toml: java.main_class is not set, and no Main-Class was found in the manifests "
                           "looked at: first.jar (java.classpath, line 2): no Main-Class in its manifest; set "
                           "java.main_class\n"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(dir / "m.exe"));

    // An included jar is looked at after the class path; a missing archive warns and is passed over.
    writeText(dir / "m.toml", "[java]\nclasspath = [\"gone.jar\"]\n[files]\nruntime = false\ninclude = [\"lib/inc.jar\"]\n");
    run = runJaunt(dir, "build m.toml --stub stub.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("jaunt: m.toml:2: warning: java.classpath: gone.jar does not exist"), std::string::npos)
        << run.err;
    EXPECT_NE(run.out.find("main class com.example.Included from the manifest of inc.jar (files.include, line 5)"),
              std::string::npos) << run.out;
    EXPECT_EQ(narrowRecordsOf(dir / "m.exe")[122], "com.example.Included");

    writeText(dir / "n.toml", "files.runtime = false\n");
    run = runJaunt(dir, "build n.toml --stub stub.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("java.main_class is not set, and there is no archive to read a Main-Class from"),
              std::string::npos) << run.err;
}

TEST_F(JauntCli, TheMainJarsModuleFlagsJoinTheConfiguredOnes) {
    writeText(dir / "flags.mf",
              "Add-Opens: java.base/java.lang java.desktop/sun.awt\n  bad\nAdd-Exports: java.base/jdk.internal.misc\n"
              "Enable-Native-Access: ALL-UNNAMED\n");
    testsupport::makeJar(dir, "app.jar", "com.example.App", true, "--manifest '" + (dir / "flags.mf").string() + "'");
    writeText(dir / "f.toml", "[java]\nclasspath = [\"app.jar\"]\nadd_opens = [\"java.base/java.lang\", \"java.base/java.io\"]\n"
                              "[files]\nruntime = false\n");
    Outcome run = runJaunt(dir, "build f.toml --stub stub.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    auto records = narrowRecordsOf(dir / "f.exe");
    EXPECT_EQ(records[132], "java.base/java.lang java.base/java.io java.desktop/sun.awt");
    EXPECT_EQ(records[133], "java.base/jdk.internal.misc");
    EXPECT_EQ(records[134], "1");
    EXPECT_NE(run.out.find("jaunt: Add-Opens java.desktop/sun.awt from the manifest of app.jar (java.classpath, line 2)"),
              std::string::npos)
        << run.out;
    // The continuation line adds "bad": not module/package, left out as java -jar does.
    EXPECT_NE(run.err.find("jaunt: warning: app.jar (java.classpath, line 2): Add-Opens item \"bad\" is not"),
              std::string::npos)
        << run.err;

    // A configured main class: the included jar that holds its class file gives the flags (the
    // class path's first archive names another main class); native access stays as configured.
    writeText(dir / "inc.jar.content/com/example/Inc.class", "class");
    writeText(dir / "inc.mf", "Add-Exports: java.base/sun.nio.ch\nEnable-Native-Access: ALL-UNNAMED\n");
    testsupport::makeJar(dir, "inc.jar", "", true, "--manifest '" + (dir / "inc.mf").string() + "'");
    writeText(dir / "g.toml", "[java]\nmain_class = \"com.example.Inc\"\nclasspath = [\"app.jar\"]\n"
                              "enable_native_access = false\n[files]\nruntime = false\ninclude = [\"inc.jar\"]\n");
    run = runJaunt(dir, "build g.toml --stub stub.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    records = narrowRecordsOf(dir / "g.exe");
    EXPECT_EQ(records.count(132), 0u);
    EXPECT_EQ(records[133], "java.base/sun.nio.ch");
    EXPECT_EQ(records[134], "0");

    // java -jar refuses to start with another Enable-Native-Access; so does the build.
    writeText(dir / "bad.mf", "Enable-Native-Access: com.example\n");
    testsupport::makeJar(dir, "bad.jar", "com.example.App", true, "--manifest '" + (dir / "bad.mf").string() + "'");
    writeText(dir / "h.toml", "java.classpath = [\"bad.jar\"]\nfiles.runtime = false\n");
    run = runJaunt(dir, "build h.toml --stub stub.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: h.toml: bad.jar (java.classpath, line 1): the manifest's Enable-Native-Access is "
                       "\"com.example\"; java -jar takes only ALL-UNNAMED and refuses to start\n");
    EXPECT_FALSE(fs::exists(dir / "h.exe"));
}

TEST_F(JauntCli, SettingsOfTheWindowsCitizenAreCheckedAndSaidInOneLine) {
    writeText(dir / "i.toml", "application.id = \"Example App\"\njava.main_class = \"A\"\nfiles.runtime = false\n");
    Outcome run = runJaunt(dir, "build i.toml --stub stub.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: i.toml:1: application.id: \"Example App\" contains a space; an AppUserModelID is "
                       "Company.Product[.SubProduct[.Version]] without spaces\n");
    // Class-data sharing with an included archive: built, with a warning that sharing stays off.
    testsupport::makeJar(dir, "lib.jar", "");
    writeText(dir / "j.toml", "jvm.cds = true\njava.main_class = \"A\"\n[files]\nruntime = false\ninclude = [\"lib.jar\"]\n");
    run = runJaunt(dir, "build j.toml --stub stub.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("jaunt: warning: jvm.cds: the launcher's class path holds included archives (lib.jar)"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(narrowRecordsOf(dir / "j.exe")[135], "1");
}

// Every TOML example of CONFIG.md builds a launcher, with the files the examples name in place.
TEST_F(JauntCli, EveryExampleOfTheConfigurationGuideBuilds) {
    std::string guide = readText(JAUNT_CONFIG_DOC);
    fs::create_directories(dir / "dist/bin");
    fs::copy_file(JAUNT_PROGRAM, dir / "dist/bin/jaunt");
    writeText(dir / "dist/lib/jauntlib.jar", "PK runtime");
    testsupport::makeJar(dir, "hello.jar", "com.example.Hello");
    testsupport::makeJar(dir, "lib/app.jar", "com.example.App");
    writeText(dir / "lib/util.zip", "PK");
    jaunt::writeFileBytes((dir / "hello.png").string(), testsupport::makePng(32, 32));
    jaunt::writeFileBytes((dir / "splash.png").string(), testsupport::makePng(40, 20));
    // The runtime example's folder: a 32-bit jvm.dll, as the x86 stub needs, and its release file.
    fs::create_directories(dir / "runtime/bin/server");
    jaunt::writeFileBytes((dir / "runtime/bin/server/jvm.dll").string(), testsupport::makeStub());
    writeText(dir / "runtime/release", "JAVA_VERSION=\"17.0.2\"\n");
    // The signing example's certificate, made as the signing tests make theirs.
    fs::create_directories(dir / "signing");
    std::string openssl = "cd '" + (dir / "signing").string() +
                          "' && openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -subj "
                          "'/CN=Example' -passout pass:pw > openssl.txt 2>&1 && openssl pkcs12 -export -in cert.pem "
                          "-inkey key.pem -passin pass:pw -out company.p12 -passout pass:pw >> openssl.txt 2>&1";
    ASSERT_EQ(std::system(openssl.c_str()), 0) << readText(dir / "signing/openssl.txt");
    setenv("COMPANY_SIGN_PASSWORD", "pw", 1);
    int examples = 0;
    for (size_t at = guide.find("```toml\n"); at != std::string::npos; at = guide.find("```toml\n", at)) {
        at += 8;
        size_t end = guide.find("```\n", at);
        ASSERT_NE(end, std::string::npos);
        std::string name = "example" + std::to_string(++examples) + ".toml";
        writeText(dir / name, guide.substr(at, end - at));
        Outcome run = runJaunt(dir, "build " + name + " --stub stub.exe -o out.exe", (dir / "dist/bin/jaunt").string());
        EXPECT_EQ(run.exitCode, 0) << guide.substr(at, end - at) << run.err;
        if (run.exitCode == 0) EXPECT_EQ(narrowRecordsOf(dir / "out.exe")[122].empty(), false) << name;
    }
    EXPECT_GE(examples, 6);
}

}  // namespace
// pefile (Debian's python3-pefile), a reader of Windows images written independently of jaunt,
// reads what jaunt build wrote into the launcher's own resource section, without complaint about
// the resources (the synthetic stub's other sections draw warnings of their own).
TEST_F(JauntCli, WritesResourcesThatAnIndependentReaderFinds) {
    if (std::system("/usr/bin/python3 -c 'import pefile' 2> /dev/null") != 0) GTEST_SKIP() << "python3-pefile missing";
    jaunt::writeFileBytes((dir / "real.exe").string(),
                          testsupport::makeStub(0x400 + 0x800,
                                                jaunt::readFileBytes(JAUNT_TEST_DATA "/launcher-x86-rsrc-5f000.bin"),
                                                0x5f000));
    jaunt::writeFileBytes((dir / "splash.png").string(), testsupport::makePng(9, 6));
    writeText(dir / "res.toml",
              "java.main_class = \"Hello\"\n[application]\nname = \"Hello\"\nversion = \"2.5\"\nvendor = \"V\"\nicon = \"splash.png\"\n"
              "[splash]\nimage = \"splash.png\"\n[files]\nruntime = false\n");
    Outcome run = runJaunt(dir, "build res.toml --stub real.exe -o res.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    writeText(dir / "read.py", R"(import pefile, sys
from xml.etree import ElementTree
pe = pefile.PE(sys.argv[1])
last = pe.sections[-1]
print(len(pe.sections), last.Name[:2].decode(), last.PointerToRawData + last.SizeOfRawData)
for t in pe.DIRECTORY_ENTRY_RESOURCE.entries:
    for n in t.directory.entries:
        data = n.directory.entries[0].data.struct
        print(t.id if t.name is None else t.name, n.id if n.name is None else n.name,
              data.Size if t.id == 2 else '')
        if t.id == 24:
            manifest = ElementTree.fromstring(pe.get_data(data.OffsetToData, data.Size))
            print(*(e.text for e in manifest.iter() if e.tag.endswith(('}dpiAwareness', '}longPathAware'))))
strings = pe.FileInfo[0][0].StringTable[0].entries
print(*(strings[k].decode() for k in (b'ProductName', b'FileVersion', b'CompanyName', b'OriginalFilename')))
print(pe.VS_FIXEDFILEINFO[0].FileVersionMS, [w for w in pe.get_warnings() if 'esource' in w])
)");
    std::string command = "cd '" + dir.string() + "' && /usr/bin/python3 read.py res.exe > read.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << readText(dir / "read.txt");
    run = runJaunt(dir, "inspect res.exe");
    EXPECT_NE(run.out.find("resources: 11\n  bitmap 10000  language 1033  208 bytes\n  icon 1  language 1033"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("  icon group ID_SPLASH_ICON  language 1033  "), std::string::npos) << run.out;
    uint32_t tableOffset = jaunt::readLauncherTable(jaunt::readFileBytes((dir / "res.exe").string())).tableOffset;
    EXPECT_EQ(readText(dir / "read.txt"), "5 .e " + std::to_string(tableOffset) +
                                              "\n"
                                              "2 10000 " + std::to_string(40 + 28 * 6) + "\n"
                                              "3 1 \n3 2 \n3 3 \n3 4 \n3 5 \n"
                                              "5 101 \n"
                                              "14 ID_SPLASH_ICON \n14 1 \n"
                                              "16 1 \n24 1 \nPerMonitor true\n"
                                              "Hello 2.5 V res.exe\n" + std::to_string(0x00020005) + " []\n");
}
