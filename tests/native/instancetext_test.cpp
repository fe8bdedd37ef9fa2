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

TEST(InstanceText, HandOverFileNames) {
    unsigned long first = 0, writer = 0;
    EXPECT_TRUE(jaunt::parseHandOverFileName("jnt_p42_1234_5678.tmp", &first, &writer));
    EXPECT_EQ(42ul, first);
    EXPECT_EQ(1234ul, writer);
    EXPECT_TRUE(jaunt::parseHandOverFileName("JNT_P4294967295_0_1.Part", &first, &writer));
    EXPECT_EQ(4294967295ul, first);
    for (const char* other : {"jnt_p4294967296_1_1.tmp", "jnt_p00000000001_1_1.tmp", "jnt_p42.tmp", "jnt_p42_1.tmp",
                              "jnt_p42_1_2.tmp.part", "jnt_p42_1_2", "jnt_p_1_2.tmp", "jnt_p42_-1_2.tmp",
                              "xjnt_p42_1_2.tmp", "jnt_p42_1_2.tm"})
        EXPECT_FALSE(jaunt::parseHandOverFileName(other, &first, &writer)) << other;
}

}  // namespace
