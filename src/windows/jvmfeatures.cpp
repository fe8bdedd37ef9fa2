#include "jvmfeatures.h"

namespace jaunt {

namespace {

bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$';
}
bool isIdentifierPart(char c) { return isIdentifierStart(c) || (c >= '0' && c <= '9'); }

// A dotted name: identifiers separated by single dots.
bool isDottedName(const std::string& text, size_t begin, size_t end) {
    bool atStart = true;
    for (size_t i = begin; i < end; ++i) {
        char c = text[i];
        if (c == '.') {
            if (atStart) return false;
            atStart = true;
        } else if (atStart ? isIdentifierStart(c) : isIdentifierPart(c)) {
            atStart = false;
        } else {
            return false;
        }
    }
    return !atStart;
}

}  // namespace

bool isModulePackage(const std::string& item) {
    size_t slash = item.find('/');
    return slash != std::string::npos && isDottedName(item, 0, slash) &&
           isDottedName(item, slash + 1, item.size());
}

std::vector<std::string> moduleFlagItems(const char* text) {
    std::vector<std::string> items;
    std::string item;
    for (const char* p = text;; ++p) {
        if (*p == ' ' || *p == '\t' || *p == 0) {
            if (!item.empty()) items.push_back(item);
            item.clear();
            if (*p == 0) break;
        } else {
            item += *p;
        }
    }
    return items;
}

std::vector<std::string> moduleOptions(int feature, const char* opens, const char* exports, bool nativeAccess) {
    std::vector<std::string> options;
    if (feature < 9) return options;
    for (const std::string& item : moduleFlagItems(opens))
        if (isModulePackage(item)) options.push_back("--add-opens=" + item + "=ALL-UNNAMED");
    for (const std::string& item : moduleFlagItems(exports))
        if (isModulePackage(item)) options.push_back("--add-exports=" + item + "=ALL-UNNAMED");
    if (nativeAccess && feature >= 17) options.push_back("--enable-native-access=ALL-UNNAMED");
    return options;
}

std::vector<std::string> cdsOptions(int feature, const std::string& archive, bool archiveExists) {
    // The JVM reports what it leaves out of an archive, and an archive it cannot use, on the
    // application's standard output; sharing is the launcher's choice, so its messages stay quiet.
    if (feature >= 19) return {"-Xlog:cds*=off", "-XX:+AutoCreateSharedArchive", "-XX:SharedArchiveFile=" + archive};
    if (feature >= 13)
        return {"-Xlog:cds*=off", (archiveExists ? "-XX:SharedArchiveFile=" : "-XX:ArchiveClassesAtExit=") + archive};
    return {};
}

uint64_t hashBytes(uint64_t hash, const void* data, size_t length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < length; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::string cdsArchiveName(uint64_t application, uint64_t state) {
    std::string name;
    for (uint64_t value : {application, state}) {
        if (!name.empty()) name += '-';
        for (int shift = 60; shift >= 0; shift -= 4) name += "0123456789abcdef"[(value >> shift) & 0xF];
    }
    return name + ".jsa";
}

}  // namespace jaunt
