// Configured launchers run as child processes: their table, error reports, log, PATH and working
// directory, and command line, as a user sees them.
#include <cctype>
#include <string>

#include "e2etools.h"
#include "boundedtext.h"
#include "launcherimage.h"

namespace {

using jaunt_test::LauncherTest;
using jaunt_test::RunOptions;

using jaunt_test::lower;

std::string shortLower(const std::string& path) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
    return lower(length ? shortPath : path);
}

RunOptions withLog(const char* variable = "JAUNT_LOG", const char* value = "yes") {
    RunOptions options;
    options.set[variable] = value;
    return options;
}

class Launcher : public LauncherTest {
protected:
    // Runs that get past the JVM search find a JRE of test doubles beside the launcher.
    void SetUp() override { addJre(); }

    // A launcher whose appended bytes are exactly tail, run quietly.
    jaunt_test::RunResult startRaw(const std::vector<uint8_t>& tail, const std::wstring& arguments = L"-q_bkt_internal") {
        std::vector<uint8_t> bytes = jaunt_test::readBytes(jaunt_test::stubPath());
        bytes.insert(bytes.end(), tail.begin(), tail.end());
        exe = dir.file("raw.exe");
        jaunt_test::writeBytes(exe, bytes);
        return start(arguments);
    }
};

TEST_F(Launcher, ANormalRunEndsWithZeroAndLeavesNothingBehind) {
    make(jaunt_test::consoleRecords());
    auto result = start(L"one \"two three\"");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(logFiles().empty());
    EXPECT_EQ(start(L"-q_bkt_internal x").exitCode, 0u);
}

TEST_F(Launcher, TableFailuresAreReportedWithTheLoadersTexts) {
    std::vector<uint8_t> table = jaunt::encodeTable({{1000, "Error"}, {107, "0"}}, {{5, u"ok"}});
    std::vector<uint8_t> wrongMagic = table;
    wrongMagic[0] ^= 0xFF;
    auto result = startRaw(wrongMagic);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Internal Error: magic\r\n");

    result = startRaw({});
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Internal Error: readInt\r\n");
    EXPECT_EQ(result.out.rfind("error ", 0), 0u) << "the last error goes to standard output first";

    std::vector<uint8_t> hugeLength = jaunt::encodeTable({{101, "abcd"}}, {});
    hugeLength[12] = hugeLength[13] = hugeLength[14] = hugeLength[15] = 0xFF;
    EXPECT_EQ(startRaw(hugeLength).err, "Internal Error: readString\r\n");

    std::vector<uint8_t> oddWide = jaunt::encodeTable({}, {{5, u"ab"}});
    oddWide[16] = 3;  // length 3 of a wide value
    EXPECT_EQ(startRaw(oddWide).err, "Internal Error: readWString\r\n");
}

TEST_F(Launcher, ATableCutAtAnyByteEndsWithTheCutReadersText) {
    std::vector<uint8_t> table = jaunt::encodeTable({{107, "0"}, {101, "Hi"}}, {{5, u"w"}});
    // magic 0-3, count 4-7, key 8-11, length 12-15, "0" 16, key 17-20, length 21-24, "Hi" 25-26,
    // wide count 27-30, key 31-34, length 35-38, "w" 39-40
    for (size_t cut = 0; cut < table.size(); ++cut) {
        std::string expected = "Internal Error: readInt\r\n";
        if (cut == 16 || (cut >= 25 && cut < 27)) expected = "Internal Error: readString\r\n";
        if (cut >= 39) expected = "Internal Error: readWString\r\n";
        auto result = startRaw(std::vector<uint8_t>(table.begin(), table.begin() + static_cast<long>(cut)));
        EXPECT_EQ(result.exitCode, 1u) << "cut at " << cut;
        EXPECT_EQ(result.err, expected) << "cut at " << cut;
    }
}

TEST_F(Launcher, ErrorDialogsStayOnOnlyForTypesOneAndFive) {
    for (const char* type : {"1", "5"}) {
        make({{1000, "Error"}, {107, type}, {1007, "Wrong Parameter Usage"}});
        RunOptions noDisplay;
        noDisplay.remove.push_back("DISPLAY");  // a message box then returns at once
        auto result = start(L"\"unterminated", noDisplay);
        EXPECT_EQ(result.exitCode, 1u) << type;
        EXPECT_EQ(result.err, "") << "type " << type << " reports in a dialog";
        // The quiet switch turns the dialog into a line on standard error.
        result = start(L"-q_bkt_internal \"unterminated");
        EXPECT_EQ(result.err, "Wrong Parameter Usage\r\n") << type;
    }
    for (const char* type : {"0", "2", ""}) {
        make({{107, type}, {1007, "Wrong Parameter Usage"}});
        EXPECT_EQ(start(L"\"unterminated").err, "Wrong Parameter Usage\r\n") << "type '" << type << "'";
    }
}

TEST_F(Launcher, AnUnterminatedQuoteShowsTheConfiguredMessage) {
    make(jaunt_test::consoleRecords({{1007, "Check the quotes in %FILE_NAME%"}}));
    auto result = start(L"a 'b c");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Check the quotes in %FILE_NAME%\r\n");
    make({{107, "0"}});  // no message configured: an empty report, still a failure
    result = start(L"\"x");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "\r\n");
}

