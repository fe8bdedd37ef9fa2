// Text rules for Java versions, free of any platform call: reading the version from the output of
// "java -version", the version limits, and the names derived from a Java executable's path.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jaunt {

// The line of "-version" output that is examined is read into a buffer of this many characters.
constexpr size_t kVersionLineLimit = 99;

// Reads the version from the standard error output of "java -version" (text, line ends LF or
// CR LF). Lines beginning with "Picked up " (the JVM's note about JAVA_TOOL_OPTIONS and
// _JAVA_OPTIONS) are skipped; the first other line, of which only the first kVersionLineLimit
// characters count, must begin with "java version " or "openjdk version " and a double quote. The
// version is the text up to the closing double quote; a line without one, or with an empty
// version, yields none. False when no version was found or it does not fit the buffer.
bool parseVersionOutput(const char* text, size_t length, char* version, size_t capacity);

// True when the version contains "beta" or "ea" anywhere.
bool isPrerelease(const char* version);

// The limits of an accepted version: both compared byte-wise over the limit's own length, so a
// limit matches as a prefix ("1.5" accepts 1.5.0_06 as maximum); an empty limit never rejects.
// Pre-releases are rejected unless allowed.
bool isVersionAcceptable(const char* version, const char* minimum, const char* maximum, bool allowPrerelease);

// The pre-filter on registry version names: like the limits, but the comparison is also shortened
// to the name's length, so a name 1.4 passes a minimum 1.4.2.
bool isVersionInRange(const char* name, const char* minimum, const char* maximum);

// Version order: byte strings (1.4.2_06 is newer than 1.4.2, 1.10 older than 1.4). Negative, zero
// or positive like strcmp.
int compareVersions(const char* a, const char* b);

// Sorts version names ascending in byte-string order.
void sortVersionNames(std::vector<std::string>* names);

// Length of the directory part of a Java executable's path, its trailing backslash included: the
// path without "javaw.exe" or "java.exe" (exact case), or, for any other name, up to its last
// backslash.
size_t executableDirectoryLength(const char* executable);

// The JVM home of a Java executable: its directory followed by "..", e.g. C:\jre\bin\.. for
// C:\jre\bin\java.exe. False when it had to be cut.
bool jvmHomeForExecutable(const char* executable, char* home, size_t capacity);

// The GUI sibling of a Java executable, in place: a final ".exe" becomes "w.exe"
// (...\java.exe -> ...\javaw.exe). A path already naming "javaw.exe", or not ending in ".exe", is
// kept. False when the result does not fit.
bool guiExecutableFor(char* path, size_t capacity);

}  // namespace jaunt
