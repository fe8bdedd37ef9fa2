// Paths and arguments the system's code page cannot hold, on a volume without short (8.3) names,
// and paths past MAX_PATH: the launcher, its JRE, the included files, the vmoptions file and the log.
#include <string>
#include <vector>

#include "e2etools.h"
#include "jvmtrees.h"
#include "payloadwriter.h"

namespace {

std::string utf8(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0], bytes, nullptr, nullptr);
    return narrow;
}

// As the launcher lower-cases the paths it derives: ASCII letters only.
std::wstring lowered(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring longForm(const std::wstring& path) { return L"\\\\?\\" + path; }

class Names : public jaunt_test::LauncherTest {
protected:
    std::wstring base = jaunt_test::widen(dir.path());
    std::string recordPath() const { return dir.file("record.txt"); }

    // A launcher with a JRE of the recording double beside it (search "Bjre"), an included archive
    // and lib\app.jar on its class path, made in an ASCII folder and moved to folder.
    std::wstring placeApp(const std::wstring& folder, std::vector<jaunt::NarrowRecord> extra = {}) {
        std::string stage = dir.file("stage");
        jaunt_test::makeJre(stage + "\\jre",
                            jaunt_test::JreOptions{"1.8.0_201", true, "client", jaunt_test::JvmLibrary::Recording});
        jaunt_test::makeDirectories(stage + "\\lib");
        jaunt_test::writeText(stage + "\\lib\\app.jar", "PK");
        std::vector<jaunt::NarrowRecord> records = jaunt_test::consoleRecords(
            {{128, "Bjre"}, {122, "com.example.Main"}, {121, "A0lib\\app.jar"}, {2002, "1"},
             {2003, jaunt::fileNameList({"inc.jar"})}});
        records.insert(records.end(), extra.begin(), extra.end());
        jaunt_test::writeLauncher(stage + "\\app.exe", records, {}, jaunt::encodePayload({{"inc.jar", {'P', 'K'}}}));
        EXPECT_TRUE(MoveFileW(jaunt_test::widen(stage).c_str(), longForm(folder).c_str())) << GetLastError();
        return folder + L"\\app.exe";
    }
    jaunt_test::RunResult launch(const std::wstring& program, const std::wstring& arguments,
                                 jaunt_test::RunOptions options) {
        options.set["JAUNT_RECORD"] = recordPath();
        options.set["JAUNT_TEST_NO_SHORT_NAMES"] = "1";
        DeleteFileA(recordPath().c_str());
        jaunt_test::RunResult result = jaunt_test::run(L"\"" + program + L"\" " + arguments, options);
        EXPECT_FALSE(result.timedOut);
        return result;
    }
    std::vector<std::string> recorded(const std::string& prefix) const {
        std::vector<std::string> lines;
        std::string text = jaunt_test::readText(recordPath());
        for (size_t start = 0; start < text.size();) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            std::string line = text.substr(start, end - start);
            if (line.rfind(prefix, 0) == 0) lines.push_back(line.substr(prefix.size()));
            start = end + 1;
        }
        return lines;
    }
    std::string option(const std::string& name) const {
        for (const std::string& line : recorded("option "))
            if (line.find("=" + name + "=") != std::string::npos) return line.substr(line.find('=') + name.size() + 2);
        return "<none>";
    }
    std::string property(const std::string& name) const {
        for (const std::string& line : recorded("property " + name + "=")) return line;
        return "<none>";
    }
};

