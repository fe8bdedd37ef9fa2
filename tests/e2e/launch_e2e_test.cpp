// The Java launch end to end, with a JRE whose jvm.dll is the recording double: the options, the
// class path and the parameters of main that a JVM would receive, and every way the launch can end.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "e2etools.h"
#include "jvmtrees.h"
#include "payloadwriter.h"

namespace {

using jaunt_test::RunOptions;

using jaunt_test::lower;

// The UTF-16 form of a text of the test's own paths (ASCII, or Latin-1 in code page 1252).
std::u16string latin1(const std::string& text) {
    std::u16string wide;
    for (char c : text) wide.push_back(static_cast<unsigned char>(c));
    return wide;
}

class Launch : public jaunt_test::LauncherTest {
protected:
    std::string jre() const { return dir.file("jre"); }
    std::string recordPath() const { return dir.file("record.txt"); }

    void SetUp() override { jaunt_test::makeJre(jre(), jaunt_test::JreOptions{"1.8.0_201", true, "client",
                                                                              jaunt_test::JvmLibrary::Recording}); }

    // A launcher that finds the JRE beside it; records added after the defaults replace them.
    std::string makeApp(std::vector<jaunt::NarrowRecord> extra = {}, const std::string& name = "app.exe") {
        std::vector<jaunt::NarrowRecord> records = jaunt_test::consoleRecords(
            {{128, "Bjre"}, {122, "com.example.Main"}, {1005, "The JVM could not be started."},
             {1006, "File or directory %FILE_NAME% not found or empty"},
             {1008, "The environment variable %ENV_VAR_NAME% has to be defined"}, {1009, "Internal error %ERROR_CODE%"},
             {1010, "Couldn't load main class."}, {1011, "Main method not found."}});
        records.insert(records.end(), extra.begin(), extra.end());
        return make(records, name);
    }

    jaunt_test::RunResult launch(const std::wstring& arguments = L"", const std::string& script = "",
                                 RunOptions options = RunOptions()) {
        options.set["JAUNT_RECORD"] = recordPath();
        options.set["JAUNT_RECORD_SCRIPT"] = script;
        DeleteFileA(recordPath().c_str());
        return start(arguments, options);
    }

