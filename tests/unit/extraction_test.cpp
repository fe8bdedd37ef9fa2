// Restoring included files from a launcher file into a fresh directory, and keeping them while the
// process lives.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>
// windows.h first: these need its types.
#include <aclapi.h>
#include <sddl.h>

#include "boundedtext.h"
#include "classpath.h"
#include "cleanup.h"
#include "config.h"
#include "errors.h"
#include "extraction.h"
#include "payloadwriter.h"
#include "winsupport.h"

namespace {

std::vector<uint8_t> pattern(size_t size, unsigned seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + seed + (i >> 8));
    return bytes;
}

std::vector<std::string> entriesOf(const std::string& directory, const char* pattern = "*") {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((directory + "\\" + pattern).c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
    return names;
}

std::string registryValue(const char* name) {
    return jaunt_test::registryText(HKEY_CURRENT_USER, jaunt::kRemovalListKey, name);
}

HANDLE openFile(const std::string& path, DWORD access) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The temporary directory of the process is the test's own directory, so that every directory and
// file made by an extraction can be found and is removed afterwards.
class Extraction : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"extract"};
    std::string savedTmp;

    void SetUp() override {
        char saved[MAX_PATH];
        savedTmp = GetEnvironmentVariableA("TMP", saved, sizeof(saved)) ? saved : "";
        SetEnvironmentVariableA("TMP", dir.path().c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
    }
    void TearDown() override {
        jaunt::releaseExtractedFiles();
        SetEnvironmentVariableA("TMP", savedTmp.empty() ? nullptr : savedTmp.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
    }

    // Writes a launcher carrying files (names in key 2003, count in key 2002 unless given) and loads
    // its table.
    std::string launcher(const std::vector<jaunt::IncludedFile>& files, const char* count = nullptr,
                         const char* names = nullptr, size_t cut = 0) {
        std::vector<std::string> list;
        for (const auto& file : files) list.push_back(file.name);
        std::string countText = count ? count : std::to_string(files.size());
        std::vector<uint8_t> payload = jaunt::encodePayload(files);
        payload.resize(payload.size() - cut);
        std::string path = jaunt_test::writeLauncher(
            dir.file("app.exe"), {{2002, countText}, {2003, names ? names : jaunt::fileNameList(list)}}, {}, payload);
        bool opened = false;
        EXPECT_EQ(jaunt::loadConfigurationFile(path.c_str(), &opened), jaunt::TableError::None);
        return path;
    }
};

TEST_F(Extraction, EachFileIsRestoredByteForByteIntoAFreshDirectory) {
    std::vector<jaunt::IncludedFile> files = {{"empty.bin", {}},
                                              {"one.bin", {0x00}},
                                              {"buffer.jar", pattern(8192, 1)},
                                              {"three.jar", pattern(20000, 2)}};
    std::string path = launcher(files);
    char directory[jaunt::kTextSize];
    ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));

    // <TMP>\jnt<hex>.tmp_dir<digits>, and the file that reserved the name is gone again.
    std::string made = directory;
    std::string prefix = dir.path() + "\\jnt";
    ASSERT_EQ(made.rfind(prefix, 0), 0u) << made;
    size_t suffix = made.find(".tmp_dir");
    ASSERT_NE(suffix, std::string::npos) << made;
    EXPECT_EQ(made.find_first_not_of("0123456789", suffix + 8), std::string::npos) << made;
    EXPECT_FALSE(jaunt_test::fileExists(made.substr(0, suffix + 4)));
    EXPECT_EQ(entriesOf(dir.path(), "jnt*").size(), 1u);

    // A file of size 0 is not created; the others are restored exactly.
    EXPECT_FALSE(jaunt_test::fileExists(made + "\\empty.bin"));
    for (size_t i = 1; i < files.size(); ++i)
        EXPECT_EQ(jaunt_test::readBytes(made + "\\" + files[i].name), files[i].content) << files[i].name;
    EXPECT_EQ(entriesOf(made).size(), 3u);

    // Extracting writes nothing to the registry: a run that dies before it records its files leaves
    // nothing recorded.
    EXPECT_EQ(registryValue("delete_file"), "<no key>");
    EXPECT_EQ(jaunt::extractionDirectory(), std::string()) << "only the launcher's own run sets it";
}

TEST_F(Extraction, NothingToExtractMakesNoDirectory) {
    for (const char* count : {"0", "", "-2"}) {
        std::string path = launcher({{"a.jar", {1, 2, 3}}}, count);
        char directory[jaunt::kTextSize] = "left over";
        EXPECT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory))) << count;
        EXPECT_STREQ(directory, "") << count;
    }
    EXPECT_TRUE(entriesOf(dir.path(), "jnt*").empty());
}

