#include "searchsequence.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string entries(const char* sequence) {
    std::string text;
    for (const jaunt::SearchEntry& entry : jaunt::parseSearchSequence(sequence))
        text += std::string(1, entry.letter) + "[" + entry.argument + "]";
    return text;
}

TEST(SearchSequence, EntriesAreALetterAndTheRestOfTheEntry) {
    EXPECT_EQ(entries("R.\\.\\jre;Y;R.\\..;"), "R[.\\.\\jre]Y[]R[.\\..]");
    EXPECT_EQ(entries("EJAVA_HOME;S;Bc:\\jre"), "E[JAVA_HOME]S[]B[c:\\jre]");
    EXPECT_EQ(entries("A C:\\Program Files\\Java"), "A[ C:\\Program Files\\Java]") << "blanks stay";
}

TEST(SearchSequence, EmptyEntriesAddNothingAndUnknownLettersStay) {
    EXPECT_EQ(entries(""), "");
    EXPECT_EQ(entries(";;"), "");
    EXPECT_EQ(entries(";;;Y;;"), "Y[]");
    EXPECT_EQ(entries("Zfoo;rjre;y;\xc4x"), "Z[foo]r[jre]y[]\xc4[x]");
}

TEST(SearchSequence, AnOverlongArgumentIsKeptWhole) {
    std::string longArgument(9000, 'a');
    std::string sequence = "B" + longArgument + ";Y";
    auto list = jaunt::parseSearchSequence(sequence.c_str());
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].argument, longArgument);
    EXPECT_EQ(list[1].letter, 'Y');
}

TEST(SearchSequence, TheFallbackPassRetriesRelativeDirectoriesAndEveryB) {
    for (const char* absolute : {"C:\\jre", "\\\\server\\jre", "c:", "c:x", "\\\\"})
        EXPECT_TRUE(jaunt::isAbsoluteSearchArgument(absolute)) << absolute;
    for (const char* relative : {"jre", "\\x", "\\", "j", "", ".\\..", "/c:", "c/:"})
        EXPECT_FALSE(jaunt::isAbsoluteSearchArgument(relative)) << relative;

    auto tried = [](char letter, const char* argument) { return jaunt::isTriedInFallbackPass({letter, argument}); };
    EXPECT_TRUE(tried('A', "jre"));
    EXPECT_FALSE(tried('A', "C:\\jre"));
    EXPECT_FALSE(tried('A', "\\\\server\\jre"));
    EXPECT_TRUE(tried('R', ".\\.."));
    EXPECT_FALSE(tried('R', "c:\\jre"));
    EXPECT_TRUE(tried('B', "C:\\jre"));
    EXPECT_TRUE(tried('B', "jre"));
    for (char letter : {'E', 'S', 'Y', 'Z', 'a', 'b', 'r'}) EXPECT_FALSE(tried(letter, "jre")) << letter;
}

std::string location(const std::string& text, size_t capacity = 8192) {
    std::vector<char> buffer(capacity + 4, 'G');
    bool found = jaunt::locationFromFileText(text.data(), text.size(), buffer.data(), capacity);
    for (size_t i = capacity; i < capacity + 4; ++i) EXPECT_EQ(buffer[i], 'G') << "written past the buffer";
    return found ? "[" + std::string(buffer.data()) + "]" : "<none>";
}

TEST(LocationFile, TheFirstLineWithoutItsLineEnds) {
    EXPECT_EQ(location(""), "<none>");
    EXPECT_EQ(location("C:\\jre\n"), "[C:\\jre]");
    EXPECT_EQ(location("C:\\jre\r\r\n\nsecond\n"), "[C:\\jre]");
    EXPECT_EQ(location("C:\\jre"), "[C:\\jre]") << "no line end";
    EXPECT_EQ(location("\n"), "[]") << "a blank line is an empty location";
    EXPECT_EQ(location("\r\n"), "[]");
    EXPECT_EQ(location("  jre  \n"), "[  jre  ]") << "blanks are not line ends";
    EXPECT_EQ(location(std::string("a\0b\n", 4)), "[a]");
}

TEST(LocationFile, AHugeLineIsCutAtTheBuffer) {
    std::string huge(20000, 'x');
    EXPECT_EQ(location(huge), "[" + std::string(8191, 'x') + "]");
    EXPECT_EQ(location(huge + "\n", 16), "[" + std::string(15, 'x') + "]");
    // A line end beyond the buffer leaves the cut line as it is; one inside it is removed.
    EXPECT_EQ(location("abc\r\r\r", 5), "[abc]");
}

TEST(ProductVariable, EachFlavourHasItsOwn) {
    EXPECT_STREQ(jaunt::productJavaHomeVariable('e'), "JAUNT_JAVA_HOME");
    EXPECT_STREQ(jaunt::productJavaHomeVariable('i'), "BUNDLEKIT_JAVA_HOME");
    EXPECT_EQ(jaunt::productJavaHomeVariable('E'), nullptr);
    EXPECT_EQ(jaunt::productJavaHomeVariable(0), nullptr);
}

}  // namespace

namespace {

TEST(SearchSequence, OnlyTheSixUpperCaseLettersAreSearchLetters) {
    for (int c = -128; c < 128; ++c) {
        char letter = static_cast<char>(c);
        bool expected = letter != 0 && std::string("ABRESY").find(letter) != std::string::npos;
        EXPECT_EQ(jaunt::isSearchLetter(letter), expected) << c;
    }
}

}  // namespace
