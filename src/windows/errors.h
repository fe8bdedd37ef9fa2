// Error reports and termination. A report is a message box, or a line on standard error when error
// dialogs are off, naming the log file when logging is on. Before every report and every coded exit
// the files and directories that a later run must remove are written to the registry, and before
// every report the splash screen hides.
#pragma once

#include <cstdint>

namespace jaunt {

void showErrorText(const char* text);
// The configured message of key, with the first occurrence of placeholder (if not null) replaced.
void showErrorMessage(int32_t key, const char* placeholder, const char* value);

[[noreturn]] void failWithText(const char* text);
[[noreturn]] void failWithMessage(int32_t key, const char* placeholder, const char* value);
[[noreturn]] void exitLauncher(unsigned code);

void switchOffErrorDialogs();
bool errorDialogsOn();
// The owner of error message boxes: the splash window while it exists, else null.
void setErrorOwnerWindow(void* window);

void addPendingFile(const char* path);
void addPendingDirectory(const char* path);
void recordPendingDeletions();

// The report text for message (with "Log: " and the log path when logging is on), into buffer.
// Exposed for tests; showErrorText uses it.
void composeReport(const char* message, char* buffer, unsigned size);

}  // namespace jaunt
