// The texts the launcher hands to the JVM at creation. The JVM reads its option texts in the
// system's ANSI code page, while the launcher holds UTF-8: each option is converted, a path that
// the code page cannot hold is given in its short (8.3) form where the volume has one, and what
// still cannot be given (a class path entry, a property value) goes over after creation.
#pragma once

#include <string>
#include <vector>

#include "JavaVMLauncher.h"

namespace jaunt {

// True when text (UTF-8) converts to the system's ANSI code page without loss.
bool representableInAnsi(const char* text);

// path (UTF-8) as the JVM can read it: in the ANSI code page as it is, or else its short form.
// False when neither holds it.
bool jvmPathText(const char* path, std::string* text);

// path (UTF-8) in a UTF-8 form whose conversion for the JVM loses nothing: as it is, or its short
// form. preferShort takes the short form also for a path of MAX_PATH units or more, for the JVM's
// own fixed buffers. False when neither form can be read (readable is then path).
bool jvmReadablePath(const char* path, std::string* readable, bool preferShort = false);

// Converts the options (UTF-8) for the JVM. Class path entries from the first one that cannot be
// given on, and -D properties whose name or value cannot be given, are left out of the result and
// collected in late (applied through applyLateSettings once the JVM exists). Other options are
// given as near as the code page allows, and logged.
std::vector<std::string> jvmOptions(const std::vector<std::string>& options, LateSettings* late);

}  // namespace jaunt
