#include "cmdline.h"

#include <cstring>

namespace jaunt {

namespace {

// Finds the program name: *begin and *end enclose it without quotes; the result is where the tail
// starts.
template <typename Char>
const Char* skipProgramName(const Char* p, const Char** begin, const Char** end) {
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '"') {
        *begin = ++p;
        while (*p && *p != '"') ++p;
        *end = p;
        if (*p == '"') ++p;
    } else {
        *begin = p;
        while (*p && *p != ' ' && *p != '\t') ++p;
        *end = p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

}  // namespace

const char* commandLineTail(const char* commandLine) {
    const char *begin, *end;
    return skipProgramName(commandLine, &begin, &end);
}

const char16_t* commandLineTail(const char16_t* commandLine) {
    const char16_t *begin, *end;
    return skipProgramName(commandLine, &begin, &end);
}

std::u16string commandLineProgramName(const char16_t* commandLine) {
    const char16_t *begin, *end;
    skipProgramName(commandLine, &begin, &end);
    return std::u16string(begin, end);
}

bool isRebootRequest(const char* tail) { return std::strcmp(tail, "__bkt_reboot") == 0; }

bool isQuietRequest(const char* tail) { return std::strncmp(tail, "-q_bkt_internal", 15) == 0; }

}  // namespace jaunt
