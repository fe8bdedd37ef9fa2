// Feeds arbitrary UTF-16 text to the argument splitter and checks that no character outside the
// quotes is lost: the arguments hold exactly the non-blank, non-quote-delimiter characters.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "argsplit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    std::vector<std::u16string> list;
    jaunt::SplitResult result = jaunt::splitArgumentText(text, &list);
    if (result != jaunt::SplitResult::Ok) return 0;
    size_t inArguments = 0;
    for (const std::u16string& argument : list) inArguments += argument.size();
    // Every unit of text is either in an argument, a separating blank, or a quote character.
    if (inArguments > text.size()) __builtin_trap();
    size_t notBlankOrQuote = 0;
    for (char16_t c : text)
        if (c != u' ' && c != u'"' && c != u'\'') ++notBlankOrQuote;
    size_t argumentsNotBlankOrQuote = 0;
    for (const std::u16string& argument : list)
        for (char16_t c : argument)
            if (c != u' ' && c != u'"' && c != u'\'') ++argumentsNotBlankOrQuote;
    if (notBlankOrQuote != argumentsNotBlankOrQuote) __builtin_trap();
    return 0;
}
