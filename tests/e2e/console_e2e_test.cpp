// A GUI launcher set to attach to its parent's console, started the way cmd starts a GUI program:
// without a console of its own (DETACHED_PROCESS). The test program is that parent: it makes a
// console of its own and reads what the launcher's JVM wrote into its screen buffer. Wine's console
// host needs a display, so this runs on a virtual one.
#include <windows.h>

#include <string>

#include "e2etools.h"

namespace {

class ConsoleAttach : public jaunt_test::LauncherTest {
protected:
    void SetUp() override {
        addJre();
        make({{1000, "Error"}, {107, "1"}, {122, "com.example.Main"}, {110, "attach"}});
        SetEnvironmentVariableA("JAUNT_RECORD", record().c_str());
        SetEnvironmentVariableA("JAUNT_RECORD_SCRIPT", "streams");
        SetEnvironmentVariableA("JAUNT_LOG", "yes");
        SetEnvironmentVariableA("TMP", dir.path().c_str());
    }
    void TearDown() override {
        for (const char* name : {"JAUNT_RECORD", "JAUNT_RECORD_SCRIPT", "JAUNT_LOG", "TMP"})
            SetEnvironmentVariableA(name, nullptr);
    }
    std::string record() const { return dir.file("record.txt"); }

    // Starts the launcher with no console and the given standard handles (null: none) and waits.
    // The quiet switch turns a failure into a line on standard error instead of a dialog.
    DWORD runDetached(HANDLE output, HANDLE error) {
        DeleteFileA(record().c_str());
        std::wstring line = L"\"" + jaunt_test::widen(exe) + L"\" -q_bkt_internal";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = output;
        startup.hStdError = error;
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr, nullptr,
                                   &startup, &process));
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }

    // A new console of this test program, empty.
    HANDLE freshConsole() {
        FreeConsole();
        EXPECT_TRUE(AllocConsole());
        return CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    }
    static std::string screen(HANDLE console) {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        EXPECT_TRUE(GetConsoleScreenBufferInfo(console, &info));
        std::string text(static_cast<size_t>(info.dwSize.X) * static_cast<size_t>(info.dwSize.Y), ' ');
        DWORD got = 0;
        EXPECT_TRUE(ReadConsoleOutputCharacterA(console, &text[0], static_cast<DWORD>(text.size()), COORD{0, 0}, &got));
        text.resize(got);
        return text;
    }
    bool recorded(const std::string& line) const {
        return ("\n" + jaunt_test::readText(record())).find("\n" + line + "\n") != std::string::npos;
    }
    static HANDLE inheritableFile(const std::string& path) {
        SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
        return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

TEST_F(ConsoleAttach, OutputAppearsInTheParentsConsoleAndRedirectedStreamsStayRedirected) {
    HANDLE console = freshConsole();
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    // Standard output redirected to a file, standard error not given: only standard error attaches.
    HANDLE output = inheritableFile(dir.file("out.txt"));
    EXPECT_EQ(runDetached(output, nullptr), 0u);
    CloseHandle(output);
    std::string text = screen(console);
    EXPECT_NE(text.find("java-err"), std::string::npos) << text;
    EXPECT_NE(text.find("crt-err"), std::string::npos)
        << "the C runtime's stderr; the log: " << jaunt_test::readText(logFiles().at(0));
    EXPECT_EQ(text.find("java-out"), std::string::npos) << text;
    EXPECT_EQ(jaunt_test::readText(dir.file("out.txt")), "java-out\r\n");
    EXPECT_TRUE(recorded("console 1"));
    EXPECT_TRUE(recorded("stdout-type 1")) << "a disk file";
    EXPECT_TRUE(recorded("stderr-type 2")) << "the console";

    // Standard output on NUL stays there.
    SECURITY_ATTRIBUTES security{sizeof(security), nullptr, TRUE};
    HANDLE nul = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security, OPEN_EXISTING, 0,
                             nullptr);
    EXPECT_EQ(runDetached(nul, nullptr), 0u);
    CloseHandle(nul);
    EXPECT_TRUE(recorded("stdout-type 2")) << "a character device";
    text = screen(console);
    EXPECT_EQ(text.find("java-out"), std::string::npos) << text;

    // Both redirected: nothing attaches.
    output = inheritableFile(dir.file("out.txt"));
    HANDLE error = inheritableFile(dir.file("err.txt"));
    EXPECT_EQ(runDetached(output, error), 0u);
    CloseHandle(output);
    CloseHandle(error);
    EXPECT_TRUE(recorded("console 0"));
    EXPECT_EQ(jaunt_test::readText(dir.file("out.txt")), "java-out\r\n");
    EXPECT_EQ(jaunt_test::readText(dir.file("err.txt")), "java-err\r\ncrt-err\r\n");
    CloseHandle(console);
    FreeConsole();
}

TEST_F(ConsoleAttach, StartedWithoutAConsoleTheLauncherRunsWithoutOne) {
    FreeConsole();  // as Explorer starts it
    EXPECT_EQ(runDetached(nullptr, nullptr), 0u);
    EXPECT_TRUE(recorded("console 0"));
    EXPECT_TRUE(recorded("call com/jaunt/runtime/WinLauncher.main"));
    std::vector<std::string> logs = logFiles();
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_NE(jaunt_test::readText(logs[0]).find("No console to attach to"), std::string::npos);
}

}  // namespace