TEST_F(Extraction, TheCountAndTheNamesLimitEachOther) {
    std::vector<jaunt::IncludedFile> files = {{"a.jar", {1}}, {"b.jar", {2, 2}}, {"c.jar", {3, 3, 3}}};
    char directory[jaunt::kTextSize];
    // Names beyond the count are ignored.
    std::string path = launcher(files, "2");
    ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
    EXPECT_EQ(entriesOf(directory), (std::vector<std::string>{"a.jar", "b.jar"}));
    // Fewer names than the count: done after the last name, the rest of the payload unread (it may
    // even be missing).
    path = launcher(files, "5", ";a.jar;;", 4);
    ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
    EXPECT_EQ(entriesOf(directory), std::vector<std::string>{"a.jar"});
    // No names at all: an empty directory.
    path = launcher(files, "3", ";;");
    ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
    EXPECT_TRUE(jaunt_test::fileExists(directory));
    EXPECT_TRUE(entriesOf(directory).empty());
}

TEST_F(Extraction, ACutRecordFailsAndItsDirectoryIsStillRegistered) {
    std::vector<jaunt::IncludedFile> files = {{"a.jar", pattern(100, 3)}, {"b.jar", pattern(20000, 4)}};
    std::string path = launcher(files, nullptr, nullptr, 1);
    char directory[jaunt::kTextSize];
    EXPECT_FALSE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
    EXPECT_EQ(jaunt_test::readBytes(std::string(directory) + "\\a.jar"), files[0].content);
    // Recording (what the error report does) lists the directory and both files.
    jaunt::recordPendingDeletions();
    std::string dirs = registryValue("delete_dir");
    EXPECT_NE(dirs.find(std::string(directory) + ";"), std::string::npos) << dirs;
    std::string listed = registryValue("delete_file");
    EXPECT_NE(listed.find(std::string(directory) + "\\a.jar;"), std::string::npos) << listed;
    EXPECT_NE(listed.find(std::string(directory) + "\\b.jar;"), std::string::npos) << listed;
}

TEST_F(Extraction, ExtractedFilesAreKeptFromACleanupUntilReleased) {
    std::string path = launcher({{"held.jar", pattern(500, 5)}});
    char directory[jaunt::kTextSize];
    ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
    std::string jar = std::string(directory) + "\\held.jar";
    jaunt::appendRemovalEntries({jar}, {});
    jaunt::appendRemovalEntries({}, {directory});
    // Others may still read the file while it is held (as the JVM does).
    HANDLE reader = openFile(jar, GENERIC_READ);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);

    jaunt::removeStaleFiles();
    EXPECT_TRUE(jaunt_test::fileExists(jar));
    EXPECT_EQ(registryValue("delete_file"), jar + ";");
    EXPECT_EQ(registryValue("delete_dir"), std::string(directory) + ";");

    jaunt::releaseExtractedFiles();
    jaunt::removeStaleFiles();
    EXPECT_FALSE(jaunt_test::fileExists(directory));
    EXPECT_EQ(registryValue("delete_file"), "");
    EXPECT_EQ(registryValue("delete_dir"), "");
}

// The access list of a directory as (SID text, access mask) pairs of its allowing entries; the
// number of entries of any other kind goes to *others.
std::set<std::pair<std::string, DWORD>> allowedAccess(const std::string& path, int* others) {
    std::set<std::pair<std::string, DWORD>> allowed;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    *others = 0;
    if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS || dacl == nullptr) {
        *others = -1;
        return allowed;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        GetAce(dacl, i, reinterpret_cast<void**>(&header));
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            ++*others;
            continue;
        }
        auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        char* sid = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        allowed.insert({sid ? sid : "?", ace->Mask});
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return allowed;
}

std::string currentUserSid() {
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char buffer[256];
    DWORD length = 0;
    GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &length);
    CloseHandle(token);
    char* sid = nullptr;
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &sid);
    std::string text = sid ? sid : "";
    LocalFree(sid);
    return text;
}

