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

// One component of a version. The kinds are ranked: a tag sorts below the end of a version, a
// number above it.
enum class Kind { Tag, End, Number };
struct Component {
    Kind kind;
    const char* text;
    size_t length;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isSeparator(char c) { return c == '.' || c == '_' || c == '-' || c == '+' || c == ' '; }

// The component at *cursor, which moves past it; at the end of the text every call gives End.
Component nextComponent(const char** cursor) {
    const char* p = *cursor;
    while (*p != 0 && isSeparator(*p)) ++p;
    const char* start = p;
    Kind kind = Kind::End;
    if (isDigit(*p)) {
        kind = Kind::Number;
        while (isDigit(*p)) ++p;
    } else if (*p != 0) {
        kind = Kind::Tag;
        while (*p != 0 && !isDigit(*p) && !isSeparator(*p)) ++p;
    }
    *cursor = p;
    return {kind, start, static_cast<size_t>(p - start)};
}

int sign(int value) { return (value > 0) - (value < 0); }

int compareComponents(Component a, Component b) {
    if (a.kind != b.kind) return a.kind < b.kind ? -1 : 1;
    if (a.kind == Kind::Number) {
        // By value, for numbers of any length: without leading zeros the longer one is greater.
        while (a.length > 0 && *a.text == '0') ++a.text, --a.length;
        while (b.length > 0 && *b.text == '0') ++b.text, --b.length;
        if (a.length != b.length) return a.length < b.length ? -1 : 1;
    }
    int bytes = std::memcmp(a.text, b.text, std::min(a.length, b.length));
    if (bytes != 0) return sign(bytes);
    return a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
}

// Compares a and b over their first count components (a missing component counts as the end).
int compareLeading(const char* a, const char* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        Component x = nextComponent(&a), y = nextComponent(&b);
        if (x.kind == Kind::End && y.kind == Kind::End) return 0;
        int order = compareComponents(x, y);
        if (order != 0) return order;
    }
    return 0;
}

size_t componentCount(const char* text) {
    size_t count = 0;
    while (nextComponent(&text).kind != Kind::End) ++count;
    return count;
}

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
    if (compareLeading(version, minimum, componentCount(minimum)) < 0) return false;
    if (compareLeading(version, maximum, componentCount(maximum)) > 0) return false;
    return true;
}

bool isVersionInRange(const char* name, const char* minimum, const char* maximum) {
    size_t nameCount = componentCount(name);
    if (compareLeading(name, minimum, std::min(nameCount, componentCount(minimum))) < 0) return false;
    if (compareLeading(name, maximum, std::min(nameCount, componentCount(maximum))) > 0) return false;
    return true;
}

int compareVersions(const char* a, const char* b) {
    int order = compareLeading(a, b, static_cast<size_t>(-1));
    return order != 0 ? order : sign(std::strcmp(a, b));
}

int javaFeatureVersion(const char* version) {
    const char* cursor = version;
    Component first = nextComponent(&cursor);
    if (first.kind != Kind::Number || first.text != version) return 0;
    Component feature = first;
    if (first.length == 1 && first.text[0] == '1' && *cursor == '.') {
        feature = nextComponent(&cursor);
        if (feature.kind != Kind::Number) return 0;
    }
    int value = 0;
    for (size_t i = 0; i < feature.length; ++i) {
        if (value > 100000) return 0;
        value = value * 10 + (feature.text[i] - '0');
    }
    return value;
}

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

std::vector<std::string> jvmLibraryCandidates(const char* executable, const char* preferredType) {
    std::string directory(executable, executableDirectoryLength(executable));
    std::vector<std::string> candidates;
    for (const std::string& bin : {directory, directory + "..\\jre\\bin\\"}) {
        if (preferredType[0] != 0) candidates.push_back(bin + preferredType + "\\jvm.dll");
        for (const char* type : kVmTypes) candidates.push_back(bin + type + "\\jvm.dll");
    }
    return candidates;
}

bool guiExecutableFor(char* path, size_t capacity) {
    size_t length = textLength(path);
    if (endsWith(path, length, "javaw.exe") || !endsWith(path, length, ".exe")) return true;
    if (length + 2 > capacity) return false;
    path[length - 4] = 0;
    return appendText(path, capacity, "w.exe");
}

}  // namespace jaunt
