// Loading JVM libraries of test doubles from the VM-type directories, LoadDLL with a provided
// location, the single tests of the search, and the preparation of packed JREs.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "WinLoader.h"
#include "jvmbitness.h"
#include "boundedtext.h"
#include "config.h"
#include "errors.h"
#include "jreunpack.h"
#include "jvmtrees.h"
#include "log.h"
#include "versioncheck.h"
#include "winsupport.h"

namespace {

using jaunt_test::JreOptions;
using jaunt_test::JvmLibrary;

const bool logRequested = SetEnvironmentVariableA("JAUNT_LOG", "yes") != 0;

using jaunt_test::lower;

std::string logText() {
    jaunt::logInfo("-");
    const char* path = jaunt::getLogPath();
    return path ? jaunt_test::readText(path) : "";
}

class Loader : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"loader"};
    size_t mark = 0;

    void SetUp() override {
        ASSERT_TRUE(logRequested);
        jaunt_test::resetJvmRegistry();
        configure({});
        mark = logText().size();
    }
    void TearDown() override { jaunt_test::resetJvmRegistry(); }

    void configure(const std::vector<jaunt::NarrowRecord>& records) {
        std::string path = jaunt_test::writeLauncher(dir.file("config.exe"), records);
        bool opened = false;
        ASSERT_EQ(jaunt::loadConfigurationFile(path.c_str(), &opened), jaunt::TableError::None);
    }
    // The log lines written since the test began (or the last call).
    std::string newLog() {
        std::string text = logText();
        std::string lines = text.substr(mark);
        mark = text.size();
        return lines;
    }
    std::string jre(const std::string& name, JvmLibrary library = JvmLibrary::Good,
                    const std::string& vmType = "client") {
        JreOptions options;
        options.library = library;
        options.vmType = vmType;
        jaunt_test::makeJre(dir.file(name), options);
        return dir.file(name);
    }
};

TEST_F(Loader, TheFirstVmTypeDirectoryThatLoadsWinsAndItsCreateEntryIsResolved) {
    std::string bin = jre("jre") + "\\bin";
    void* library = jaunt::loadJvmLibrary((bin + "\\java.exe").c_str());
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(newLog(), "Trying " + bin + "\\hotspot\\jvm.dll (exists 0)\r\nTrying " + bin +
                            "\\client\\jvm.dll (exists 1)\r\n-\r\n");
    EXPECT_EQ(jaunt::loadJvmLibrary((bin + "\\javaw.exe").c_str()), library) << "javaw.exe loses 9 characters";
    ASSERT_TRUE(jaunt::resolveCreateJavaVm(library));
    ASSERT_NE(jaunt::createJavaVmEntry(), nullptr);
    void* vm = &vm;
    EXPECT_EQ(jaunt::createJavaVmEntry()(&vm, nullptr, nullptr), -1) << "the double's own entry";
    EXPECT_EQ(vm, nullptr);
    EXPECT_FALSE(jaunt::resolveCreateJavaVm(nullptr));

    // A preferred type that is missing is followed by the whole fixed list.
    configure({{152, "server"}});
    newLog();
    EXPECT_EQ(jaunt::loadJvmLibrary((bin + "\\java.exe").c_str()), library);
    EXPECT_EQ(newLog(), "Trying " + bin + "\\server\\jvm.dll (exists 0)\r\nTrying " + bin +
                            "\\hotspot\\jvm.dll (exists 0)\r\nTrying " + bin + "\\client\\jvm.dll (exists 1)\r\n-\r\n");
}

TEST_F(Loader, AJdkWithoutAVmLoadsTheLibraryOfItsEmbeddedJre) {
    std::string jdk = dir.file("jdk");
    jaunt_test::makeJdk(jdk);
    ASSERT_NE(jaunt::loadJvmLibrary((jdk + "\\bin\\java.exe").c_str()), nullptr);
    std::string expected;
    for (const char* type : {"hotspot", "client", "server", "classic"})
        expected += "Trying " + jdk + "\\bin\\" + type + "\\jvm.dll (exists 0)\r\n";
    expected += "Trying " + jdk + "\\bin\\..\\jre\\bin\\hotspot\\jvm.dll (exists 0)\r\n";
    expected += "Trying " + jdk + "\\bin\\..\\jre\\bin\\client\\jvm.dll (exists 1)\r\n-\r\n";
    EXPECT_EQ(newLog(), expected);
}

