// Configured launchers that carry included files: extraction into a fresh directory, registration
// for removal, and the cleanup that the next start does, run as child processes.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "cleanup.h"
#include "e2etools.h"
#include "payloadwriter.h"

namespace {

using jaunt_test::RunOptions;
using jaunt_test::RunResult;

std::vector<uint8_t> pattern(size_t size, unsigned seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 11 + seed + (i >> 9));
    return bytes;
}

std::vector<std::string> found(const std::string& directory, const char* pattern) {
    std::vector<std::string> paths;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA((directory + "\\" + pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return paths;
    do {
        std::string name = data.cFileName;
        if (name != "." && name != "..") paths.push_back(directory + "\\" + name);
    } while (FindNextFileA(h, &data));
    FindClose(h);
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string registryValue(const char* name) {
    return jaunt_test::registryText(HKEY_CURRENT_USER, jaunt::kRemovalListKey, name);
}

// The entries of a list. A run that reports an error after recording records again, so an entry may
// be listed twice; what matters is which paths are listed.
std::set<std::string> listed(const char* name) {
    std::string list = registryValue(name);
    std::set<std::string> entries;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(';', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) entries.insert(list.substr(start, end - start));
        start = end + 1;
    }
    return entries;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The run got past extraction and cleanup and on to the end: with the JRE of test doubles beside
// it, the launcher starts the (recording) JVM and ends with 0.
void expectNoFailure(const RunResult& result) {
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
}

class IncludedFiles : public jaunt_test::LauncherTest {
protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
        addJre();
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey); }

    // A console launcher carrying files; count and names default to those of the files, cut
    // bytes are taken off the end of the payload.
    void carry(const std::vector<jaunt::IncludedFile>& files, const std::string& count = "",
               const char* names = nullptr, size_t cut = 0) {
        std::vector<std::string> list;
        for (const auto& file : files) list.push_back(file.name);
        std::vector<uint8_t> payload = jaunt::encodePayload(files);
        payload.resize(payload.size() - cut);
        exe = jaunt_test::writeLauncher(
            dir.file("app.exe"),
            jaunt_test::consoleRecords({{1009, "An internal error occurred (error code: %ERROR_CODE%)"},
                                        {2002, count.empty() ? std::to_string(files.size()) : count},
                                        {2003, names ? names : jaunt::fileNameList(list)}}),
            {}, payload);
    }
    std::vector<std::string> extractionDirectories() { return found(dir.path(), "jnt*.tmp_dir*"); }
    std::string logText() {
        std::vector<std::string> logs = logFiles();
        EXPECT_EQ(logs.size(), 1u);
        std::string text = logs.empty() ? std::string() : jaunt_test::readText(logs[0]);
        for (const std::string& log : logs) DeleteFileA(log.c_str());
        return text;
    }
    RunOptions logged() {
        RunOptions options;
        options.set["JAUNT_LOG"] = "yes";
        return options;
    }
};

TEST_F(IncludedFiles, AreExtractedByteForByteLoggedAndRecorded) {
    std::vector<jaunt::IncludedFile> files = {{"empty.bin", {}},
                                              {"one.bin", {0x5A}},
                                              {"buffer.jar", pattern(8192, 1)},
                                              {"three.jar", pattern(20000, 2)}};
    carry(files);
    RunResult result = start(L"", logged());
    expectNoFailure(result);
    std::vector<std::string> made = extractionDirectories();
    ASSERT_EQ(made.size(), 1u);
    const std::string& d = made[0];
    for (const std::string& path : found(dir.path(), "jnt*"))  // (a pattern would match short names too)
        EXPECT_NE(path.substr(path.size() - 4), ".tmp") << "the file that reserved the name is removed";

    EXPECT_FALSE(jaunt_test::fileExists(d + "\\empty.bin"));
    for (size_t i = 1; i < files.size(); ++i)
        EXPECT_EQ(jaunt_test::readBytes(d + "\\" + files[i].name), files[i].content) << files[i].name;

    std::vector<std::string> lines = linesOf(logText());
    auto first = std::find(lines.begin(), lines.end(), "extracting files");
    ASSERT_NE(first, lines.end());
    std::vector<std::string> expected = {"extracting files",
                                         "Included files: 4",
                                         "Temp dir: " + d,
                                         "extracting " + d + "\\empty.bin (size: 0)",
                                         "extracting " + d + "\\one.bin (size: 1)",
                                         "extracting " + d + "\\buffer.jar (size: 8192)",
                                         "extracting " + d + "\\three.jar (size: 20000)",
                                         "extracting files done"};
    ASSERT_GE(static_cast<size_t>(lines.end() - first), expected.size());
    EXPECT_EQ(std::vector<std::string>(first, first + static_cast<long>(expected.size())), expected);

    // Every file is registered, also the one of size 0, and the directory.
    EXPECT_EQ(listed("delete_file"), (std::set<std::string>{d + "\\empty.bin", d + "\\one.bin",
                                                             d + "\\buffer.jar", d + "\\three.jar"}));
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{d});
}

