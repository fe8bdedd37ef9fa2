// The log in a process that asks for it: lazily opened at the first line, a start line naming the
// program, one flushed line per call, and error reports that name the file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boundedtext.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "winsupport.h"

namespace {

TEST(Log, OpensAtTheFirstLineAndFlushesEveryLine) {
    // The decision is taken once per process, at the first line: ask for it before that.
    SetEnvironmentVariableA("JAUNT_LOG", "yes");
    ASSERT_EQ(jaunt::getLogPath(), nullptr);

    jaunt::logInfo("first %d %s", 5, "x");
    const char* path = jaunt::getLogPath();
    ASSERT_NE(path, nullptr);
    std::string text = jaunt_test::readText(path);  // read while the stream is still open

    char module[MAX_PATH];
    GetModuleFileNameA(nullptr, module, sizeof(module));
    std::string start = std::string("Started executable ") + module + " at ";
    ASSERT_EQ(text.rfind(start, 0), 0u) << text;
    size_t firstEnd = text.find("\r\n");
    ASSERT_NE(firstEnd, std::string::npos);
    // ctime's text ends in a line feed of its own, so an empty line follows the start line.
    EXPECT_EQ(text.substr(firstEnd, 4), "\r\n\r\n");
    EXPECT_EQ(text.substr(firstEnd + 4), "first 5 x\r\n");

    jaunt::logError("failed %s", "here");
    jaunt::logInfo("%s", "after");
    text = jaunt_test::readText(path);
    EXPECT_NE(text.find("\r\nERROR: failed here\r\nafter\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Started executable", 1), std::string::npos) << "one start line only";
}

TEST(Log, ReportsNameTheLogByItsLongPath) {
    jaunt::logInfo("make sure it is open");
    const char* path = jaunt::getLogPath();
    ASSERT_NE(path, nullptr);
    char longPath[jaunt::kTextSize];
    ASSERT_GT(GetLongPathNameA(path, longPath, sizeof(longPath)), 0u);
    char report[jaunt::kTextSize];
    jaunt::composeReport("Something failed", report, sizeof(report));
    EXPECT_EQ(std::string(report), std::string("Something failed\n\nLog: ") + longPath);
}

TEST(Log, AnOverlongReportIsCutNotOverrun) {
    jaunt::logInfo("open");
    std::string message(jaunt::kTextSize + 500, 'm');
    char report[jaunt::kTextSize + 4];
    report[jaunt::kTextSize] = 'G';
    jaunt::composeReport(message.c_str(), report, jaunt::kTextSize);
    EXPECT_EQ(std::string(report), std::string(jaunt::kTextSize - 1, 'm'));
    EXPECT_EQ(report[jaunt::kTextSize], 'G');
}

}  // namespace
