// JVM discovery end to end: configured launchers beside JRE trees of test doubles walk the
// preferred-location file, the search sequence, the product variable and the fallback pass, load
// the chosen jvm.dll, and report what went wrong with the message of how the JVM was found.
#include <cctype>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "e2etools.h"

namespace {

using jaunt_test::JreOptions;
using jaunt_test::JvmLibrary;
using jaunt_test::RunOptions;
using jaunt_test::RunResult;

using jaunt_test::lower;

// A path the way the launcher sees it: resolved against its own short, lower-case directory.
std::string asResolved(const std::string& path) {
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof(shortPath));
    return lower(length > 0 && length < sizeof(shortPath) ? shortPath : path);
}

std::vector<jaunt::NarrowRecord> records(std::vector<jaunt::NarrowRecord> extra) {
    std::vector<jaunt::NarrowRecord> all = jaunt_test::consoleRecords(
        {{1001, "No JVM"},
         {1002, "The JVM found in your path is damaged."},
         {1003, "The %ENV_VAR_NAME% envionment variable does not point to a working JDK or JRE."},
         {1004, "The JVM found at %DEFINED_PATH% is damaged."},
         {1005, "The JVM could not be started."},
         {1009, "An internal error occurred (error code: %ERROR_CODE%)"}});
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

struct Outcome {
    RunResult run;
    std::string log;
    // The report's first line (the message without the "Log: " part).
    std::string message() const { return run.err.substr(0, run.err.find("\r\n")); }
};

class JvmDiscovery : public jaunt_test::LauncherTest {
protected:
    void SetUp() override { jaunt_test::resetJvmRegistry(); }
    void TearDown() override { jaunt_test::resetJvmRegistry(); }

    // Runs the launcher with logging on and hands back its log, which is then removed.
    Outcome launch(RunOptions options = RunOptions()) {
        options.set["JAUNT_LOG"] = "yes";
        for (const char* variable : {"JAUNT_JAVA_HOME", "BUNDLEKIT_JAVA_HOME"})
            if (options.set.find(variable) == options.set.end()) options.remove.push_back(variable);
        Outcome outcome;
        outcome.run = start(L"", options);
        std::vector<std::string> logs = logFiles();
        EXPECT_EQ(logs.size(), 1u);
        for (const std::string& log : logs) {
            outcome.log += jaunt_test::readText(log);
            DeleteFileA(log.c_str());
        }
        return outcome;
    }

    std::string jre(const std::string& name, const std::string& version = "1.8.0_201",
                    JvmLibrary library = JvmLibrary::Good) {
        JreOptions options;
        options.version = version;
        options.library = library;
        jaunt_test::makeJre(dir.file(name), options);
        return dir.file(name);
    }
};

// A run that found and loaded its JVM: whatever the later stages make of the double, it did not end
// with the discovery's exit code.
void expectLoaded(const Outcome& outcome) {
    EXPECT_NE(outcome.run.exitCode, 83u) << outcome.run.err;
    EXPECT_NE(outcome.log.find("\r\nLoading of JVM-DLL successful\r\n"), std::string::npos) << outcome.log;
}

// Every line of wanted appears in log, in this order.
::testing::AssertionResult inOrder(const std::string& log, const std::vector<std::string>& wanted) {
    size_t at = 0;
    for (const std::string& line : wanted) {
        size_t found = log.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing (in order) \"" << line << "\" in\n" << log;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}

TEST_F(JvmDiscovery, TheSequenceIsWalkedInOrderAndItsDirectoriesRetriedWithoutLimits) {
    make(records({{128, ";R.\\.\\jre;Y;R.\\..;;Zx;rjre;"}}));
    Outcome none = launch();
    EXPECT_EQ(none.run.exitCode, 83u);
    EXPECT_EQ(none.message(), "No JVM");
    EXPECT_TRUE(inOrder(none.log, {"\r\nLoadDLL (1, (null), 0)\r\nSearching for a JVM\r\n",
                                   "Testing location .\\.\\jre (type R)\r\ncheckJavaExe (",
                                   "Testing location  (type Y)\r\n", "Testing location .\\.. (type R)\r\n",
                                   "Testing location x (type Z)\r\n", "Testing location jre (type r)\r\n",
                                   "Search sequence finished\r\n", "Testing relative location .\\.\\jre\r\n",
                                   "Testing relative location .\\..\r\n", "ERROR: No JVM found\r\n"}));
    EXPECT_EQ(none.log.find("Testing relative location jre"), std::string::npos) << "lower-case r is no R";
    EXPECT_EQ(none.log.find("preferred location"), std::string::npos);
    EXPECT_EQ(none.log.find("installer location"), std::string::npos);

    // Nothing configured: only the fixed steps run.
    make(records({}));
    Outcome empty = launch();
    EXPECT_EQ(empty.run.exitCode, 83u);
    EXPECT_TRUE(inOrder(empty.log, {"Searching for a JVM\r\nSearch sequence finished\r\nERROR: No JVM found\r\n"}));

    // A sequence longer than its buffer is cut, and an entry too long for a path is refused.
    make(records({{128, "B" + std::string(20000, 'j')}}));
    Outcome huge = launch();
    EXPECT_EQ(huge.run.exitCode, 83u);
    EXPECT_EQ(huge.message(), "No JVM");
    EXPECT_NE(huge.log.find("Testing location " + std::string(jaunt::kTextSize - 2, 'j') + " (type B)"),
              std::string::npos);
}

TEST_F(JvmDiscovery, LimitsRejectCandidatesUntilTheFallbackPassTakesAnExistingOne) {
    std::string old = jre("old", "1.3.1"), fresh = jre("new", "1.8.0");
    jaunt_test::makeDirectories(dir.file(".bundlekit"));
    jaunt_test::writeText(dir.file(".bundlekit\\pref_jre.cfg"), "old\r\n");
    jaunt_test::writeText(dir.file(".bundlekit\\inst_jre.cfg"), "old");
    make(records({{126, "1.4"}, {128, "Rmissing;Bold;Anew"}}));
    Outcome chosen = launch();
    expectLoaded(chosen);
    EXPECT_TRUE(inOrder(chosen.log, {"Has preferred location old\r\n", "got version from execution 1.3.1\r\n",
                                     "Testing location missing (type R)\r\n", "Testing location old (type B)\r\n",
                                     "Testing location new (type A)\r\n",
                                     "Trying to load JVM-DLL from " + asResolved(fresh) + "\\bin\\java.exe\r\n",
                                     "Trying " + asResolved(fresh) + "\\bin\\client\\jvm.dll (exists 1)\r\n",
                                     "Loading of JVM-DLL successful\r\n"}));
    EXPECT_EQ(chosen.log.find("Using preferred location"), std::string::npos);

    // Only the old JRE: the installer file and the first pass refuse it, the fallback pass takes it.
    make(records({{126, "1.4"}, {128, "Ac:\\missing;Bold"}}));
    Outcome fallback = launch();
    expectLoaded(fallback);
    EXPECT_TRUE(inOrder(fallback.log, {"Search sequence finished\r\n", "Has installer location old\r\n",
                                       "Testing relative location old\r\n",
                                       asResolved(old) + "\\bin\\java.exe exists\r\n",
                                       "Loading of JVM-DLL successful"}));
    EXPECT_EQ(fallback.log.find("Using installer location"), std::string::npos);
    EXPECT_EQ(fallback.log.find("Testing relative location c:"), std::string::npos) << "absolute A entries stay out";

    // Without limits the preferred location is taken at once.
    make(records({{128, "Anew"}}));
    Outcome preferred = launch();
    expectLoaded(preferred);
    EXPECT_TRUE(inOrder(preferred.log, {"Has preferred location old\r\n", "Using preferred location\r\n",
                                        "Trying to load JVM-DLL from " + asResolved(old) + "\\bin\\java.exe"}));
    EXPECT_EQ(preferred.log.find("Testing location"), std::string::npos);
}

TEST_F(JvmDiscovery, EnvironmentEntriesAndEachFlavoursOwnVariable) {
    std::string home = jre("envjre");
    std::string slashed = home;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    make(records({{128, "EMY_JAVA"}}));
    RunOptions options;
    options.set["MY_JAVA"] = slashed;
    Outcome entry = launch(options);
    expectLoaded(entry);
    EXPECT_TRUE(inOrder(entry.log, {"Testing location MY_JAVA (type E)\r\ncheckJavaExe (" + home + "\\bin\\java.exe",
                                    "Loading of JVM-DLL successful"}));

    options = RunOptions();
    options.set["BUNDLEKIT_JAVA_HOME"] = home;
    make(records({{2001, "e"}}));
    EXPECT_EQ(launch(options).run.exitCode, 83u) << "flavour e never looks at BUNDLEKIT_JAVA_HOME";
    options.set["JAUNT_JAVA_HOME"] = home;
    expectLoaded(launch(options));

    options.set.erase("BUNDLEKIT_JAVA_HOME");
    make(records({{2001, "i"}}));
    EXPECT_EQ(launch(options).run.exitCode, 83u) << "flavour i never looks at JAUNT_JAVA_HOME";
}

TEST_F(JvmDiscovery, ALibraryThatFailsShowsTheMessageOfHowTheJvmWasFound) {
    std::string broken = jre("broken", "1.8.0", JvmLibrary::NotALibrary);
    std::string bare = jre("bare", "1.8.0", JvmLibrary::WithoutCreate);

    make(records({{128, "EMY_JAVA"}}));
    RunOptions options;
    options.set["MY_JAVA"] = broken;
    Outcome environment = launch(options);
    EXPECT_EQ(environment.run.exitCode, 83u);
    EXPECT_EQ(environment.message(), "The MY_JAVA envionment variable does not point to a working JDK or JRE.");
    EXPECT_TRUE(inOrder(environment.log, {"Trying to load JVM-DLL from ",
                                          "\\bin\\client\\jvm.dll (exists 1)\r\nERROR: LoadLibraryExA(",
                                          "failed with error 193\r\n", "ERROR: Could not get DLL-Handle.\r\n"
                                                                       "ERROR: Could not load functions\r\n"}));

    make(records({{128, "Bbare"}}));
    Outcome location = launch();
    EXPECT_EQ(location.run.exitCode, 83u);
    EXPECT_EQ(location.message(), "The JVM found at bare is damaged.") << "the entry as configured";
    EXPECT_TRUE(inOrder(location.log, {"(exists 1)\r\nERROR: Could not load functions\r\n"}));
    EXPECT_EQ(location.log.find("Could not get DLL-Handle."), std::string::npos);

    make(records({{128, "Sanything"}}));
    options = RunOptions();
    options.set["PATH"] = broken + "\\bin";
    Outcome path = launch(options);
    EXPECT_EQ(path.run.exitCode, 83u);
    EXPECT_EQ(path.message(), "The JVM found in your path is damaged.");

    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, broken + "\\bin\\java.exe");
    make(records({{128, "Y"}}));
    Outcome registry = launch();
    EXPECT_EQ(registry.run.exitCode, 83u);
    EXPECT_EQ(registry.message(), "The JVM could not be started.");
}

TEST_F(JvmDiscovery, ASecondStartRunsNoVersionCheckUntilTheExecutableChanges) {
    make(records({}));
    addJre();
    std::string bin = dir.file("jre\\bin");
    Outcome first = launch();
    expectLoaded(first);
    EXPECT_NE(first.log.find("got version from execution 1.8.0_201"), std::string::npos) << first.log;
    Outcome second = launch();
    expectLoaded(second);
    EXPECT_NE(second.log.find("got version from registry 1.8.0_201"), std::string::npos) << second.log;
    EXPECT_EQ(jaunt_test::javaRuns(bin).size(), 1u);

    jaunt_test::setLastWriteTime(bin + "\\java.exe", 1234);
    Outcome third = launch();
    expectLoaded(third);
    EXPECT_NE(third.log.find("got version from execution 1.8.0_201"), std::string::npos) << third.log;
    EXPECT_EQ(jaunt_test::javaRuns(bin).size(), 2u);
}

TEST_F(JvmDiscovery, APackedJreIsUnpackedBeforeItIsTestedAndAMissingToolEndsTheRun) {
    std::string packed = jre("packed jre");
    jaunt_test::copyFixture("JAUNT_TEST_FAKE_UNPACK200", packed + "\\bin\\unpack200.exe");
    jaunt_test::makeDirectories(packed + "\\lib");
    jaunt_test::writeText(packed + "\\lib\\rt.jar.pack", "rt");
    jaunt_test::writeText(packed + "\\lib\\jsse.jar.pack", "jsse");
    make(records({{128, "Rpacked jre"}}));
    Outcome unpacked = launch();
    expectLoaded(unpacked);
    EXPECT_EQ(unpacked.run.out, "Preparing JRE ...\r\n");
    EXPECT_TRUE(jaunt_test::fileExists(packed + "\\lib\\rt.jar"));
    EXPECT_TRUE(inOrder(unpacked.log, {"Testing location packed jre (type R)\r\nUnpacking JRE\r\n",
                                       "Unpacking JRE done\r\ncheckJavaExe (", "Loading of JVM-DLL successful"}));

    std::string noTool = jre("notool");
    jaunt_test::makeDirectories(noTool + "\\lib");
    jaunt_test::writeText(noTool + "\\lib\\rt.jar.pack", "rt");
    make(records({{128, "Rnotool"}}));
    Outcome failed = launch();
    EXPECT_EQ(failed.run.exitCode, 1u);
    EXPECT_EQ(failed.message(), "An internal error occurred (error code: 20)");
    EXPECT_TRUE(inOrder(failed.log, {"Unpacking JRE\r\n", "could not create unpack process\r\n"}));
}

TEST_F(JvmDiscovery, JvmsOfTheOtherBitnessAreSkippedWhereverTheyAreFound) {
    unsigned short launcherMachine = jaunt_test::imageMachine(jaunt_test::stubPath());
    int bits = launcherMachine == jaunt_test::kMachineAmd64 ? 64 : 32, otherBits = bits == 32 ? 64 : 32;
    JreOptions other;
    other.machine = jaunt_test::otherMachine(launcherMachine);
    jaunt_test::makeJre(dir.file("other"), other);
    std::string right = jre("right");
    std::string otherJava = asResolved(dir.file("other")) + "\\bin\\java.exe";
    std::string skipped = "\\other\\bin\\java.exe: its JVM library ";  // after "Skipping " and the path

    // Found through an E entry, the registry and an R entry, each skipped: the later JRE is loaded.
    jaunt_test::addLocatedJvm(HKEY_CURRENT_USER, dir.file("other") + "\\bin\\java.exe");
    make(records({{128, "EMY_JAVA;Y;Rother;Rright"}}));
    RunOptions options;
    options.set["MY_JAVA"] = dir.file("other");
    Outcome later = launch(options);
    expectLoaded(later);
    EXPECT_TRUE(inOrder(later.log, {"(type E)\r\n", "Skipping ", skipped, "(type Y)\r\n", skipped, "(type R)\r\n", skipped,
                                    "Trying to load JVM-DLL from " + asResolved(right) + "\\bin\\java.exe"}));

    // Only the other bitness, also in the fallback pass: no JVM, and the message says what to install.
    make(records({{128, "Rother"}}));
    Outcome none = launch();
    EXPECT_EQ(none.run.exitCode, 83u);
    EXPECT_EQ(none.run.err.substr(0, none.run.err.find("\r\n\r\n")),
              "No JVM\r\nA " + std::to_string(otherBits) + "-bit Java was found (" + otherJava +
                  "), but this program needs a " + std::to_string(bits) + "-bit Java.");
    EXPECT_TRUE(inOrder(none.log, {"Testing relative location other\r\n", skipped, "ERROR: No JVM found"}));
}

TEST_F(JvmDiscovery, TheJvmLibrarysDependenciesAreNotTakenFromTheLaunchersDirectory) {
    jre("dependent", "1.8.0", JvmLibrary::WithDependency);
    // A DLL of the dependency's name beside the launcher, lacking its export: loaded in place of the
    // JRE's own, it would make the JVM library's call to it crash the launcher.
    jaunt_test::copyFixture("JAUNT_TEST_FAKE_JVM_BARE", dir.file("jauntdep.dll"));
    make(records({{128, "Rdependent"}}));
    Outcome outcome = launch();
    expectLoaded(outcome);
    // The double's JNI_CreateJavaVM returns what the JRE's jauntdep.dll answers.
    EXPECT_TRUE(inOrder(outcome.log, {"Creating JVM\r\nERROR: JNI_CreateJavaVM returned -1\r\n"}));
    EXPECT_EQ(outcome.run.exitCode, 1u);
}

}  // namespace
