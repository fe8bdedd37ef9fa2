// The C++ runtime's faults in the launcher (src/windows/cxxruntime.cpp, linked into this program as
// into the launcher): each ends the process with the internal-error report, code 30.
#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "config.h"
#include "errors.h"
#include "winsupport.h"

namespace {

class RuntimeFault : public ::testing::Test {
protected:
    // In the child process of a death test: the launcher's messages, reports on standard error.
    void prepare() {
        bool opened = false;
        jaunt::loadConfigurationFile(launcherPath.c_str(), &opened);
        jaunt::switchOffErrorDialogs();
    }

    jaunt_test::TempDirectory dir{"cxxruntime"};
    std::string launcherPath = jaunt_test::writeLauncher(
        dir.file("app.exe"), {{1009, "An internal error occurred (error code: %ERROR_CODE%)"}});
};

const char* const kReport = "An internal error occurred \\(error code: 30\\)";

TEST_F(RuntimeFault, TerminateEndsWithInternalError30) {
    EXPECT_EXIT(
        {
            prepare();
            std::terminate();
        },
        ::testing::ExitedWithCode(1), kReport);
}

}  // namespace