    std::vector<std::string> record() const {
        std::vector<std::string> lines;
        std::string text = jaunt_test::readText(recordPath());
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    std::vector<std::string> recorded(const std::string& prefix) const {
        std::vector<std::string> lines;
        for (const std::string& line : record())
            if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(prefix.size()));
        return lines;
    }
    bool recordHas(const std::string& line) const {
        for (const std::string& entry : record())
            if (entry == line) return true;
        return false;
    }
    std::vector<std::string> options() const {
        std::vector<std::string> values;
        for (const std::string& line : recorded("option ")) values.push_back(line.substr(line.find('=') + 1));
        return values;
    }
    std::vector<std::string> mainArguments() const { return recorded("main-arg "); }
    std::string mainArgument(size_t index, const std::u16string& text) const {
        return std::to_string(index) + jaunt_test::hexUnits(text);
    }
    // The launcher run from a Linux shell with Wine's debug channel on: what Wine traced.
    std::string wineTrace(const std::string& channel) {
        std::string result = dir.file("trace.code");
        DeleteFileA(result.c_str());
        // Wine's loader of this prefix (32-bit or 64-bit), as Wine names it in the environment.
        char loader[MAX_PATH] = "wine";
        GetEnvironmentVariableA("WINELOADER", loader, sizeof(loader));
        std::string line = "\"" + jaunt_test::fixture("JAUNT_TEST_RUN_LINUX") + "\" \"" + unixPath(dir.path()) +
                           "\" trace env WINEDEBUG=fixme+" + channel + " JAUNT_RECORD_SCRIPT=app-id \"JAUNT_RECORD=" +
                           recordPath() + "\" \"TMP=" + dir.path() + "\" sh -c \"exec $1 $0\" \"" + exe + "\" \"" +
                           loader + "\"";
        std::wstring wide = jaunt_test::widen(line);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        EXPECT_TRUE(CreateProcessW(nullptr, &wide[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &process));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        // Wine hands back no usable handle for a Linux process: wait for the file it writes last.
        for (int i = 0; i < 600 && !jaunt_test::fileExists(result); ++i) Sleep(100);
        EXPECT_TRUE(jaunt_test::fileExists(result));
        return jaunt_test::readText(dir.file("trace.out"));
    }
    static std::string unixPath(const std::string& path) {
        typedef char*(__cdecl * UnixFileName)(const wchar_t*);
        auto convert = reinterpret_cast<UnixFileName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
        char* name = convert ? convert(jaunt_test::widen(path).c_str()) : nullptr;
        std::string result = name ? name : "";
        if (name) HeapFree(GetProcessHeap(), 0, name);
        return result;
    }
    std::string launcherDirectory() const {
        char shortPath[MAX_PATH];
        GetShortPathNameA(dir.path().c_str(), shortPath, sizeof(shortPath));
        return lower(shortPath) + "\\";
    }
};

TEST_F(Launch, OptionsArriveInTheirFixedOrder) {
    makeApp({{123, "\"-Xmx64m\" \"-Dsun.java2d.noddraw=true\""}});
    auto result = launch(L"", "", [] { RunOptions o; o.set["JAUNT_LOG"] = "yes"; return o; }());
    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_TRUE(recordHas("JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=5"));
    std::vector<std::string> expected = {"-Djaunt.moduleName=" + launcherDirectory() + "app.exe", "-Djaunt.tempDir=",
                                         "-Djava.class.path=", "-Xmx64m", "-Dsun.java2d.noddraw=true"};
    EXPECT_EQ(options(), expected);
    std::string log = jaunt_test::readText(logFiles().at(0));
    EXPECT_NE(log.find("vmoption count 5\r\nvmoption 0: -Djaunt.moduleName="), std::string::npos) << log;
    EXPECT_NE(log.find("vmoption 4: -Dsun.java2d.noddraw=true\r\nCreating JVM\r\nJVM created\r\n"), std::string::npos);
    EXPECT_NE(log.find("main returned\r\ndest JVM\r\nlaunch done\r\n"), std::string::npos) << log;
}

TEST_F(Launch, TheSingleInstanceKeyAddsTheSemaphoreAndCommunicationFile) {
    makeApp({{10005, "1"}});
    ASSERT_EQ(launch().exitCode, 0u);
    std::vector<std::string> got = options();
    ASSERT_GE(got.size(), 4u);
    std::string module = launcherDirectory() + "app.exe", instance = module;
    for (char& c : instance)
        if (c == '\\') c = '_';
    EXPECT_EQ(got[0], "-Djaunt.semaphoreName=" + instance);
    EXPECT_EQ(got[1], "-Djaunt.moduleName=" + module);
    // The launcher's temporary path is the TMP the test gives it.
    EXPECT_EQ(got[2].rfind("-Djaunt.processCommFile=" + dir.path() + "\\jnt_p", 0), 0u) << got[2];
    EXPECT_EQ(got[2].substr(got[2].size() - 4), ".tmp");
    EXPECT_EQ(got[3], "-Djaunt.tempDir=");
}

TEST_F(Launch, TheVmoptionsFileBesideTheLauncherComesBeforeTheClassPath) {
    makeApp();
    jaunt_test::writeText(dir.file("app.vmoptions"), "-Dfirst=1\r\n\r\n# memory\n-Djava.class.path=x\n-Dlast=2");
    jaunt_test::writeText(dir.file("app.exe.vmoptions"), "-Dignored=1\n");
    ASSERT_EQ(launch().exitCode, 0u);
    std::vector<std::string> got = options();
    ASSERT_EQ(got.size(), 8u);
    EXPECT_EQ(std::vector<std::string>(got.begin() + 2, got.end()),
              (std::vector<std::string>{"-Dfirst=1", "", "# memory", "-Djava.class.path=x", "-Dlast=2",
                                        "-Djava.class.path="}));
    DeleteFileA(dir.file("app.vmoptions").c_str());
    ASSERT_EQ(launch().exitCode, 0u);
    EXPECT_EQ(options().at(2), "-Dignored=1") << "the second name is used when the first is missing";

    // Started by its short name, a launcher finds the file named after its long name.
    makeApp({}, "My Application.exe");
    jaunt_test::writeText(dir.file("My Application.vmoptions"), "-Dlong=1\n");
    char shortName[MAX_PATH];
    ASSERT_NE(GetShortPathNameA(exe.c_str(), shortName, sizeof(shortName)), 0u);
    exe = shortName;
    ASSERT_EQ(launch().exitCode, 0u);
    EXPECT_EQ(options().at(2), "-Dlong=1");
}

TEST_F(Launch, MainReceivesTheRuntimeArgumentsTheProgramNameAndTheUsersArguments) {
    makeApp({{107, "1"}, {1000, "Error"}});
    auto result = launch(L"-q_bkt_internal a \"b c\" \u00e9t\u00e9 \u4e2d");
    ASSERT_EQ(result.exitCode, 0u) << result.err;
    std::vector<std::string> expected = {
        mainArgument(0, u"true"), mainArgument(1, u"com.example.Main"), "2", "3", mainArgument(4, u"false"),
        mainArgument(5, latin1(exe)),
        mainArgument(6, u"-q_bkt_internal"), mainArgument(7, u"a"), mainArgument(8, u"b c"),
        mainArgument(9, u"\u00e9t\u00e9"), mainArgument(10, u"\u4e2d")};
    EXPECT_EQ(mainArguments(), expected);
    EXPECT_TRUE(recordHas("call com/jaunt/runtime/WinLauncher.main"));
    EXPECT_TRUE(recordHas("GetStaticMethodID com/jaunt/runtime/WinLauncher main ([Ljava/lang/String;)V"));
}

TEST_F(Launch, AnApostropheInAnUnquotedProgramNameStaysInTheProgramName) {
    makeApp();
    std::string named = dir.file("o'brien.exe");
    ASSERT_TRUE(MoveFileA(exe.c_str(), named.c_str()));
    exe = named;
    // Started without quotes, as Explorer, cmd and ProcessBuilder start a path without blanks.
    RunOptions options;
    options.set["TMP"] = dir.path();
    options.set["JAUNT_RECORD"] = recordPath();
    for (const wchar_t* tail : {L" --open x", L" \"it's\" x"}) {
        DeleteFileA(recordPath().c_str());
        auto result = jaunt_test::run(jaunt_test::widen(exe) + tail, options);
        ASSERT_EQ(result.exitCode, 0u) << result.err;
        std::vector<std::string> got = mainArguments();
        ASSERT_EQ(got.size(), 8u);
        EXPECT_EQ(got[5], mainArgument(5, latin1(exe)));
        EXPECT_EQ(got[6], mainArgument(6, tail[1] == '-' ? u"--open" : u"it's"));
        EXPECT_EQ(got[7], mainArgument(7, u"x"));
    }
}

TEST_F(Launch, ConfiguredArgumentsAndFilePathsTakeTheirPlaces) {
    makeApp({{124, "-x %JAUNT_EXEDIR% 'two words'"}, {102, "1"}, {103, "logs\\error.log"}, {104, "0"},
             {105, "out.log"}, {106, "1"}});
    ASSERT_EQ(launch(L"user").exitCode, 0u);
    std::vector<std::string> got = mainArguments();
    ASSERT_EQ(got.size(), 10u);
    char full[MAX_PATH];
    GetFullPathNameA((launcherDirectory() + "logs\\error.log").c_str(), sizeof(full), full, nullptr);
    EXPECT_EQ(got[2], mainArgument(2, latin1(full)));
    EXPECT_EQ(got[3], "3");
    EXPECT_EQ(got[4], mainArgument(4, u"true"));
    EXPECT_EQ(got[6], mainArgument(6, u"-x"));
    EXPECT_EQ(got[7], mainArgument(7, latin1(launcherDirectory())));
    EXPECT_EQ(got[8], mainArgument(8, u"two words"));
    EXPECT_EQ(got[9], mainArgument(9, u"user"));
}

TEST_F(Launch, DashJArgumentsBecomeVmOptionsOnlyWhenAllowed) {
    makeApp({{125, "1"}});
    ASSERT_EQ(launch(L"-J-Xmx32m foo").exitCode, 0u);
    EXPECT_EQ(options().back(), "-Xmx32m");
    std::vector<std::string> got = mainArguments();
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[6], mainArgument(6, u"foo"));

