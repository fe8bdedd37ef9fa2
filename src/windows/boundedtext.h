// Bounded text helpers: every write into a fixed buffer goes through these. They never write past
// the capacity, always terminate the result (when the capacity is not zero), and return false when
// the text had to be cut.
#pragma once

#include <cstdarg>
#include <cstddef>

namespace jaunt {

// Size of the launcher's text buffers (bytes for narrow texts, UTF-16 units for wide ones),
// terminator included: the limit of every path, list, message and configuration value it handles.
constexpr size_t kTextSize = 8192;

template <typename Char>
size_t textLength(const Char* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// Copies at most count units of src (stopping at its terminator) to the end of dst.
template <typename Char>
bool appendTextN(Char* dst, size_t capacity, const Char* src, size_t count) {
    if (capacity == 0) return false;
    size_t used = 0;
    while (used < capacity && dst[used]) ++used;
    if (used == capacity) {  // not terminated: treat the whole buffer as text and cut it
        dst[capacity - 1] = 0;
        return false;
    }
    size_t i = 0;
    while (i < count && src[i]) {
        if (used + 1 >= capacity) {
            dst[used] = 0;
            return false;
        }
        dst[used++] = src[i++];
    }
    dst[used] = 0;
    return true;
}

template <typename Char>
bool appendText(Char* dst, size_t capacity, const Char* src) {
    return appendTextN(dst, capacity, src, static_cast<size_t>(-1));
}

template <typename Char>
bool copyTextN(Char* dst, size_t capacity, const Char* src, size_t count) {
    if (capacity == 0) return false;
    dst[0] = 0;
    return appendTextN(dst, capacity, src, count);
}

template <typename Char>
bool copyText(Char* dst, size_t capacity, const Char* src) {
    return copyTextN(dst, capacity, src, static_cast<size_t>(-1));
}

// printf-style formatting into a narrow buffer; false when the result was cut.
bool formatText(char* dst, size_t capacity, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
bool formatTextV(char* dst, size_t capacity, const char* format, va_list args);

// Replaces the first occurrence of placeholder in text (a buffer of capacity bytes) with value;
// further occurrences stay. The result is cut at the capacity; returns false when it was cut.
bool replaceFirst(char* text, size_t capacity, const char* placeholder, const char* value);

}  // namespace jaunt
