// Installed Java found through the registry: the JavaSoft keys of the local machine
// ("CurrentVersion" and one subkey per version with "JavaHome"), the located-JVM lists under
// SOFTWARE\loomwright\jaunt\locatedjvms\ of the current user and the local machine (one subkey per
// Java executable, "\" written as "/"), and the keys that the installers of current distributions
// write (kDistributionKeys). Every candidate is checked with checkJavaExe. Keys are read in the
// registry view of the launcher's own bitness (the default view), so a 32-bit launcher on 64-bit
// Windows sees the installations made for 32-bit programs.
#pragma once

#include <cstddef>

namespace jaunt {

constexpr const char* kJavaSoftJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr const char* kJavaSoftJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr const char* kLocatedJvmsKey = "SOFTWARE\\loomwright\\jaunt\\locatedjvms\\";
// A registry key where installers of current distributions list their installations: one subkey
// per installation (its name usually the version) holding the home directory in a text value,
// either in the subkey itself or, with a tail, in that key below it. oneLevelBelow also accepts the
// value one key further down (layouts that public reports describe differently). jre marks keys
// that list runtimes without a JDK, which are not consulted when a JDK is required (key 131).
struct DistributionKey {
    const char* key;
    const char* tail;
    const char* value;
    bool jre;
    bool oneLevelBelow;
};
// In the order in which they are read, first under HKEY_LOCAL_MACHINE, then HKEY_CURRENT_USER.
constexpr DistributionKey kDistributionKeys[] = {
    {"SOFTWARE\\JavaSoft\\JRE", "", "JavaHome", true, false},
    {"SOFTWARE\\JavaSoft\\JDK", "", "JavaHome", false, false},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "\\hotspot\\MSI", "Path", true, false},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "\\hotspot\\MSI", "Path", false, false},
    {"SOFTWARE\\Eclipse Foundation\\JRE", "\\hotspot\\MSI", "Path", true, false},
    {"SOFTWARE\\Eclipse Foundation\\JDK", "\\hotspot\\MSI", "Path", false, false},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "\\hotspot\\MSI", "Path", true, false},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "\\hotspot\\MSI", "Path", false, false},
    {"SOFTWARE\\Microsoft\\JDK", "\\hotspot\\MSI", "Path", false, false},
    {"SOFTWARE\\Azul Systems\\Zulu", "", "InstallationPath", false, true},
    {"SOFTWARE\\BellSoft\\Liberica", "", "InstallationPath", false, true},
};

// "CurrentVersion" is read into a buffer of this size.
constexpr size_t kCurrentVersionSize = 100;

// The Java executable of the best of the JavaSoft, the located-JVM and the distribution results
// into path (capacity bytes): the newest version wins; between JavaSoft and located JVMs equal
// versions go to the located JVM, and a distribution's installation must be strictly newer than
// both.
bool findJvmInRegistry(char* path, size_t capacity, const char* minimum, const char* maximum);

// Each fills path (capacity bytes) and version (kTextSize bytes) and tells whether it found one.
bool findJavaSoftJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
bool findCurrentVersionJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
bool findNewestJavaSoftJvm(const char* javaSoftKey, char* path, size_t capacity, char* version,
                           const char* minimum, const char* maximum);
bool findLocatedJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
// Every installation listed in kDistributionKeys, checked like the JavaSoft candidates (no
// pre-releases unless key 130): the newest acceptable one, the first listed among equals.
bool findDistributionJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum);
// root is an HKEY (HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE).
bool scanLocatedJvms(void* root, char* path, size_t capacity, char* version, const char* minimum,
                     const char* maximum);

}  // namespace jaunt
