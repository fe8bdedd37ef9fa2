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

// Versions are ordered numerically, component by component: a component is a run of digits (a
// number) or a run of other characters apart from the separators ".", "_", "-", "+" and blank (a
// tag such as "ea" or "beta"), so 1.8.0_392 is (1, 8, 0, 392) and 17-ea is (17, "ea"). Numbers
// compare by value, tags byte-wise; a tag ranks below the end of a version and a number above it,
// so 17-ea < 17 < 17.0.2 and 1.4.2 < 1.4.2_06, and 1.10 is newer than 1.4, 17.0.2 than 9.

// The limits of an accepted version: each compared over the limit's own number of components, so a
// limit matches as a prefix (maximum 1.5 accepts 1.5.0_06, minimum 1.4 accepts 1.4); an empty
// limit never rejects. Pre-releases are rejected unless allowed.
bool isVersionAcceptable(const char* version, const char* minimum, const char* maximum, bool allowPrerelease);

// The pre-filter on registry version names: like the limits, but the comparison is also shortened
// to the name's number of components, so a name 1.4 passes a minimum 1.4.2.
bool isVersionInRange(const char* name, const char* minimum, const char* maximum);

// The version order over all components; versions that are equal in it (1.4.2_06 and 1.4.2_6)
// are ordered by their bytes, so only identical texts compare equal. Negative, zero or positive
// like strcmp.
int compareVersions(const char* a, const char* b);

// The feature release of a version: 8 for 1.8.0_201 (the old "1.x" scheme), 17 for 17.0.2, 21 for
// 21-ea. 0 when the text does not begin with a number, or the number does not fit an int.
int javaFeatureVersion(const char* version);

// Sorts version names ascending in the version order.
void sortVersionNames(std::vector<std::string>* names);

// Length of the directory part of a Java executable's path, its trailing backslash included: the
// path without "javaw.exe" or "java.exe" (exact case), or, for any other name, up to its last
// backslash.
size_t executableDirectoryLength(const char* executable);

// The JVM home of a Java executable: its directory followed by "..", e.g. C:\jre\bin\.. for
// C:\jre\bin\java.exe. False when it had to be cut.
bool jvmHomeForExecutable(const char* executable, char* home, size_t capacity);

// The VM-type directories beside a Java executable that may hold its JVM library, in the order they
// are tried after a preferred one.
constexpr const char* kVmTypes[] = {"hotspot", "client", "server", "classic"};

// The JVM library files tried for a Java executable, in the order of loading: the preferred VM type
// (when not empty) and then kVmTypes beside the executable, then the same in the JRE inside a JDK
// (..\jre\bin\ beside the executable).
std::vector<std::string> jvmLibraryCandidates(const char* executable, const char* preferredType);

// The GUI sibling of a Java executable, in place: a final ".exe" becomes "w.exe"
// (...\java.exe -> ...\javaw.exe). A path already naming "javaw.exe", or not ending in ".exe", is
// kept. False when the result does not fit.
bool guiExecutableFor(char* path, size_t capacity);

}  // namespace jaunt
