#include "substitution.h"

#include <gtest/gtest.h>

namespace {

jaunt::LauncherVariableValues values() {
    return jaunt::LauncherVariableValues{"c:\\progra~1\\myapp\\", "c:\\temp\\jnt1a.tmp_dir42", "C:\\jre\\bin\\.."};
}

std::string substituted(std::string text, const std::vector<std::string>& environment = {}, size_t limit = 8191) {
    jaunt::substituteVariables(&text, values(), environment, limit);
    return text;
}

TEST(LauncherVariables, BothSpellingsAndBothProductNames) {
    EXPECT_EQ(substituted("%JAUNT_EXEDIR%lib\\app.jar"), "c:\\progra~1\\myapp\\lib\\app.jar");
    EXPECT_EQ(substituted("${BUNDLEKIT_EXEDIR}\\lib"), "c:\\progra~1\\myapp\\\\lib");
    EXPECT_EQ(substituted("${JAUNT_TEMPDIR}|%BUNDLEKIT_TEMPDIR%"), "c:\\temp\\jnt1a.tmp_dir42|c:\\temp\\jnt1a.tmp_dir42");
    EXPECT_EQ(substituted("a%JAUNT_PATHLIST_SEPARATOR%b${BUNDLEKIT_PATHLIST_SEPARATOR}c"), "a;b;c");
    EXPECT_EQ(substituted("%JAUNT_JVM_HOME%\\lib\\tools.jar"), "C:\\jre\\bin\\..\\lib\\tools.jar");
    EXPECT_EQ(substituted("%jaunt_exedir% %JAUNT_EXEDIR"), "%jaunt_exedir% %JAUNT_EXEDIR");  // case and form exact
}

TEST(LauncherVariables, AnEmptyExtractionDirectoryReadsAsEmptyText) {
    std::string text = "[${JAUNT_TEMPDIR}]";
    jaunt::LauncherVariableValues none = values();
    none.extractionDirectory.clear();
    jaunt::substituteVariables(&text, none, {}, 8191);
    EXPECT_EQ(text, "[]");
}

TEST(EnvironmentReferences, FoundUnderTheStoredCaseAndUpperCaseOnly) {
    std::vector<std::string> environment = {"Foo=bar"};
    EXPECT_EQ(substituted("${Foo} ${FOO} ${foo} %Foo% $Foo", environment), "bar bar ${foo} %Foo% $Foo");
    EXPECT_EQ(substituted("${MISSING} %PATH%", {"PATH=C:\\x"}), "${MISSING} %PATH%");
}

TEST(EnvironmentReferences, LaterEntriesSeeEarlierValuesButNotTheReverse) {
    std::vector<std::string> environment = {"A=${B}", "B=b-value", "C=%JAUNT_EXEDIR%"};
    EXPECT_EQ(substituted("${A} ${C}", environment), "b-value %JAUNT_EXEDIR%");
    std::vector<std::string> reversed = {"B=b-value", "A=${B}"};
    EXPECT_EQ(substituted("${A}", reversed), "${B}");
}

TEST(EnvironmentReferences, ValuesMayHoldEqualsAndPerDriveEntriesHaveAnEmptyName) {
    EXPECT_EQ(substituted("${OPTS}", {"OPTS=-Da=b=c"}), "-Da=b=c");
    EXPECT_EQ(substituted("[${}]", {"=C:=C:\\dir", "=D:=D:\\x"}), "[C:=C:\\dir]");
    EXPECT_EQ(substituted("${X}", {"no-equals-sign", "X=1"}), "1");
}

TEST(EnvironmentReferences, AValueHoldingItsOwnPatternTerminates) {
    EXPECT_EQ(substituted("${X}-${X}", {"X=${X}"}), "${X}-${X}");
    // An upper-case name is replaced in both passes, each of which terminates.
    EXPECT_EQ(substituted("${X}", {"X=${X}${X}"}), "${X}${X}${X}${X}");
}

TEST(Substitution, TextWithoutPatternsIsUnchangedByteForByte) {
    std::string text = "\"-Xmx64m\" '\xE9' $ { } % %% ${";
    EXPECT_EQ(substituted(text, {"A=1"}), text);
}

TEST(Substitution, ResultsAreCutAtTheLimitAndReported) {
    std::string text = "${BIG}${BIG}";
    EXPECT_FALSE(jaunt::substituteVariables(&text, values(), {"BIG=" + std::string(6000, 'b')}, 8191));
    EXPECT_EQ(text, std::string(8191, 'b'));
    std::string small = "%JAUNT_EXEDIR%";
    EXPECT_TRUE(jaunt::substituteVariables(&small, values(), {}, 8191));
}

TEST(ReplaceAll, ReplacesLeftToRightAndNeverRescansAValue) {
    std::string text = "aXbXc";
    EXPECT_TRUE(jaunt::replaceAll(&text, "X", "XX", 100));
    EXPECT_EQ(text, "aXXbXXc");
    text = "XXX";
    jaunt::replaceAll(&text, "XX", "", 100);
    EXPECT_EQ(text, "X");
    text = "abc";
    jaunt::replaceAll(&text, "", "z", 100);
    EXPECT_EQ(text, "abc");
}

}  // namespace