    makeApp({{125, "0"}});
    ASSERT_EQ(launch(L"-J-Xmx32m foo").exitCode, 0u);
    EXPECT_EQ(options().back(), "-Djava.class.path=");
    EXPECT_EQ(mainArguments().size(), 8u);
}

TEST_F(Launch, ClassPathEntriesInConfiguredOrder) {
    jaunt_test::makeDirectories(dir.file("lib"));
    for (const char* name : {"b.jar", "a.jar", "c.zip", "notes.txt"}) jaunt_test::writeText(dir.file("lib\\") + name, "x");
    jaunt_test::makeDirectories(dir.file("empty"));
    makeApp({{121, "A0.\\.\\JavaClasses.jar;S1lib;S1empty;E0APP_CP;a0lower.jar;E0UNSET_CP"}});
    RunOptions environment;
    environment.set["APP_CP"] = "\"C:\\a.jar;C:\\b.jar\"";
    environment.remove.push_back("UNSET_CP");
    ASSERT_EQ(launch(L"", "", environment).exitCode, 0u);
    std::string classPath = options().at(2);
    std::string d = launcherDirectory();
    EXPECT_EQ(classPath.substr(0, 18), "-Djava.class.path=");
    std::string elements = classPath.substr(18);
    EXPECT_EQ(elements.find(d + ".\\.\\JavaClasses.jar;"), 0u) << elements;
    // The listing order of the directory decides between a.jar and b.jar; the zip comes last.
    size_t a = elements.find(d + "lib\\a.jar;"), b = elements.find(d + "lib\\b.jar;"), c = elements.find(d + "lib\\c.zip;");
    EXPECT_NE(a, std::string::npos);
    EXPECT_NE(b, std::string::npos);
    EXPECT_GT(c, std::max(a, b));
    EXPECT_EQ(elements.substr(c + (d + "lib\\c.zip;").size()), "C:\\a.jar;C:\\b.jar;") << elements;
}

TEST_F(Launch, MissingMandatoryEntriesEndWithTheirMessages) {
    makeApp({{121, "A1.\\.\\JavaClasses.jar"}});
    auto result = launch();
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "File or directory .\\.\\JavaClasses.jar not found or empty\r\n");
    EXPECT_TRUE(recorded("JNI_CreateJavaVM").empty()) << "no JVM is created";

