#include "splash.h"

#include <windows.h>

#include <atomic>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "environment.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "processwindows.h"
#include "splashcontroller.h"
#include "wideapi.h"

namespace jaunt {

namespace {

const char kClassName[] = "JauntSplashScreen";
const WORD kPictureId = 10000;
const UINT_PTR kTimerId = 9962;
const UINT kTimerPeriod = 100;
// How long the start waits for the splash window to be on screen before the JVM is looked for.
// The JVM's creation keeps the main thread busy, and the splash would otherwise appear only after
// it; a display that does not answer in this time delays the start no further.
const DWORD kShownWait = 2000;
// Font faces are at most 31 characters.
const size_t kFaceSize = 32;

// Shared with the main thread: the hide request and the window. Both are sequentially consistent,
// so a hide that races with the window's creation is seen by one side or the other: either the
// hide finds the window and hides it, or the thread finds the request and never shows it.
std::atomic<bool> hideRequested{false};
std::atomic<HWND> splashWindow{nullptr};

// Everything below belongs to the splash thread.
struct TextLine {
    int x, y;
    char text[kTextSize];
    int points, weight;
    char face[kFaceSize];
    COLORREF colour;
    HFONT font;
};
TextLine lines[2];
bool fontsCreated = false;
int width = 0, height = 0;
bool autoHide = false;
UINT_PTR timer = 0;
HANDLE shownEvent = nullptr;  // set by the splash thread once its window is painted, or it gave up

void signalShown() {
    if (shownEvent != nullptr) SetEvent(shownEvent);
}

int nonNegative(int32_t value) { return value < 0 ? 0 : value; }

void readLine(TextLine* line, int32_t xKey, int32_t yKey, int32_t textKey, int32_t faceKey, int32_t sizeKey,
              int32_t colourKey, int32_t weightKey) {
    line->x = getConfigInt(xKey);
    line->y = getConfigInt(yKey);
    getConfigString(textKey, line->text, sizeof(line->text));
    getConfigString(faceKey, line->face, sizeof(line->face));
    line->points = getConfigInt(sizeKey);
    line->colour = getConfigColor(colourKey);
    line->weight = getConfigInt(weightKey);
    line->font = nullptr;
}

// Swiss family, default pitch; an empty face leaves the choice to the platform.
void createFonts(HDC dc) {
    int pixelsPerInch = GetDeviceCaps(dc, LOGPIXELSY);
    for (TextLine& line : lines) {
        line.font = CreateFontW(-MulDiv(line.points, pixelsPerInch, 72), 0, 0, 0, line.weight, FALSE, FALSE, FALSE, 0,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH,
                                wideText(line.face).c_str());
        if (line.font == nullptr) logError("CreateFontA failed: %lu", static_cast<unsigned long>(GetLastError()));
    }
    fontsCreated = true;
}

void drawPicture(HDC target, HDC reference) {
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageA(static_cast<HINSTANCE>(launcherModuleHandle()), MAKEINTRESOURCEA(kPictureId), IMAGE_BITMAP, 0, 0, 0));
    if (picture == nullptr) return;  // no picture: the grey background and the text
    if (HDC source = CreateCompatibleDC(reference)) {
        HGDIOBJ previous = SelectObject(source, picture);
        BitBlt(target, 0, 0, width, height, source, 0, 0, SRCCOPY);
        SelectObject(source, previous);  // a bitmap still selected could not be deleted
        DeleteDC(source);
    }
    DeleteObject(picture);
}

void drawLine(HDC dc, const TextLine& line) {
    if (line.font != nullptr) SelectObject(dc, line.font);
    SetTextColor(dc, line.colour);
    std::wstring text = wideText(line.text);
    TextOutW(dc, line.x, line.y, text.c_str(), static_cast<int>(text.size()));
}

// Painted into a bitmap of the window's size first and copied in one piece, so nothing flickers.
void paint(HWND window) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (dc == nullptr) return;
    if (!fontsCreated) createFonts(dc);
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP buffer = memory ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (buffer != nullptr) {
        HGDIOBJ previousBitmap = SelectObject(memory, buffer);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        drawPicture(memory, dc);
        int previousMode = SetBkMode(memory, TRANSPARENT);
        COLORREF previousColour = GetTextColor(memory);
        HGDIOBJ previousFont = GetCurrentObject(memory, OBJ_FONT);
        drawLine(memory, lines[0]);
        drawLine(memory, lines[1]);
        SelectObject(memory, previousFont);
        SetBkMode(memory, previousMode);
        SetTextColor(memory, previousColour);
        BitBlt(dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, previousBitmap);
        DeleteObject(buffer);
    }
    if (memory != nullptr) DeleteDC(memory);
    EndPaint(window, &ps);
}

