// Installed Java found through the registry: the JavaSoft keys of the local machine
// ("CurrentVersion" and one subkey per version with "JavaHome") and the located-JVM lists under
// SOFTWARE\loomwright\jaunt\locatedjvms\ of the current user and the local machine (one subkey per
// Java executable, "\" written as "/"). Every candidate is checked with checkJavaExe.
#pragma once

#include <cstddef>

namespace jaunt {

constexpr const char* kJavaSoftJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr const char* kJavaSoftJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr const char* kLocatedJvmsKey = "SOFTWARE\\loomwright\\jaunt\\locatedjvms\\";
// "CurrentVersion" is read into a buffer of this size.
constexpr size_t kCurrentVersionSize = 100;

// The Java executable of the better of the JavaSoft and the located-JVM results into path
// (capacity bytes); equal versions go to the located JVM.
bool findJvmInRegistry(char* path, size_t capacity, const char* minimum, const char* maximum);

// Each fills path (capacity bytes) and version (kTextSize bytes) and tells whether it found one.
bool findJavaSoftJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
bool findCurrentVersionJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
bool findNewestJavaSoftJvm(const char* javaSoftKey, char* path, size_t capacity, char* version,
                           const char* minimum, const char* maximum);
bool findLocatedJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
// root is an HKEY (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
bool scanLocatedJvms(void* root, char* path, size_t capacity, char* version, const char* minimum,
                     const char* maximum);

}  // namespace jaunt