    makeApp({{121, "E1APP_CP"}});
    RunOptions unset;
    unset.remove.push_back("APP_CP");
    result = launch(L"", "", unset);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "The environment variable APP_CP has to be defined\r\n");
}

TEST_F(Launch, EveryFailureOfTheLaunchEndsWithItsMessageAndCode) {
    makeApp();
    auto result = launch(L"", "create-fails");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "The JVM could not be started.\r\n");

    result = launch(L"", "no-class=com/jaunt/runtime/WinLauncher");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Couldn't load main class.\r\n");

    result = launch(L"", "no-method=main");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Main method not found.\r\n");

    result = launch(L"", "main-throws");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.err.find("Exception in thread \"main\""), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("The JVM could not be started.\r\n"), std::string::npos) << result.err;
    EXPECT_FALSE(recordHas("DestroyJavaVM")) << "the JVM is not destroyed after a failed main";

    // The String[] or one of its strings cannot be made: a failed launch, not a crash.
    result = launch(L"a b", "array-fails");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "The JVM could not be started.\r\n");
    EXPECT_TRUE(recordHas("ExceptionClear"));
    result = launch(L"a b", "string-fails=3");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "The JVM could not be started.\r\n");
}

TEST_F(Launch, TheApplicationsOwnEndsAreKept) {
    makeApp();
    auto result = launch(L"", "main-exit=7");
    EXPECT_EQ(result.exitCode, 7u);
    EXPECT_EQ(result.err, "");

    result = launch(L"", "linger=1500");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_TRUE(recordHas("DestroyJavaVM waited 1500 ms"));
}

