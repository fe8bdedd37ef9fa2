// Feeds arbitrary text to the search-sequence parser and the location-file reader. Every entry
// must come from a non-empty ";"-free piece of the text, and together the entries hold exactly the
// text's non-separator characters; a location never holds a line end or passes its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "searchsequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    std::string sequence = text.substr(0, text.find('\0'));
    size_t kept = 0;
    for (const jaunt::SearchEntry& entry : jaunt::parseSearchSequence(sequence.c_str())) {
        if (entry.letter == ';' || entry.letter == 0) __builtin_trap();
        if (entry.argument.find(';') != std::string::npos) __builtin_trap();
        kept += 1 + entry.argument.size();
        jaunt::isTriedInFallbackPass(entry);
    }
    size_t separators = 0;
    for (char c : sequence) separators += c == ';';
    if (kept + separators != sequence.size()) __builtin_trap();

    size_t capacity = 1 + (size > 0 ? data[0] % 32 : 0);
    char* location = new char[capacity];
    bool found = jaunt::locationFromFileText(text.data(), text.size(), location, capacity);
    if (found != (size > 0)) __builtin_trap();
    size_t length = std::strlen(location);
    if (length >= capacity) __builtin_trap();
    if (length > 0 && (location[length - 1] == '\r' || std::strchr(location, '\n') != nullptr)) __builtin_trap();
    if (std::memcmp(location, text.data(), length) != 0) __builtin_trap();
    delete[] location;
    return 0;
}
