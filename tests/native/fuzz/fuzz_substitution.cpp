// Feeds arbitrary texts and environments to the variable substitution: it must terminate, keep the
// limit, and leave a text without "%" or "$" unchanged.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "classpathtext.h"
#include "substitution.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The input is split at NUL bytes: the first part is the text, the others environment entries.
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            parts.emplace_back();
        else
            parts.back().push_back(static_cast<char>(data[i]));
    }
    std::string text = parts[0];
    std::vector<std::string> environment(parts.begin() + 1, parts.end());
    jaunt::LauncherVariableValues values{"c:\\app\\", "c:\\t\\x_dir1", "c:\\jre\\bin\\.."};
    const size_t limit = 512;
    std::string result = text;
    jaunt::substituteVariables(&result, values, environment, limit);
    if (result.size() > limit && result.size() > text.size()) __builtin_trap();
    if (text.find_first_of("%$") == std::string::npos && result != text) __builtin_trap();
    for (const jaunt::ClassPathEntry& entry : jaunt::parseClassPathEntries(result))
        if (entry.argument.find(';') != std::string::npos) __builtin_trap();
    return 0;
}
