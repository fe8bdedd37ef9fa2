// Narrow argument texts (the VM options of the table) pass through UTF-16 and back.
#include <gtest/gtest.h>

#include <string>

#include "arguments.h"
#include "boundedtext.h"

namespace {

TEST(NarrowArguments, SplitLikeWideTextsAndKeepEveryCharacter) {
    jaunt::NarrowArgumentList list;
    jaunt::splitNarrowArguments("\"-Dname=caf\xC3\xA9 au \xC5\x81\" -Xmx64m '-Dq=\"x\"'", &list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], "-Dname=caf\xC3\xA9 au \xC5\x81");  // UTF-8 "é" and "Ł", the latter outside code page 1252
    EXPECT_EQ(list[1], "-Xmx64m");
    EXPECT_EQ(list[2], "-Dq=\"x\"");
}

TEST(NarrowArguments, TextsBeyondTheBufferAreCutNotOverrun) {
    std::string text;
    while (text.size() < 3 * jaunt::kTextSize) text += "-Dabcdefgh=1 ";
    jaunt::NarrowArgumentList list;
    jaunt::splitNarrowArguments(text.c_str(), &list);
    size_t total = 0;
    for (const std::string& argument : list) total += argument.size() + 1;
    EXPECT_LE(total, jaunt::kTextSize);
    EXPECT_GT(list.size(), 500u);
    EXPECT_EQ(list.front(), "-Dabcdefgh=1");
}

TEST(WideArguments, TheProgramNameComesFirstWithoutItsQuotes) {
    jaunt::WideArgumentList list;
    jaunt::splitArguments(L"\"C:\\Program Files\\App\\app.exe\" \u00e9t\u00e9 'a b'", &list);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0], u"C:\\Program Files\\App\\app.exe");
    EXPECT_EQ(list[1], u"\u00e9t\u00e9");
    EXPECT_EQ(list[2], u"a b");
}

}  // namespace