TEST_F(Loader, LibrariesThatDoNotLoadOrLackTheEntryFail) {
    void* bare = jaunt::loadJvmLibrary((jre("bare", JvmLibrary::WithoutCreate) + "\\bin\\java.exe").c_str());
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(jaunt::resolveCreateJavaVm(bare));

    std::string broken = jre("broken", JvmLibrary::NotALibrary, "server");
    newLog();
    EXPECT_EQ(jaunt::loadJvmLibrary((broken + "\\bin\\java.exe").c_str()), nullptr);
    std::string log = newLog();
    EXPECT_NE(log.find("Trying " + broken + "\\bin\\server\\jvm.dll (exists 1)\r\nERROR: LoadLibraryExA(" + broken +
                       "\\bin\\server\\jvm.dll) failed with error 193\r\n"),
              std::string::npos)
        << log;
    size_t tries = 0;
    for (size_t at = log.find("Trying "); at != std::string::npos; at = log.find("Trying ", at + 1)) ++tries;
    EXPECT_EQ(tries, 8u) << "four types beside the executable and four in the embedded JRE";
}

TEST_F(Loader, ALibraryFindsTheRuntimeDllsBesideItsJavaExecutable) {
    std::string bin = jre("dependent", JvmLibrary::WithDependency) + "\\bin";
    std::string library = bin + "\\client\\jvm.dll";
    // Without help the loader does not look in bin, where jauntdep.dll lies.
    SetDllDirectoryA(nullptr);
    HMODULE plain = LoadLibraryA(library.c_str());
    ASSERT_EQ(plain, nullptr) << "the test needs a loader that does not search the executable's directory";
    void* loaded = jaunt::loadJvmLibrary((bin + "\\java.exe").c_str());
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(jaunt::resolveCreateJavaVm(loaded));
    EXPECT_NE(GetModuleHandleA("jauntdep.dll"), nullptr);
}

TEST_F(Loader, AProvidedLocationIsLoadedAndTheJvmHomeRecorded) {
    std::string home = jre("provided");
    ASSERT_TRUE(jaunt::LoadDLL(false, home.c_str(), false));
    EXPECT_EQ(std::string(jaunt::jvmHome()), lower(home) + "\\bin\\..");
    EXPECT_NE(jaunt::jvmLibrary(), nullptr);
    EXPECT_NE(jaunt::createJavaVmEntry(), nullptr);
    std::string log = newLog();
    EXPECT_EQ(log.rfind("LoadDLL (0, " + home + ", 0)\r\nGot JRE location " + home +
                            " (java exe: 0)\r\nMinVersion: , MaxVersion: \r\n",
                        0),
              0u)
        << log;
    EXPECT_NE(log.find("\r\nLoading of JVM-DLL successful\r\n"), std::string::npos) << log;

    // A Java executable is checked (GUI launchers switch to javaw.exe) before it is loaded.
    configure({{107, "1"}, {126, "1.5"}});
    ASSERT_TRUE(jaunt::LoadDLL(false, (home + "\\bin\\java.exe").c_str(), true));
    EXPECT_EQ(std::string(jaunt::jvmHome()), lower(home) + "\\bin\\..");
    log = newLog();
    EXPECT_NE(log.find("MinVersion: 1.5, MaxVersion: \r\ncheckJavaExe ("), std::string::npos) << log;
    EXPECT_NE(log.find("Trying to load JVM-DLL from " + lower(home) + "\\bin\\javaw.exe\r\n"), std::string::npos)
        << log;

    EXPECT_FALSE(jaunt::LoadDLL(false, (home + "\\bin\\nothing.exe").c_str(), true));
    EXPECT_NE(newLog().find("\r\nERROR: Provided JVM unusable\r\n"), std::string::npos);

    // A directory without any JVM is taken unchecked, fails to load, and still records its home.
    std::string empty = dir.file("empty");
    CreateDirectoryA(empty.c_str(), nullptr);
    EXPECT_FALSE(jaunt::LoadDLL(false, empty.c_str(), false));
    EXPECT_EQ(std::string(jaunt::jvmHome()), lower(empty) + "\\bin\\..");
    log = newLog();
    EXPECT_NE(log.find("\r\nERROR: Could not get DLL-Handle.\r\nERROR: Could not load functions\r\n"),
              std::string::npos)
        << log;
}