TEST_F(Launch, TheEnvironmentStageIsInPlaceWhenTheJvmStarts) {
    makeApp({{10004, "lib"}, {146, "."}});
    RunOptions options;
    options.set["PATH"] = "C:\\windows";
    options.workingDirectory = "C:\\";
    ASSERT_EQ(launch(L"", "", options).exitCode, 0u);
    std::string d = launcherDirectory();
    EXPECT_TRUE(recordHas("PATH=" + d + "lib;C:\\windows")) << jaunt_test::readText(recordPath());
    EXPECT_TRUE(recordHas("cwd=" + d.substr(0, d.size() - 1))) << jaunt_test::readText(recordPath());

    // Without directories to add, a long PATH reaches the JVM whole, system32 at its end included.
    makeApp();
    std::string longPath;
    for (int i = 0; longPath.size() < 11080; ++i) longPath += "C:\\Program Files\\Tool" + std::to_string(i) + "\\bin;";
    longPath += "C:\\windows\\system32";
    options.set["PATH"] = longPath;
    ASSERT_EQ(launch(L"", "", options).exitCode, 0u);
    EXPECT_TRUE(recordHas("PATH=" + longPath));
}

TEST_F(Launch, TheInstallerFlavourRunsTheFirstRunHook) {
    jaunt_test::makeDirectories(dir.file(".bundlekit"));
    makeApp({{2001, "i"}, {10003, "."}});
    ASSERT_EQ(launch(L"", "firstrun=true").exitCode, 0u);
    EXPECT_FALSE(recordHas("FindClass com/bundlekit/runtime/FirstRun")) << "no marker, no hook";
    EXPECT_EQ(options().at(0), "-Djaunt.isBundlekit=true");
    EXPECT_NE(options().at(3).find(launcherDirectory() + ".bundlekit\\bktruntime.jar;"), std::string::npos);

    jaunt_test::writeText(dir.file(".bundlekit\\firstrun"), "");
    ASSERT_EQ(launch(L"", "firstrun=true").exitCode, 0u);
    EXPECT_TRUE(recordHas("call com/bundlekit/runtime/FirstRun.firstRun -> true"));
    EXPECT_TRUE(recordHas("call com/jaunt/runtime/WinLauncher.main"));

    auto result = launch(L"", "firstrun=false");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(recordHas("call com/jaunt/runtime/WinLauncher.main"));
    EXPECT_TRUE(recordHas("DestroyJavaVM"));

    result = launch(L"", "firstrun=throw");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_FALSE(recordHas("call com/jaunt/runtime/WinLauncher.main"));

    result = launch(L"", "no-class=com/bundlekit/runtime/FirstRun");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Internal error 14\r\n");
    result = launch(L"", "no-method=firstRun");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Internal error 15\r\n");
}

