// Whether a Java executable is usable: it exists, its version is known (from the per-user cache
// under HKCU\SOFTWARE\loomwright\jaunt\jvms\ while the executable is unchanged, otherwise by running
// it with "-version") and lies within the limits. Also the rule that turns a JVM home into the path
// of its Java executable.
#pragma once

#include <cstddef>

namespace jaunt {

constexpr const char* kVersionCacheKey = "SOFTWARE\\loomwright\\jaunt\\jvms\\";
// How long a "-version" run may take before it is ended and counted as a failure.
constexpr unsigned long kVersionRunLimitMs = 10000;

// The Java executable of a JVM home into path (capacity bytes): home\jre\bin\java.exe when it
// exists, otherwise home\bin\java.exe (whose existence is left to checkJavaExe). When a JDK is
// required (key 131) the home must hold lib\tools.jar (up to Java 8) or bin\javac.exe; otherwise
// the result is false and path holds home\jre\bin\java.exe.
bool javaExeForHome(char* path, size_t capacity, const char* home);

// Checks the Java executable at path (capacity bytes, kTextSize in the launcher), which is made a
// full lower-case path in place and, for a GUI launcher (key 107 = 1), switched to "javaw.exe".
// version (may be null) receives the version found. Pre-releases pass when allowPrerelease or
// key 130 is set.
bool checkJavaExe(char* path, size_t capacity, char* version, size_t versionCapacity, const char* minimum,
                  const char* maximum, bool allowPrerelease);

// The Java version of the JVM that LoadDLL chose: for a launcher that carries its runtime, the
// runtime's version (key 2011); otherwise the version this run determined for the Java executable
// of jvmHome(), from the cache or by running it, whether or not it was within the limits. Empty
// when none was determined (a JVM taken without a version check).
const char* chosenJavaVersion();

// Runs path with "-version" (at most kVersionRunLimitMs) and reads the version from its standard
// error output. False when it could not be run, did not end in time, ended with a non-zero code or
// printed no version.
bool runJavaVersion(const char* path, char* version, size_t capacity);

// Reads the text value name of an open registry key (an HKEY) into buffer. Texts may be stored
// with or without their terminator; one that does not fit the buffer, or a value of another type,
// is refused (false), never cut.
bool readRegistryText(void* key, const char* name, char* buffer, size_t capacity);

// The cache key of an executable: kVersionCacheKey and the path with every "\" written as "/".
bool registrySubkeyForPath(char* subkey, size_t capacity, const char* path);

}  // namespace jaunt
