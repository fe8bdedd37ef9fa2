#include "pathtext.h"

#include <cstring>

namespace jaunt {

void collapseBackslashRuns(std::u16string* path) {
    if (path->size() < 2) return;
    std::u16string& text = *path;
    size_t kept = 1;  // the first unit is always kept
    for (size_t i = 1; i < text.size(); ++i) {
        bool bothBackslash = text[kept - 1] == u'\\' && text[i] == u'\\';
        if (bothBackslash && kept - 1 != 0)
            text[kept - 1] = text[i];
        else
            text[kept++] = text[i];
    }
    text.resize(kept);
}

bool isRelativePath(const char* path) {
    size_t length = std::strlen(path);
    if (length > 0 && path[0] == '"') {
        if (length <= 3) return true;
        ++path;
        --length;
    } else if (length <= 2) {
        return true;
    }
    if (path[1] == ':' && path[2] == '\\') return false;
    if (path[0] == '\\' && path[1] == '\\') return false;
    return true;
}

bool isDriveRoot(const char* path) {
    if (std::strlen(path) <= 1) return false;
    const char* rest = path + 1;
    return std::strcmp(rest, ":\\") == 0 || std::strcmp(rest, ":\\.") == 0 ||
           std::strcmp(rest, ":\\.\\.") == 0;
}

std::vector<std::string> splitList(const std::string& text, char separator) {
    std::vector<std::string> entries;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        if (end > start) entries.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    return true;
}

// How many characters from position on satisfy test.
size_t runOf(const std::string& text, size_t position, bool (*test)(char)) {
    size_t end = position;
    while (end < text.size() && test(text[end])) ++end;
    return end - position;
}

// Splits at the last backslash; false when there is none.
bool splitLast(const std::string& path, std::string* parent, std::string* name) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return false;
    *parent = path.substr(0, slash);
    *name = path.substr(slash + 1);
    return true;
}

}  // namespace

bool endsWithIgnoringCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && equalIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

bool isExtractionDirectoryName(const std::string& name) {
    if (name.size() < 3 || !equalIgnoringCase(name.substr(0, 3), "jnt")) return false;
    size_t hex = runOf(name, 3, isHexDigit);
    if (hex < 1 || hex > 8) return false;
    size_t position = 3 + hex;
    if (!equalIgnoringCase(name.substr(position, 8), ".tmp_dir")) return false;
    position += 8;
    size_t digits = runOf(name, position, isDigit);
    return digits >= 1 && digits <= 10 && position + digits == name.size();
}

bool isExtractionDirectoryPath(const std::string& path, const std::vector<std::string>& roots) {
    std::string parent, name;
    if (!splitLast(path, &parent, &name) || !isExtractionDirectoryName(name)) return false;
    for (const std::string& root : roots)
        if (!root.empty() && equalIgnoringCase(parent, root)) return true;
    return false;
}

bool isExtractedFilePath(const std::string& path, const std::vector<std::string>& roots) {
    std::string parent, name;
    if (!splitLast(path, &parent, &name) || name.empty() || name == "." || name == "..") return false;
    if (name.find_first_of("/:") != std::string::npos) return false;
    return isExtractionDirectoryPath(parent, roots);
}

}  // namespace jaunt

namespace jaunt {

namespace {

// The longest leading part of text, at most maxLength characters, that ends at an entry boundary
// (before a ";" or at the end of text).
std::string wholeEntries(const std::string& text, size_t maxLength) {
    if (text.size() <= maxLength) return text;
    size_t cut = text.rfind(';', maxLength);
    return cut == std::string::npos ? std::string() : text.substr(0, cut);
}

}  // namespace

std::string composePathValue(const std::string& prefix, const std::string& oldPath, size_t maxLength) {
    std::string value = wholeEntries(prefix, maxLength);
    if (!value.empty() && value.back() != ';') {
        if (value.size() + 1 > maxLength) return value;
        value += ';';
    }
    value += wholeEntries(oldPath, maxLength - value.size());
    return value;
}

}  // namespace jaunt
