#include "argsplit.h"

#include <gtest/gtest.h>

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

}  // namespace