TEST_F(IncludedFiles, WithoutThemNoDirectoryAndNoRegistryKey) {
    make(jaunt_test::consoleRecords());
    RunResult result = start(L"", logged());
    expectNoFailure(result);
    EXPECT_TRUE(extractionDirectories().empty());
    std::vector<std::string> lines = linesOf(logText());
    auto first = std::find(lines.begin(), lines.end(), "extracting files");
    ASSERT_NE(first, lines.end());
    ASSERT_NE(first + 1, lines.end());
    EXPECT_EQ(first[1], "Included files: 0");
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "extracting files done"), lines.end());
    for (const std::string& line : lines) EXPECT_EQ(line.rfind("Temp dir: ", 0), std::string::npos) << line;
    // The cleanup finds no key and creates none; nothing was recorded.
    EXPECT_EQ(registryValue("delete_file"), "<no key>");
}

TEST_F(IncludedFiles, TheNextStartRemovesWhatTheLastOneLeft) {
    carry({{"a.jar", pattern(3000, 3)}, {"b.zip", pattern(10, 4)}});
    expectNoFailure(start());
    std::vector<std::string> first = extractionDirectories();
    ASSERT_EQ(first.size(), 1u);

    expectNoFailure(start());
    std::vector<std::string> now = extractionDirectories();
    ASSERT_EQ(now.size(), 1u) << "the first run's directory is gone";
    EXPECT_NE(now[0], first[0]);
    EXPECT_EQ(listed("delete_file"), (std::set<std::string>{now[0] + "\\a.jar", now[0] + "\\b.zip"}));
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{now[0]});
}

