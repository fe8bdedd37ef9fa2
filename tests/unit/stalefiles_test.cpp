// Removing what earlier runs listed in the registry, keeping what is still in use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>
#include <winioctl.h>

#include <cstring>

#include "cleanup.h"
#include "jvmtrees.h"
#include "winsupport.h"

namespace {

std::string readValue(const char* name, DWORD* type = nullptr) {
    return jaunt_test::registryText(HKEY_CURRENT_USER, jaunt::kRemovalListKey, name, type);
}

void writeValue(const char* name, const std::string& text) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, jaunt::kRemovalListKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size()));
    RegCloseKey(key);
}

// A handle as a running launcher (or its JVM) holds an extracted jar: others may read, nobody may
// take it exclusively.
HANDLE hold(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

class StaleFiles : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"stale"};
    std::string run = dir.file("jnt1.tmp_dir42");

    std::string savedTmp;

    // The test's directory is the temporary directory, so that run is an extraction directory.
    void SetUp() override {
        char saved[MAX_PATH];
        savedTmp = GetEnvironmentVariableA("TMP", saved, sizeof(saved)) ? saved : "";
        SetEnvironmentVariableA("TMP", dir.path().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
        CreateDirectoryA(run.c_str(), nullptr);
        jaunt_test::writeText(run + "\\a.jar", "a");
        jaunt_test::writeText(run + "\\b.jar", "b");
    }
    void TearDown() override {
        SetEnvironmentVariableA("TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
    }
};

TEST_F(StaleFiles, WithoutTheKeyNothingHappensAndNothingIsCreated) {
    jaunt::removeStaleFiles();
    EXPECT_EQ(readValue("delete_file"), "<no key>");
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\a.jar"));
}

TEST_F(StaleFiles, FreeFilesGoAndTheirEmptiedDirectoryInTheSameRun) {
    writeValue("delete_file", run + "\\a.jar;" + run + "\\b.jar;" + run + "\\a.jar;" + dir.file("gone.jar") + ";");
    writeValue("delete_dir", run + ";" + dir.file("gonedir") + ";");
    jaunt::removeStaleFiles();
    EXPECT_FALSE(jaunt_test::fileExists(run));
    DWORD type = 0;
    EXPECT_EQ(readValue("delete_file", &type), "");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(readValue("delete_dir", &type), "");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
}

TEST_F(StaleFiles, WhatIsInUseOrNotEmptyStaysListed) {
    writeValue("delete_file", run + "\\a.jar;" + run + "\\b.jar;");
    writeValue("delete_dir", run + ";");
    HANDLE held = hold(run + "\\a.jar");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    jaunt::removeStaleFiles();
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\a.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(run + "\\b.jar"));
    EXPECT_EQ(readValue("delete_file"), run + "\\a.jar;");
    EXPECT_EQ(readValue("delete_dir"), run + ";");

    CloseHandle(held);
    jaunt::removeStaleFiles();
    EXPECT_FALSE(jaunt_test::fileExists(run));
    EXPECT_EQ(readValue("delete_file"), "");
    EXPECT_EQ(readValue("delete_dir"), "");
}

// A junction from path to target; false where the platform cannot make one (Wine).
bool makeJunction(const std::string& path, const std::string& target) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) return false;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    std::wstring substitute = L"\\??\\" + jaunt_test::widen(target);
    struct {
        DWORD tag;
        WORD length, reserved, substituteOffset, substituteLength, printOffset, printLength;
        WCHAR path[MAX_PATH + 8];
    } data{};
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>(substitute.size() * 2);
    data.printOffset = static_cast<WORD>(data.substituteLength + 2);
    memcpy(data.path, substitute.c_str(), data.substituteLength);
    data.length = static_cast<WORD>(8 + data.substituteLength + 4);
    DWORD returned = 0;
    BOOL made = DeviceIoControl(h, FSCTL_SET_REPARSE_POINT, &data, 8 + data.length, nullptr, 0, &returned, nullptr);
    CloseHandle(h);
    if (!made) RemoveDirectoryA(path.c_str());
    return made != FALSE;
}

