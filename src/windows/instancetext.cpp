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

}  // namespace jaunt
