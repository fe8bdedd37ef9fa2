// The splash screen on a real (virtual) display: a launcher whose image carries a splash picture
// shows it centred, with its text lines, steered by the recording JVM's scripted controller; it
// hides on the controller's request, when the application shows its first window, and before an
// error message. Run under Xvfb; without a display the tests are skipped.
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2etools.h"
#include "launcherimage.h"
#include "tablewriter.h"

#include <tlhelp32.h>  // after windows.h

namespace {

using jaunt_test::RunOptions;

const int kWidth = 200, kHeight = 120;  // the test picture's size (splashpicture.py)

struct Pixels {
    int width = 0, height = 0;
    std::vector<COLORREF> rgb;  // row by row from the top, red in the low byte
    COLORREF at(int x, int y) const { return rgb[static_cast<size_t>(y * width + x)]; }
    // How many pixels of the rectangle are close to a pure colour (text may be smoothed).
    int count(int left, int top, int right, int bottom, bool (*match)(COLORREF)) const {
        int n = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) n += match(at(x, y)) ? 1 : 0;
        return n;
    }
};

bool reddish(COLORREF c) { return GetRValue(c) > 180 && GetGValue(c) < 80 && GetBValue(c) < 80; }
bool bluish(COLORREF c) { return GetBValue(c) > 180 && GetRValue(c) < 80 && GetGValue(c) < 80; }

// What the screen shows in the window's rectangle.
Pixels capture(const RECT& area) {
    Pixels pixels;
    pixels.width = area.right - area.left;
    pixels.height = area.bottom - area.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, pixels.width, pixels.height, screen, area.left, area.top, SRCCOPY);
    GdiFlush();
    const unsigned char* bgrx = static_cast<const unsigned char*>(bits);
    for (int i = 0; i < pixels.width * pixels.height; ++i)
        pixels.rgb.push_back(RGB(bgrx[4 * i + 2], bgrx[4 * i + 1], bgrx[4 * i]));
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

int threadCount(DWORD processId) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == processId ? 1 : 0;
    CloseHandle(snapshot);
    return count;
}

class Splash : public jaunt_test::LauncherTest {
protected:
    HANDLE process = nullptr;
    DWORD processId = 0;

    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs a display (the test runs under Xvfb)";
    }
    void TearDown() override {
        if (process == nullptr) return;
        if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) TerminateProcess(process, 255);
        CloseHandle(process);
    }

    std::string gate(const std::string& name) const { return dir.file("gate-" + name); }
    void open(const std::string& name) { jaunt_test::writeText(gate(name), ""); }
    std::string record() const {
        return jaunt_test::fileExists(dir.file("record.txt")) ? jaunt_test::readText(dir.file("record.txt")) : "";
    }

    // A launcher of the splash variant (or another stub) with the JRE of the recording double
    // beside it: a 200 x 120 splash, a red status line (initially empty) and a blue second line.
    // The extra records replace those of the same key.
    void startSplash(const std::string& script, std::vector<jaunt::NarrowRecord> extra = {},
                     const char* stubVariable = "JAUNT_TEST_SPLASH_STUB", int showCommand = -1) {
        std::vector<jaunt::NarrowRecord> records = {
            {1000, "Splash test"}, {107, "1"}, {1005, "The JVM could not be started."}, {122, "com.example.Main"},
            {108, "1"}, {101, "Splash title"}, {141, "200"}, {142, "120"},
            {10109, "10"}, {10110, "10"}, {10113, "14"}, {10114, "255,0,0"}, {10115, "700"},
            {10116, "10"}, {10117, "80"}, {10118, "Version 1"}, {10120, "14"}, {10121, "0,0,255"}, {10122, "700"}};
        for (const jaunt::NarrowRecord& record : extra) {
            auto same = std::find_if(records.begin(), records.end(),
                                     [&](const jaunt::NarrowRecord& r) { return r.key == record.key; });
            if (same != records.end()) *same = record;
            else records.push_back(record);
        }
        const char* stub = std::getenv(stubVariable);
        ASSERT_NE(stub, nullptr);
        exe = dir.file("app.exe");
        jaunt_test::writeBytes(exe, jaunt::makeLauncher(jaunt_test::readBytes(jaunt_test::windowsPath(stub)),
                                                        jaunt::encodeTable(records, {}), {}));
        addJre();
        RunOptions options;
        options.set["TMP"] = dir.path();
        options.set["JAUNT_RECORD"] = dir.file("record.txt");
        options.set["JAUNT_RECORD_SCRIPT"] = script;
        options.set["JAUNT_RECORD_GATE"] = dir.file("gate-");
        options.showCommand = showCommand;
        process = jaunt_test::startProcess(L"\"" + jaunt_test::widen(exe) + L"\"", options, &processId);
    }

    // The splash window of the launcher (visible or not), or null once its thread has ended.
    HWND splashWindow() const {
        for (HWND window = FindWindowW(L"JauntSplashScreen", nullptr); window != nullptr;
             window = FindWindowExW(nullptr, window, L"JauntSplashScreen", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == processId) return window;
        }
        return nullptr;
    }
    bool splashShown() const {
        HWND window = splashWindow();
        return window != nullptr && IsWindowVisible(window);
    }

    // Polls for a condition; false when it did not come about (the launcher ended or 60 s passed).
    template <typename Condition>
    bool waitFor(Condition condition) {
        for (int i = 0; i < 1200; ++i) {
            if (condition()) return true;
            Sleep(50);
        }
        return condition();
    }

    DWORD exitCode() {
        EXPECT_EQ(WaitForSingleObject(process, 60000), WAIT_OBJECT_0);
        DWORD code = 255;
        GetExitCodeProcess(process, &code);
        return code;
    }
};

