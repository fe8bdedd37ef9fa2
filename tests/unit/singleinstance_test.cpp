// The single-instance guard's pieces: the guard itself, the process record, recognising a running
// copy of the launcher, and the exclusive hand-over through the communication file.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <set>
#include <string>

#include "boundedtext.h"
#include "jvmtrees.h"
#include "paths.h"
#include "singleinstance.h"
#include "tempdir.h"
#include "winsupport.h"

namespace {

using jaunt::HandOver;
using jaunt_test::TempDirectory;

std::u16string readUnits(const std::string& path) {
    std::vector<uint8_t> bytes = jaunt_test::readBytes(path);
    std::u16string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

// The win32 thread model has no std::thread.
DWORD WINAPI runBody(LPVOID body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
}
HANDLE startThread(std::function<void()>* body) { return CreateThread(nullptr, 0, runBody, body, 0, nullptr); }
void join(HANDLE thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

void writeUnits(const std::string& path, const std::u16string& text) {
    std::vector<uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xff));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    jaunt_test::writeBytes(path, bytes);
}

// Part of one test: the guard keeps its semaphore for the rest of the process.
TEST(SingleInstanceGuard, KeyAbsentThenFirstInstance) {
    jaunt::singleInstanceGuard(true, true);  // no table: key 10005 reads 0
    EXPECT_EQ(nullptr, OpenSemaphoreA(SYNCHRONIZE, FALSE, jaunt::semaphoreName()));

    // A communication file left under our process id by some earlier process is not a hand-over.
    char commFile[jaunt::kTextSize];
    ASSERT_TRUE(jaunt::processCommFileName(commFile, sizeof(commFile), GetCurrentProcessId()));
    writeUnits(commFile, u"old\n");
    // Nor is a pending file that a process with our id wrote to one with our id, long ago.
    std::string self = std::to_string(GetCurrentProcessId());
    std::string pending = std::string(commFile, std::string(commFile).size() - 4) + "_" + self + "_1.tmp";
    writeUnits(pending, u"older\n");
    jaunt_test::setLastWriteTime(pending, 0);
    jaunt::singleInstanceGuard(false, true);
    HANDLE semaphore = OpenSemaphoreA(SYNCHRONIZE, FALSE, jaunt::semaphoreName());
    EXPECT_NE(nullptr, semaphore);
    CloseHandle(semaphore);
    EXPECT_FALSE(jaunt_test::fileExists(commFile));
    EXPECT_FALSE(jaunt_test::fileExists(pending));
    EXPECT_EQ(GetCurrentProcessId(), jaunt::readProcessRecord());
    DWORD type = 0;
    jaunt_test::registryText(HKEY_CURRENT_USER, jaunt::kProcessRecordKey, jaunt::modulePath(), &type);
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

    // The semaphore is held, but the record names no other running copy of this file: after a short
    // wait the guard returns (the launcher runs on its own) instead of ending with its arguments.
    jaunt::singleInstanceGuard(false, true);
    EXPECT_EQ(GetCurrentProcessId(), jaunt::readProcessRecord());
}

TEST(ProcessRecord, MissingOrMalformedReadsZero) {
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, jaunt::kProcessRecordKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    RegDeleteValueA(key, jaunt::modulePath());
    EXPECT_EQ(0ul, jaunt::readProcessRecord());
    const BYTE twoBytes[2] = {1, 2};
    RegSetValueExA(key, jaunt::modulePath(), 0, REG_BINARY, twoBytes, sizeof(twoBytes));
    EXPECT_EQ(0ul, jaunt::readProcessRecord());
    // The right size but another type, and the right type but too long.
    DWORD self = GetCurrentProcessId();
    RegSetValueExA(key, jaunt::modulePath(), 0, REG_BINARY, reinterpret_cast<const BYTE*>(&self), sizeof(self));
    EXPECT_EQ(0ul, jaunt::readProcessRecord());
    const DWORD eightBytes[2] = {self, 0};
    RegSetValueExA(key, jaunt::modulePath(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(eightBytes),
                   sizeof(eightBytes));
    EXPECT_EQ(0ul, jaunt::readProcessRecord());
    jaunt::writeProcessRecord();
    EXPECT_EQ(GetCurrentProcessId(), jaunt::readProcessRecord());
    RegCloseKey(key);
}

// A running copy of this program is an instance; a process of another program with a recorded id
// (the id was reused) is not, nor is a process that has ended.
TEST(OpenInstanceProcess, OnlyRunningCopiesOfTheSameFile) {
    auto startSuspended = [](const std::string& program, PROCESS_INFORMATION* process) {
        std::wstring line = L"\"" + jaunt_test::widen(program) + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        return CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &startup,
                              process) != 0;
    };
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof(self));
    PROCESS_INFORMATION copy, other;
    ASSERT_TRUE(startSuspended(self, &copy));
    ASSERT_TRUE(startSuspended(jaunt_test::windowsPath(getenv("JAUNT_TEST_FAKE_JAVA")), &other));

