// Counting and activating a process's top-level windows, with windows made by the test. Runs
// under a virtual display.
#include <gtest/gtest.h>

#include <windows.h>

#include "processwindows.h"

namespace {

HWND makeWindow(const char* title) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "jaunt_test_window";
    RegisterClassA(&windowClass);  // fails harmlessly the second time
    return CreateWindowA("jaunt_test_window", title, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void pumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

TEST(ProcessWindows, CountsVisibleWindowsOfTheProcessOnly) {
    DWORD self = GetCurrentProcessId();
    int before = jaunt::countProcessWindows(self);
    HWND hidden = makeWindow("hidden");
    HWND shown = makeWindow("shown");
    ASSERT_NE(nullptr, shown) << "no display";
    ShowWindow(shown, SW_SHOWNORMAL);
    pumpMessages();
    EXPECT_EQ(before + 1, jaunt::countProcessWindows(self));
    EXPECT_EQ(0, jaunt::countProcessWindows(0xFFFFFFF0ul));  // no such process: nothing counted
    DestroyWindow(shown);
    DestroyWindow(hidden);
    EXPECT_EQ(before, jaunt::countProcessWindows(self));
}

TEST(ProcessWindows, RestoresMinimisedWindowsOnlyWhenAsked) {
    HWND window = makeWindow("minimised");
    ASSERT_NE(nullptr, window) << "no display";
    ShowWindow(window, SW_SHOWMINIMIZED);
    pumpMessages();
    ASSERT_TRUE(IsIconic(window));
    jaunt::activateProcessWindows(GetCurrentProcessId(), false);
    pumpMessages();
    EXPECT_TRUE(IsIconic(window));
    jaunt::activateProcessWindows(GetCurrentProcessId(), true);
    pumpMessages();
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));
    DestroyWindow(window);
}

}  // namespace
