#include "configkeys.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(ConfigKeys, ListIsAscendingWithUniqueNumbersAndNames) {
    size_t count = 0;
    const jaunt::KeyInfo* keys = jaunt::allKeys(&count);
    ASSERT_GT(count, 60u);
    std::set<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) EXPECT_LT(keys[i - 1].number, keys[i].number) << keys[i].name;
        EXPECT_TRUE(names.insert(keys[i].name).second) << "duplicate name " << keys[i].name;
        EXPECT_EQ(jaunt::findKey(keys[i].number), &keys[i]);
        EXPECT_EQ(jaunt::findKeyByName(keys[i].name), &keys[i]);
    }
}

TEST(ConfigKeys, EveryKeyTheLauncherKnowsIsListed) {
    const int32_t expected[] = {101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 121, 122, 123, 124,
                                125, 126, 127, 128, 130, 131, 132, 133, 134, 135, 141, 142, 145, 146,
                                147, 149, 150, 151, 152, 153, 1000, 1001, 1002, 1003, 1004, 1005, 1006,
                                1007, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 2001, 2002, 2003,
                                2010, 2011, 2012, 10003, 10004, 10005, 10109, 10110,
                                10111, 10112, 10113, 10114, 10115, 10116, 10117, 10118, 10119, 10120,
                                10121, 10122};
    size_t count = 0;
    jaunt::allKeys(&count);
    EXPECT_EQ(count, sizeof(expected) / sizeof(expected[0]));
    for (int32_t number : expected) EXPECT_NE(jaunt::findKey(number), nullptr) << number;
    EXPECT_EQ(jaunt::findKey(129), nullptr);
    EXPECT_EQ(jaunt::findKeyByName("no.such_key"), nullptr);
}

TEST(ConfigKeys, KindsMatchHowTheLauncherReadsThem) {
    EXPECT_EQ(jaunt::findKey(jaunt::KEY_SPLASH_STATUS_COLOR)->kind, jaunt::KeyKind::Colour);
    EXPECT_EQ(jaunt::findKey(jaunt::KEY_EXECUTABLE_TYPE)->kind, jaunt::KeyKind::Number);
    EXPECT_EQ(jaunt::findKey(jaunt::KEY_SINGLE_INSTANCE)->kind, jaunt::KeyKind::Flag);
    EXPECT_EQ(jaunt::findKey(jaunt::MSG_INTERNAL_ERROR)->kind, jaunt::KeyKind::Text);
    // Keys only the build tool stores.
    for (int32_t number : {149, 150, 151, 153, 1012, 1013, 1014})
        EXPECT_FALSE(jaunt::findKey(number)->launcherReads) << number;
}

}  // namespace