TEST_F(Loader, LocationFilesGiveTheirFirstLine) {
    std::string install = dir.file("install");
    jaunt_test::makeDirectories(install + "\\.bundlekit");
    configure({{10003, install}});
    std::string file = install + "\\.bundlekit\\pref_jre.cfg";
    auto read = [&](const char* name = jaunt::kPreferredLocationFile) {
        char location[jaunt::kTextSize];
        return jaunt::readLocationFile(name, location, sizeof(location)) ? "[" + std::string(location) + "]"
                                                                         : std::string("<none>");
    };
    EXPECT_EQ(read(), "<none>") << "missing";
    jaunt_test::writeText(file, "");
    EXPECT_EQ(read(), "<none>") << "empty";
    jaunt_test::writeText(file, "\r\n");
    EXPECT_EQ(read(), "[]") << "blank";
    jaunt_test::writeText(file, "C:\\Java\\JRE\r\nsecond\r\n");
    EXPECT_EQ(read(), "[C:\\Java\\JRE]");
    jaunt_test::writeText(file, "jre");
    EXPECT_EQ(read(), "[jre]") << "no line end";
    jaunt_test::writeText(file, std::string(100000, 'j'));
    EXPECT_EQ(read(), "[" + std::string(jaunt::kTextSize - 1, 'j') + "]") << "huge";
    EXPECT_EQ(read(jaunt::kInstallerLocationFile), "<none>");
    jaunt_test::writeText(install + "\\.bundlekit\\inst_jre.cfg", "installed\n");
    EXPECT_EQ(read(jaunt::kInstallerLocationFile), "[installed]");
}

TEST_F(Loader, EnvironmentAndSearchPathTestsFindTheirJava) {
    std::string home = jre("envjre");
    std::string slashed = home;
    for (char& c : slashed)
        if (c == '\\') c = '/';
    char java[jaunt::kTextSize];
    SetEnvironmentVariableA("JAUNT_TEST_HOME", slashed.c_str());
    EXPECT_TRUE(jaunt::testEnvironmentVariable(java, sizeof(java), "JAUNT_TEST_HOME", "", ""));
    EXPECT_EQ(std::string(java), lower(home + "\\bin\\java.exe"));
    EXPECT_NE(newLog().find("checkJavaExe (" + home + "\\bin\\java.exe, [out], , , 0)"), std::string::npos)
        << "tested with backslashes";
    EXPECT_FALSE(jaunt::testEnvironmentVariable(java, sizeof(java), "JAUNT_TEST_HOME", "1.9", ""));
    SetEnvironmentVariableA("JAUNT_TEST_HOME", "");
    EXPECT_FALSE(jaunt::testEnvironmentVariable(java, sizeof(java), "JAUNT_TEST_HOME", "", ""));
    SetEnvironmentVariableA("JAUNT_TEST_HOME", std::string(9000, 'h').c_str());
    EXPECT_FALSE(jaunt::testEnvironmentVariable(java, sizeof(java), "JAUNT_TEST_HOME", "", ""));
    SetEnvironmentVariableA("JAUNT_TEST_HOME", nullptr);
    EXPECT_FALSE(jaunt::testEnvironmentVariable(java, sizeof(java), "JAUNT_TEST_HOME", "", ""));

    char savedPath[32768];
    DWORD length = GetEnvironmentVariableA("PATH", savedPath, sizeof(savedPath));
    ASSERT_LT(length, sizeof(savedPath));
    SetEnvironmentVariableA("PATH", (home + "\\bin").c_str());
    bool found = jaunt::testSearchPath(java, sizeof(java), "1.8", "");
    SetEnvironmentVariableA("PATH", (dir.file("nowhere")).c_str());
    bool missing = jaunt::testSearchPath(java, sizeof(java), "", "");
    SetEnvironmentVariableA("PATH", savedPath);
    EXPECT_TRUE(found);
    EXPECT_FALSE(missing);

    // A java.exe in the current directory comes after the system directories (safe search mode).
    char windows[MAX_PATH], savedDirectory[MAX_PATH];
    ASSERT_GT(GetWindowsDirectoryA(windows, sizeof(windows)), 0u);
    ASSERT_GT(GetCurrentDirectoryA(sizeof(savedDirectory), savedDirectory), 0u);
    std::string system = std::string(windows) + "\\java.exe";
    std::string planted = dir.file("cwd");
    jaunt_test::makeDirectories(planted);
    jaunt_test::writeText(planted + "\\java.exe", "planted");
    jaunt_test::writeText(system, "system");  // removed at once: other tests search the path too
    SetCurrentDirectoryA(planted.c_str());
    jaunt::testSearchPath(java, sizeof(java), "", "");
    SetCurrentDirectoryA(savedDirectory);
    DeleteFileA(system.c_str());
    EXPECT_EQ(std::string(java), lower(system));
}

