// Feeds arbitrary "-version" output to the version reader: it must never read or write past its
// buffers, and a version it finds must be a non-empty text without a double quote that stands
// right after one of the two prefixes on a line of the output.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "javaversion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the caller's buffer size, so that cutting is exercised too.
    size_t capacity = 1 + data[0] % 64;
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    char* version = new char[capacity];
    bool found = jaunt::parseVersionOutput(text.data(), text.size(), version, capacity);
    if (found) {
        size_t length = std::strlen(version);
        if (length == 0 || length >= capacity || length > jaunt::kVersionLineLimit) __builtin_trap();
        if (std::strchr(version, '"') != nullptr || std::strchr(version, '\n') != nullptr) __builtin_trap();
        std::string quoted = "\"" + std::string(version) + "\"";
        if (text.find("java version " + quoted) == std::string::npos &&
            text.find("openjdk version " + quoted) == std::string::npos)
            __builtin_trap();
        // The limits accept a version against itself as both bounds.
        if (!jaunt::isVersionAcceptable(version, version, version, true)) __builtin_trap();
        if (!jaunt::isVersionInRange(version, version, version)) __builtin_trap();
    }
    delete[] version;
    return 0;
}
