#include "instancetext.h"

#include "boundedtext.h"
#include "cmdline.h"

namespace jaunt {

bool instanceName(char* destination, size_t capacity, const char* source) {
    bool complete = copyText(destination, capacity, source);
    for (char* p = destination; *p; ++p)
        if (*p == '\\') *p = '_';
    return complete;
}

std::u16string handOverText(const char16_t* commandLine) {
    std::u16string text = commandLineTail(commandLine);
    text += u'\n';
    return text;
}

namespace {

// Reads a decimal id of 1 to 10 digits that fits 32 bits; advances text past it.
bool readId(const char*& text, unsigned long* id) {
    unsigned long long value = 0;
    const char* start = text;
    while (*text >= '0' && *text <= '9' && text - start < 10) value = value * 10 + static_cast<unsigned>(*text++ - '0');
    if (text == start || (*text >= '0' && *text <= '9') || value > 0xffffffffull) return false;
    *id = static_cast<unsigned long>(value);
    return true;
}

// Whether text begins with lowerCase, ASCII letter case aside; advances text past it when it does.
bool skipWord(const char*& text, const char* lowerCase) {
    const char* at = text;
    for (; *lowerCase; ++at, ++lowerCase)
        if ((*at >= 'A' && *at <= 'Z' ? *at + ('a' - 'A') : *at) != *lowerCase) return false;
    text = at;
    return true;
}

}  // namespace

bool parseHandOverFileName(const char* name, unsigned long* first, unsigned long* writer) {
    unsigned long thread = 0;
    if (!skipWord(name, "jnt_p") || !readId(name, first) || *name++ != '_' || !readId(name, writer) ||
        *name++ != '_' || !readId(name, &thread))
        return false;
    const char* ending = name;
    return (skipWord(name, ".tmp") && *name == 0) || (skipWord(ending, ".part") && *ending == 0);
}

}  // namespace jaunt