TEST_F(IncludedFiles, AJarInUseSurvivesTheCleanupUntilItIsFree) {
    carry({{"app.jar", pattern(5000, 5)}, {"other.jar", pattern(7, 6)}});
    expectNoFailure(start());
    std::vector<std::string> first = extractionDirectories();
    ASSERT_EQ(first.size(), 1u);
    // Held the way a running launcher's JVM holds it.
    HANDLE inUse = CreateFileA((first[0] + "\\app.jar").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(inUse, INVALID_HANDLE_VALUE);

    expectNoFailure(start());
    EXPECT_TRUE(jaunt_test::fileExists(first[0] + "\\app.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(first[0] + "\\other.jar"));
    EXPECT_EQ(extractionDirectories().size(), 2u);
    EXPECT_EQ(listed("delete_file").count(first[0] + "\\app.jar"), 1u);
    EXPECT_EQ(listed("delete_file").count(first[0] + "\\other.jar"), 0u);
    EXPECT_EQ(listed("delete_dir").count(first[0]), 1u);

    CloseHandle(inUse);
    expectNoFailure(start());
    EXPECT_FALSE(jaunt_test::fileExists(first[0]));
    EXPECT_EQ(extractionDirectories().size(), 1u);
}

TEST_F(IncludedFiles, BadPayloadsEndWithAClearReport) {
    std::vector<jaunt::IncludedFile> two = {{"a.jar", pattern(100, 7)}, {"b.jar", pattern(20000, 8)}};
    const std::string code16 = "An internal error occurred (error code: 16)";

    // The size header of the second record cut short: the table reader's own failure.
    carry(two, "", nullptr, 20002);
    RunResult result = start();
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "Internal Error: readInt\r\n");
    std::vector<std::string> failed = extractionDirectories();
    ASSERT_EQ(failed.size(), 1u);

    // Content cut short: the read fails, code 16. The directory and the files are recorded all the
    // same, so a later start removes them.
    carry(two, "", nullptr, 1);
    result = start(L"", logged());
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err.substr(0, code16.size() + 2), code16 + "\r\n") << result.err;
    std::vector<std::string> made = extractionDirectories();
    ASSERT_EQ(made.size(), 2u);
    std::string cut = made[0] == failed[0] ? made[1] : made[0];
    std::string log = logText();
    EXPECT_NE(log.find("\r\nERROR: ReadFile failed\r\nERROR: Failed to extract " + cut + "\\b.jar\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(listed("delete_dir"), (std::set<std::string>{failed[0], cut}));
    EXPECT_EQ(listed("delete_file").count(cut + "\\a.jar"), 1u);
    EXPECT_EQ(listed("delete_file").count(cut + "\\b.jar"), 1u);

    // A size beyond the end of the file: the same.
    exe = jaunt_test::writeLauncher(
        dir.file("app.exe"),
        jaunt_test::consoleRecords({{1009, "An internal error occurred (error code: %ERROR_CODE%)"},
                                    {2002, "1"},
                                    {2003, "huge.jar"}}),
        {}, {0xF0, 0xFF, 0xFF, 0xFF, 1, 2, 3});
    result = start();
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, code16 + "\r\n");

    // A name with a directory part, a drive or a device: code 11, and nothing is written outside the
    // directory.
    for (const char* names : {"a.jar;sub\\b.jar;", "a.jar;..\\b.jar;", "a.jar;C:b.jar", "a.jar;nul"}) {
        carry(two, "", names);
        result = start();
        EXPECT_EQ(result.exitCode, 1u) << names;
        EXPECT_EQ(result.err, "An internal error occurred (error code: 11)\r\n") << names;
        EXPECT_FALSE(jaunt_test::fileExists(dir.file("b.jar"))) << names;
    }
    EXPECT_EQ(extractionDirectories().size(), 7u);

    // Failed starts never get to the cleanup; the next good one removes all they left.
    carry(two);
    expectNoFailure(start());
    EXPECT_EQ(extractionDirectories().size(), 1u);
}

TEST_F(IncludedFiles, CountAndNamesThatDisagreeEndAtTheShorter) {
    std::vector<jaunt::IncludedFile> three = {{"a.jar", {1}}, {"b.jar", {2}}, {"c.jar", {3}}};
    carry(three, "2");
    expectNoFailure(start());
    std::vector<std::string> made = extractionDirectories();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(found(made[0], "*"), (std::vector<std::string>{made[0] + "\\a.jar", made[0] + "\\b.jar"}));

    // More counted than named, the rest of the payload missing: still a success.
    carry(three, "7", "c.jar", 10);
    expectNoFailure(start());
    made = extractionDirectories();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(found(made[0], "*"), std::vector<std::string>{made[0] + "\\c.jar"});
    EXPECT_EQ(jaunt_test::readBytes(made[0] + "\\c.jar"), std::vector<uint8_t>{1}) << "the first record";

    // No names at all: an empty directory, registered like any other.
    carry(three, "3", ";;");
    expectNoFailure(start());
    made = extractionDirectories();
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(found(made[0], "*").empty());
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{made[0]});
}

TEST_F(IncludedFiles, TemporaryDirectoriesWithBlanksAndAccents) {
    carry({{"lib.jar", pattern(300, 9)}});
    std::string spaced = dir.file("with space \xE9t\xE9");  // representable in the ANSI code page
    ASSERT_TRUE(CreateDirectoryA(spaced.c_str(), nullptr));
    RunOptions options;
    options.set["TMP"] = spaced;
    expectNoFailure(start(L"", options));
    std::vector<std::string> made = found(spaced, "jnt*.tmp_dir*");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(jaunt_test::readBytes(made[0] + "\\lib.jar"), pattern(300, 9));
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{made[0]});
    // The next start with the same temporary directory cleans it up.
    expectNoFailure(start(L"", options));
    EXPECT_FALSE(jaunt_test::fileExists(made[0]));
}

TEST_F(IncludedFiles, AMissingTemporaryDirectoryIsInternalError7) {
    carry({{"lib.jar", {1, 2}}});
    RunOptions options;
    options.set["TMP"] = dir.file("missing");
    RunResult result = start(L"", options);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err, "An internal error occurred (error code: 7)\r\n");
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("missing")));
    EXPECT_TRUE(found(dir.path(), "*_dir*").empty()) << "no directory made anywhere else";
}