TEST_F(Launch, IncludedArchivesComeFirstOnTheClassPathAndNameTheTempDir) {
    std::vector<jaunt::IncludedFile> files = {{"jauntlib.jar", {'P', 'K'}}, {"extra.zip", {'P', 'K'}},
                                              {"readme.txt", {'x'}}};
    std::vector<jaunt::NarrowRecord> records = jaunt_test::consoleRecords(
        {{128, "Bjre"}, {121, "A0app.jar"}, {124, "${JAUNT_TEMPDIR}"}, {2002, "3"},
         {2003, jaunt::fileNameList({"jauntlib.jar", "extra.zip", "readme.txt"})}});
    exe = jaunt_test::writeLauncher(dir.file("app.exe"), records, {}, jaunt::encodePayload(files));
    ASSERT_EQ(launch().exitCode, 0u);
    std::vector<std::string> got = options();
    ASSERT_GE(got.size(), 3u);
    std::string tempDir = got[1].substr(std::string("-Djaunt.tempDir=").size());
    ASSERT_FALSE(tempDir.empty());
    EXPECT_EQ(got[2], "-Djava.class.path=" + tempDir + "\\jauntlib.jar;" + tempDir + "\\extra.zip;" +
                          launcherDirectory() + "app.jar;");
    EXPECT_EQ(mainArguments().at(6), mainArgument(6, latin1(tempDir)));
}

TEST_F(Launch, OverlongTextsAreCutWhereTheyMayBeAndRefusedWhereTheyMayNot) {
    // Two thousand archives: the class path keeps the whole names that fit and the run goes on.
    jaunt_test::makeDirectories(dir.file("many"));
    for (int i = 0; i < 2000; ++i) {
        HANDLE file = CreateFileA(dir.file("many\\archive-number-" + std::to_string(i) + ".jar").c_str(), GENERIC_WRITE,
                                  0, nullptr, CREATE_NEW, 0, nullptr);
        CloseHandle(file);
    }
    // An environment entry beyond a text buffer is not substituted at all rather than cut.
    makeApp({{121, "S1many"}, {123, "\"-Dbig=${BIG_VALUE}\" -Dsmall=${SMALL_VALUE}"}});
    jaunt_test::writeText(dir.file("app.vmoptions"), std::string(9000, 'v') + "\n-Dnext=1\n");
    RunOptions environment;
    environment.set["BIG_VALUE"] = std::string(9000, 'b');
    environment.set["SMALL_VALUE"] = "s";
    environment.set["JAUNT_LOG"] = "yes";
    ASSERT_EQ(launch(L"", "", environment).exitCode, 0u);
    std::vector<std::string> got = options();
    ASSERT_EQ(got.size(), 8u);
    // A vmoptions line longer than the line buffer arrives as two options.
    EXPECT_EQ(got[2], std::string(jaunt::kTextSize - 1, 'v'));
    EXPECT_EQ(got[3], std::string(9000 - (jaunt::kTextSize - 1), 'v'));
    EXPECT_EQ(got[4], "-Dnext=1");
    const std::string& classPath = got[5];
    EXPECT_LE(classPath.size(), jaunt::kTextSize - 1);
    EXPECT_GT(classPath.size(), jaunt::kTextSize - 200);
    EXPECT_EQ(classPath.back(), ';');
    EXPECT_EQ(classPath.substr(classPath.rfind(';', classPath.size() - 2) + 1).find(launcherDirectory() + "many\\archive-number-"),
              0u);
    EXPECT_EQ(got[6], "-Dbig=${BIG_VALUE}");
    EXPECT_EQ(got[7], "-Dsmall=s");
    std::string log = jaunt_test::readText(logFiles().at(0));
    EXPECT_NE(log.find("ERROR: class path too long, left out: "), std::string::npos);
    EXPECT_NE(log.find("ERROR: environment entry longer than 8191 bytes not substituted"), std::string::npos);
}

