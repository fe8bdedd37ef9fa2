// Runs the jaunt program itself on synthetic stubs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "launcherimage.h"
#include "tablewriter.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

Outcome runJaunt(const fs::path& dir, const std::string& arguments,
                 const std::string& program = JAUNT_PROGRAM) {
    std::string command =
        "cd '" + dir.string() + "' && '" + program + "' " + arguments + " > stdout.txt 2> stderr.txt";
    int status = std::system(command.c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(dir / "stdout.txt"),
                   readText(dir / "stderr.txt")};
}

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
        writeText(dir / "app.toml", "application.name = \"Hello\"\n");
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
    EXPECT_TRUE(std::equal(stub.begin(), stub.end(), exe.begin()));
    auto records = narrowRecordsOf(dir / "made.exe");
    EXPECT_EQ(records[101], "Hello");
    EXPECT_EQ(records[1014], "Hello reported an error:");
    EXPECT_EQ(jaunt::readLauncherTable(exe).payloadSize, 0u);
}

TEST_F(JauntCli, TakesStubAndOutputFromTheConfigurationThenFromDefaults) {
    fs::create_directories(dir / "conf");
    writeText(dir / "conf/app.toml", "[build]\nstub = \"../stub.exe\"\noutput = \"out.exe\"\n");
    ASSERT_EQ(runJaunt(dir, "build conf/app.toml").exitCode, 0);
    EXPECT_TRUE(fs::exists(dir / "conf/out.exe"));
    EXPECT_EQ(jaunt::readLauncherTable(jaunt::readFileBytes((dir / "conf/out.exe").string())).tableOffset,
              0x600u);
    // Options win over [build].
    jaunt::writeFileBytes((dir / "big.exe").string(), testsupport::makeStub(0x700));
    ASSERT_EQ(runJaunt(dir, "build conf/app.toml -o cli.exe --stub big.exe").exitCode, 0);
    EXPECT_EQ(jaunt::readLauncherTable(jaunt::readFileBytes((dir / "cli.exe").string())).tableOffset, 0x700u);

    // Without options or [build]: the stub of the dist layout next to the program, and CONFIG.exe.
    fs::create_directories(dir / "dist/bin");
    fs::copy_file(JAUNT_PROGRAM, dir / "dist/bin/jaunt");
    fs::create_directories(dir / "dist/stubs");
    fs::copy_file(dir / "stub.exe", dir / "dist/stubs/launcher-x86.exe");
    Outcome run = runJaunt(dir, "build app.toml", (dir / "dist/bin/jaunt").string());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(narrowRecordsOf(dir / "app.exe")[101], "Hello");
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

TEST_F(JauntCli, InspectShowsEveryRecordEscaped) {
    std::vector<uint8_t> table = jaunt::encodeTable(
        {{101, "Hello"}, {99999, "a\"b\\c\r\n\t\xE9"}, {1000, "Error"}}, {{1001, u"\u00E9t\u00E9\n"}});
    jaunt::writeFileBytes((dir / "app.exe").string(),
                          jaunt::makeLauncher(testsupport::makeStub(), table, {9, 9, 9}));
    Outcome run = runJaunt(dir, "inspect app.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "table offset: 1536 (0x00000600)\n"
              "narrow records: 3\n"
              "101  application.name  = \"Hello\"\n"
              "1000  messages.error_caption  = \"Error\"\n"
              "99999  -  = \"a\\\"b\\\\c\\r\\n\\t\\xE9\"\n"
              "wide records: 1\n"
              "1001  messages.no_jvm  = \"\\u00E9t\\u00E9\\n\"\n"
              "payload position: 1607 (0x00000647)\n"  // 1536 + a 71-byte table
              "payload bytes: 3\n");
}

}  // namespace