TEST_F(StaleFiles, OnlyTheLaunchersOwnDirectoriesAndTheirPlainFilesAreTouched) {
    // What any process of the user could list for a (possibly elevated) launcher to delete.
    jaunt_test::TempDirectory other("victim");
    std::string nested = dir.file("deeper\\jnt2.tmp_dir7");
    jaunt_test::makeDirectories(nested);
    jaunt_test::makeDirectories(run + "\\sub");
    std::vector<std::string> files = {other.file("system.dll"), dir.file("plain.txt"), nested + "\\n.jar",
                                      run + "\\sub\\s.jar"};
    std::vector<std::string> dirs = {other.file("empty"), dir.file("jnt5.tmp_dirx"), nested, run + "\\sub\\empty"};
    for (const std::string& file : files) jaunt_test::writeText(file, "keep");
    for (const std::string& directory : dirs) CreateDirectoryA(directory.c_str(), nullptr);
    std::string fileList, dirList;
    for (const std::string& file : files) fileList += file + ";";
    for (const std::string& directory : dirs) dirList += directory + ";";
    std::string junction = dir.file("jnt3.tmp_dir9");
    bool linked = makeJunction(junction, other.path());
    writeValue("delete_file", fileList + run + "\\a.jar;\\\\server\\share\\jnt1.tmp_dir1\\x.jar;" + run +
                                  "\\..\\plain.txt;" + junction + "\\system.dll;" + run + ":stream;");
    writeValue("delete_dir", dirList + junction + ";");

    jaunt::removeStaleFiles();
    for (const std::string& file : files) EXPECT_TRUE(jaunt_test::fileExists(file)) << file;
    for (const std::string& directory : dirs) EXPECT_TRUE(jaunt_test::fileExists(directory)) << directory;
    EXPECT_FALSE(jaunt_test::fileExists(run + "\\a.jar")) << "the launcher's own file still goes";
    EXPECT_EQ(readValue("delete_file"), linked ? junction + "\\system.dll;" : "");
    EXPECT_EQ(readValue("delete_dir"), linked ? junction + ";" : "");
    if (linked) RemoveDirectoryA(junction.c_str());
}

TEST_F(StaleFiles, AListFilledToTheLimitIsReadWhole) {
    // 8191 bytes: entries that do not exist, and the held file as the very last entry.
    std::string last = run + "\\a.jar;";
    std::string list;
    while (list.size() + 40 + last.size() + 45 <= jaunt::kRemovalListLimit)
        list += "C:\\gone\\" + std::string(30, 'g') + ".jar;";  // 40 bytes
    list += "C:\\" + std::string(jaunt::kRemovalListLimit - list.size() - last.size() - 4, 'p') + ";";
    list += last;
    ASSERT_EQ(list.size(), jaunt::kRemovalListLimit);
    writeValue("delete_file", list);
    HANDLE held = hold(run + "\\a.jar");
    jaunt::removeStaleFiles();
    CloseHandle(held);
    EXPECT_EQ(readValue("delete_file"), last);

    // A list longer than the limit was not written by a launcher; it is left as it is.
    std::string huge = run + "\\b.jar;" + std::string(9000, 'h') + ";";
    writeValue("delete_file", huge);
    jaunt::removeStaleFiles();
    EXPECT_EQ(readValue("delete_file"), huge);
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\b.jar"));
}

TEST_F(StaleFiles, RelativeEntriesAreDroppedWithoutTouchingAnything) {
    char saved[MAX_PATH];
    GetCurrentDirectoryA(sizeof(saved), saved);
    ASSERT_TRUE(SetCurrentDirectoryA(run.c_str()));
    writeValue("delete_file", "a.jar;.\\b.jar;");
    writeValue("delete_dir", "..\\jnt1.tmp_dir42;");
    jaunt::removeStaleFiles();
    SetCurrentDirectoryA(saved);
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\a.jar"));
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\b.jar"));
    EXPECT_EQ(readValue("delete_file"), "");
    EXPECT_EQ(readValue("delete_dir"), "");
}

struct AppendWork {
    std::string directory;
    int thread;
};

DWORD WINAPI appendHeldFiles(void* parameter) {
    auto* work = static_cast<AppendWork*>(parameter);
    for (int i = 0; i < 15; ++i) {
        std::string path = work->directory + "\\t" + std::to_string(work->thread) + "_" + std::to_string(i) + ".jar";
        jaunt::appendRemovalEntries({path}, {});
    }
    return 0;
}

DWORD WINAPI cleanRepeatedly(void*) {
    for (int i = 0; i < 15; ++i) jaunt::removeStaleFiles();
    return 0;
}

TEST_F(StaleFiles, CleanupsBesideAppendsLoseNoEntry) {
    // Every appended file exists and is held, so each cleanup must write every entry back.
    std::vector<HANDLE> held;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 15; ++i) {
            std::string path = run + "\\t" + std::to_string(t) + "_" + std::to_string(i) + ".jar";
            jaunt_test::writeText(path, "x");
            held.push_back(hold(path));
        }
    writeValue("delete_file", "");
    AppendWork work[4];
    HANDLE threads[6];
    for (int t = 0; t < 4; ++t) {
        work[t] = AppendWork{run, t};
        threads[t] = CreateThread(nullptr, 0, appendHeldFiles, &work[t], 0, nullptr);
    }
    threads[4] = CreateThread(nullptr, 0, cleanRepeatedly, nullptr, 0, nullptr);
    threads[5] = CreateThread(nullptr, 0, cleanRepeatedly, nullptr, 0, nullptr);
    WaitForMultipleObjects(6, threads, TRUE, INFINITE);
    for (HANDLE h : threads) CloseHandle(h);
    std::string list = readValue("delete_file");
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 15; ++i) {
            std::string entry = run + "\\t" + std::to_string(t) + "_" + std::to_string(i) + ".jar;";
            EXPECT_NE(list.find(entry), std::string::npos) << entry;
        }
    for (HANDLE h : held) CloseHandle(h);
}

}  // namespace
