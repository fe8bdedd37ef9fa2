#include "cmdline.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLineTail, SkipsTheProgramNameQuotedOrNot) {
    EXPECT_STREQ(jaunt::commandLineTail("app.exe a b"), "a b");
    EXPECT_STREQ(jaunt::commandLineTail("  \"C:\\Program Files\\app.exe\"  \t x"), "x");
    EXPECT_STREQ(jaunt::commandLineTail("\"C:\\a b\\app.exe\"x y"), "x y");
    EXPECT_STREQ(jaunt::commandLineTail("app.exe\targ"), "arg");
    EXPECT_STREQ(jaunt::commandLineTail("app.exe"), "");
    EXPECT_STREQ(jaunt::commandLineTail("\"unterminated name"), "");
    EXPECT_STREQ(jaunt::commandLineTail(""), "");
}

TEST(CommandLineTail, TheWideProgramNameIgnoresApostrophesAndLosesItsQuotes) {
    const char16_t* line = u"C:\\Users\\O'Brien\\app.exe it's";
    EXPECT_EQ(jaunt::commandLineProgramName(line), u"C:\\Users\\O'Brien\\app.exe");
    EXPECT_EQ(std::u16string(jaunt::commandLineTail(line)), u"it's");
    line = u" \"C:\\O'Brien's files\\app.exe\"--open x";
    EXPECT_EQ(jaunt::commandLineProgramName(line), u"C:\\O'Brien's files\\app.exe");
    EXPECT_EQ(std::u16string(jaunt::commandLineTail(line)), u"--open x");
    EXPECT_EQ(jaunt::commandLineProgramName(u""), u"");
}

TEST(InternalSwitches, RebootIsTheWholeTailOnly) {
    EXPECT_TRUE(jaunt::isRebootRequest("__bkt_reboot"));
    EXPECT_FALSE(jaunt::isRebootRequest("__bkt_reboot x"));
    EXPECT_FALSE(jaunt::isRebootRequest("x __bkt_reboot"));
    EXPECT_FALSE(jaunt::isRebootRequest("__bkt_rebootx"));
}

TEST(InternalSwitches, QuietComparesTheFirstFifteenCharacters) {
    EXPECT_TRUE(jaunt::isQuietRequest("-q_bkt_internal"));
    EXPECT_TRUE(jaunt::isQuietRequest("-q_bkt_internal a b"));
    EXPECT_TRUE(jaunt::isQuietRequest("-q_bkt_internalXYZ"));
    EXPECT_FALSE(jaunt::isQuietRequest("-q_bkt_interna"));
    EXPECT_FALSE(jaunt::isQuietRequest(" -q_bkt_internal"));
}

}  // namespace
