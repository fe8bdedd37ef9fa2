#include "classpathtext.h"

#include <gtest/gtest.h>

namespace {

TEST(ClassPathEntries, TypeFlagAndArgument) {
    auto entries = jaunt::parseClassPathEntries("A0.\\.\\JavaClasses.jar;;S1lib;E0CLASSPATH;Dxclasses");
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].type, 'A');
    EXPECT_FALSE(entries[0].mandatory);
    EXPECT_EQ(entries[0].argument, ".\\.\\JavaClasses.jar");
    EXPECT_EQ(entries[1].type, 'S');
    EXPECT_TRUE(entries[1].mandatory);
    EXPECT_EQ(entries[1].argument, "lib");
    EXPECT_EQ(entries[2].argument, "CLASSPATH");
    EXPECT_FALSE(entries[3].mandatory);  // only "1" is mandatory
    EXPECT_EQ(entries[3].argument, "classes");
}

TEST(ClassPathEntries, ShortEntriesAndEmptyListsContributeNothing) {
    EXPECT_TRUE(jaunt::parseClassPathEntries("").empty());
    EXPECT_TRUE(jaunt::parseClassPathEntries(";;;").empty());
    auto entries = jaunt::parseClassPathEntries("A;A1;a0x.jar");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].argument, "");
    EXPECT_EQ(entries[1].type, 'a');
}

TEST(ClassPathValues, OnePairOfEnclosingQuotesGoes) {
    EXPECT_EQ(jaunt::unquoteClassPathValue("\"C:\\a.jar;C:\\b.jar\""), "C:\\a.jar;C:\\b.jar");
    EXPECT_EQ(jaunt::unquoteClassPathValue("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(jaunt::unquoteClassPathValue("\"C:\\a.jar"), "\"C:\\a.jar");
    EXPECT_EQ(jaunt::unquoteClassPathValue("\""), "\"");
    EXPECT_EQ(jaunt::unquoteClassPathValue("\"\""), "");
}

}  // namespace

namespace {

TEST(ClassPathEntries, OnlyUpperCaseADSEAreTypes) {
    for (int c = -128; c < 128; ++c) {
        char letter = static_cast<char>(c);
        bool expected = letter == 'A' || letter == 'D' || letter == 'S' || letter == 'E';
        EXPECT_EQ(jaunt::isClassPathType(letter), expected) << c;
    }
}

}  // namespace