LRESULT CALLBACK splashProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_PAINT:
            paint(window);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the paint covers everything
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND createSplashWindow() {
    readLine(&lines[0], KEY_SPLASH_STATUS_X, KEY_SPLASH_STATUS_Y, KEY_SPLASH_STATUS_TEXT, KEY_SPLASH_STATUS_FONT,
             KEY_SPLASH_STATUS_SIZE, KEY_SPLASH_STATUS_COLOR, KEY_SPLASH_STATUS_WEIGHT);
    readLine(&lines[1], KEY_SPLASH_LABEL_X, KEY_SPLASH_LABEL_Y, KEY_SPLASH_LABEL_TEXT, KEY_SPLASH_LABEL_FONT,
             KEY_SPLASH_LABEL_SIZE, KEY_SPLASH_LABEL_COLOR, KEY_SPLASH_LABEL_WEIGHT);
    char title[kTextSize];
    getConfigString(KEY_APP_NAME, title, sizeof(title));
    width = nonNegative(getConfigInt(KEY_SPLASH_WIDTH));
    height = nonNegative(getConfigInt(KEY_SPLASH_HEIGHT));

    HINSTANCE module = static_cast<HINSTANCE>(launcherModuleHandle());
    WNDCLASSA windowClass = {};
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = splashProcedure;
    windowClass.hInstance = module;
    windowClass.hIcon = LoadIconA(module, "ID_SPLASH_ICON");
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (RegisterClassA(&windowClass) == 0)
        logError("RegisterClassA failed: %lu", static_cast<unsigned long>(GetLastError()));

    RECT desktop = {0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &desktop);
    HWND window = CreateWindowExA(0, kClassName, title, WS_POPUP, (desktop.right - desktop.left - width) / 2,
                                  (desktop.bottom - desktop.top - height) / 2, width, height, nullptr, nullptr, module,
                                  nullptr);
    if (window == nullptr) logError("CreateWindowExA failed: %lu", static_cast<unsigned long>(GetLastError()));
    fontsCreated = false;
    return window;
}

DWORD WINAPI splashThread(LPVOID parameter) {
    if (hideRequested.load()) {
        signalShown();
        return 0;
    }
    HWND window = createSplashWindow();
    if (window == nullptr) {
        signalShown();
        return 0;
    }
    splashWindow.store(window);
    setErrorOwnerWindow(window);
    // A hide request that came while the window was being made keeps it from being shown.
    if (!hideRequested.load()) {
        ShowWindow(window, static_cast<int>(reinterpret_cast<INT_PTR>(parameter)));
        if (getConfigInt(KEY_SPLASH_TOPMOST) != 0)
            SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        UpdateWindow(window);  // painted now, not at the first turn of the message loop
    }
    signalShown();
    autoHide = getConfigInt(KEY_SPLASH_HIDE_ON_WINDOW) != 0;
    timer = SetTimer(nullptr, kTimerId, kTimerPeriod, splashTimerTick);
    if (timer == 0) logError("SetTimer failed: %lu", static_cast<unsigned long>(GetLastError()));
    MSG message;
    BOOL result;
    while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0 && result != -1) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    // The window ends with this thread: nobody may hide it or own a message box with it any more.
    splashWindow.store(nullptr);
    setErrorOwnerWindow(nullptr);
    DestroyWindow(window);
    return result == 0 ? static_cast<DWORD>(message.wParam) : 0;
}

}  // namespace

void splashScreen(int showCommand) {
    if (showCommand != 0) {
        if (shownEvent == nullptr) shownEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (shownEvent == nullptr) logError("CreateEventA failed: %lu", static_cast<unsigned long>(GetLastError()));
        HANDLE thread = CreateThread(nullptr, 0, splashThread, reinterpret_cast<LPVOID>(static_cast<INT_PTR>(showCommand)),
                                     0, nullptr);
        if (thread == nullptr) {
            logError("CreateThread failed: %lu", static_cast<unsigned long>(GetLastError()));
            return;
        }
        CloseHandle(thread);
        // The splash is on screen before the start goes on to the JVM.
        if (shownEvent != nullptr && WaitForSingleObject(shownEvent, kShownWait) != WAIT_OBJECT_0)
            logError("the splash window was not shown within %lu ms", static_cast<unsigned long>(kShownWait));
        return;
    }
    hideRequested.store(true);
    HWND window = splashWindow.load();
    if (window == nullptr) return;
    ShowWindow(window, SW_HIDE);
    DWORD foregroundProcess = 0;
    GetWindowThreadProcessId(GetForegroundWindow(), &foregroundProcess);
    if (foregroundProcess != GetCurrentProcessId()) activateProcessWindows(GetCurrentProcessId(), false);
}

void setSplashText(const wchar_t* text, size_t length) {
    HWND window = splashWindow.load();
    if (window == nullptr) return;
    toNarrowCut(CP_UTF8, text, length, lines[0].text, sizeof(lines[0].text));
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

bool splashVisible() {
    HWND window = splashWindow.load();
    return window != nullptr && IsWindowVisible(window);
}

bool splashAutoHide() { return autoHide; }

void endSplashThread() {
    if (timer != 0) KillTimer(nullptr, timer);
    timer = 0;
    PostQuitMessage(0);
}

}  // namespace jaunt
