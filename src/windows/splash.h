// The splash screen: a borderless window with the application's picture and two text lines, on a
// thread of its own so that it paints while the main thread finds and starts the JVM. It hides when
// the Java side asks (splashcontroller), when the application shows a window of its own (if so
// configured), and before every error report.
#pragma once

#include <cstddef>

namespace jaunt {

// A non-zero show command starts the splash thread, which shows the window with it. Zero is the
// hide request: a shown splash hides (bringing this process's windows back to the front when
// another process holds the foreground), and a splash that has not appeared yet never appears.
// Callable from any thread.
void splashScreen(int showCommand);

// Replaces the status line (line 1) with text, converted to the ANSI code page and cut to the line
// buffer, and repaints at once. Nothing happens before the window exists. Splash thread only.
void setSplashText(const wchar_t* text, size_t length);

// For the controller's timer on the splash thread: whether the splash window is visible, whether
// it hides once the application shows a window, and ending the splash thread's message loop.
bool splashVisible();
bool splashAutoHide();
void endSplashThread();

}  // namespace jaunt
