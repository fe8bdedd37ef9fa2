// A launcher that jaunt built with its application's own runtime runs where no Java is installed:
// the first start unpacks the runtime into the per-user cache, later ones use it as it is, and no
// fault (a changed cache, a launcher killed while unpacking, ten first starts at once, an update of
// the application, a cache that cannot be written) leaves a broken runtime that a start would load.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "e2etools.h"

namespace {

// Names and last-write times of every file below dir.
std::map<std::string, uint64_t> snapshot(const std::string& dir) {
    std::map<std::string, uint64_t> files;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            for (const auto& [child, time] : snapshot(dir + "\\" + name)) files[name + "\\" + child] = time;
            files[name + "\\"] = 0;
        } else {
            files[name] = (uint64_t(found.ftLastWriteTime.dwHighDateTime) << 32) | found.ftLastWriteTime.dwLowDateTime;
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class CarriedRuntime : public jaunt_test::LauncherTest {
protected:
    void SetUp() override {
        jaunt_test::makeDirectories(dir.file("local"));
        cache = dir.file("local\\Jaunt\\runtimes");
        exe = build("app", "rt", "");
    }

    // A runtime image of test doubles (its jvm.dll records), built into a launcher by jaunt.exe.
    std::string build(const std::string& name, const std::string& runtime, const std::string& extraFile) {
        std::string home = dir.file(runtime);
        jaunt_test::copyFixture("JAUNT_TEST_RECORDING_JVM", home + "\\bin\\server\\jvm.dll");
        jaunt_test::writeText(home + "\\release", "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"17.0.2\"\nMODULES=\"java.base\"\n");
        std::string modules(200000, '\0');
        for (size_t i = 0; i < modules.size(); ++i) modules[i] = static_cast<char>((i * 7919) >> 5);
        jaunt_test::makeDirectories(home + "\\lib");
        jaunt_test::makeDirectories(home + "\\conf\\security");
        jaunt_test::writeText(home + "\\lib\\modules", modules);
        jaunt_test::writeText(home + "\\conf\\security\\java.security", "securerandom.source=file:/dev/random\n");
        jaunt_test::makeDirectories(home + "\\legal\\empty");
        if (!extraFile.empty()) jaunt_test::writeText(home + "\\" + extraFile, "added in an update");
        jaunt_test::writeText(dir.file(name + ".toml"),
                              "[application]\nname = \"Carried\"\nexecutable_type = 0\n[java]\nmain_class = \"com.example.Main\"\n"
                              "add_opens = [\"java.base/java.lang\"]\n"
                              "[files]\nruntime = false\n[runtime]\npath = \"" + runtime + "\"\n");
        jaunt_test::RunResult built = jaunt_test::run(L"\"" + jaunt_test::widen(jaunt_test::fixture("JAUNT_TEST_JAUNT")) +
                                                      L"\" build \"" + jaunt_test::widen(dir.file(name + ".toml")) +
                                                      L"\" --stub \"" + jaunt_test::widen(jaunt_test::stubPath()) + L"\"");
        EXPECT_EQ(built.exitCode, 0u) << built.err;
        jaunt_test::removeTree(home);  // no Java anywhere but in the launcher
        return dir.file(name + ".exe");
    }

    jaunt_test::RunOptions options(const std::string& record = "record.txt") {
        jaunt_test::RunOptions o;
        o.set["LOCALAPPDATA"] = dir.file("local");
        o.set["JAUNT_RECORD"] = dir.file(record);
        o.set["JAUNT_LOG"] = "yes";
        o.remove = {"JAUNT_JAVA_HOME", "JAVA_HOME", "JAUNT_TEST_STOP_RUNTIME"};
        return o;
    }
    // Starts the launcher and returns what its log said.
    std::string startLogged(jaunt_test::RunOptions o, DWORD expectedExit = 0) {
        for (const std::string& log : logFiles()) DeleteFileA(log.c_str());
        jaunt_test::RunResult result = start(L"", o);
        EXPECT_EQ(result.exitCode, expectedExit) << result.err;
        std::string text;
        for (const std::string& log : logFiles()) text += jaunt_test::readText(log);
        return text;
    }
    // The one runtime folder of the cache (its name is the pack's hash).
    std::string runtimeFolder() {
        std::vector<std::string> folders;
        for (const auto& [name, time] : snapshot(cache))
            if (name.size() == 65 && name.back() == '\\') folders.push_back(cache + "\\" + name.substr(0, 64));
        EXPECT_EQ(folders.size(), 1u);
        return folders.empty() ? std::string() : folders[0];
    }
    bool leftovers() {
        for (const auto& [name, time] : snapshot(cache))
            if (name.find(".partial-") != std::string::npos || name.find(".removing-") != std::string::npos) return true;
        return false;
    }

    std::string cache;
};

TEST_F(CarriedRuntime, UnpacksOnceAndIsReusedUntilSomethingChangesIt) {
    std::string log = startLogged(options());
    EXPECT_NE(log.find(" unpacked in "), std::string::npos) << log;
    std::string record = jaunt_test::readText(dir.file("record.txt"));
    EXPECT_NE(record.find("call com/jaunt/runtime/WinLauncher.main"), std::string::npos) << record;
    EXPECT_NE(record.find("-Djaunt.runtimeVersion=17.0.2"), std::string::npos) << record;
    // The runtime's version is the Java's: a Java 17 gets the module flags.
    EXPECT_NE(record.find("--add-opens=java.base/java.lang=ALL-UNNAMED"), std::string::npos) << record;
    std::string folder = runtimeFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(jaunt_test::fileExists(folder + "\\bin\\server\\jvm.dll"));
    EXPECT_TRUE(jaunt_test::fileExists(folder + "\\legal\\empty"));
    EXPECT_EQ(jaunt_test::readText(folder + "\\conf\\security\\java.security"), "securerandom.source=file:/dev/random\n");

    // A later start writes nothing: the cache is the same, file for file and time for time.
    std::map<std::string, uint64_t> before = snapshot(cache);
    log = startLogged(options());
    EXPECT_NE(log.find(" reused, checked in "), std::string::npos) << log;
    EXPECT_EQ(snapshot(cache), before);

    // A lost file, or one rewritten with the same length, is noticed and the runtime unpacked anew.
    ASSERT_TRUE(DeleteFileA((folder + "\\lib\\modules").c_str()));
    log = startLogged(options());
    EXPECT_NE(log.find(" unpacked in "), std::string::npos) << log;
    EXPECT_TRUE(jaunt_test::fileExists(folder + "\\lib\\modules"));
    jaunt_test::writeText(folder + "\\conf\\security\\java.security", "securerandom.source=file:/dev/urando\n");
    log = startLogged(options());
    EXPECT_NE(log.find("was changed"), std::string::npos) << log;
    EXPECT_EQ(jaunt_test::readText(folder + "\\conf\\security\\java.security"), "securerandom.source=file:/dev/random\n");
    EXPECT_FALSE(leftovers());
}

// Killed after some files, after the rename into place (before the mark): the next start unpacks
// again and runs, and what the killed one left is gone.
TEST_F(CarriedRuntime, ALauncherKilledWhileUnpackingLeavesNothingThatIsUsed) {
    for (const char* step : {"files:1", "files:4", "renamed"}) {
        SCOPED_TRACE(step);
        jaunt_test::removeTree(cache);
        jaunt_test::RunOptions stopped = options();
        stopped.remove.clear();
        stopped.set["JAUNT_TEST_STOP_RUNTIME"] = step;
        startLogged(stopped, 99);
        std::string log = startLogged(options());
        EXPECT_NE(log.find(" unpacked in "), std::string::npos) << log;
        EXPECT_NE(jaunt_test::readText(dir.file("record.txt")).find("WinLauncher.main"), std::string::npos);
        EXPECT_FALSE(leftovers());
    }
}

TEST_F(CarriedRuntime, TenFirstStartsAtOnceUnpackOnceAndAllReachMain) {
    std::vector<PROCESS_INFORMATION> processes(10);
    for (size_t i = 0; i < processes.size(); ++i) {
        jaunt_test::RunOptions o = options("record" + std::to_string(i) + ".txt");
        o.set["TMP"] = dir.path();
        ASSERT_TRUE(jaunt_test::startSuspended(L"\"" + jaunt_test::widen(exe) + L"\"", o, &processes[i]));
    }
    for (PROCESS_INFORMATION& p : processes) ResumeThread(p.hThread);
    std::string logs;
    for (size_t i = 0; i < processes.size(); ++i) {
        EXPECT_EQ(WaitForSingleObject(processes[i].hProcess, 120000), WAIT_OBJECT_0);
        DWORD code = 1;
        GetExitCodeProcess(processes[i].hProcess, &code);
        EXPECT_EQ(code, 0u) << i;
        CloseHandle(processes[i].hProcess);
        CloseHandle(processes[i].hThread);
        EXPECT_NE(jaunt_test::readText(dir.file("record" + std::to_string(i) + ".txt")).find("WinLauncher.main"),
                  std::string::npos)
            << i;
    }
    for (const std::string& log : logFiles()) logs += jaunt_test::readText(log);
    EXPECT_EQ(count(logs, " unpacked in "), 1u) << logs;
    EXPECT_EQ(count(logs, " reused, checked in "), 9u) << logs;
}

// An updated application brings a new runtime; its old one goes once no launcher uses it.
TEST_F(CarriedRuntime, AnUpdatedApplicationRemovesItsOldRuntimeWhenUnused) {
    startLogged(options());
    std::string old = runtimeFolder();
    std::string updated = build("app2", "rt2", "lib\\added.txt");

    // The old version keeps running (its main waits) while the new one starts.
    jaunt_test::RunOptions waiting = options("old.txt");
    waiting.set["TMP"] = dir.path();
    waiting.set["JAUNT_RECORD_SCRIPT"] = "main-waits";
    waiting.set["JAUNT_RECORD_GATE"] = dir.file("gate-");
    DWORD id = 0;
    HANDLE running = jaunt_test::startProcess(L"\"" + jaunt_test::widen(exe) + L"\"", waiting, &id);
    ASSERT_NE(running, nullptr);
    for (int i = 0; i < 300 && jaunt_test::readText(dir.file("old.txt")).find("WinLauncher.main") == std::string::npos; ++i)
        Sleep(50);
    std::string oldExe = exe;
    exe = updated;
    std::string log = startLogged(options());
    EXPECT_NE(log.find("is in use, kept"), std::string::npos) << log;
    EXPECT_TRUE(jaunt_test::fileExists(old + "\\bin\\server\\jvm.dll"));

    jaunt_test::writeText(dir.file("gate-main"), "");
    EXPECT_EQ(WaitForSingleObject(running, 60000), WAIT_OBJECT_0);
    CloseHandle(running);
    log = startLogged(options());
    EXPECT_NE(log.find("Removing the earlier runtime"), std::string::npos) << log;
    EXPECT_FALSE(jaunt_test::fileExists(old));
    EXPECT_FALSE(leftovers());
    EXPECT_TRUE(jaunt_test::fileExists(runtimeFolder() + "\\lib\\added.txt"));
    (void)oldExe;
}

// %LOCALAPPDATA% that cannot be written: the runtime goes below the temporary directory; when that
// fails too, the configured message and exit code 1, and nothing half-written.
TEST_F(CarriedRuntime, ACacheThatCannotBeWrittenFallsBackThenFailsWithTheMessage) {
    jaunt_test::writeText(dir.file("blocked"), "a file, not a directory");
    jaunt_test::RunOptions o = options();
    o.set["LOCALAPPDATA"] = dir.file("blocked");
    std::string log = startLogged(o);
    EXPECT_NE(log.find(dir.path() + "\\Jaunt\\runtimes\\"), std::string::npos) << log;
    EXPECT_NE(jaunt_test::readText(dir.file("record.txt")).find("WinLauncher.main"), std::string::npos);

    jaunt_test::removeTree(dir.file("Jaunt"));
    jaunt_test::writeText(dir.file("Jaunt"), "a file, not a directory");
    for (const std::string& file : logFiles()) DeleteFileA(file.c_str());
    jaunt_test::RunResult result = start(L"", o);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err.rfind("The application's Java runtime could not be prepared in " + dir.file("blocked") +
                                   "\\Jaunt\\runtimes.",
                               0),
              0u)
        << result.err;
}

}  // namespace
