// The registry lists of paths that a later run removes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

#include "cleanup.h"
#include "winsupport.h"

namespace {

std::string readValue(const char* name, DWORD* type = nullptr) {
    return jaunt_test::registryText(HKEY_CURRENT_USER, jaunt::kRemovalListKey, name, type);
}

void writeValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, jaunt::kRemovalListKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}

class RemovalLists : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey); }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey); }
};

TEST_F(RemovalLists, EntriesAreAppendedWithTheirSeparatorAndNoTerminator) {
    jaunt::appendRemovalEntries({"C:\\t\\a.jar"}, {});
    jaunt::appendRemovalEntries({"C:\\t\\b.jar"}, {});
    jaunt::appendRemovalEntries({}, {"C:\\t"});
    DWORD type = 0;
    EXPECT_EQ(readValue("delete_file", &type), "C:\\t\\a.jar;C:\\t\\b.jar;");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(readValue("delete_dir"), "C:\\t;");
}

TEST_F(RemovalLists, AnEntryThatWouldPassTheLimitIsDroppedAndTheListKept) {
    std::string full(jaunt::kRemovalListLimit - 4, 'p');  // room for exactly "abc;"
    writeValue("delete_file", REG_SZ, full.data(), static_cast<DWORD>(full.size()));
    jaunt::appendRemovalEntries({"abcd"}, {});
    EXPECT_EQ(readValue("delete_file"), full);
    jaunt::appendRemovalEntries({"abc"}, {});
    EXPECT_EQ(readValue("delete_file"), full + "abc;");
    EXPECT_EQ(readValue("delete_file").size(), jaunt::kRemovalListLimit);
    jaunt::appendRemovalEntries({""}, {});
    EXPECT_EQ(readValue("delete_file").size(), jaunt::kRemovalListLimit);

    // In one pass each entry is judged against the room the entries before it left: of five bytes,
    // "ab;" and "c;" take all, so the empty entry after them no longer fits.
    std::string almost(jaunt::kRemovalListLimit - 5, 'q');
    writeValue("delete_file", REG_SZ, almost.data(), static_cast<DWORD>(almost.size()));
    writeValue("delete_dir", REG_SZ, "", 0);
    jaunt::appendRemovalEntries({"abcdef", "ab", "c", ""}, {"C:\\d1", "C:\\d2"});
    std::string files = readValue("delete_file");
    EXPECT_EQ(files.size(), jaunt::kRemovalListLimit);
    EXPECT_EQ(files.substr(almost.size()), "ab;c;");
    EXPECT_EQ(readValue("delete_dir"), "C:\\d1;C:\\d2;");
}

TEST_F(RemovalLists, NothingToRecordTouchesNoKey) {
    jaunt::appendRemovalEntries({}, {});
    HKEY key = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CURRENT_USER, jaunt::kRemovalListKey, 0, KEY_READ, &key), ERROR_SUCCESS);
}

TEST_F(RemovalLists, AListLargerThanTheBufferIsNeverOverwritten) {
    std::string huge(12000, 'h');
    writeValue("delete_dir", REG_SZ, huge.data(), static_cast<DWORD>(huge.size()));
    jaunt::appendRemovalEntries({}, {"C:\\x"});
    EXPECT_EQ(readValue("delete_dir"), huge);
}

TEST_F(RemovalLists, AValueOfAnotherTypeStartsAFreshList) {
    DWORD number = 7;
    writeValue("delete_file", REG_DWORD, &number, sizeof(number));
    jaunt::appendRemovalEntries({"C:\\y"}, {});
    EXPECT_EQ(readValue("delete_file"), "C:\\y;");
}

DWORD WINAPI appendMany(void* parameter) {
    int thread = static_cast<int>(reinterpret_cast<INT_PTR>(parameter));
    for (int i = 0; i < 25; ++i)
        jaunt::appendRemovalEntries({"C:\\t" + std::to_string(thread) + "_" + std::to_string(i)}, {});
    return 0;
}

TEST_F(RemovalLists, ConcurrentAppendsLoseNoEntry) {
    HANDLE threads[8];
    for (int t = 0; t < 8; ++t)
        threads[t] = CreateThread(nullptr, 0, appendMany, reinterpret_cast<void*>(static_cast<INT_PTR>(t)), 0, nullptr);
    WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    for (HANDLE h : threads) CloseHandle(h);
    std::string list = readValue("delete_file");
    for (int t = 0; t < 8; ++t)
        for (int i = 0; i < 25; ++i) {
            std::string entry = "C:\\t" + std::to_string(t) + "_" + std::to_string(i) + ";";
            EXPECT_NE(list.find(entry), std::string::npos) << entry;
        }
    EXPECT_EQ(std::count(list.begin(), list.end(), ';'), 200);
}

}  // namespace
