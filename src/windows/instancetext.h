// Text rules of the single-instance guard: the instance name of a launcher file and the text a later
// instance hands to the first one.
#pragma once

#include <cstddef>
#include <string>

namespace jaunt {

// source with every "\" replaced by "_" (a kernel object name may not hold backslashes), into
// destination of capacity bytes; false when it had to be cut.
bool instanceName(char* destination, size_t capacity, const char* source);

// The hand-over text for a wide command line: its arguments after the program name, taken by the
// same rule the launcher uses for its own argument list (commandLineTail), unchanged, followed by
// one line feed unit. The Java side splits the text again the way the launcher does.
std::u16string handOverText(const char16_t* commandLine);

}  // namespace jaunt
