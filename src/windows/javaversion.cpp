#include "javaversion.h"

#include <algorithm>
#include <cstring>

#include "boundedtext.h"

namespace jaunt {

namespace {

constexpr char kPickedUp[] = "Picked up ";
const char* const kVersionPrefixes[] = {"java version \"", "openjdk version \""};

bool startsWith(const char* text, size_t length, const char* prefix) {
    size_t prefixLength = std::strlen(prefix);
    return length >= prefixLength && std::memcmp(text, prefix, prefixLength) == 0;
}

bool endsWith(const char* text, size_t length, const char* suffix) {
    size_t suffixLength = std::strlen(suffix);
    return length >= suffixLength && std::memcmp(text + length - suffixLength, suffix, suffixLength) == 0;
}

// Compares the first count bytes of a and b as unsigned bytes, stopping at a terminator.
int compareBytes(const char* a, const char* b, size_t count) { return count == 0 ? 0 : std::strncmp(a, b, count); }

}  // namespace

bool parseVersionOutput(const char* text, size_t length, char* version, size_t capacity) {
    if (capacity > 0) version[0] = 0;
    length = static_cast<size_t>(std::find(text, text + length, '\0') - text);  // text ends at a NUL
    size_t position = 0;
    while (position < length) {
        size_t end = position;
        while (end < length && text[end] != '\n') ++end;
        const char* line = text + position;
        size_t lineLength = end - position;
        if (startsWith(line, lineLength, kPickedUp)) {
            position = end + 1;
            continue;
        }
        // The line as the line buffer holds it.
        if (lineLength > kVersionLineLimit) lineLength = kVersionLineLimit;
        for (const char* prefix : kVersionPrefixes) {
            if (!startsWith(line, lineLength, prefix)) continue;
            size_t start = std::strlen(prefix);
            const void* quote = std::memchr(line + start, '"', lineLength - start);
            if (quote == nullptr) return false;  // cut or unterminated: no version
            size_t versionLength = static_cast<size_t>(static_cast<const char*>(quote) - (line + start));
            if (versionLength == 0) return false;
            return copyTextN(version, capacity, line + start, versionLength);
        }
        return false;
    }
    return false;
}

bool isPrerelease(const char* version) {
    return std::strstr(version, "beta") != nullptr || std::strstr(version, "ea") != nullptr;
}

bool isVersionAcceptable(const char* version, const char* minimum, const char* maximum, bool allowPrerelease) {
    if (!allowPrerelease && isPrerelease(version)) return false;
    if (compareBytes(version, minimum, std::strlen(minimum)) < 0) return false;
    if (compareBytes(version, maximum, std::strlen(maximum)) > 0) return false;
    return true;
}

bool isVersionInRange(const char* name, const char* minimum, const char* maximum) {
    size_t nameLength = std::strlen(name);
    if (compareBytes(name, minimum, std::min(nameLength, std::strlen(minimum))) < 0) return false;
    if (compareBytes(name, maximum, std::min(nameLength, std::strlen(maximum))) > 0) return false;
    return true;
}

int compareVersions(const char* a, const char* b) { return std::strcmp(a, b); }

void sortVersionNames(std::vector<std::string>* names) {
    std::sort(names->begin(), names->end(),
              [](const std::string& a, const std::string& b) { return compareVersions(a.c_str(), b.c_str()) < 0; });
}

size_t executableDirectoryLength(const char* executable) {
    size_t length = std::strlen(executable);
    if (endsWith(executable, length, "javaw.exe")) return length - 9;
    if (endsWith(executable, length, "java.exe")) return length - 8;
    const char* separator = std::strrchr(executable, '\\');
    return separator == nullptr ? 0 : static_cast<size_t>(separator - executable) + 1;
}

bool jvmHomeForExecutable(const char* executable, char* home, size_t capacity) {
    bool whole = copyTextN(home, capacity, executable, executableDirectoryLength(executable));
    return appendText(home, capacity, "..") && whole;
}

bool guiExecutableFor(char* path, size_t capacity) {
    size_t length = textLength(path);
    if (endsWith(path, length, "javaw.exe") || !endsWith(path, length, ".exe")) return true;
    if (length + 2 > capacity) return false;
    path[length - 4] = 0;
    return appendText(path, capacity, "w.exe");
}

}  // namespace jaunt
