#include "searchsequence.h"

#include <cstring>

#include "boundedtext.h"
#include "pathtext.h"

namespace jaunt {

std::vector<SearchEntry> parseSearchSequence(const char* sequence) {
    std::vector<SearchEntry> entries;
    for (const std::string& item : splitList(sequence, ';')) entries.push_back({item[0], item.substr(1)});
    return entries;
}

bool isSearchLetter(char letter) { return letter != 0 && std::strchr("ABRESY", letter) != nullptr; }

bool isAbsoluteSearchArgument(const char* argument) {
    size_t length = std::strlen(argument);
    if (length < 2) return false;
    return argument[1] == ':' || (argument[0] == '\\' && argument[1] == '\\');
}

bool isTriedInFallbackPass(const SearchEntry& entry) {
    switch (entry.letter) {
    case 'B':
        return true;
    case 'A':
    case 'R':
        return !isAbsoluteSearchArgument(entry.argument.c_str());
    default:
        return false;
    }
}

bool locationFromFileText(const char* text, size_t length, char* location, size_t capacity) {
    if (capacity > 0) location[0] = 0;
    if (length == 0) return false;
    size_t lineLength = 0;
    while (lineLength < length && text[lineLength] != '\n' && text[lineLength] != 0) ++lineLength;
    copyTextN(location, capacity, text, lineLength);
    size_t kept = textLength(location);
    while (kept > 0 && (location[kept - 1] == '\r' || location[kept - 1] == '\n')) location[--kept] = 0;
    return true;
}

const char* productJavaHomeVariable(char flavour) {
    if (flavour == 'e') return "JAUNT_JAVA_HOME";
    if (flavour == 'i') return "BUNDLEKIT_JAVA_HOME";
    return nullptr;
}

}  // namespace jaunt
