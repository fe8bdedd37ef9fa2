// Single-instance launchers end to end: while a first instance runs (its recording JVM lingers or
// waits in main until told to return), later starts of the same file restore its window, hand
// their arguments over and end with exit code 0, alone, twenty at once, or in bad surroundings;
// another launcher file runs on its own. Runs under a virtual display, for the first instance's
// window.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <functional>
#include <string>

#include "e2etools.h"
#include "singleinstance.h"

namespace {

using jaunt_test::RunOptions;

std::u16string readUnits(const std::string& path) {
    std::vector<uint8_t> bytes = jaunt_test::readBytes(path);
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// The value of the system property name in a recording JVM's record ("option N=-Dname=value").
std::string property(const std::string& record, const std::string& name) {
    size_t at = record.find("-D" + name + "=");
    if (at == std::string::npos) return "";
    at += name.size() + 3;
    return record.substr(at, record.find_first_of("\r\n", at) - at);
}

// The text of the file at path, read whole and then deleted, as the Java side takes it. Writers
// only ever move a complete file into place and never replace one, so what exists is whole.
bool takeFile(const std::string& path, std::u16string* text) {
    if (!jaunt_test::fileExists(path)) return false;
    *text = readUnits(path);
    return DeleteFileA(path.c_str()) != 0;
}

// The names of the files in directory matching pattern.
std::vector<std::string> filesMatching(const std::string& directory, const std::string& pattern) {
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((directory + "\\" + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return files;
    do files.push_back(directory + "\\" + found.cFileName);
    while (FindNextFileA(h, &found));
    FindClose(h);
    return files;
}

// The win32 thread model has no std::thread.
DWORD WINAPI runBody(LPVOID body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
}

class SingleInstance : public jaunt_test::LauncherTest {
protected:
    void SetUp() override { addJre(); }
    void TearDown() override {
        if (first != nullptr) {
            SetEvent(told);
            if (WaitForSingleObject(first, 30000) != WAIT_OBJECT_0) TerminateProcess(first, 255);
            CloseHandle(first);
        }
        if (told != nullptr) CloseHandle(told);
    }

    HANDLE told = nullptr;   // set: the first instance's main returns
    HANDLE first = nullptr;
    DWORD firstId = 0;
    std::string firstRecord, commFile;

    // Starts app as the first instance, its main waiting until told, and waits until its record
    // holds ready.
    void startFirst(const std::string& script = "", const std::string& ready = "main-count") {
        static int serial = 0;
        std::string event =
            "jaunt_test_return_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++serial);
        told = CreateEventA(nullptr, TRUE, FALSE, event.c_str());
        ASSERT_NE(nullptr, told);
        std::string fullScript = script + (script.empty() ? "" : ",") + "main-wait=" + event;
        first = jaunt_test::startProcess(L"\"" + jaunt_test::widen(exe) + L"\" first",
                                         recording("first.txt", fullScript), &firstId);
        for (int i = 0; i < 600 && firstRecord.find(ready) == std::string::npos; ++i) {
            Sleep(100);
            firstRecord = jaunt_test::readText(dir.file("first.txt"));
        }
        ASSERT_NE(std::string::npos, firstRecord.find(ready)) << firstRecord;
        commFile = property(firstRecord, "jaunt.processCommFile");
        ASSERT_NE("", commFile) << firstRecord;
    }
    // Lets the first instance's main return; it then ends with exit code 0.
    DWORD endFirst() {
        SetEvent(told);
        DWORD code = 255;
        if (WaitForSingleObject(first, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(first, &code);
        CloseHandle(first);
        first = nullptr;
        return code;
    }
    // The text of the log files the runs left in directory, which are removed.
    std::string takeLogs(const std::string& directory) {
        std::string text;
        for (const std::string& file : filesMatching(directory, "bkt*")) {
            text += jaunt_test::readText(file);
            DeleteFileA(file.c_str());
        }
        return text;
    }
    RunOptions recording(const std::string& record, const std::string& script = "") {
        RunOptions options;
        options.set["JAUNT_RECORD"] = dir.file(record);
        options.set["JAUNT_RECORD_SCRIPT"] = script;
        options.set["TMP"] = dir.path();
        return options;
    }
};

TEST_F(SingleInstance, LaterStartsHandOverTheirArguments) {
    std::string app = make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    std::string other = jaunt_test::writeLauncher(dir.file("other.exe"), jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));

    DWORD firstId = 0;
    HANDLE first = jaunt_test::startProcess(L"\"" + jaunt_test::widen(app) + L"\" first",
                                            recording("first.txt", "linger=120000"), &firstId);
    std::string record;
    for (int i = 0; i < 600 && record.find("main-count") == std::string::npos; ++i) {
        Sleep(100);
        record = jaunt_test::readText(dir.file("first.txt"));
    }
    ASSERT_NE(std::string::npos, record.find("main-count")) << record;
    std::string commFile = property(record, "jaunt.processCommFile");
    EXPECT_NE(std::string::npos, commFile.find("jnt_p" + std::to_string(firstId) + ".tmp")) << record;
    EXPECT_NE("", property(record, "jaunt.semaphoreName"));

    // The same file: its arguments arrive in the communication file, unchanged, and no JVM starts.
    jaunt_test::RunResult second = start(L"-open  \"a b.txt\"", recording("second.txt"));
    EXPECT_EQ(0u, second.exitCode) << second.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("second.txt")));
    EXPECT_EQ(u"-open  \"a b.txt\"\n", readUnits(commFile));
    ASSERT_TRUE(DeleteFileA(commFile.c_str()));  // as the Java side does once it has read it

    // The same file under another spelling of its path (short form, upper case), no arguments.
    char shortName[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameA(app.c_str(), shortName, sizeof(shortName)));
    std::string spelling = shortName;
    for (char& c : spelling) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    exe = spelling;
    jaunt_test::RunResult third = start(L"", recording("third.txt"));
    EXPECT_EQ(0u, third.exitCode) << third.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("third.txt")));
    EXPECT_EQ(u"\n", readUnits(commFile));

    // Another launcher file beside it runs its own JVM.
    exe = other;
    jaunt_test::RunResult own = start(L"x", recording("other.txt"));
    EXPECT_EQ(0u, own.exitCode) << own.err;
    std::string otherRecord = jaunt_test::readText(dir.file("other.txt"));
    EXPECT_NE(std::string::npos, otherRecord.find("main-count")) << otherRecord;
    EXPECT_NE(property(record, "jaunt.semaphoreName"), property(otherRecord, "jaunt.semaphoreName"));

    TerminateProcess(first, 0);
    WaitForSingleObject(first, 10000);
    CloseHandle(first);
}

// The first instance shows a minimised window: a later start restores it and brings it forward,
// hands over its exact text and ends with exit code 0 without starting a JVM.
TEST_F(SingleInstance, LaterStartRestoresTheFirstWindow) {
    make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    startFirst("window", "window ");
    ASSERT_FALSE(HasFatalFailure());
    size_t at = firstRecord.find("window ");
    HWND window = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(firstRecord.substr(at + 7))));
    ASSERT_NE(nullptr, window) << "no display";
    ASSERT_TRUE(IsIconic(window));

    jaunt_test::RunResult later = start(L"-a \u00e9\U0001F600", recording("later.txt"));
    EXPECT_EQ(0u, later.exitCode) << later.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("later.txt")));
    EXPECT_EQ(std::vector<uint8_t>({'-', 0, 'a', 0, ' ', 0, 0xe9, 0, 0x3d, 0xd8, 0x00, 0xde, '\n', 0}),
              jaunt_test::readBytes(commFile));
    for (int i = 0; i < 50 && IsIconic(window); ++i) Sleep(100);  // the window's thread restores it
    EXPECT_FALSE(IsIconic(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(window, GetForegroundWindow());
    EXPECT_EQ(0u, endFirst());  // it stayed the first instance and ended normally
}

// Twenty later starts at once against one running instance, with a reader that polls every 50 ms
// like the Java side: every one ends with exit code 0, and each argument text arrives once, whole.
TEST_F(SingleInstance, TwentyLaterStartsAtOnceAllArrive) {
    make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    startFirst();
    ASSERT_FALSE(HasFatalFailure());

    const int count = 20;
    std::vector<std::u16string> expected, received;
    volatile LONG done = 0;
    DWORD origin = GetTickCount();
    std::function<void()> consume = [&] {
        std::u16string text;
        for (;;) {
            bool last = done != 0;
            if (takeFile(commFile, &text)) {
                received.push_back(text);
                std::printf("  text %u taken at %lu ms\n", static_cast<unsigned>(received.size()),
                            GetTickCount() - origin);
            } else if (last) {
                break;
            }
            Sleep(50);
        }
    };
    HANDLE consumer = CreateThread(nullptr, 0, runBody, &consume, 0, nullptr);

    std::vector<PROCESS_INFORMATION> laters(count);
    int created = 0;
    for (int i = 0; i < count; ++i) {
        std::u16string letter(1, static_cast<char16_t>(u'a' + i)), umlauts(static_cast<size_t>(i % 3), u'\u00fc');
        std::u16string arguments = u"-n " + letter + u" \"caf\u00e9 \u4e2d" + umlauts + u"\"";
        expected.push_back(arguments + u"\n");
        std::wstring line = L"\"" + jaunt_test::widen(exe) + L"\" " + std::wstring(arguments.begin(), arguments.end());
        if (!jaunt_test::startSuspended(line, recording("later" + std::to_string(i) + ".txt"), &laters[i])) break;
        ++created;
    }
    EXPECT_EQ(count, created) << "CreateProcessW failed: " << GetLastError();
    DWORD started = GetTickCount();
    for (int i = 0; i < created; ++i) ResumeThread(laters[i].hThread);
    DWORD slowest = 0;
    for (int i = 0; i < created; ++i) {
        // A generous bound that only catches a hang: each waits at most 200 x 50 ms for its turn.
        bool ended = WaitForSingleObject(laters[i].hProcess, 120000) == WAIT_OBJECT_0;
        if (!ended) TerminateProcess(laters[i].hProcess, 255);
        DWORD code = 255;
        GetExitCodeProcess(laters[i].hProcess, &code);
        EXPECT_TRUE(ended && code == 0) << "later start " << i << " exit code " << code;
        slowest = std::max(slowest, GetTickCount() - started);
        CloseHandle(laters[i].hThread);
        CloseHandle(laters[i].hProcess);
    }
    std::printf("  %d later starts ended within %lu ms of their resumption at %lu ms\n", count, slowest,
                started - origin);
    InterlockedExchange(&done, 1);
    WaitForSingleObject(consumer, INFINITE);
    CloseHandle(consumer);

    std::sort(expected.begin(), expected.end());
    std::sort(received.begin(), received.end());
    EXPECT_EQ(expected, received);  // none lost, none merged, none twice
    for (int i = 0; i < count; ++i)
        EXPECT_FALSE(jaunt_test::fileExists(dir.file("later" + std::to_string(i) + ".txt")));  // no JVM
    EXPECT_EQ(0u, filesMatching(dir.path(), "jnt_p*_*.tmp").size());  // no text left waiting
    EXPECT_EQ(0u, endFirst());
}

// Bad surroundings of a later start: it always ends (exit code 0 where it cannot hand over, saying
// so in its log) or, where no running instance is recorded, runs as an instance of its own.
TEST_F(SingleInstance, BadInputEndsCleanly) {
    make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    startFirst();
    ASSERT_FALSE(HasFatalFailure());
    auto logged = [&](const std::string& name) {
        RunOptions options = recording(name);
        options.set["JAUNT_LOG"] = "yes";
        return options;
    };

    // A temporary directory that does not exist: no file can be written; the log goes to "c:\".
    std::vector<std::string> rootLogs = filesMatching("c:", "bkt*");
    RunOptions missingTmp = logged("missing.txt");
    missingTmp.set["TMP"] = dir.file("missing");
    jaunt_test::RunResult run = start(L"m", missingTmp);
    EXPECT_EQ(0u, run.exitCode) << run.err;
    std::string log;
    for (const std::string& file : filesMatching("c:", "bkt*")) {
        std::string text = jaunt_test::readText(file);
        // Only our launcher's new log: others may write theirs there meanwhile.
        if (std::find(rootLogs.begin(), rootLogs.end(), file) != rootLogs.end() ||
            jaunt_test::lower(text).find(jaunt_test::lower(exe)) == std::string::npos)
            continue;
        log += text;
        DeleteFileA(file.c_str());
    }
    EXPECT_NE(std::string::npos, log.find("the arguments could not be handed over")) << log;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("missing.txt")));

    // A directory in the communication file's place: the text is left beside it, at once.
    ASSERT_TRUE(CreateDirectoryA(commFile.c_str(), nullptr));
    run = start(L"d", logged("directory.txt"));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    log = takeLogs(dir.path());
    EXPECT_NE(std::string::npos, log.find("is a directory")) << log;
    EXPECT_NE(std::string::npos, log.find("the arguments are left in")) << log;
    std::vector<std::string> left = filesMatching(dir.path(), "jnt_p*_*.tmp");
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(u"d\n", readUnits(left[0]));
    DeleteFileA(left[0].c_str());
    RemoveDirectoryA(commFile.c_str());

    // A communication file held open without sharing: the later start waits beside it (its own
    // file appears) and delivers once the reader has taken the file away.
    HANDLE held = CreateFileA(commFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DWORD laterId = 0;
    HANDLE later = jaunt_test::startProcess(L"\"" + jaunt_test::widen(exe) + L"\" h", recording("held.txt"), &laterId);
    for (int i = 0; i < 600 && filesMatching(dir.path(), "jnt_p*_*.tmp").empty(); ++i) Sleep(50);
    EXPECT_EQ(1u, filesMatching(dir.path(), "jnt_p*_*.tmp").size());
    CloseHandle(held);
    ASSERT_TRUE(DeleteFileA(commFile.c_str()));
    DWORD code = 255;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(later, 60000));
    GetExitCodeProcess(later, &code);
    CloseHandle(later);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(u"h\n", readUnits(commFile));
    DeleteFileA(commFile.c_str());

    // A record of the wrong type, then one naming a process that has ended: no running instance is
    // known, so after a short wait the later start runs its own JVM.
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, jaunt::kProcessRecordKey, 0, KEY_ALL_ACCESS, &key));
    std::string valueName;
    char name[MAX_PATH];
    DWORD data = 0;
    for (DWORD i = 0;; ++i) {
        DWORD nameSize = sizeof(name), dataSize = sizeof(data), type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, reinterpret_cast<BYTE*>(&data), &dataSize) ==
                ERROR_NO_MORE_ITEMS)
            break;
        if (type == REG_DWORD && data == firstId) valueName = name;
    }
    ASSERT_NE("", valueName);
    RegSetValueExA(key, valueName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("123"), 4);
    run = start(L"t", logged("type.txt"));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, jaunt_test::readText(dir.file("type.txt")).find("main-count"));
    log = takeLogs(dir.path());
    EXPECT_NE(std::string::npos, log.find("no running instance recorded")) << log;

    DWORD goneId = 0;
    std::string fakeJava = jaunt_test::windowsPath(getenv("JAUNT_TEST_FAKE_JAVA"));
    HANDLE gone = jaunt_test::startProcess(L"\"" + jaunt_test::widen(fakeJava) + L"\"", RunOptions(), &goneId);
    WaitForSingleObject(gone, 60000);
    CloseHandle(gone);
    RegSetValueExA(key, valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&goneId), sizeof(goneId));
    RegCloseKey(key);
    run = start(L"g", logged("gone.txt"));
    EXPECT_EQ(0u, run.exitCode) << run.err;
    EXPECT_NE(std::string::npos, jaunt_test::readText(dir.file("gone.txt")).find("main-count"));
    log = takeLogs(dir.path());
    EXPECT_NE(std::string::npos, log.find("no running instance recorded")) << log;
    EXPECT_FALSE(jaunt_test::fileExists(commFile));
    EXPECT_EQ(0u, endFirst());
}

// The first instance is busy and handles no messages: a later start still hands over its text and
// ends instead of waiting for the window to be restored.
TEST_F(SingleInstance, BusyFirstInstanceNeverHoldsALaterStart) {
    make(jaunt_test::consoleRecords({{122, "com.example.Main"}, {10005, "1"}}));
    startFirst("window,deaf", "window ");
    ASSERT_FALSE(HasFatalFailure());
    RunOptions options = recording("later.txt");
    options.timeoutMs = 30000;
    jaunt_test::RunResult later = start(L"busy", options);
    EXPECT_EQ(0u, later.exitCode) << later.err;
    EXPECT_EQ(u"busy\n", readUnits(commFile));
    EXPECT_EQ(0u, endFirst());
}

}  // namespace
