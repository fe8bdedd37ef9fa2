#include "argsplit.h"

namespace jaunt {

namespace {

constexpr char16_t kBlank = u' ';
constexpr char16_t kDoubleQuote = u'"';
constexpr char16_t kSingleQuote = u'\'';

}  // namespace

SplitResult splitArgumentText(const std::u16string& text, std::vector<std::u16string>* list) {
    const size_t npos = std::u16string::npos;
    size_t p = 0;
    while (p < text.size()) {
        if (text[p] == kBlank) {  // runs of blanks never make empty arguments
            ++p;
            continue;
        }
        size_t blank = text.find(kBlank, p);
        size_t dq = text.find(kDoubleQuote, p);
        size_t sq = text.find(kSingleQuote, p);
        size_t firstQuote = dq < sq ? dq : sq;

        if (firstQuote == npos || (blank != npos && blank < firstQuote)) {
            // A plain argument up to the next blank, or the rest of the text.
            size_t end = blank == npos ? text.size() : blank;
            list->push_back(text.substr(p, end - p));
            p = blank == npos ? text.size() : blank + 1;
            continue;
        }

        // A quoted part. Usually the argument begins with its quote; when it does not (an option
        // whose value alone is quoted, such as -Dname="a b"), the unquoted text before the quote
        // is kept as the start of the argument, so no character outside the quotes is lost.
        char16_t quote = text[firstQuote];
        size_t close = text.find(quote, firstQuote + 1);
        if (close == npos) return SplitResult::UnterminatedQuote;
        std::u16string argument = text.substr(p, firstQuote - p);
        argument.append(text, firstQuote + 1, close - firstQuote - 1);
        list->push_back(std::move(argument));
        // Text right after the closing quote starts a new argument; one blank after it is skipped.
        p = close + 1;
        if (p < text.size() && text[p] == kBlank) ++p;
    }
    return SplitResult::Ok;
}

}  // namespace jaunt
