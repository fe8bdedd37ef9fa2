// Writing included files into a launcher and reading them back the way the launcher does.
#include "payloadwriter.h"

#include <gtest/gtest.h>

#include <fstream>

#include "launcherimage.h"
#include "tablewriter.h"
#include "testsupport.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

TEST(Payload, RecordsAreSizeAndScrambledContentBackToBack) {
    std::vector<uint8_t> payload = jaunt::encodePayload({{"a", bytesOf("AB")}, {"e", {}}, {"b", bytesOf("c")}});
    const std::vector<uint8_t> expected = {2, 0, 0, 0, 'A' ^ jaunt::kPayloadKey, 'B' ^ jaunt::kPayloadKey,
                                           0, 0, 0, 0, 1, 0, 0, 0, 'c' ^ jaunt::kPayloadKey};
    EXPECT_EQ(payload, expected);
    EXPECT_TRUE(jaunt::encodePayload({}).empty());
    EXPECT_EQ(jaunt::fileNameList({"jauntlib.jar", "a.jar"}), "jauntlib.jar;a.jar;");
}

TEST(Payload, ALauncherReadsBackWhatWasWritten) {
    std::vector<uint8_t> big(20000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + 7);
    std::vector<jaunt::IncludedFile> files = {{"jauntlib.jar", big}, {"empty.txt", {}}, {"one", {0xA5}}};
    std::vector<uint8_t> table = jaunt::encodeTable({{2002, "3"}, {2003, "jauntlib.jar;empty.txt;one;"}}, {});
    std::vector<uint8_t> exe = jaunt::makeLauncher(testsupport::makeStub(), table, jaunt::encodePayload(files));
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
    jaunt::PayloadLayout layout;
    ASSERT_EQ(jaunt::layoutIncludedFiles(exe, launcher, &layout), jaunt::PayloadError::None);
    ASSERT_EQ(layout.records.size(), 3u);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(layout.records[i].name, files[i].name);
        EXPECT_EQ(jaunt::restoreIncludedFile(exe, launcher, layout.records[i]), files[i].content) << i;
    }
    EXPECT_EQ(layout.end, launcher.payloadSize);

    // A launcher whose payload was cut: the records before the cut, and the error.
    exe.resize(exe.size() - 1);
    launcher = jaunt::readLauncherTable(exe);
    EXPECT_EQ(jaunt::layoutIncludedFiles(exe, launcher, &layout), jaunt::PayloadError::ContentCut);
    EXPECT_EQ(layout.records.size(), 2u);
    EXPECT_EQ(layout.failedName, "one");
}

TEST(Payload, TheCountIsReadWithTheLaunchersNumberRules) {
    EXPECT_EQ(jaunt::configNumber("3"), 3);
    EXPECT_EQ(jaunt::configNumber("  12abc"), 12);
    EXPECT_EQ(jaunt::configNumber("-4"), -4);
    EXPECT_EQ(jaunt::configNumber(""), 0);
    EXPECT_EQ(jaunt::configNumber("x1"), 0);
    EXPECT_EQ(jaunt::configNumber("99999999999999999999"), 2147483647);
    EXPECT_EQ(jaunt::configNumber("-99999999999999999999"), -2147483647 - 1);
}

TEST(Payload, IncludedFilesAreReadFromWhereTheConfigurationNamesThem) {
    fs::path dir = testsupport::scratchDirectory();
    std::ofstream(dir / "a.jar", std::ios::binary) << "jar bytes";
    std::ofstream(dir / "runtime.jar", std::ios::binary) << "runtime";
    std::string config = (dir / "app.toml").string();
    jaunt::BuildConfiguration c =
        jaunt::parseConfiguration("files.include = [\"a.jar\"]\n", config);
    std::vector<jaunt::IncludedFile> files = jaunt::loadIncludedFiles(c, config, (dir / "runtime.jar").string());
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].name, "jauntlib.jar");
    EXPECT_EQ(files[0].content, bytesOf("runtime"));
    EXPECT_EQ(files[1].name, "a.jar");
    EXPECT_EQ(files[1].content, bytesOf("jar bytes"));

    // A missing runtime library is an error that says how to do without it.
    try {
        jaunt::loadIncludedFiles(c, config, (dir / "lib/jauntlib.jar").string());
        ADD_FAILURE() << "no error for a missing runtime library";
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(e.line(), 0);
        EXPECT_NE(e.message().find("set files.runtime = false"), std::string::npos) << e.what();
    }
    // A missing or unreadable included file is reported on its line.
    c = jaunt::parseConfiguration("files.runtime = false\nfiles.include = [\n\"missing.jar\"]\n", config);
    try {
        jaunt::loadIncludedFiles(c, config, std::string());
        ADD_FAILURE() << "no error for a missing file";
    } catch (const jaunt::ConfigError& e) {
        EXPECT_EQ(std::string(e.what()), config + ":3: files.include: " + (dir / "missing.jar").string() +
                                             ": no such file");
    }
    fs::create_directories(dir / "d.jar");
    c = jaunt::parseConfiguration("files.runtime = false\nfiles.include = [\"d.jar\"]\n", config);
    EXPECT_THROW(jaunt::loadIncludedFiles(c, config, std::string()), jaunt::ConfigError);
}

}  // namespace
