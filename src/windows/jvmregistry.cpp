#include "jvmregistry.h"

#include <windows.h>

#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "javaversion.h"
#include "versioncheck.h"
#include "wideapi.h"

namespace jaunt {

namespace {

bool readText(HKEY key, const char* name, char* buffer, size_t capacity) {
    return readRegistryText(key, name, buffer, capacity);
}

bool readTextAt(HKEY root, const char* keyName, const char* name, char* buffer, size_t capacity) {
    HKEY key;
    if (openKey(root, keyName, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool read = readText(key, name, buffer, capacity);
    RegCloseKey(key);
    return read;
}

// The names of every subkey, in enumeration order.
std::vector<std::string> subkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        std::string name;
        LONG status = enumKey(key, index, &name);
        if (status == ERROR_MORE_DATA) continue;  // a name longer than the buffer: not ours to use
        if (status != ERROR_SUCCESS) break;
        names.push_back(name);
    }
    return names;
}

// The Java executable of a home, checked like every JavaSoft candidate (no pre-releases).
bool checkHome(const char* home, char* path, size_t capacity, char* version, const char* minimum,
               const char* maximum) {
    if (!javaExeForHome(path, capacity, home)) return false;
    return checkJavaExe(path, capacity, version, kTextSize, minimum, maximum, false);
}

// The home directories listed under one distribution key of root, in enumeration order.
void collectDistributionHomes(HKEY root, const DistributionKey& source, std::vector<std::string>* homes) {
    HKEY base;
    if (openKey(root, source.key, KEY_READ, &base) != ERROR_SUCCESS) return;
    std::vector<std::string> names = subkeyNames(base);
    RegCloseKey(base);
    for (const std::string& name : names) {
        char keyName[kTextSize];
        if (!formatText(keyName, sizeof(keyName), "%s\\%s%s", source.key, name.c_str(), source.tail)) continue;
        char home[kTextSize];
        if (readTextAt(root, keyName, source.value, home, sizeof(home))) {
            homes->push_back(home);
            continue;
        }
        HKEY installation;
        if (!source.oneLevelBelow || openKey(root, keyName, KEY_READ, &installation) != ERROR_SUCCESS)
            continue;
        for (const std::string& below : subkeyNames(installation))
            if (readTextAt(installation, below.c_str(), source.value, home, sizeof(home))) homes->push_back(home);
        RegCloseKey(installation);
    }
}

bool choose(bool foundA, const char* pathA, const char* versionA, bool foundB, const char* pathB,
            const char* versionB, char* path, size_t capacity, char* version) {
    if (!foundA && !foundB) return false;
    bool takeA = foundA && (!foundB || compareVersions(versionA, versionB) > 0);
    copyText(path, capacity, takeA ? pathA : pathB);
    if (version != nullptr) copyText(version, kTextSize, takeA ? versionA : versionB);
    return true;
}

}  // namespace

bool findCurrentVersionJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum) {
    char jdk[kCurrentVersionSize];
    if (!readTextAt(HKEY_LOCAL_MACHINE, kJavaSoftJdkKey, "CurrentVersion", jdk, sizeof(jdk)) ||
        !isVersionInRange(jdk, minimum, maximum))
        jdk[0] = 0;
    char jre[kCurrentVersionSize];
    jre[0] = 0;
    if (getConfigInt(KEY_REQUIRE_JDK) == 0 &&
        (!readTextAt(HKEY_LOCAL_MACHINE, kJavaSoftJreKey, "CurrentVersion", jre, sizeof(jre)) ||
         !isVersionInRange(jre, minimum, maximum)))
        jre[0] = 0;

    char keyName[kTextSize];
    if (compareVersions(jdk, jre) > 0)
        formatText(keyName, sizeof(keyName), "%s\\%s", kJavaSoftJdkKey, jdk);
    else
        formatText(keyName, sizeof(keyName), "%s\\%s", kJavaSoftJreKey, jre);
    char home[kTextSize];
    if (!readTextAt(HKEY_LOCAL_MACHINE, keyName, "JavaHome", home, sizeof(home))) return false;
    return checkHome(home, path, capacity, version, minimum, maximum);
}

bool findNewestJavaSoftJvm(const char* javaSoftKey, char* path, size_t capacity, char* version,
                           const char* minimum, const char* maximum) {
    HKEY key;
    if (openKey(HKEY_LOCAL_MACHINE, javaSoftKey, KEY_READ, &key) != ERROR_SUCCESS) return false;
    std::vector<std::string> names;
    for (const std::string& name : subkeyNames(key))
        if (isVersionInRange(name.c_str(), minimum, maximum)) names.push_back(name);
    sortVersionNames(&names);
    bool found = false;
    for (auto name = names.rbegin(); name != names.rend() && !found; ++name) {
        HKEY versionKey;
        if (openKey(key, name->c_str(), KEY_READ, &versionKey) != ERROR_SUCCESS) continue;
        char home[kTextSize];
        bool read = readText(versionKey, "JavaHome", home, sizeof(home));
        RegCloseKey(versionKey);
        found = read && checkHome(home, path, capacity, version, minimum, maximum);
    }
    RegCloseKey(key);
    return found;
}

