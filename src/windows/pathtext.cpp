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
