// The C++ runtime's faults in the launcher (src/windows/cxxruntime.cpp, linked into this program as
// into the launcher): each ends the process with the internal-error report, code 30; and the
// initialization of function-local statics between threads.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

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

TEST_F(RuntimeFault, LibraryFaultsEndWithInternalError30) {
    EXPECT_EXIT(
        {
            prepare();
            std::string text;
            text.reserve(text.max_size() + 1);
        },
        ::testing::ExitedWithCode(1), kReport);
    EXPECT_EXIT(
        {
            prepare();
            std::vector<int> values(3);
            values.at(3) = 1;
        },
        ::testing::ExitedWithCode(1), kReport);
    EXPECT_EXIT(
        {
            prepare();
            // More than a 32-bit process can hold, and more than Wine grants a 64-bit one.
            void* memory = ::operator new(SIZE_MAX / 2);
            ::operator delete(memory);
        },
        ::testing::ExitedWithCode(1), kReport);
}

int recursiveValue();

int recursiveInitializer() { return recursiveValue() + 1; }

int recursiveValue() {
    static int value = recursiveInitializer();
    return value;
}

TEST_F(RuntimeFault, RecursiveStaticInitializationEndsWithInternalError30) {
    EXPECT_EXIT(
        {
            prepare();
            recursiveValue();
        },
        ::testing::ExitedWithCode(1), kReport);
}

std::atomic<int> constructions{0};

struct Slow {
    Slow() {
        ++constructions;
        Sleep(200);  // long enough for the other threads to arrive while this one builds it
        ready = 42;
    }
    int ready = 0;
};

Slow& sharedSlow() {
    static Slow slow;
    return slow;
}

DWORD WINAPI readSlow(void* result) {
    Slow& slow = sharedSlow();
    static_cast<int*>(result)[0] = slow.ready;
    static_cast<int*>(result)[1] = static_cast<int>(reinterpret_cast<intptr_t>(&slow) & 0x7FFFFFFF);
    return 0;
}

// Threads that reach a static while another one builds it wait for it and see it complete.
TEST(StaticInitialization, ThreadsShareOneCompleteObject) {
    int results[4][2] = {};
    HANDLE threads[4];
    for (int i = 0; i < 4; ++i) threads[i] = CreateThread(nullptr, 0, readSlow, results[i], 0, nullptr);
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    EXPECT_EQ(constructions.load(), 1);
    for (auto& result : results) {
        EXPECT_EQ(result[0], 42);
        EXPECT_EQ(result[1], results[0][1]);
    }
}

}  // namespace
