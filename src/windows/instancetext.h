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

// A later instance's hand-over file beside the communication files: "jnt_p<first>_<writer>_<thread>"
// with ".tmp" (complete, waiting to be taken) or ".part" (being written), letter case aside; the
// numbers are decimal process and thread ids. True, with the first instance's and the writer's
// process ids, for such a name; false for any other (including numbers beyond 32 bits).
bool parseHandOverFileName(const char* name, unsigned long* first, unsigned long* writer);

}  // namespace jaunt
