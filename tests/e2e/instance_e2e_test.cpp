// Single-instance launchers end to end: while a first instance runs (its recording JVM lingers),
// later starts of the same file hand their arguments over and end with exit code 0; another
// launcher file runs on its own.
#include <cctype>
#include <string>

#include "e2etools.h"

namespace {

using jaunt_test::RunOptions;

std::u16string readUnits(const std::string& path) {
    std::vector<uint8_t> bytes = jaunt_test::readBytes(path);
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// The value of the system property name in a recording JVM's record ("option N=-Dname=value").
std::string property(const std::string& record, const std::string& name) {
    size_t at = record.find("-D" + name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 3;
    return record.substr(at, record.find_first_of("\r\n", at) - at);
}

class SingleInstance : public jaunt_test::LauncherTest {
protected:
    void SetUp() override { addJre(); }
    RunOptions recording(const std::string& record, const std::string& script = "") {
        RunOptions options;
        options.set["JAUNT_RECORD"] = dir.file(record);
        options.set["JAUNT_RECORD_SCRIPT"] = script;
        options.set["TMP"] = dir.path();
        return options;
    }
};

TEST_F(SingleInstance, LaterStartsHandOverTheirArguments) {
    std::string app = make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    std::string other = jaunt_test::writeLauncher(dir.file("other.exe"), jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));

    DWORD firstId = 0;
    HANDLE first = jaunt_test::startProcess(L"\"" + jaunt_test::widen(app) + L"\" first",
                                            recording("first.txt", "linger=120000"), &firstId);
    std::string record;
    for (int i = 0; i < 600 && record.find("main-count") == std::string::npos; ++i) {
        Sleep(100);
        record = jaunt_test::readText(dir.file("first.txt"));
    }
    ASSERT_NE(std::string::npos, record.find("main-count")) << record;
    std::string commFile = property(record, "jaunt.processCommFile");
    EXPECT_NE(std::string::npos, commFile.find("jnt_p" + std::to_string(firstId) + ".tmp")) << record;
    EXPECT_NE("", property(record, "jaunt.semaphoreName"));

    // The same file: its arguments arrive in the communication file, unchanged, and no JVM starts.
    jaunt_test::RunResult second = start(L"-open  \"a b.txt\"", recording("second.txt"));
    EXPECT_EQ(0u, second.exitCode) << second.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("second.txt")));
    EXPECT_EQ(u"-open  \"a b.txt\"\n", readUnits(commFile));
    ASSERT_TRUE(DeleteFileA(commFile.c_str()));  // as the Java side does once it has read it

    // The same file under another spelling of its path (short form, upper case), no arguments.
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(app.c_str(), shortName, sizeof(shortName)));
    std::string spelling = shortName;
    for (char& c : spelling) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    exe = spelling;
    jaunt_test::RunResult third = start(L"", recording("third.txt"));
    EXPECT_EQ(0u, third.exitCode) << third.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("third.txt")));
    EXPECT_EQ(u"\n", readUnits(commFile));

    // Another launcher file beside it runs its own JVM.
    exe = other;
    jaunt_test::RunResult own = start(L"x", recording("other.txt"));
    EXPECT_EQ(0u, own.exitCode) << own.err;
    std::string otherRecord = jaunt_test::readText(dir.file("other.txt"));
    EXPECT_NE(std::string::npos, otherRecord.find("main-count")) << otherRecord;
    EXPECT_NE(property(record, "jaunt.semaphoreName"), property(otherRecord, "jaunt.semaphoreName"));

    TerminateProcess(first, 0);
    WaitForSingleObject(first, 10000);
    CloseHandle(first);
}

}  // namespace