bool findJavaSoftJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum) {
    if (findCurrentVersionJvm(path, capacity, version, minimum, maximum)) return true;
    if (getConfigInt(KEY_REQUIRE_JDK) == 0 &&
        findNewestJavaSoftJvm(kJavaSoftJreKey, path, capacity, version, minimum, maximum))
        return true;
    return findNewestJavaSoftJvm(kJavaSoftJdkKey, path, capacity, version, minimum, maximum);
}

bool scanLocatedJvms(void* root, char* path, size_t capacity, char* version, const char* minimum,
                     const char* maximum) {
    version[0] = 0;
    HKEY key;
    if (openKey(static_cast<HKEY>(root), kLocatedJvmsKey, KEY_READ, &key) != ERROR_SUCCESS) return false;
    std::vector<std::string> names = subkeyNames(key);
    RegCloseKey(key);
    bool found = false;
    for (const std::string& name : names) {
        char candidate[kTextSize];
        if (!copyText(candidate, sizeof(candidate), name.c_str())) continue;
        for (char* p = candidate; *p; ++p)
            if (*p == '/') *p = '\\';
        char candidateVersion[kTextSize];
        if (!checkJavaExe(candidate, sizeof(candidate), candidateVersion, sizeof(candidateVersion), minimum, maximum,
                          true))
            continue;
        // Among equal versions the first one enumerated stays.
        if (found && compareVersions(candidateVersion, version) <= 0) continue;
        found = copyText(path, capacity, candidate);
        copyText(version, kTextSize, candidateVersion);
    }
    return found;
}

bool findLocatedJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum) {
    char userPath[kTextSize], userVersion[kTextSize];
    char machinePath[kTextSize], machineVersion[kTextSize];
    bool user = scanLocatedJvms(HKEY_CURRENT_USER, userPath, sizeof(userPath), userVersion, minimum, maximum);
    bool machine =
        scanLocatedJvms(HKEY_LOCAL_MACHINE, machinePath, sizeof(machinePath), machineVersion, minimum, maximum);
    // Equal versions go to the local machine.
    return choose(user, userPath, userVersion, machine, machinePath, machineVersion, path, capacity, version);
}

bool findDistributionJvm(char* path, size_t capacity, char* version, const char* minimum, const char* maximum) {
    version[0] = 0;
    bool jreWanted = getConfigInt(KEY_REQUIRE_JDK) == 0;
    std::vector<std::string> homes;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const DistributionKey& source : kDistributionKeys)
            if (jreWanted || !source.jre) collectDistributionHomes(root, source, &homes);
    bool found = false;
    for (const std::string& home : homes) {
        char candidate[kTextSize], candidateVersion[kTextSize];
        if (!checkHome(home.c_str(), candidate, sizeof(candidate), candidateVersion, minimum, maximum)) continue;
        // Among equal versions the first one listed stays.
        if (found && compareVersions(candidateVersion, version) <= 0) continue;
        found = copyText(path, capacity, candidate);
        copyText(version, kTextSize, candidateVersion);
    }
    return found;
}

bool findJvmInRegistry(char* path, size_t capacity, const char* minimum, const char* maximum) {
    char javaSoftPath[kTextSize], javaSoftVersion[kTextSize];
    char locatedPath[kTextSize], locatedVersion[kTextSize];
    char distributionPath[kTextSize], distributionVersion[kTextSize];
    char chosenPath[kTextSize], chosenVersion[kTextSize];
    bool javaSoft = findJavaSoftJvm(javaSoftPath, sizeof(javaSoftPath), javaSoftVersion, minimum, maximum);
    bool located = findLocatedJvm(locatedPath, sizeof(locatedPath), locatedVersion, minimum, maximum);
    bool distribution =
        findDistributionJvm(distributionPath, sizeof(distributionPath), distributionVersion, minimum, maximum);
    // Equal versions go to the located JVM, and from there to the older sources.
    bool chosen = choose(javaSoft, javaSoftPath, javaSoftVersion, located, locatedPath, locatedVersion, chosenPath,
                         sizeof(chosenPath), chosenVersion);
    return choose(distribution, distributionPath, distributionVersion, chosen, chosenPath, chosenVersion, path,
                  capacity, nullptr);
}

}  // namespace jaunt
