// Feeds arbitrary "-version" output to the version reader: it must never read or write past its
// buffers, and a version it finds must be a non-empty text without a double quote that stands
// right after one of the two prefixes on a line of the output. The same bytes, cut into three
// texts, must be ordered consistently: antisymmetric, transitive, equal only when identical, and
// in agreement with the limits.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

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

    // Three versions, separated by NUL bytes in the input.
    std::vector<std::string> texts(3);
    size_t start = 0;
    for (std::string& piece : texts) {
        size_t end = std::min(text.find('\0', start), text.size());
        if (start < text.size()) piece = text.substr(start, end - start);
        start = end + 1;
    }
    auto sign = [](int value) { return (value > 0) - (value < 0); };
    for (const std::string& a : texts) {
        for (const std::string& b : texts) {
            int ab = jaunt::compareVersions(a.c_str(), b.c_str());
            if (sign(ab) != -sign(jaunt::compareVersions(b.c_str(), a.c_str()))) __builtin_trap();
            if ((ab == 0) != (a == b)) __builtin_trap();
            // a not above b: b as a maximum accepts a, and a as a minimum accepts b.
            if (ab <= 0 && !jaunt::isVersionAcceptable(a.c_str(), "", b.c_str(), true)) __builtin_trap();
            if (ab <= 0 && !jaunt::isVersionAcceptable(b.c_str(), a.c_str(), "", true)) __builtin_trap();
            for (const std::string& c : texts)
                if (ab < 0 && jaunt::compareVersions(b.c_str(), c.c_str()) < 0 &&
                    jaunt::compareVersions(a.c_str(), c.c_str()) >= 0)
                    __builtin_trap();
        }
    }
    jaunt::sortVersionNames(&texts);
    return 0;
}
