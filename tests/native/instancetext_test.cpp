// The single-instance guard's text rules: the instance name and the hand-over text.
#include "instancetext.h"

#include <gtest/gtest.h>

namespace {

TEST(InstanceText, NameAndHandOverText) {
    char name[16];
    EXPECT_TRUE(jaunt::instanceName(name, sizeof(name), "c:\\a b\\app.exe"));
    EXPECT_STREQ("c:_a b_app.exe", name);
    EXPECT_FALSE(jaunt::instanceName(name, sizeof(name), "c:\\programs\\app.exe"));
    EXPECT_STREQ("c:_programs_app", name);

    EXPECT_EQ(u"-open  a.txt\n", jaunt::handOverText(u"\"C:\\My App\\app.exe\" -open  a.txt"));
    EXPECT_EQ(u"\n", jaunt::handOverText(u"\"C:\\My App\\app.exe\""));
    EXPECT_EQ(u"\n", jaunt::handOverText(u"\"C:\\My App\\app.exe -open a.txt"));  // no closing quote
    // Quotes inside the arguments stay; an apostrophe in the program name means nothing.
    EXPECT_EQ(u"\"x y\" 'z'\n", jaunt::handOverText(u"C:\\O'Brien\\app.exe \"x y\" 'z'"));
}

}  // namespace
