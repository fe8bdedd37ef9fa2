// What the end-to-end tests share: a configured launcher in a fresh directory, run as a child
// process with dialogs off unless a test asks otherwise.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "jvmtrees.h"
#include "winsupport.h"

namespace jaunt_test {

// Records every launcher of these tests starts with unless a test overrides them: a console
// launcher (errors on standard error) with the standard caption.
inline std::vector<jaunt::NarrowRecord> consoleRecords(std::vector<jaunt::NarrowRecord> extra = {}) {
    std::vector<jaunt::NarrowRecord> records = {{1000, "Error"}, {107, "0"}, {1007, "Wrong Parameter Usage"}};
    records.insert(records.end(), extra.begin(), extra.end());
    return records;
}

// A text's UTF-16 units as the recording double writes a main argument: " %04x" each.
inline std::string hexUnits(const std::u16string& text) {
    std::string hex;
    char unit[8];
    for (char16_t c : text) {
        snprintf(unit, sizeof(unit), " %04x", static_cast<unsigned>(c));
        hex += unit;
    }
    return hex;
}

inline JreOptions recordingJre() {
    JreOptions options;
    options.library = JvmLibrary::Recording;
    return options;
}

class LauncherTest : public ::testing::Test {
protected:
    TempDirectory dir{"e2e"};
    std::string exe;

    std::string make(const std::vector<jaunt::NarrowRecord>& records, const std::string& name = "app.exe") {
        exe = writeLauncher(dir.file(name), records);
        return exe;
    }
    RunResult start(const std::wstring& arguments = L"", RunOptions options = RunOptions()) {
        std::wstring line = L"\"" + widen(exe) + L"\"";
        if (!arguments.empty()) line += L" " + arguments;
        if (options.set.find("TMP") == options.set.end()) options.set["TMP"] = dir.path();
        RunResult result = run(line, options);
        EXPECT_FALSE(result.timedOut);
        return result;
    }
    // A JRE of test doubles beside the launcher (dir\jre), named in the preferred-location file, so
    // that LoadDLL finds and loads it and a run goes on to the stages after it. Its jvm.dll is the
    // recording double, so the launch succeeds unless a test scripts otherwise.
    void addJre(JreOptions options = recordingJre()) {
        makeJre(dir.file("jre"), options);
        makeDirectories(dir.file(".bundlekit"));
        writeText(dir.file(".bundlekit\\pref_jre.cfg"), "jre\n");
    }
    // The log files a run left in the test's directory (its TMP).
    std::vector<std::string> logFiles() {
        std::vector<std::string> files;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir.path() + "\\bkt*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return files;
        do files.push_back(dir.file(found.cFileName));
        while (FindNextFileA(h, &found));
        FindClose(h);
        return files;
    }
};

}  // namespace jaunt_test