TEST_F(Loader, AJvmOfTheOtherBitnessIsSkippedAndRemembered) {
    unsigned short other = jaunt_test::otherMachine(jaunt_test::ownMachine());
    JreOptions options;
    options.machine = other;
    jaunt_test::makeJre(dir.file("other"), options);
    std::string java = dir.file("other") + "\\bin\\java.exe";
    char note[jaunt::kTextSize];
    jaunt::clearSkippedBitness();
    EXPECT_FALSE(jaunt::skippedBitnessNote(note, sizeof(note)));

    EXPECT_FALSE(jaunt::hasJvmOfOwnBitness(java.c_str()));
    int otherBits = jaunt::ownBitness() == 32 ? 64 : 32;
    EXPECT_EQ(newLog(), "Skipping " + java + ": its JVM library " + dir.file("other") + "\\bin\\client\\jvm.dll is " +
                            std::to_string(otherBits) + "-bit, this program is " +
                            std::to_string(jaunt::ownBitness()) + "-bit\r\n-\r\n");
    char checked[jaunt::kTextSize];
    jaunt::copyText(checked, sizeof(checked), java.c_str());
    EXPECT_FALSE(jaunt::checkJavaExe(checked, sizeof(checked), nullptr, 0, "", "", true)) << "a version alone is not enough";
    ASSERT_TRUE(jaunt::skippedBitnessNote(note, sizeof(note)));
    EXPECT_EQ(std::string(note), "A " + std::to_string(otherBits) + "-bit Java was found (" + java +
                                     "), but this program needs a " + std::to_string(jaunt::ownBitness()) +
                                     "-bit Java.");

    // A library of this program's bitness in a later VM directory, none at all, or one that is no
    // image: loading decides.
    jaunt_test::placeJvmLibrary(dir.file("other") + "\\bin", "server", JvmLibrary::Good);
    EXPECT_TRUE(jaunt::hasJvmOfOwnBitness(java.c_str()));
    EXPECT_NE(jaunt::loadJvmLibrary(java.c_str()), nullptr);
    EXPECT_TRUE(jaunt::hasJvmOfOwnBitness((jre("broken", JvmLibrary::NotALibrary) + "\\bin\\java.exe").c_str()));
    EXPECT_TRUE(jaunt::hasJvmOfOwnBitness((jre("none", JvmLibrary::None) + "\\bin\\java.exe").c_str()));
    // The first skip is the one remembered.
    std::string second = jre("second", JvmLibrary::Good);
    jaunt_test::patchImageMachine(second + "\\bin\\client\\jvm.dll", other);
    EXPECT_FALSE(jaunt::hasJvmOfOwnBitness((second + "\\bin\\java.exe").c_str()));
    ASSERT_TRUE(jaunt::skippedBitnessNote(note, sizeof(note)));
    EXPECT_NE(std::string(note).find("(" + java + ")"), std::string::npos);
}

