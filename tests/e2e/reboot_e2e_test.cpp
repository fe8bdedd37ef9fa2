// The restart switch: only the whole command line "__bkt_reboot" asks for a restart, five seconds
// after the start, and the launcher then goes on like any other start. Wine turns the request into
// the end of its session for windows of the prefix; the test driver has none, so it survives it.
#include "e2etools.h"

namespace {

using jaunt_test::LauncherTest;

TEST_F(LauncherTest, RebootSwitchRequestsARestartAfterFiveSecondsAndGoesOn) {
    make(jaunt_test::consoleRecords());
    addJre();
    jaunt_test::RunOptions options;
    options.set["JAUNT_LOG"] = "yes";
    DWORD before = GetTickCount();
    auto result = start(L"__bkt_reboot", options);
    DWORD elapsed = GetTickCount() - before;
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(elapsed, 5000u);
    auto logs = logFiles();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(jaunt_test::readText(logs[0]).find("\r\nRequesting a restart\r\n"), std::string::npos);
}

TEST_F(LauncherTest, RebootSwitchWithMoreTextIsAnOrdinaryArgument) {
    make(jaunt_test::consoleRecords());
    addJre();
    jaunt_test::RunOptions options;
    options.set["JAUNT_LOG"] = "yes";
    auto result = start(L"__bkt_reboot now", options);
    EXPECT_EQ(result.exitCode, 0u);
    auto logs = logFiles();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_EQ(jaunt_test::readText(logs[0]).find("Requesting a restart"), std::string::npos);
}

}  // namespace
