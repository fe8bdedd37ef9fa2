// The splash thread's 100 ms timer: it ends the splash thread once the window is hidden, hides the
// splash when the application shows a window of its own (if so configured), and, once the JVM
// exists, polls the Java side's controller class for a new status text or a close request.
#pragma once

#include <windows.h>

namespace jaunt {

void CALLBACK splashTimerTick(HWND window, UINT message, UINT_PTR id, DWORD time);

}  // namespace jaunt