// The process's explicit AppUserModelID, read back where the system keeps it (Windows): the JVM
// sees it. Wine 8 keeps none (GetCurrentProcessExplicitAppUserModelID answers E_NOTIMPL, as the
// record shows); there the test reads Wine's trace of the call, which a Wine process writes to the
// standard error of its Linux process: a Linux shell starts the launcher with that in a file.
TEST_F(Launch, TheApplicationIdIsTheProcesssOwnWhenTheJvmStarts) {
    makeApp({{109, "Loomwright.Jaunt.Tests"}});
    ASSERT_EQ(launch(L"", "app-id").exitCode, 0u);
    std::string id = recorded("app-id ").at(0);
    bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_EQ(id, wine ? "none 0x80004001" : "Loomwright.Jaunt.Tests");
    if (wine) {
        std::string trace = wineTrace("shcore");
        EXPECT_NE(trace.find("SetCurrentProcessExplicitAppUserModelID L\"Loomwright.Jaunt.Tests\""), std::string::npos)
            << trace;
    }

    makeApp();
    ASSERT_EQ(launch(L"", "app-id").exitCode, 0u);
    EXPECT_EQ(recorded("app-id ").at(0).rfind("none ", 0), 0u);
    if (wine) {
        std::string trace = wineTrace("shcore");
        EXPECT_NE(trace.find("GetCurrentProcessExplicitAppUserModelID"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("SetCurrentProcessExplicitAppUserModelID"), std::string::npos) << trace;
    }
}

TEST_F(Launch, TheJarsModuleFlagsReachOnlyAJavaThatKnowsModules) {
    jaunt_test::makeJre(dir.file("jre17"), jaunt_test::JreOptions{"17.0.2", true, "client",
                                                                   jaunt_test::JvmLibrary::Recording});
    std::vector<jaunt::NarrowRecord> flags = {{123, "-Xmx64m"},
                                              {125, "1"},
                                              {132, "java.base/java.lang  java.desktop/sun.awt"},
                                              {133, "java.base/jdk.internal.misc"},
                                              {134, "1"}};
    std::vector<std::string> modular = {"-Xmx64m",
                                        "--add-opens=java.base/java.lang=ALL-UNNAMED",
                                        "--add-opens=java.desktop/sun.awt=ALL-UNNAMED",
                                        "--add-exports=java.base/jdk.internal.misc=ALL-UNNAMED",
                                        "--enable-native-access=ALL-UNNAMED",
                                        "-Dlast=1"};
    std::vector<jaunt::NarrowRecord> records = flags;
    records.push_back({128, "Bjre17"});
    makeApp(records);
    // The first run asks java.exe for its version, the second takes it from the per-user cache.
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(launch(L"-J-Dlast=1").exitCode, 0u);
        std::vector<std::string> got = options();
        ASSERT_GE(got.size(), modular.size());
        EXPECT_EQ(std::vector<std::string>(got.end() - static_cast<long>(modular.size()), got.end()), modular) << run;
    }
    EXPECT_EQ(jaunt_test::javaRuns(dir.file("jre17\\bin")).size(), 1u);

    // Java 8 refuses them.
    makeApp(flags);
    ASSERT_EQ(launch(L"-J-Dlast=1").exitCode, 0u);
    std::vector<std::string> got = options();
    EXPECT_EQ(std::vector<std::string>(got.end() - 2, got.end()), (std::vector<std::string>{"-Xmx64m", "-Dlast=1"}));
}