TEST_F(Extraction, TheDirectoryIsPrivateUnguessableAndOnlyItsOwnArchivesReachTheClassPath) {
    std::string path = launcher({{"lib.jar", {1}}, {"more.ZIP", {2}}, {"notes.txt", {3}}, {"empty.jar", {}}});
    std::set<std::string> suffixes;
    char directory[jaunt::kTextSize];
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(jaunt::extractIncludedFilesFrom(path.c_str(), directory, sizeof(directory)));
        std::string made = directory;
        suffixes.insert(made.substr(made.find(".tmp_dir")));
    }
    EXPECT_EQ(suffixes.size(), 3u) << "starts in the same second draw different numbers";

    // Full control for the user and the system, nothing for anyone else.
    int others = 0;
    std::set<std::pair<std::string, DWORD>> expected = {{currentUserSid(), FILE_ALL_ACCESS},
                                                         {"S-1-5-18", FILE_ALL_ACCESS}};
    EXPECT_EQ(allowedAccess(directory, &others), expected);
    EXPECT_EQ(others, 0);

    // Archives planted beside the extracted ones (a "0.jar" would come first in a listing).
    for (const char* planted : {"0.jar", "a.zip", "lib.jar.jar"})
        jaunt_test::writeText(std::string(directory) + "\\" + planted, "PK");
    std::string classPath = "-Djava.class.path=";
    jaunt::appendClassPath(&classPath);
    std::string d = directory;
    EXPECT_EQ(classPath, "-Djava.class.path=" + d + "\\lib.jar;" + d + "\\more.ZIP;");
}

class Copy : public ::testing::Test {
protected:
    jaunt_test::TempDirectory dir{"copy"};
    std::vector<uint8_t> source = pattern(30000, 9);

    void SetUp() override { jaunt_test::writeBytes(dir.file("source"), source); }
    HANDLE sourceAt(LONG offset) {
        HANDLE h = openFile(dir.file("source"), GENERIC_READ);
        SetFilePointer(h, offset, nullptr, FILE_BEGIN);
        return h;
    }
    HANDLE destination(const char* name) {
        return CreateFileA(dir.file(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
    static DWORD positionOf(HANDLE h) { return SetFilePointer(h, 0, nullptr, FILE_CURRENT); }
};

TEST_F(Copy, ExactlyTheCountIsCopiedWithOrWithoutRestoring) {
    HANDLE in = sourceAt(5);
    HANDLE out = destination("restored");
    ASSERT_TRUE(jaunt::copyBlock(in, out, 20000, true));
    EXPECT_EQ(positionOf(in), 20005u) << "the next record starts right after";
    CloseHandle(out);
    std::vector<uint8_t> expected(source.begin() + 5, source.begin() + 20005);
    for (uint8_t& b : expected) b ^= jaunt::kPayloadKey;
    EXPECT_EQ(jaunt_test::readBytes(dir.file("restored")), expected);

    out = destination("plain");
    ASSERT_TRUE(jaunt::copyBlock(in, out, 8192, false));
    ASSERT_TRUE(jaunt::copyBlock(in, out, 0, false));
    EXPECT_EQ(positionOf(in), 28197u);
    CloseHandle(out);
    EXPECT_EQ(jaunt_test::readBytes(dir.file("plain")),
              std::vector<uint8_t>(source.begin() + 20005, source.begin() + 28197));

    // Past the end of the source: what there is gets copied, then the copy fails.
    out = destination("short");
    EXPECT_FALSE(jaunt::copyBlock(in, out, 5000, false));
    CloseHandle(out);
    CloseHandle(in);
    EXPECT_EQ(jaunt_test::readBytes(dir.file("short")).size(), 30000u - 28197u);
}

// Files span several copy blocks (1 MB each) and end inside one, at an odd length.
TEST_F(Copy, ARecordLargerThanOneBlockIsRestoredExactly) {
    std::vector<uint8_t> large = pattern((2u << 20) + 13, 4);
    jaunt_test::writeBytes(dir.file("large"), large);
    HANDLE in = openFile(dir.file("large"), GENERIC_READ);
    SetFilePointer(in, 3, nullptr, FILE_BEGIN);
    HANDLE out = destination("restored");
    ASSERT_TRUE(jaunt::copyBlock(in, out, (2u << 20) + 7, true));
    EXPECT_EQ(positionOf(in), (2u << 20) + 10);
    CloseHandle(out);
    CloseHandle(in);
    std::vector<uint8_t> expected(large.begin() + 3, large.begin() + 3 + (2u << 20) + 7);
    for (uint8_t& b : expected) b ^= jaunt::kPayloadKey;
    EXPECT_EQ(jaunt_test::readBytes(dir.file("restored")), expected);
}

TEST_F(Copy, AFailedWriteEndsWithInternalError13) {
    std::string launcherPath = jaunt_test::writeLauncher(
        dir.file("app.exe"), {{1009, "An internal error occurred (error code: %ERROR_CODE%)"}});
    jaunt_test::writeBytes(dir.file("readonly"), {});
    EXPECT_EXIT(
        {
            bool opened = false;
            jaunt::loadConfigurationFile(launcherPath.c_str(), &opened);
            jaunt::switchOffErrorDialogs();
            HANDLE readOnly = openFile(dir.file("readonly"), GENERIC_READ);
            jaunt::copyBlock(sourceAt(0), readOnly, 100, true);
        },
        ::testing::ExitedWithCode(1), "An internal error occurred \\(error code: 13\\)");
}

}  // namespace