    void* handle = jaunt::openInstanceProcess(copy.dwProcessId);
    EXPECT_NE(nullptr, handle);
    if (handle) CloseHandle(handle);
    EXPECT_EQ(nullptr, jaunt::openInstanceProcess(other.dwProcessId));
    EXPECT_EQ(nullptr, jaunt::openInstanceProcess(0));

    TerminateProcess(copy.hProcess, 0);
    WaitForSingleObject(copy.hProcess, INFINITE);
    EXPECT_EQ(nullptr, jaunt::openInstanceProcess(copy.dwProcessId));
    TerminateProcess(other.hProcess, 0);
    for (PROCESS_INFORMATION* p : {&copy, &other}) {
        CloseHandle(p->hThread);
        CloseHandle(p->hProcess);
    }
}

class HandOverTest : public ::testing::Test {
protected:
    TempDirectory dir{"handover"};
    std::string comm = dir.file("jnt_p42.tmp");
    char pending[jaunt::kTextSize];
};

TEST_F(HandOverTest, FreeFileReceivesTheTextWhole) {
    EXPECT_EQ(HandOver::Delivered, jaunt::handOverArguments(comm.c_str(), u"-open  a.txt\n", nullptr, 200, pending,
                                                            sizeof(pending)));
    EXPECT_EQ(u"-open  a.txt\n", readUnits(comm));
    EXPECT_FALSE(jaunt_test::fileExists(pending));
    std::string other = dir.file("b.tmp");
    EXPECT_EQ(HandOver::Delivered,
              jaunt::handOverArguments(other.c_str(), u"\u00e9\n", nullptr, 1, pending, sizeof(pending)));
    EXPECT_EQ(std::vector<uint8_t>({0xe9, 0, '\n', 0}), jaunt_test::readBytes(other));  // UTF-16LE, no BOM
}

// Nobody removes the file: after the bound the earlier text is still there, and ours waits beside it.
TEST_F(HandOverTest, StaleFileIsNeverReplaced) {
    writeUnits(comm, u"earlier\n");
    EXPECT_EQ(HandOver::Pending, jaunt::handOverArguments(comm.c_str(), u"ours\n", nullptr, 3, pending, sizeof(pending)));
    EXPECT_EQ(u"earlier\n", readUnits(comm));
    EXPECT_EQ(u"ours\n", readUnits(pending));
    EXPECT_EQ(0u, std::string(pending).find(dir.file("jnt_p42_")));
    std::string part = pending;
    EXPECT_FALSE(jaunt_test::fileExists(part.replace(part.size() - 4, 4, ".part")));
}

// The running instance takes the pending file itself while the communication file is occupied, as
// it does with one left after the wait: delivered. The file is whole as soon as it exists.
TEST_F(HandOverTest, TheRunningInstanceTakesThePendingFile) {
    writeUnits(comm, u"earlier\n");
    std::u16string seen;
    std::function<void()> takePending = [&] {
        for (int i = 0; i < 2000 && seen.empty(); ++i) {
            WIN32_FIND_DATAA found;
            HANDLE h = FindFirstFileA(dir.file("jnt_p42_*.tmp").c_str(), &found);
            if (h != INVALID_HANDLE_VALUE) {
                FindClose(h);
                // Unreadable while the writer tries to move it: taken at a later look.
                std::string path = dir.file(found.cFileName);
                seen = readUnits(path);
                if (!seen.empty()) DeleteFileA(path.c_str());
            }
            Sleep(1);
        }
    };
    HANDLE reader = startThread(&takePending);
    EXPECT_EQ(HandOver::Delivered,
              jaunt::handOverArguments(comm.c_str(), u"ours\n", nullptr, 200, pending, sizeof(pending)));
    join(reader);
    EXPECT_EQ(u"ours\n", seen);
    EXPECT_EQ(u"earlier\n", readUnits(comm));
}

