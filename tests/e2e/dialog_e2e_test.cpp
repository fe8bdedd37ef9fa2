// Error dialogs on a real (virtual) display: a GUI launcher shows its report in a message box with
// the configured caption, and ends with exit code 1 once the user dismisses it. Run under Xvfb.
#include <cstdlib>
#include <string>
#include <vector>

#include "e2etools.h"

namespace {

using jaunt_test::LauncherTest;

BOOL CALLBACK collectText(HWND child, LPARAM texts) {
    wchar_t text[1024];
    GetWindowTextW(child, text, 1024);
    reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(text);
    return TRUE;
}

class ErrorDialog : public LauncherTest {
protected:
    // Starts the launcher, waits for its message box, returns the texts of the box's controls,
    // presses OK and returns the exit code.
    DWORD runAndDismiss(const std::wstring& caption, const std::wstring& arguments,
                        const std::vector<std::wstring>& environment, std::vector<std::wstring>* texts) {
        std::wstring line = L"\"" + jaunt_test::widen(exe) + L"\" " + arguments;
        std::wstring block;
        wchar_t* strings = GetEnvironmentStringsW();
        for (const wchar_t* p = strings; *p; p += wcslen(p) + 1) {
            std::wstring entry(p);
            bool overridden = false;  // the test's own value replaces the inherited one
            for (const std::wstring& own : environment)
                if (_wcsnicmp(entry.c_str(), own.c_str(), own.find(L'=') + 1) == 0) overridden = true;
            if (!overridden) block += entry + L'\0';
        }
        FreeEnvironmentStringsW(strings);
        for (const std::wstring& entry : environment) block += entry + L'\0';
        block += L'\0';
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process;
        if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT, &block[0],
                            nullptr, &startup, &process)) {
            ADD_FAILURE() << "CreateProcessW failed";
            return 0;
        }
        HWND box = nullptr;
        for (int i = 0; i < 300 && box == nullptr; ++i) {
            box = FindWindowW(L"#32770", caption.c_str());
            if (box == nullptr && WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
        }
        EXPECT_NE(box, nullptr) << "no message box with the configured caption appeared";
        if (box != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(box, &owner);
            EXPECT_EQ(owner, process.dwProcessId);
            EnumChildWindows(box, collectText, reinterpret_cast<LPARAM>(texts));
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "the launcher did not end after its dialog was dismissed";
            TerminateProcess(process.hProcess, 255);
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return code;
    }
};

bool contains(const std::vector<std::wstring>& texts, const std::wstring& wanted) {
    for (const std::wstring& text : texts)
        if (text.find(wanted) != std::wstring::npos) return true;
    return false;
}

TEST_F(ErrorDialog, AGuiLauncherReportsInAMessageBoxWithTheConfiguredCaption) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "this test runs under Xvfb";
    make({{1000, "Hello failed"}, {107, "1"}, {1007, "Quotes do not match"}});
    addJre();
    std::vector<std::wstring> texts;
    EXPECT_EQ(runAndDismiss(L"Hello failed", L"\"unterminated", {L"JAUNT_LOG="}, &texts), 1u);
    EXPECT_TRUE(contains(texts, L"Quotes do not match"));
    EXPECT_FALSE(contains(texts, L"Log: "));
}

TEST_F(ErrorDialog, TheBoxNamesTheLogWhenLoggingIsOn) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "this test runs under Xvfb";
    make({{1000, "Hello failed"}, {107, "5"}, {1007, "Quotes do not match"}});
    addJre();
    std::vector<std::wstring> texts;
    EXPECT_EQ(runAndDismiss(L"Hello failed", L"'x", {L"JAUNT_LOG=yes", L"TMP=" + jaunt_test::widen(dir.path())}, &texts),
              1u);
    EXPECT_TRUE(contains(texts, L"Quotes do not match"));
    ASSERT_EQ(logFiles().size(), 1u);
    char longPath[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(logFiles()[0].c_str(), longPath, sizeof(longPath)), 0u);
    EXPECT_TRUE(contains(texts, L"Log: " + jaunt_test::widen(longPath)));
}

}  // namespace
