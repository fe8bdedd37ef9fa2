#include "launcherimage.h"

#include <gtest/gtest.h>

#include <functional>

#include "tablewriter.h"
#include "testsupport.h"

using testsupport::makeStub;
using testsupport::put16;
using testsupport::put32;

namespace {

TEST(LauncherStub, AcceptsAnUnconfiguredLauncherOfEitherArchitecture) {
    EXPECT_EQ(jaunt::checkUnconfiguredLauncher(makeStub()), jaunt::LauncherArch::X86);
    EXPECT_EQ(jaunt::checkUnconfiguredLauncher(makeStub(0x12345)), jaunt::LauncherArch::X86);
    EXPECT_EQ(jaunt::checkUnconfiguredLauncher(makeStub(0x800, true)), jaunt::LauncherArch::X64);
}

TEST(LauncherStub, RefusesEverythingElseWithItsReason) {
    struct Case {
        const char* reason;
        std::function<void(std::vector<uint8_t>&)> spoil;
    };
    const Case cases[] = {
        {"only 559 bytes", [](std::vector<uint8_t>& b) { b.resize(559); }},
        {"no MZ signature", [](std::vector<uint8_t>& b) { b[1] = 'X'; }},
        {"PE header is at 0x40", [](std::vector<uint8_t>& b) { put32(b, 0x3C, 0x40); }},
        {"no PE signature", [](std::vector<uint8_t>& b) { b[0x81] = 'X'; }},
        {"optional header has 240 bytes", [](std::vector<uint8_t>& b) { put16(b, 0x94, 0xF0); }},
        {"4 sections instead of 5", [](std::vector<uint8_t>& b) { put16(b, 0x86, 4); }},
        {"magic 0x107 (neither PE32 nor PE32+)", [](std::vector<uint8_t>& b) { put16(b, 0x98, 0x107); }},
        {"optional header has 224 bytes instead of 240 for PE32+", [](std::vector<uint8_t>& b) { put16(b, 0x98, 0x20B); }},
        {"machine type 0x8664 in a PE32 image", [](std::vector<uint8_t>& b) { put16(b, 0x84, 0x8664); }},
        {"3 bytes after its last section", [](std::vector<uint8_t>& b) { b.resize(b.size() + 3); }},
        {"ends at 1536, after the end of the file (1535 bytes)",
         [](std::vector<uint8_t>& b) { b.pop_back(); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> stub = makeStub();
        c.spoil(stub);
        try {
            jaunt::checkUnconfiguredLauncher(stub);
            ADD_FAILURE() << "accepted: " << c.reason;
        } catch (const jaunt::LauncherError& e) {
            EXPECT_NE(std::string(e.what()).find("not an unconfigured launcher program: "),
                      std::string::npos);
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_THROW(jaunt::makeLauncher(stub, {}, {}), jaunt::LauncherError) << c.reason;
    }
}

TEST(LauncherImage, AppendsTableAndPayloadAndReadsThemBack) {
    std::vector<uint8_t> stub = makeStub();
    std::vector<uint8_t> table = jaunt::encodeTable({{101, "App"}, {2002, "1"}}, {});
    std::vector<uint8_t> payload = {1, 2, 3, 4, 5};
    std::vector<uint8_t> exe = jaunt::makeLauncher(stub, table, payload);

    std::vector<uint8_t> expected = stub;
    expected.insert(expected.end(), table.begin(), table.end());
    expected.insert(expected.end(), payload.begin(), payload.end());
    EXPECT_EQ(exe, expected);

    jaunt::LauncherTable read = jaunt::readLauncherTable(exe);
    EXPECT_EQ(read.error, jaunt::TableError::None);
    EXPECT_EQ(read.tableOffset, stub.size());
    EXPECT_EQ(read.table.narrow, (std::map<int32_t, std::string>{{101, "App"}, {2002, "1"}}));
    EXPECT_EQ(read.table.payloadPosition, stub.size() + table.size());
    EXPECT_EQ(read.payloadSize, payload.size());
    // A configured launcher is not a stub any more.
    EXPECT_THROW(jaunt::checkUnconfiguredLauncher(exe), jaunt::LauncherError);
}

// The 64-bit launcher reads its table through the fields at 568 and 572: a 32-bit reading of the
// same file (552 and 556, inside the fourth section header) must not be what finds it.
TEST(LauncherImage, The64BitLauncherCarriesItsTableWhereItReadsIt) {
    std::vector<uint8_t> stub = makeStub(0x900, true);
    put32(stub, 552, 0x40);  // fourth section header: a size and position that sum elsewhere
    put32(stub, 556, 0x100);
    std::vector<uint8_t> exe = jaunt::makeLauncher(stub, jaunt::encodeTable({{101, "App"}}, {}), {7, 7});
    jaunt::LauncherTable read = jaunt::readLauncherTable(exe);
    EXPECT_EQ(read.arch, jaunt::LauncherArch::X64);
    EXPECT_EQ(read.tableOffset, 0x900u);
    EXPECT_EQ(read.error, jaunt::TableError::None);
    EXPECT_EQ(read.table.narrow.at(101), "App");
    EXPECT_EQ(read.payloadSize, 2u);
    EXPECT_EQ(jaunt::readLauncherTable(makeStub()).arch, jaunt::LauncherArch::X86);
    EXPECT_THROW(jaunt::checkUnconfiguredLauncher(std::vector<uint8_t>(stub.begin(), stub.begin() + 575)),
                 jaunt::LauncherError);
}

TEST(LauncherImage, ReportsTheErrorTheLauncherWouldShow) {
    EXPECT_EQ(jaunt::readLauncherTable(makeStub()).error, jaunt::TableError::ReadInt);
    std::vector<uint8_t> exe = jaunt::makeLauncher(makeStub(), jaunt::encodeTable({{1, "abc"}}, {}), {});
    exe[0x600] = 0;
    EXPECT_EQ(jaunt::readLauncherTable(exe).error, jaunt::TableError::Magic);
    EXPECT_THROW(jaunt::readLauncherTable(std::vector<uint8_t>(100, 'M')), jaunt::LauncherError);
}

TEST(LauncherFiles, WriteAndReadBackAndNameMissingFiles) {
    std::string path = (testsupport::scratchDirectory() / "image.bin").string();
    std::vector<uint8_t> bytes = makeStub(70000);  // more than one read buffer
    jaunt::writeFileBytes(path, bytes);
    EXPECT_EQ(jaunt::readFileBytes(path), bytes);
    try {
        jaunt::readFileBytes(path + ".missing");
        ADD_FAILURE() << "read a missing file";
    } catch (const jaunt::LauncherError& e) {
        EXPECT_EQ(std::string(e.what()), path + ".missing: cannot open the file");
    }
    EXPECT_THROW(jaunt::writeFileBytes(path + ".missing/x.exe", bytes), jaunt::LauncherError);
}

}  // namespace
