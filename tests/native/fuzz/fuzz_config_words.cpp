// Feeds arbitrary text to the word translations of the configuration. Whatever jaunt accepts as a
// class-path or search word must translate into exactly one entry that the launcher's grammar
// reads back as meant (the build-time check of plain texts agrees).
#include <cstddef>
#include <cstdint>
#include <string>

#include "classpathtext.h"
#include "configwords.h"
#include "searchsequence.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    text = text.substr(0, text.find('\0'));
    bool optional = data[0] & 1;
    std::string entry, problem;
    if (jaunt::translateClassPathWord({text, optional}, &entry, &problem)) {
        auto parsed = jaunt::parseClassPathEntries(entry + ";");
        if (parsed.size() != 1 || !jaunt::isClassPathType(parsed[0].type) || parsed[0].mandatory == optional)
            __builtin_trap();
        if (!jaunt::classPathTextProblem(entry + ";").empty()) __builtin_trap();
    } else if (problem.empty()) {
        __builtin_trap();
    }
    entry.clear();
    problem.clear();
    if (jaunt::translateSearchWord(text, &entry, &problem)) {
        auto parsed = jaunt::parseSearchSequence((entry + ";").c_str());
        if (parsed.size() != 1 || !jaunt::isSearchLetter(parsed[0].letter)) __builtin_trap();
        if (!jaunt::searchSequenceTextProblem(entry).empty()) __builtin_trap();
    } else if (problem.empty()) {
        __builtin_trap();
    }
    jaunt::classPathTextProblem(text);
    jaunt::searchSequenceTextProblem(text);
    return 0;
}