// Children started without waiting, sharing the test's environment (TMP set for them).
class Children {
public:
    void start(const std::wstring& line) {
        DWORD processId = 0;
        processes_.push_back(jaunt_test::startProcess(line, jaunt_test::RunOptions(), &processId));
    }
    std::vector<DWORD> wait() {
        std::vector<DWORD> codes;
        for (HANDLE h : processes_) {
            EXPECT_EQ(WaitForSingleObject(h, 120000), WAIT_OBJECT_0);
            DWORD code = 0;
            GetExitCodeProcess(h, &code);
            codes.push_back(code);
            CloseHandle(h);
        }
        processes_.clear();
        return codes;
    }

private:
    std::vector<HANDLE> processes_;
};

class EnvironmentVariable {
public:
    EnvironmentVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
        wchar_t saved[MAX_PATH];
        had_ = GetEnvironmentVariableW(name, saved, MAX_PATH) != 0;
        if (had_) saved_ = saved;
        SetEnvironmentVariableW(name, value.c_str());
    }
    ~EnvironmentVariable() { SetEnvironmentVariableW(name_, had_ ? saved_.c_str() : nullptr); }

private:
    const wchar_t* name_;
    bool had_ = false;
    std::wstring saved_;
};

TEST_F(IncludedFiles, ManyStartsAtOnceKeepTheirDirectoriesApartAndLoseNoEntry) {
    carry({{"a.jar", pattern(20000, 10)}, {"b.jar", pattern(3, 11)}});
    EnvironmentVariable tmp(L"TMP", jaunt_test::widen(dir.path()));
    constexpr int kStarts = 8;
    Children children;
    for (int i = 0; i < kStarts; ++i) children.start(L"\"" + jaunt_test::widen(exe) + L"\" -q_bkt_internal");
    for (DWORD code : children.wait()) EXPECT_NE(code, 1u);

    // Each start made a directory of its own, full and intact. Any that an overlapping start
    // already removed was listed and free; every one that remains is still listed.
    std::vector<std::string> made = extractionDirectories();
    EXPECT_GE(made.size(), 1u);
    std::set<std::string> files = listed("delete_file"), dirs = listed("delete_dir");
    for (const std::string& d : made) {
        EXPECT_EQ(dirs.count(d), 1u) << d;
        for (const char* name : {"a.jar", "b.jar"}) {
            std::string file = d + "\\" + name;
            if (!jaunt_test::fileExists(file)) continue;
            EXPECT_EQ(files.count(file), 1u) << file;
            EXPECT_EQ(jaunt_test::readBytes(file), name[0] == 'a' ? pattern(20000, 10) : pattern(3, 11)) << file;
        }
    }
    for (const std::string& entry : dirs) EXPECT_EQ(entry.rfind(dir.path() + "\\jnt", 0), 0u) << entry;

    // One more start removes everything the eight left.
    expectNoFailure(start());
    std::vector<std::string> left = extractionDirectories();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{left[0]});
}

TEST_F(IncludedFiles, AnUnrepresentableTemporaryPathFallsBackToTheWindowsTemp) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs a code page without Cyrillic letters";
    carry({{"lib.jar", pattern(64, 12)}});
    std::wstring cyrillic = jaunt_test::widen(dir.path()) + L"\\\u0442\u0435\u043c\u043f";
    ASSERT_TRUE(CreateDirectoryW(cyrillic.c_str(), nullptr));
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    std::string fallback = std::string(windows) + "\\temp";
    CreateDirectoryA(fallback.c_str(), nullptr);
    std::vector<std::string> before = found(fallback, "jnt*.tmp_dir*");
    {
        EnvironmentVariable tmp(L"TMP", cyrillic);
        Children children;
        children.start(L"\"" + jaunt_test::widen(exe) + L"\" -q_bkt_internal");
        for (DWORD code : children.wait()) EXPECT_NE(code, 1u);
    }
    std::vector<std::string> after = found(fallback, "jnt*.tmp_dir*");
    std::vector<std::string> made;
    std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(made));
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(jaunt_test::readBytes(made[0] + "\\lib.jar"), pattern(64, 12));
    EXPECT_EQ(listed("delete_dir"), std::set<std::string>{made[0]});
    jaunt_test::removeTree(made[0]);
    RemoveDirectoryW(cyrillic.c_str());
}

}  // namespace