TEST_F(Launcher, TheLogOpensOnlyForExactlyYes) {
    make(jaunt_test::consoleRecords());
    for (const char* value : {"YES", "yes ", "no", ""}) {
        EXPECT_EQ(start(L"", withLog("JAUNT_LOG", value)).exitCode, 0u);
        EXPECT_TRUE(logFiles().empty()) << "JAUNT_LOG=" << value;
    }
    EXPECT_EQ(start(L"", withLog("BUNDLEKIT_LOG")).exitCode, 0u);
    ASSERT_EQ(logFiles().size(), 1u);
    std::string log = jaunt_test::readText(logFiles()[0]);
    EXPECT_EQ(log.rfind("Started executable " + exe + " at ", 0), 0u) << log;
}

TEST_F(Launcher, ReportsNameTheLogOnceItIsOpen) {
    make(jaunt_test::consoleRecords());
    auto result = start(L"\"x", withLog());
    EXPECT_EQ(result.exitCode, 1u);
    ASSERT_EQ(logFiles().size(), 1u);
    char longPath[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(logFiles()[0].c_str(), longPath, sizeof(longPath)), 0u);
    EXPECT_EQ(result.err, std::string("Wrong Parameter Usage\r\n\r\nLog: ") + longPath + "\r\n");
}

TEST_F(Launcher, AReportBeforeTheFirstLogLineNamesNoLog) {
    std::vector<uint8_t> table = jaunt::encodeTable({{107, "0"}}, {});
    table[1] ^= 0xFF;
    std::vector<uint8_t> bytes = jaunt_test::readBytes(jaunt_test::stubPath());
    bytes.insert(bytes.end(), table.begin(), table.end());
    exe = dir.file("raw.exe");
    jaunt_test::writeBytes(exe, bytes);
    auto result = start(L"-q_bkt_internal", withLog());
    EXPECT_EQ(result.err, "Internal Error: magic\r\n");
    EXPECT_TRUE(logFiles().empty());
}

TEST_F(Launcher, ConfiguredDirectoriesGoInFrontOfPathAndTheWorkingDirectoryChanges) {
    make(jaunt_test::consoleRecords({{10004, "lib;;C:\\Tools\\\\bin;"}, {146, "."}}));
    RunOptions options = withLog();
    options.set["PATH"] = "C:\\windows\\system32;C:\\windows";
    options.workingDirectory = "C:\\";
    ASSERT_EQ(start(L"", options).exitCode, 0u);
    ASSERT_EQ(logFiles().size(), 1u);
    std::string log = jaunt_test::readText(logFiles()[0]);
    std::string directory = shortLower(dir.path());
    EXPECT_NE(log.find("\r\nPATH: " + directory + "\\lib;C:\\Tools\\bin;C:\\windows\\system32;C:\\windows\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\r\nWorking directory: " + directory + "\r\n"), std::string::npos) << log;
}

TEST_F(Launcher, AMissingWorkingDirectoryIsLoggedAndTheRunGoesOn) {
    make(jaunt_test::consoleRecords({{146, "no\\such\\dir"}}));
    ASSERT_EQ(start(L"", withLog()).exitCode, 0u);
    ASSERT_EQ(logFiles().size(), 1u);
    std::string log = jaunt_test::readText(logFiles()[0]);
    EXPECT_NE(log.find("ERROR: SetCurrentDirectoryA("), std::string::npos) << log;
    EXPECT_EQ(log.find("Working directory: "), std::string::npos);
}

TEST_F(Launcher, OverlongValuesAreCutOrRefusedWithoutACrash) {
    std::string longList;
    while (longList.size() < 3 * jaunt::kTextSize) longList += "C:\\some\\directory;";
    make(jaunt_test::consoleRecords({{10004, longList}, {146, std::string(jaunt::kTextSize + 50, 'w')},
                                     {1000, std::string(20000, 'c')}}));
    RunOptions options = withLog();
    options.set["PATH"] = longList;
    auto result = start(L"", options);
    EXPECT_EQ(result.exitCode, 0u);
    ASSERT_EQ(logFiles().size(), 1u);
    std::string log = jaunt_test::readText(logFiles()[0]);
    EXPECT_NE(log.find("ERROR: Working directory too long"), std::string::npos) << log.substr(0, 300);
    size_t path = log.find("\r\nPATH: ");
    ASSERT_NE(path, std::string::npos);
    size_t end = log.find("\r\n", path + 2);
    std::string value = log.substr(path + 8, end - path - 8);
    // Only the limit of an environment value (32767 units with the terminator) cuts PATH, and what
    // it leaves out is named.
    EXPECT_LE(value.size(), 32766u);
    EXPECT_GT(value.size(), 32766u - 18);
    while (!value.empty() && value.back() == ';') value.pop_back();
    EXPECT_EQ(value.substr(value.rfind(';') + 1), "C:\\some\\directory") << "cut at an entry boundary";
    EXPECT_NE(log.find("\r\nERROR: PATH too long, left out: C:\\some\\directory;"), std::string::npos);

    std::string longArgument(40000, 'a');
    make(jaunt_test::consoleRecords());
    EXPECT_EQ(start(jaunt_test::widen(longArgument)).exitCode, 0u);
}

}  // namespace
