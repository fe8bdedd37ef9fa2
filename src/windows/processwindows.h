// The top-level windows of one process: bringing them to the front and counting the visible ones.
// The launcher's own console window, when it has one, never counts.
#pragma once

namespace jaunt {

// Brings every visible top-level window of the process to the front, each followed by its last
// active pop-up; with restoreMinimised, minimised ones are restored first. Results are not checked:
// the platform may refuse the foreground to a process that is not in it.
void activateProcessWindows(unsigned long processId, bool restoreMinimised);

// The number of visible top-level windows of the process, other than the launcher's console window.
int countProcessWindows(unsigned long processId);

// Finds the launcher's console window once per process (none for the GUI kind of launcher, key 107
// equal to 1, or without a console) and returns it; later calls return what the first one found.
void* findConsoleWindow();

}  // namespace jaunt
