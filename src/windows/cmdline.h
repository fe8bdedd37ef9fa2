// The part of a narrow command line after the program name, formed the way the C runtime forms
// WinMain's command-line argument.
#pragma once

#include <string>

namespace jaunt {

// Skips leading blanks and tabs; a program name that starts with a double quote extends to the next
// double quote (skipped too) or the end; an unquoted one to the first blank or tab; then the blanks
// and tabs that follow are skipped. Returns a pointer into commandLine.
const char* commandLineTail(const char* commandLine);
const char16_t* commandLineTail(const char16_t* commandLine);

// The program name at the start of a wide command line, taken by the same rule, without its
// quotes. Quotes of the launcher's own splitting rules (an apostrophe in "C:\O'Brien\app.exe")
// mean nothing in it.
std::u16string commandLineProgramName(const char16_t* commandLine);

// The internal switches recognised on that tail.
bool isRebootRequest(const char* tail);  // exactly "__bkt_reboot"
bool isQuietRequest(const char* tail);   // begins with "-q_bkt_internal"

}  // namespace jaunt
