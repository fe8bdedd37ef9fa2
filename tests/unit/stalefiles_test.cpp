// Removing what earlier runs listed in the registry, keeping what is still in use.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "cleanup.h"
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

    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
        CreateDirectoryA(run.c_str(), nullptr);
        jaunt_test::writeText(run + "\\a.jar", "a");
        jaunt_test::writeText(run + "\\b.jar", "b");
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey); }
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
    writeValue("delete_file", run + "\\a.jar;" + run + "\\b.jar;" + run + ";");
    writeValue("delete_dir", run + ";" + dir.path() + ";");
    jaunt_test::writeText(dir.file("unlisted.txt"), "keeps its directory");
    HANDLE held = hold(run + "\\a.jar");
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    jaunt::removeStaleFiles();
    EXPECT_TRUE(jaunt_test::fileExists(run + "\\a.jar"));
    EXPECT_FALSE(jaunt_test::fileExists(run + "\\b.jar"));
    // A directory listed as a file is not a file to open: it stays listed, like a directory that
    // still holds files.
    EXPECT_EQ(readValue("delete_file"), run + "\\a.jar;" + run + ";");
    EXPECT_EQ(readValue("delete_dir"), run + ";" + dir.path() + ";");
    EXPECT_TRUE(jaunt_test::fileExists(dir.path()));

    CloseHandle(held);
    jaunt::removeStaleFiles();
    EXPECT_FALSE(jaunt_test::fileExists(run));
    // The directory listed as a file still existed in the file pass; the next run drops it.
    EXPECT_EQ(readValue("delete_file"), run + ";");
    EXPECT_EQ(readValue("delete_dir"), dir.path() + ";");
    jaunt::removeStaleFiles();
    EXPECT_EQ(readValue("delete_file"), "");
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
        jaunt::appendRemovalEntry("delete_file", path.c_str());
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