TEST_F(Splash, ShowsThePictureAndTheControllersTextCentredAndClosesOnRequest) {
    startSplash("actions=wait1|2:Loading modules|wait2|1,main-waits");
    ASSERT_TRUE(waitFor([&] { return splashShown(); }));
    HWND window = splashWindow();
    wchar_t title[64];
    GetWindowTextW(window, title, 64);
    EXPECT_STREQ(title, L"Splash title");
    RECT desktop, area;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(window, &area);
    EXPECT_EQ(area.right - area.left, kWidth);
    EXPECT_EQ(area.bottom - area.top, kHeight);
    EXPECT_EQ(area.left, (desktop.right - desktop.left - kWidth) / 2);
    EXPECT_EQ(area.top, (desktop.bottom - desktop.top - kHeight) / 2);

    // The picture, the right way up, the second line, and no status text yet. The window may be
    // shown a moment before it reaches the screen.
    Pixels before;
    EXPECT_TRUE(waitFor([&] { return (before = capture(area)).at(5, 60) == RGB(0, 160, 0); }));
    EXPECT_EQ(before.at(kWidth - 5, kHeight - 5), RGB(255, 255, 0));
    EXPECT_EQ(before.at(kWidth - 5, 5), RGB(0, 160, 0));
    EXPECT_GT(before.count(10, 80, kWidth, kHeight, bluish), 20);
    EXPECT_EQ(before.count(0, 0, kWidth, 50, reddish), 0);

    // The controller sets the status line; the poll after it finds nothing new (the window is
    // repainted before the tick that fetched the text ends).
    open("1");
    ASSERT_TRUE(waitFor([&] {
        std::string text = record();
        size_t fetched = text.find("JauntController.getText");
        return fetched != std::string::npos && text.find("JauntController.getAction", fetched) != std::string::npos;
    }));
    Pixels after;
    EXPECT_TRUE(waitFor([&] { return (after = capture(area)).count(10, 10, kWidth, 50, reddish) > 20; }));
    EXPECT_EQ(after.at(kWidth - 5, kHeight - 5), RGB(255, 255, 0));

    // Asked to close, the splash hides and its thread detaches from the JVM.
    open("2");
    EXPECT_TRUE(waitFor([&] { return !splashShown() && record().find("DetachCurrentThread") != std::string::npos; }));
    std::string text = record();
    EXPECT_NE(text.find("AttachCurrentThread"), std::string::npos);
    EXPECT_NE(text.find("GetStaticMethodID com/jaunt/runtime/JauntController getAction ()I"), std::string::npos);
    EXPECT_NE(text.find("GetStaticMethodID com/jaunt/runtime/JauntController getText ()Ljava/lang/String;"),
              std::string::npos);
    EXPECT_NE(text.find("JauntController.getAction -> 1"), std::string::npos);

    open("main");
    EXPECT_EQ(exitCode(), 0u);
}

