// Where the log goes when the temporary directory cannot take it.
#include <string>

#include "e2etools.h"

namespace {

using jaunt_test::LauncherTest;

std::vector<std::string> rootLogs() {
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE h = FindFirstFileA("C:\\bkt*", &data);
    if (h == INVALID_HANDLE_VALUE) return found;
    do found.push_back(std::string("C:\\") + data.cFileName);
    while (FindNextFileA(h, &data));
    FindClose(h);
    return found;
}

TEST_F(LauncherTest, AnUnusableTmpPutsTheLogAtTheDriveRoot) {
    for (const std::string& old : rootLogs()) DeleteFileA(old.c_str());
    // Without a temporary directory no version can be asked for: the fallback pass of the search
    // sequence takes the JRE beside the launcher unchecked.
    make(jaunt_test::consoleRecords({{128, "Bjre"}}));
    addJre();
    jaunt_test::RunOptions options;
    options.set["JAUNT_LOG"] = "yes";
    options.set["TMP"] = dir.file("no-such-directory");
    auto result = start(L"\"x", options);
    EXPECT_EQ(result.exitCode, 1u);
    std::vector<std::string> logs = rootLogs();
    ASSERT_EQ(logs.size(), 1u) << result.err;
    char longPath[MAX_PATH];
    ASSERT_GT(GetLongPathNameA(logs[0].c_str(), longPath, sizeof(longPath)), 0u);
    // A unique name from the runtime ("c:\bkt..."), or the fixed "c:\bkt_nlog" when the runtime
    // gives none: either way the report names the file that was written.
    const std::string prefix = "Wrong Parameter Usage\r\n\r\nLog: ";
    ASSERT_EQ(result.err.rfind(prefix, 0), 0u) << result.err;
    EXPECT_EQ(_stricmp(result.err.substr(prefix.size()).c_str(), (std::string(longPath) + "\r\n").c_str()), 0)
        << result.err;
    EXPECT_EQ(jaunt_test::readText(logs[0]).rfind("Started executable ", 0), 0u);
    for (const std::string& log : logs) DeleteFileA(log.c_str());
}

}  // namespace