TEST_F(Names, FolderProfileAndArgumentsOutsideTheCodePageReachJavaWithoutShortNames) {
    if (GetACP() != 1252) GTEST_SKIP() << "needs a code page without these letters";
    std::wstring user = base + L"\\\x0141ukasz";  // "Łukasz"
    std::wstring folder = user + L"\\\x30a2\x30d7\x30ea";  // "アプリ"
    std::wstring temp = user + L"\\AppData\\Local\\Temp";
    ASSERT_TRUE(CreateDirectoryW(user.c_str(), nullptr));
    for (const wchar_t* part : {L"\\AppData", L"\\AppData\\Local", L"\\AppData\\Local\\Temp"})
        ASSERT_TRUE(CreateDirectoryW((user + part).c_str(), nullptr));
    std::wstring program = placeApp(folder, {{10005, "1"}});

    jaunt_test::RunOptions options;
    options.setWide = {{L"TMP", temp}, {L"TEMP", temp}, {L"LOCALAPPDATA", user + L"\\AppData\\Local"},
                       {L"USERPROFILE", user}};
    jaunt_test::RunResult result = launch(program, L"\x0141ukasz \"\x30a2 x\"", options);
    ASSERT_EQ(result.exitCode, 0u) << result.err;

    // The launcher opened its own file and its JRE by their long names.
    std::string directory = utf8(lowered(folder));
    EXPECT_EQ(property("jaunt.moduleName"), directory + "\\app.exe");
    EXPECT_EQ(option("-Djaunt.moduleName"), "<none>") << "the code page cannot carry it as an option";
    // A TEMP whose name the JVM cannot read falls back to the Windows one, where the included files
    // are extracted; the per-process file keeps the real TEMP and goes over as a property.
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof(windows));
    std::string tempDir = option("-Djaunt.tempDir");
    EXPECT_EQ(tempDir.rfind(std::string(windows) + "\\temp\\jnt", 0), 0u) << tempDir;
    EXPECT_EQ(property("jaunt.processCommFile").rfind(utf8(temp) + "\\jnt_p", 0), 0u);
    // The class path: what the JVM can read as an option, the rest added after creation, in order.
    EXPECT_EQ(option("-Djava.class.path"), tempDir + "\\inc.jar");
    EXPECT_EQ(recorded("call appendToClassPathForInstrumentation "),
              std::vector<std::string>{directory + "\\lib\\app.jar (locked)"});
    EXPECT_EQ(property("java.class.path"), tempDir + "\\inc.jar;" + directory + "\\lib\\app.jar;");
    std::vector<std::string> arguments = recorded("main-arg ");
    ASSERT_GE(arguments.size(), 2u);
    size_t last = arguments.size() - 1;
    EXPECT_EQ(arguments[last - 1], std::to_string(last - 1) + jaunt_test::hexUnits(u"\x0141ukasz"));
    EXPECT_EQ(arguments[last], std::to_string(last) + jaunt_test::hexUnits(u"\x30a2 x"));
}

TEST_F(Names, PathsPastMaxPathWork) {
    // The launcher's folder 245 units long: its JRE's jvm.dll lies past 260 units, and so do the
    // files extracted into a TEMP of about the same length.
    std::wstring folder = base + L"\\" + std::wstring(245 - base.size(), L'a');
    std::wstring temp = base + L"\\" + std::wstring(250 - base.size(), L't');
    ASSERT_TRUE(CreateDirectoryW(longForm(temp).c_str(), nullptr));
    std::wstring program = placeApp(folder);
    ASSERT_GT((folder + L"\\jre\\bin\\client\\jvm.dll").size(), 260u);
    // The vmoptions file beside it, in UTF-8 with its mark: a property outside the code page.
    HANDLE file = CreateFileW(longForm(folder + L"\\app.vmoptions").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              0, nullptr);
    std::string lines = "\xEF\xBB\xBF-Dfrom.vmoptions=1\r\n-Dname=\xC5\x81\r\n";
    DWORD written = 0;
    WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
    CloseHandle(file);

    jaunt_test::RunOptions options;
    options.setWide = {{L"TMP", temp}, {L"TEMP", temp}};
    options.set["JAUNT_LOG"] = "yes";
    jaunt_test::RunResult result = launch(program, L"", options);
    ASSERT_EQ(result.exitCode, 0u) << result.err;

    std::string tempDir = option("-Djaunt.tempDir");
    EXPECT_EQ(tempDir.rfind(utf8(temp) + "\\jnt", 0), 0u) << tempDir;
    EXPECT_EQ(option("-Djava.class.path"),
              tempDir + "\\inc.jar;" + utf8(lowered(folder)) + "\\lib\\app.jar;");
    EXPECT_EQ(option("-Dfrom.vmoptions"), "1");
    EXPECT_EQ(property("name"), "\xC5\x81");
    // The log, in that TEMP too.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(longForm(temp + L"\\bkt*").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    HANDLE log = CreateFileW(longForm(temp + L"\\" + found.cFileName).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    char head[20] = {};
    DWORD got = 0;
    ReadFile(log, head, sizeof(head) - 1, &got, nullptr);
    CloseHandle(log);
    EXPECT_EQ(std::string(head), "Started executable ");
}

}  // namespace