TEST_F(Launch, ClassDataSharingFollowsTheJavaVersionAndTheApplication) {
    for (const char* version : {"11.0.2", "17.0.2", "21.0.1"})
        jaunt_test::makeJre(dir.file(std::string("jre") + std::string(version).substr(0, 2)),
                            jaunt_test::JreOptions{version, true, "client", jaunt_test::JvmLibrary::Recording});
    jaunt_test::writeText(dir.file("app.jar"), "PK");
    jaunt_test::makeDirectories(dir.file("local"));
    RunOptions environment;
    environment.set["LOCALAPPDATA"] = dir.file("local");
    std::string cache = dir.file("local\\Jaunt\\cds\\");
    auto app = [&](const char* jre) {
        makeApp({{121, "A1app.jar"}, {123, "-Xmx64m"}, {125, "1"}, {135, "1"}, {128, jre}});
    };
    // The options after -Xmx64m and before the forwarded -J option.
    auto sharing = [&]() {
        EXPECT_EQ(launch(L"-J-Dlast=1", "", environment).exitCode, 0u);
        std::vector<std::string> got = options();
        auto from = std::find(got.begin(), got.end(), "-Xmx64m"), to = std::find(got.begin(), got.end(), "-Dlast=1");
        EXPECT_TRUE(from != got.end() && to != got.end());
        return from < to ? std::vector<std::string>(from + 1, to) : std::vector<std::string>();
    };
    auto archiveOf = [&](const std::string& option) {
        std::string file = option.substr(option.find('=') + 1);
        EXPECT_EQ(file.rfind(cache, 0), 0u) << file;
        std::string name = file.substr(cache.size());
        EXPECT_EQ(name.size(), 16u + 1 + 16 + 4) << name;
        EXPECT_EQ(name.substr(name.size() - 4), ".jsa");
        return file;
    };

    // Java 17: made at the end of the first run, used by the next.
    app("Bjre17");
    std::vector<std::string> got = sharing();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "-Xlog:cds*=off");
    ASSERT_EQ(got[1].rfind("-XX:ArchiveClassesAtExit=", 0), 0u) << got[1];
    std::string archive17 = archiveOf(got[1]);
    jaunt_test::writeText(archive17, "archive");  // what the JVM writes at exit
    EXPECT_EQ(sharing(), (std::vector<std::string>{"-Xlog:cds*=off", "-XX:SharedArchiveFile=" + archive17}));

    // A changed application gets a new archive, and the old one goes.
    jaunt_test::writeText(dir.file("app.jar"), "PK, version 2");
    got = sharing();
    ASSERT_EQ(got.size(), 2u);
    ASSERT_EQ(got[1].rfind("-XX:ArchiveClassesAtExit=", 0), 0u) << got[1];
    EXPECT_NE(archiveOf(got[1]), archive17);
    EXPECT_FALSE(jaunt_test::fileExists(archive17));

    // Java 21 keeps its archive itself, under a name of its own.
    app("Bjre21");
    got = sharing();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1], "-XX:+AutoCreateSharedArchive");
    ASSERT_EQ(got[2].rfind("-XX:SharedArchiveFile=", 0), 0u) << got[2];
    EXPECT_NE(archiveOf(got[2]), archive17);

    // Java 11 has no archive of the application's classes.
    app("Bjre11");
    EXPECT_EQ(sharing(), std::vector<std::string>{});

    // Archives extracted to a new directory at every start: no archive would ever fit.
    std::vector<jaunt::NarrowRecord> records = jaunt_test::consoleRecords(
        {{128, "Bjre21"}, {123, "-Xmx64m"}, {125, "1"}, {135, "1"}, {2002, "1"},
         {2003, jaunt::fileNameList({"jauntlib.jar"})}});
    exe = jaunt_test::writeLauncher(dir.file("app.exe"), records, {},
                                    jaunt::encodePayload({{"jauntlib.jar", {'P', 'K'}}}));
    EXPECT_EQ(sharing(), std::vector<std::string>{});
}

TEST_F(Launch, TheLauncherFlavourNeverLooksAtTheMarker) {
    jaunt_test::makeDirectories(dir.file(".bundlekit"));
    jaunt_test::writeText(dir.file(".bundlekit\\firstrun"), "");
    makeApp({{10003, "."}});
    ASSERT_EQ(launch().exitCode, 0u);
    EXPECT_FALSE(recordHas("FindClass com/bundlekit/runtime/FirstRun"));
}

}  // namespace
