#include "boundedtext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// Buffers are placed inside a larger array filled with a guard byte, to show that nothing is
// written past the capacity.
struct Guarded {
    char bytes[32];
    Guarded() { std::memset(bytes, 'G', sizeof(bytes)); }
    char* buffer() { return bytes + 8; }
    bool guardsIntact(size_t capacity) const {
        for (size_t i = 0; i < 8; ++i)
            if (bytes[i] != 'G') return false;
        for (size_t i = 8 + capacity; i < sizeof(bytes); ++i)
            if (bytes[i] != 'G') return false;
        return true;
    }
};

TEST(BoundedText, CopyCutsAtTheCapacityAndSaysSo) {
    Guarded g;
    EXPECT_TRUE(jaunt::copyText(g.buffer(), 6, "hello"));
    EXPECT_STREQ(g.buffer(), "hello");
    EXPECT_FALSE(jaunt::copyText(g.buffer(), 6, "hello!"));
    EXPECT_STREQ(g.buffer(), "hello");
    EXPECT_TRUE(g.guardsIntact(6));
    EXPECT_FALSE(jaunt::copyText(g.buffer(), 1, "x"));
    EXPECT_STREQ(g.buffer(), "");
    EXPECT_TRUE(g.guardsIntact(6));
}

TEST(BoundedText, AppendFillsToTheLastByte) {
    Guarded g;
    jaunt::copyText(g.buffer(), 8, "abc");
    EXPECT_TRUE(jaunt::appendText(g.buffer(), 8, "defg"));
    EXPECT_STREQ(g.buffer(), "abcdefg");
    EXPECT_FALSE(jaunt::appendText(g.buffer(), 8, "h"));
    EXPECT_STREQ(g.buffer(), "abcdefg");
    EXPECT_TRUE(g.guardsIntact(8));
}

TEST(BoundedText, AppendToAnUnterminatedBufferTerminatesIt) {
    Guarded g;
    std::memset(g.buffer(), 'x', 4);
    EXPECT_FALSE(jaunt::appendText(g.buffer(), 4, "y"));
    EXPECT_EQ(std::strlen(g.buffer()), 3u);
    EXPECT_TRUE(g.guardsIntact(4));
}

TEST(BoundedText, WideTextsUseTheSameRules) {
    char16_t buffer[4];
    EXPECT_FALSE(jaunt::copyText(buffer, 4, u"wxyz"));
    EXPECT_EQ(std::u16string(buffer), u"wxy");
}

TEST(BoundedText, FormatCutsAndReportsIt) {
    Guarded g;
    EXPECT_TRUE(jaunt::formatText(g.buffer(), 10, "%s-%d", "ab", 42));
    EXPECT_STREQ(g.buffer(), "ab-42");
    EXPECT_FALSE(jaunt::formatText(g.buffer(), 10, "%s", "0123456789"));
    EXPECT_STREQ(g.buffer(), "012345678");
    EXPECT_TRUE(g.guardsIntact(10));
}

TEST(ReplaceFirst, ReplacesOnlyTheFirstOccurrence) {
    char text[64] = "code %ERROR_CODE% and %ERROR_CODE%";
    EXPECT_TRUE(jaunt::replaceFirst(text, sizeof(text), "%ERROR_CODE%", "16"));
    EXPECT_STREQ(text, "code 16 and %ERROR_CODE%");
}

TEST(ReplaceFirst, MissingPlaceholderLeavesTheTextAlone) {
    char text[32] = "An internal error";
    EXPECT_TRUE(jaunt::replaceFirst(text, sizeof(text), "%ERROR_CODE%", "16"));
    EXPECT_STREQ(text, "An internal error");
}

TEST(ReplaceFirst, ValueMayContainThePlaceholderAndTheResultIsCutAtCapacity) {
    char text[16] = "[%X%]";
    EXPECT_TRUE(jaunt::replaceFirst(text, sizeof(text), "%X%", "%X%%X%"));
    EXPECT_STREQ(text, "[%X%%X%]");
    char small[8] = "a%V%b";
    EXPECT_FALSE(jaunt::replaceFirst(small, sizeof(small), "%V%", "0123456789"));
    EXPECT_STREQ(small, "a012345");
}

}  // namespace