// A new first instance removes the hand-over files that nobody will take: those whose first
// instance and writer have both ended (an id in use by a process started after the file was
// written counts as ended). Files of a running first instance or writer, and other names, stay.
TEST(RemoveOrphanedHandOvers, OnlyFilesOfEndedInstances) {
    TempDirectory dir("orphans");
    PROCESS_INFORMATION ended;
    std::wstring line = L"\"" + jaunt_test::widen(jaunt_test::windowsPath(getenv("JAUNT_TEST_FAKE_JAVA"))) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &ended));
    WaitForSingleObject(ended.hProcess, INFINITE);
    CloseHandle(ended.hThread);
    CloseHandle(ended.hProcess);  // from here on the id may be reused, by a process started later
    std::string gone = std::to_string(ended.dwProcessId), self = std::to_string(GetCurrentProcessId());
    std::vector<std::string> removed = {"jnt_p" + gone + "_" + gone + "_1.tmp", "JNT_P" + gone + "_" + gone + "_2.PART",
                                        "jnt_p" + self + "_" + gone + "_3.tmp"};
    std::vector<std::string> kept = {"jnt_p" + self + "_" + gone + "_4.tmp", "jnt_p" + gone + "_" + self + "_5.part",
                                     "jnt_p" + gone + ".tmp", "jnt_p" + gone + "_x_6.tmp",
                                     "jnt_p" + gone + "_" + gone + "_7.tmp.old", "jnt_p4294967296_" + gone + "_8.tmp"};
    for (const std::vector<std::string>* names : {&removed, &kept})
        for (const std::string& name : *names) writeUnits(dir.file(name), u"x\n");
    jaunt_test::setLastWriteTime(dir.file(removed[2]), 0);  // written long before this process began

    jaunt::removeOrphanedHandOvers(dir.path().c_str());
    for (const std::string& name : removed) EXPECT_FALSE(jaunt_test::fileExists(dir.file(name))) << name;
    for (const std::string& name : kept) EXPECT_TRUE(jaunt_test::fileExists(dir.file(name))) << name;
}

// A directory in the file's place is never removed by the reader: the text waits beside it.
TEST_F(HandOverTest, DirectoryInThePlaceOfTheFile) {
    ASSERT_TRUE(CreateDirectoryA(comm.c_str(), nullptr));
    EXPECT_EQ(HandOver::Pending,
              jaunt::handOverArguments(comm.c_str(), u"ours\n", nullptr, 200, pending, sizeof(pending)));
    EXPECT_EQ(u"ours\n", readUnits(pending));
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(comm.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(comm.c_str());
}

// The first instance ends while the file is occupied: nothing is written, nothing is left behind.
TEST_F(HandOverTest, FirstInstanceEndedWhileWaiting) {
    writeUnits(comm, u"earlier\n");
    std::function<void()> nothing = [] {};
    HANDLE ended = startThread(&nothing);
    WaitForSingleObject(ended, INFINITE);
    EXPECT_EQ(HandOver::FirstEnded,
              jaunt::handOverArguments(comm.c_str(), u"ours\n", ended, 200, pending, sizeof(pending)));
    join(ended);
    EXPECT_EQ(u"earlier\n", readUnits(comm));
    EXPECT_FALSE(jaunt_test::fileExists(pending));
}

// Two later instances find the file occupied; a reader that reads and deletes it, as the Java side
// does, receives the earlier text and both of theirs, each whole.
TEST_F(HandOverTest, LaterInstancesTakeTurns) {
    writeUnits(comm, u"earlier\n");
    std::set<std::u16string> received;
    std::function<void()> readAndDelete = [&] {
        for (int i = 0; i < 1000 && received.size() < 3; ++i) {
            std::u16string text = readUnits(comm);
            if (!text.empty() && text.back() == u'\n' && DeleteFileA(comm.c_str())) received.insert(text);
            Sleep(20);
        }
    };
    HANDLE reader = startThread(&readAndDelete);
    HandOver first = HandOver::Failed, second = HandOver::Failed;
    std::function<void()> handA = [&] {
        char name[jaunt::kTextSize];
        first = jaunt::handOverArguments(comm.c_str(), u"a.txt\n", nullptr, 200, name, sizeof(name));
    };
    std::function<void()> handB = [&] {
        char name[jaunt::kTextSize];
        second = jaunt::handOverArguments(comm.c_str(), u"\"b c.txt\"\n", nullptr, 200, name, sizeof(name));
    };
    HANDLE a = startThread(&handA), b = startThread(&handB);
    join(a);
    join(b);
    EXPECT_EQ(HandOver::Delivered, first);
    EXPECT_EQ(HandOver::Delivered, second);
    join(reader);
    EXPECT_EQ((std::set<std::u16string>{u"earlier\n", u"a.txt\n", u"\"b c.txt\"\n"}), received);
}

}  // namespace
