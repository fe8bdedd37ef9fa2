#include "cds.h"

#include <windows.h>

#include <cstring>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "extraction.h"
#include "javaversion.h"
#include "jvmfeatures.h"
#include "log.h"
#include "paths.h"
#include "security.h"
#include "tempdir.h"
#include "jvmtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

constexpr char kClassPathOption[] = "-Djava.class.path=";

bool startsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

uint64_t hashText(uint64_t hash, const std::string& text) {
    return hashBytes(hash, text.c_str(), text.size() + 1);  // the terminator keeps neighbours apart
}

// What makes an archive fit: the class path with the size and time of each file on it, the options
// that are not system properties (heap, collector and other flags the archive records), the Java.
uint64_t archiveState(const std::vector<std::string>& options, const char* home, const char* version) {
    uint64_t hash = kHashStart;
    std::string classPath;
    for (const std::string& option : options) {
        bool isClassPath = startsWith(option, kClassPathOption);
        if (isClassPath) classPath = option.substr(sizeof(kClassPathOption) - 1);
        if (isClassPath || !startsWith(option, "-D")) hash = hashText(hash, option);
    }
    for (size_t start = 0; start < classPath.size();) {
        size_t end = classPath.find(';', start);
        if (end == std::string::npos) end = classPath.size();
        std::string element = classPath.substr(start, end - start);
        start = end + 1;
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (element.empty() || !fileAttributeData(element.c_str(), &data)) continue;
        DWORD facts[4] = {data.nFileSizeLow, data.nFileSizeHigh, data.ftLastWriteTime.dwLowDateTime,
                          data.ftLastWriteTime.dwHighDateTime};
        hash = hashBytes(hash, facts, sizeof(facts));
    }
    hash = hashText(hash, home);
    return hashText(hash, version);
}

// Removes the launcher's archives other than keep: made for an earlier application or Java, they
// would never be used again. One that a running JVM maps stays (the removal fails).
void removeOtherArchives(const char* directory, const std::string& prefix, const std::string& keep) {
    FoundFile found;
    HANDLE search = findFirstFile((std::string(directory) + "\\" + prefix + "*.jsa").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (keep == found.name) continue;
        std::string path = std::string(directory) + "\\" + found.name;
        if (deleteFile(path.c_str()))
            logInfo("Removed the earlier class-data archive %s", path.c_str());
        else
            logError("DeleteFileA(%s) failed: %lu", path.c_str(), static_cast<unsigned long>(GetLastError()));
    } while (findNextFile(search, &found));
    FindClose(search);
}

}  // namespace

bool cdsDirectory(char* directory, size_t size) {
    char base[kTextSize];
    DWORD length = environmentVariable("LOCALAPPDATA", base, sizeof(base));
    if (length > 0 && length < sizeof(base) && formatText(directory, size, "%s\\Jaunt\\cds", base)) {
        if (createPrivateDirectories(directory)) return true;
        logError("Class-data cache %s cannot be made: %lu", directory, static_cast<unsigned long>(GetLastError()));
    }
    tempDirectory(base, sizeof(base));
    length = static_cast<DWORD>(textLength(base));
    while (length > 0 && base[length - 1] == '\\') base[--length] = 0;
    if (formatText(directory, size, "%s\\Jaunt\\cds", base) && createPrivateDirectories(directory)) return true;
    logError("Class-data cache %s cannot be made: %lu", directory, static_cast<unsigned long>(GetLastError()));
    return false;
}

void appendCdsOptions(std::vector<std::string>* options, const char* home, const char* version) {
    if (getConfigInt(KEY_CDS) == 0) return;
    int feature = javaFeatureVersion(version);
    if (feature < 13) {
        logInfo("No class-data sharing: it needs Java 13 or later, this Java is %s",
                version[0] ? version : "of unknown version");
        return;
    }
    const char* extracted = extractionDirectory();
    for (const std::string& option : *options)
        if (extracted[0] != 0 && startsWith(option, kClassPathOption) && option.find(extracted) != std::string::npos) {
            logInfo("No class-data sharing: the class path holds archives extracted to %s, a new directory every run",
                    extracted);
            return;
        }
    char made[kTextSize];
    if (!cdsDirectory(made, sizeof(made))) return;
    std::string readable;
    if (!jvmReadablePath(made, &readable)) {
        logInfo("No class-data sharing: Java cannot read the path %s", made);
        return;
    }
    const char* directory = readable.c_str();
    uint64_t application = hashText(kHashStart, modulePath());
    std::string name = cdsArchiveName(application, archiveState(*options, home, version));
    std::string archive = std::string(directory) + "\\" + name;
    bool exists = pathExists(archive.c_str());
    if (!exists) removeOtherArchives(directory, name.substr(0, name.find('-') + 1), name);
    logInfo("Class-data archive %s (%s)", archive.c_str(), exists ? "exists" : "made by this run");
    for (const std::string& option : cdsOptions(feature, archive, exists)) options->push_back(option);
}

}  // namespace jaunt
