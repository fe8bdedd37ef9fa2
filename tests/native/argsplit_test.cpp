#include "argsplit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

using jaunt::SplitResult;
using List = std::vector<std::u16string>;

List split(const std::u16string& text) {
    List list;
    EXPECT_EQ(jaunt::splitArgumentText(text, &list), SplitResult::Ok) << "text did not split";
    return list;
}

TEST(SplitArguments, BlanksSeparateAndRunsOfBlanksMakeNoEmptyArguments) {
    EXPECT_EQ(split(u"a  b"), (List{u"a", u"b"}));
    EXPECT_EQ(split(u"  a b   "), (List{u"a", u"b"}));
    EXPECT_EQ(split(u""), List{});
    EXPECT_EQ(split(u"   "), List{});
}

TEST(SplitArguments, OnlyTheBlankSeparates) {
    EXPECT_EQ(split(u"a\tb"), (List{u"a\tb"}));
    EXPECT_EQ(split(u"a\nb c"), (List{u"a\nb", u"c"}));
    EXPECT_EQ(split(u"c:\\dir\\ x\\\"y z\""), (List{u"c:\\dir\\", u"x\\y z"}));  // no escapes
}

TEST(SplitArguments, QuotesGroupAndAreRemoved) {
    EXPECT_EQ(split(u"\"C:\\Program Files\\app.exe\" one two"),
              (List{u"C:\\Program Files\\app.exe", u"one", u"two"}));
    EXPECT_EQ(split(u"x 'y z' \"w v\""), (List{u"x", u"y z", u"w v"}));
    EXPECT_EQ(split(u"\"it's\" 'say \"hi\"'"), (List{u"it's", u"say \"hi\""}));
    EXPECT_EQ(split(u"\"\""), (List{u""}));
    EXPECT_EQ(split(u"a \"\" b"), (List{u"a", u"", u"b"}));
}

TEST(SplitArguments, TextAfterAClosingQuoteStartsANewArgument) {
    EXPECT_EQ(split(u"\"a\"b"), (List{u"a", u"b"}));
    EXPECT_EQ(split(u"'a'\"b c\"d"), (List{u"a", u"b c", u"d"}));
}

TEST(SplitArguments, AQuoteInsideAnArgumentKeepsTheTextBeforeIt) {
    EXPECT_EQ(split(u"-Dname=\"a b\" next"), (List{u"-Dname=a b", u"next"}));
    EXPECT_EQ(split(u"pre'x y'post z"), (List{u"prex y", u"post", u"z"}));
    // Every character outside the quotes appears exactly once.
    EXPECT_EQ(split(u"ab\"c\"d"), (List{u"abc", u"d"}));
}

TEST(SplitArguments, UnterminatedQuoteIsReportedAndKeepsEarlierArguments) {
    List list;
    EXPECT_EQ(jaunt::splitArgumentText(u"one \"two three", &list), SplitResult::UnterminatedQuote);
    EXPECT_EQ(list, (List{u"one"}));
    list.clear();
    EXPECT_EQ(jaunt::splitArgumentText(u"'", &list), SplitResult::UnterminatedQuote);
    list.clear();
    EXPECT_EQ(jaunt::splitArgumentText(u"a-\"b", &list), SplitResult::UnterminatedQuote);
}

TEST(SplitArguments, NonAsciiUnitsPassThroughUnchanged) {
    EXPECT_EQ(split(u"\u00e9t\u00e9 \u4e2d\u6587 \"\U0001F600 x\""), (List{u"\u00e9t\u00e9", u"\u4e2d\u6587", u"\U0001F600 x"}));
}

TEST(SplitArguments, AppendsToAnExistingList) {
    List list{u"first"};
    EXPECT_EQ(jaunt::splitArgumentText(u"second", &list), SplitResult::Ok);
    EXPECT_EQ(list, (List{u"first", u"second"}));
}

// The cases shared with the runtime library's splitter (tests/data/argsplit-cases.txt; the format
// is described there): both sides must split every one of them alike.
std::u16string unescape(const std::string& escaped) {
    std::u16string text;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\') {
            text.push_back(static_cast<char16_t>(static_cast<unsigned char>(escaped[i])));
        } else if (escaped.compare(i, 2, "\\\\") == 0) {
            text.push_back(u'\\');
            ++i;
        } else if (escaped.compare(i, 2, "\\u") == 0 && i + 6 <= escaped.size()) {
            unsigned long unit = std::stoul(escaped.substr(i + 2, 4), nullptr, 16);
            text.push_back(static_cast<char16_t>(unit));
            i += 5;
        } else {
            ADD_FAILURE() << "unknown escape in " << escaped;
        }
    }
    return text;
}

// "[a] [b c]" to a, b c; a bracket ends at the first ] that is not part of an escape.
List bracketedArguments(const std::string& value) {
    List list;
    size_t p = 0;
    while (p < value.size()) {
        if (value[p] != '[') {
            ADD_FAILURE() << "expected [ at " << p << " in " << value;
            break;
        }
        size_t end = p + 1;
        while (end < value.size() && value[end] != ']') end += value[end] == '\\' ? 2 : 1;
        list.push_back(unescape(value.substr(p + 1, end - p - 1)));
        p = end + 1;
        if (p < value.size() && value[p] == ' ') ++p;
    }
    return list;
}

TEST(SplitArguments, SharedCasesSplitLikeTheRuntimeLibrary) {
    std::ifstream in(JAUNT_ARGSPLIT_CASES);
    ASSERT_TRUE(in) << "cannot open " << JAUNT_ARGSPLIT_CASES;
    int cases = 0;
    std::string line;
    std::string text;
    bool haveText = false;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        size_t blank = line.find(' ');
        std::string key = line.substr(0, blank);
        std::string value = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        if (key == "text") {
            text = value;
            haveText = true;
            continue;
        }
        ASSERT_TRUE(haveText) << "a result without its text: " << line;
        ASSERT_TRUE(key == "args" || key == "unterminated") << line;
        List list;
        SplitResult expected = key == "args" ? SplitResult::Ok : SplitResult::UnterminatedQuote;
        EXPECT_EQ(jaunt::splitArgumentText(unescape(text), &list), expected) << "text " << text;
        EXPECT_EQ(list, bracketedArguments(value)) << "text " << text;
        haveText = false;
        ++cases;
    }
    EXPECT_GE(cases, 10);
}

}  // namespace
