// The launcher's argument splitting rules, free of any platform call: only blanks (U+0020)
// separate, double and single quotes group, and there is no escape character.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

enum class SplitResult { Ok, UnterminatedQuote };

// Appends the arguments of text to list, in order. On an unterminated quote the arguments read
// before it stay in the list and UnterminatedQuote is returned.
SplitResult splitArgumentText(const std::u16string& text, std::vector<std::u16string>* list);

}  // namespace jaunt