class PackedJre : public Loader {
protected:
    std::string home;
    void SetUp() override {
        Loader::SetUp();
        home = dir.file("packed jre");  // a blank in the path, as under "Program Files"
        jaunt_test::makeDirectories(home + "\\lib");
        jaunt_test::copyFixture("JAUNT_TEST_FAKE_UNPACK200", home + "\\bin\\unpack200.exe");
    }
    void TearDown() override {
        SetEnvironmentVariableA("JAUNT_TEST_PACKED_JRE", nullptr);
        Loader::TearDown();
    }
    std::string runsLog() { return jaunt_test::readText(home + "\\bin\\unpack200.log"); }
    // A death test's statement runs in a new run of this program, whose fixture makes a directory of
    // its own: the first run names its JRE in the environment, which the new run inherits and uses.
    std::string deathTestHome() {
        char inherited[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("JAUNT_TEST_PACKED_JRE", inherited, sizeof(inherited));
        if (length > 0 && length < sizeof(inherited)) return inherited;
        SetEnvironmentVariableA("JAUNT_TEST_PACKED_JRE", home.c_str());
        return home;
    }
};

TEST_F(PackedJre, PackedArchivesAreUnpackedInOrderWithQuotedPaths) {
    jaunt_test::writeText(home + "\\lib\\rt.jar.pack", "packed rt");
    jaunt_test::writeText(home + "\\lib\\jsse.jar.pack", "packed jsse");
    jaunt::prepareJre(home.c_str());

    std::string tool = "\"" + home + "\\bin\\unpack200.exe\" -r ";
    std::string lib = home + "\\lib\\";
    EXPECT_EQ(runsLog(), tool + "\"" + lib + "rt.jar.pack\" \"" + lib + "rt.jar\"\n" + tool + "\"" + lib +
                             "jsse.jar.pack\" \"" + lib + "jsse.jar\"\n");
    EXPECT_EQ(jaunt_test::readText(lib + "rt.jar"), "unpacked from " + lib + "rt.jar.pack");
    EXPECT_TRUE(jaunt_test::fileExists(lib + "jsse.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(lib + "rt.jar.pack"));
    EXPECT_FALSE(jaunt_test::fileExists(lib + "jsse.jar.pack"));

    std::string expected = "Unpacking JRE\r\n";
    for (const char* archive :
         {"rt.jar", "charsets.jar", "plugin.jar", "deploy.jar", "ext\\localedata.jar", "jsse.jar"}) {
        expected += "Unpacking " + lib + archive + ".pack to " + lib + archive + "\r\n";
        bool packed = std::string(archive) == "rt.jar" || std::string(archive) == "jsse.jar";
        expected += packed ? "waiting for unpack200 to finish\r\nunpack done\r\n" : "pack path doesn't exists\r\n";
    }
    expected += "Unpacking JRE done\r\n-\r\n";
    EXPECT_EQ(newLog(), expected);

    // Prepared now: a second test of the directory (here through testLocation) does nothing.
    std::string before = runsLog();
    char java[jaunt::kTextSize];
    EXPECT_TRUE(jaunt::testLocation(java, sizeof(java), home.c_str(), "", "", true));
    EXPECT_EQ(runsLog(), before);
    EXPECT_EQ(std::string(java), lower(home) + "\\bin\\java.exe");
}

// What an interrupted preparation leaves: rt.jar unpacked and its packed file gone, later archives
// still packed, lib\jsse.jar partly written beside its packed file. Every archive whose packed file
// is left is unpacked, whatever the others look like; with none left the JRE is prepared.
TEST_F(PackedJre, EveryArchiveWhosePackedFileIsLeftIsUnpacked) {
    std::string lib = home + "\\lib\\";
    std::string tool = "\"" + home + "\\bin\\unpack200.exe\" -r ";
    auto run = [&](const std::string& archive) {
        return tool + "\"" + lib + archive + ".pack\" \"" + lib + archive + "\"\n";
    };
    jaunt_test::writeText(lib + "rt.jar", "unpacked");
    jaunt_test::writeText(lib + "charsets.jar.pack", "packed");
    jaunt_test::writeText(lib + "jsse.jar", "part");
    jaunt_test::writeText(lib + "jsse.jar.pack", "packed");
    jaunt::prepareJre(home.c_str());
    EXPECT_EQ(runsLog(), run("charsets.jar") + run("jsse.jar"));
    EXPECT_EQ(jaunt_test::readText(lib + "jsse.jar"), "unpacked from " + lib + "jsse.jar.pack");
    EXPECT_EQ(jaunt_test::readText(lib + "rt.jar"), "unpacked");
    EXPECT_FALSE(jaunt_test::fileExists(lib + "charsets.jar.pack"));
    EXPECT_EQ(newLog().find("Unpacking JRE\r\n"), 0u);

    jaunt::prepareJre(home.c_str());
    EXPECT_EQ(newLog(), "-\r\n") << "prepared: nothing is done or logged";

    // The packed runtime beside a finished lib\jsse.jar.
    jaunt_test::writeText(lib + "rt.jar.pack", "packed");
    jaunt::prepareJre(home.c_str());
    EXPECT_EQ(runsLog(), run("charsets.jar") + run("jsse.jar") + run("rt.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(lib + "rt.jar.pack"));
}

// A tool that does not finish within the bound is stopped and the run ends with internal error 21;
// its packed file stays, so the next start unpacks that archive and the rest.
TEST_F(PackedJre, AToolThatDoesNotFinishIsStoppedAndTheRunEnds) {
    std::string jre = deathTestHome(), lib = jre + "\\lib\\";
    jaunt_test::writeText(lib + "rt.jar.pack", "packed");
    jaunt_test::writeText(lib + "charsets.jar.pack", "hang");
    jaunt_test::writeText(lib + "jsse.jar.pack", "packed");
    EXPECT_EXIT(
        {
            configure({{1009, "An internal error occurred (error code: %ERROR_CODE%)"}});
            jaunt::switchOffErrorDialogs();
            jaunt::setPreparationBound(2000);  // long enough for a tool that finishes
            jaunt::prepareJre(jre.c_str());
        },
        ::testing::ExitedWithCode(1), "An internal error occurred \\(error code: 21\\)");
    std::string runs = runsLog();
    EXPECT_NE(runs.find("rt.jar.pack"), std::string::npos) << runs;
    EXPECT_EQ(runs.find("jsse.jar.pack"), std::string::npos) << runs;
    size_t hanging = runs.find("hanging ");
    ASSERT_NE(hanging, std::string::npos) << runs;
    HANDLE tool = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(runs.substr(hanging + 8)));
    if (tool != nullptr) {
        EXPECT_EQ(WaitForSingleObject(tool, 10000), static_cast<DWORD>(WAIT_OBJECT_0)) << "the tool was stopped";
        CloseHandle(tool);
    }
    EXPECT_EQ(jaunt_test::readText(lib + "charsets.jar"), "partly");
    EXPECT_TRUE(jaunt_test::fileExists(lib + "charsets.jar.pack"));

    jaunt_test::writeText(lib + "charsets.jar.pack", "packed");
    jaunt::prepareJre(jre.c_str());
    EXPECT_EQ(jaunt_test::readText(lib + "charsets.jar"), "unpacked from " + lib + "charsets.jar.pack");
    EXPECT_TRUE(jaunt_test::fileExists(lib + "jsse.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(lib + "charsets.jar.pack"));
    EXPECT_FALSE(jaunt_test::fileExists(lib + "jsse.jar.pack"));
}

DWORD WINAPI prepareInThread(void* directory) {
    jaunt::prepareJre(static_cast<const char*>(directory));
    return 0;
}

TEST_F(PackedJre, ASecondLauncherWaitsForThePreparationUnderWayAndDoesNotUnpackAgain) {
    char name[64], sameDirectory[64], otherDirectory[64];
    ASSERT_TRUE(jaunt::jreLockName(home.c_str(), name, sizeof(name)));
    ASSERT_TRUE(jaunt::jreLockName((lower(home) + "\\").c_str(), sameDirectory, sizeof(sameDirectory)));
    ASSERT_TRUE(jaunt::jreLockName((home + "2").c_str(), otherDirectory, sizeof(otherDirectory)));
    EXPECT_STREQ(name, sameDirectory);
    EXPECT_STRNE(name, otherDirectory);
    EXPECT_EQ(std::string(name).find('\\'), std::string::npos);

    // Another launcher holds the lock and is unpacking.
    HANDLE other = CreateMutexA(nullptr, TRUE, name);
    ASSERT_NE(other, nullptr);
    jaunt_test::writeText(home + "\\lib\\rt.jar.pack", "packed rt");
    HANDLE second = CreateThread(nullptr, 0, prepareInThread, const_cast<char*>(home.c_str()), 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(second, 500), static_cast<DWORD>(WAIT_TIMEOUT)) << "it waits for the other";
    jaunt_test::writeText(home + "\\lib\\rt.jar", "unpacked");
    jaunt_test::writeText(home + "\\lib\\jsse.jar", "unpacked");
    DeleteFileA((home + "\\lib\\rt.jar.pack").c_str());
    ReleaseMutex(other);
    EXPECT_EQ(WaitForSingleObject(second, 60000), static_cast<DWORD>(WAIT_OBJECT_0));
    CloseHandle(second);
    CloseHandle(other);
    EXPECT_FALSE(jaunt_test::fileExists(home + "\\bin\\unpack200.log")) << "the JRE was prepared already";
}

// Another launcher holds the lock past the bound: with packed files left the run ends with internal
// error 22 instead of testing a half-prepared JRE, and nothing is unpacked beside the other
// launcher; when the other one finished meanwhile, the run goes on.
TEST_F(PackedJre, AWaitPastTheBoundEndsTheRunUnlessTheJreGotPrepared) {
    std::string jre = deathTestHome();
    jaunt_test::writeText(jre + "\\lib\\rt.jar.pack", "packed rt");
    char name[64];
    ASSERT_TRUE(jaunt::jreLockName(jre.c_str(), name, sizeof(name)));
    EXPECT_EXIT(
        {
            configure({{1009, "An internal error occurred (error code: %ERROR_CODE%)"}});
            jaunt::switchOffErrorDialogs();
            jaunt::setPreparationBound(300);
            CreateMutexA(nullptr, TRUE, name);  // held by this thread, waited for by another
            WaitForSingleObject(CreateThread(nullptr, 0, prepareInThread, &jre[0], 0, nullptr), INFINITE);
        },
        ::testing::ExitedWithCode(1), "An internal error occurred \\(error code: 22\\)");
    EXPECT_FALSE(jaunt_test::fileExists(jre + "\\bin\\unpack200.log"));

    HANDLE other = CreateMutexA(nullptr, TRUE, name);
    jaunt::setPreparationBound(300);
    HANDLE second = CreateThread(nullptr, 0, prepareInThread, &jre[0], 0, nullptr);
    Sleep(100);
    DeleteFileA((jre + "\\lib\\rt.jar.pack").c_str());
    EXPECT_EQ(WaitForSingleObject(second, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
    jaunt::setPreparationBound(5 * 60 * 1000);
    CloseHandle(second);
    CloseHandle(other);
    EXPECT_FALSE(jaunt_test::fileExists(jre + "\\bin\\unpack200.log"));
}

}  // namespace
