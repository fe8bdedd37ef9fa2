#include "boundedtext.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace jaunt {

bool formatTextV(char* dst, size_t capacity, const char* format, va_list args) {
    if (capacity == 0) return false;
    int n = vsnprintf(dst, capacity, format, args);
    if (n < 0) {  // some runtimes report a cut this way, leaving the buffer unterminated
        dst[capacity - 1] = 0;
        return false;
    }
    return static_cast<size_t>(n) < capacity;
}

bool formatText(char* dst, size_t capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool whole = formatTextV(dst, capacity, format, args);
    va_end(args);
    return whole;
}

bool replaceFirst(char* text, size_t capacity, const char* placeholder, const char* value) {
    if (placeholder == nullptr || *placeholder == 0) return true;
    char* found = std::strstr(text, placeholder);
    if (found == nullptr) return true;
    std::string rest(found + std::strlen(placeholder));
    *found = 0;
    bool whole = appendText(text, capacity, value);
    return appendText(text, capacity, rest.c_str()) && whole;
}

}  // namespace jaunt
