// The log of the native JNI checks: every line goes to standard output, so the test can read it.
#include <cstdarg>
#include <cstdio>

#include "log.h"

namespace jaunt {

void logInfo(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("LOG: ", stdout);
    std::vfprintf(stdout, format, args);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    va_end(args);
}

void logError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::fputs("LOG: ERROR: ", stdout);
    std::vfprintf(stdout, format, args);
    std::fputs("\n", stdout);
    std::fflush(stdout);
    va_end(args);
}

const char* getLogPath() { return nullptr; }

}  // namespace jaunt