TEST_F(Splash, HidesWhenTheApplicationShowsItsFirstWindow) {
    startSplash("actions=wait1,main-window,main-waits", {{145, "1"}});
    ASSERT_TRUE(waitFor([&] { return splashShown(); }));
    open("window");
    // The double records the window after showing it, so the splash may hide first.
    EXPECT_TRUE(waitFor([&] { return !splashShown() && record().find("window shown") != std::string::npos; }));
    std::string text = record();
    EXPECT_EQ(text.find("getAction -> 1"), std::string::npos) << "the controller never asked to close";
    open("main");
    EXPECT_EQ(exitCode(), 0u);
}

TEST_F(Splash, HidesBeforeAnErrorMessageAppears) {
    startSplash("actions=wait1,main-waits,main-throws");
    ASSERT_TRUE(waitFor([&] { return splashShown(); }));
    open("main");
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = FindWindowW(L"#32770", L"Splash test")) != nullptr; }));
    EXPECT_FALSE(splashShown());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(exitCode(), 1u);
}

// Key 108 = 0, or a process started hidden (show command 0): no splash thread, so one thread less
// than a launcher with a splash has while main runs, and no window; the application runs as usual.
TEST_F(Splash, NeitherSwitchedOffNorStartedHiddenShowsASplash) {
    struct Case {
        const char* name;
        std::vector<jaunt::NarrowRecord> extra;
        int showCommand;
        bool splash;
    };
    const Case cases[] = {{"with a splash", {}, -1, true},
                          {"key 108 = 0", {{108, "0"}}, -1, false},
                          {"started hidden", {}, SW_HIDE, false}};
    int withSplash = 0;
    for (const Case& c : cases) {
        startSplash("main-waits", c.extra, "JAUNT_TEST_SPLASH_STUB", c.showCommand);
        ASSERT_TRUE(waitFor([&] { return record().find("WinLauncher.main") != std::string::npos; })) << c.name;
        int threads = threadCount(processId);
        if (c.splash) {
            withSplash = threads;
            EXPECT_TRUE(waitFor([&] { return splashShown(); }));
        } else {
            EXPECT_EQ(threads, withSplash - 1) << c.name;
            EXPECT_EQ(splashWindow(), nullptr) << c.name;
        }
        open("main");
        EXPECT_EQ(exitCode(), 0u) << c.name;
        CloseHandle(process);
        process = nullptr;
        DeleteFileA(gate("main").c_str());
        DeleteFileA(dir.file("record.txt").c_str());
    }
}

// DestroyJavaVM waits for every attached thread: a splash that nobody closes must not keep the
// launcher from ending once the application is done.
// The plain launcher program carries no picture: its splash is the grey background with the text.
TEST_F(Splash, ASplashLeftOpenDoesNotKeepTheLauncherFromEnding) {
    startSplash("main-waits", {}, "JAUNT_TEST_STUB");
    ASSERT_TRUE(waitFor([&] { return record().find("JauntController.getAction -> 0") != std::string::npos; }));
    RECT area;
    ASSERT_TRUE(GetWindowRect(splashWindow(), &area));
    Pixels shown;
    EXPECT_TRUE(waitFor([&] { return (shown = capture(area)).at(kWidth - 5, kHeight - 5) == RGB(192, 192, 192); }));
    EXPECT_GT(shown.count(10, 80, kWidth, kHeight, bluish), 20);
    open("main");
    EXPECT_EQ(exitCode(), 0u);
    EXPECT_NE(record().find("DestroyJavaVM"), std::string::npos);
}

// The splash window goes with its thread; a later report must not be given it as owner, or the
// platform refuses the message box and the user sees nothing.
TEST_F(Splash, AnErrorAfterTheSplashClosedStillShowsItsMessage) {
    startSplash("actions=1,main-waits,main-throws");
    ASSERT_TRUE(waitFor([&] { return record().find("DetachCurrentThread") != std::string::npos; }));
    ASSERT_TRUE(waitFor([&] { return splashWindow() == nullptr; }));
    open("main");
    HWND box = nullptr;
    ASSERT_TRUE(waitFor([&] { return (box = FindWindowW(L"#32770", L"Splash test")) != nullptr; }));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(exitCode(), 1u);
}

}  // namespace
