// The resource section writer and the application's resources, on the launcher's own resource
// section inside a synthetic stub. tests/data/builder/launcher-x86-rsrc-5f000.bin is the raw data
// of the .rsrc section of a built launcher-x86.exe, as the linker wrote it for address 0x5f000.
#include <gtest/gtest.h>

#include <map>

#include "appresources.h"
#include "buildconfig.h"
#include "launcherimage.h"
#include "resourcesection.h"
#include "tablewriter.h"
#include "testsupport.h"

using jaunt::ResourceId;

namespace {

constexpr uint32_t kStubRsrcRva = 0x5f000;

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return u16(b, at) | (uint32_t(u16(b, at + 2)) << 16); }

std::vector<uint8_t> stubResources() {
    return jaunt::readFileBytes(JAUNT_TEST_DATA "/launcher-x86-rsrc-5f000.bin");
}

std::vector<uint8_t> realisticStub() {
    return testsupport::makeStub(0x400 + 0x800, stubResources(), kStubRsrcRva);
}

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The string values of a version block, read by walking its nodes as the system does.
void readVersionNode(const std::vector<uint8_t>& b, size_t at, size_t end, std::map<std::string, std::string>& out) {
    size_t length = u16(b, at), valueLength = u16(b, at + 2), type = u16(b, at + 4);
    ASSERT_LE(at + length, end);
    std::string key;
    size_t p = at + 6;
    for (; u16(b, p) != 0; p += 2) key += static_cast<char>(u16(b, p));
    p = (p + 2 + 3) / 4 * 4;
    if (type == 1 && valueLength > 0) {
        std::string value;
        for (size_t i = 0; i + 1 < valueLength; ++i) value += static_cast<char>(u16(b, p + 2 * i));
        out[key] = value;
        return;
    }
    if (key == "VS_VERSION_INFO") {
        out["file version MS"] = std::to_string(u32(b, p + 8));
        out["file version LS"] = std::to_string(u32(b, p + 12));
    }
    p = (p + valueLength + 3) / 4 * 4;
    while (p < at + length) {
        readVersionNode(b, p, at + length, out);
        p = (p + u16(b, p) + 3) / 4 * 4;
    }
}

TEST(ResourceSection, TheStubsOwnSectionSurvivesARoundTrip) {
    std::vector<uint8_t> section = stubResources();
    jaunt::ResourceTable table = jaunt::parseResourceSection(section.data(), section.size(), kStubRsrcRva);
    ASSERT_EQ(table.entries().size(), 3u);
    const jaunt::ResourceEntry* dialog = table.find(ResourceId::of(5), ResourceId::of(101));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->language, 1033);
    EXPECT_NE(text(table.find(ResourceId::of(24), ResourceId::of(1))->data).find("asInvoker"), std::string::npos);
    EXPECT_EQ(u32(table.find(ResourceId::of(16), ResourceId::of(1))->data, 40), 0xFEEF04BDu);

    // Written at another address and read back: the same tree, names included.
    table.put({ResourceId::of("id_splash_icon"), ResourceId::of("Second"), 7, 1252, {1, 2, 3}});
    std::vector<uint8_t> written = jaunt::encodeResourceSection(table, 0x12000);
    jaunt::ResourceTable again = jaunt::parseResourceSection(written.data(), written.size(), 0x12000);
    EXPECT_EQ(again.entries(), table.entries());
    EXPECT_TRUE(again.entries().front().type.isName()) << "named types come first";
    EXPECT_EQ(again.entries().front().name.name, u"SECOND");
}

TEST(ResourceSection, MalformedSectionsAreRefusedWithAMessage) {
    std::vector<uint8_t> good = stubResources();
    auto refuses = [](std::vector<uint8_t> section, const std::string& reason) {
        try {
            jaunt::parseResourceSection(section.data(), section.size(), kStubRsrcRva);
            ADD_FAILURE() << "accepted: " << reason;
        } catch (const jaunt::ResourceError& e) {
            EXPECT_NE(std::string(e.what()).find("malformed resource section: " + reason), std::string::npos)
                << e.what();
        }
    };
    std::vector<uint8_t> loop = good;
    testsupport::put32(loop, 20, 0x80000000);  // the first type's directory is the root again
    refuses(loop, "a directory reached twice");
    std::vector<uint8_t> outside = good;
    size_t entry = u32(good, 20) & 0x7FFFFFFF;  // type directory -> name directory -> language -> data
    entry = u32(good, entry + 20) & 0x7FFFFFFF;
    entry = u32(good, entry + 20);
    testsupport::put32(outside, entry, kStubRsrcRva + 0x7F0);
    refuses(outside, "resource data at offset 2032 runs past the end");
    std::vector<uint8_t> counts = good;
    testsupport::put16(counts, 12, 0xFFFF);
    refuses(counts, "a directory's entries");
    // Every cut of the section is either read or refused, never read past.
    for (size_t size = 0; size < good.size(); ++size) {
        try {
            jaunt::parseResourceSection(good.data(), size, kStubRsrcRva);
        } catch (const jaunt::ResourceError&) {
        }
    }
}

TEST(ResourceSection, ImagesWhoseLastSectionIsNotTheirResourcesAreRefused) {
    struct Case {
        const char* reason;
        void (*spoil)(std::vector<uint8_t>&);
    };
    const Case cases[] = {
        {"the resources are not in the last section", [](std::vector<uint8_t>& b) { testsupport::put32(b, 0x98 + 112, 0x4000); }},
        {"the section table runs past the end", [](std::vector<uint8_t>& b) { testsupport::put16(b, 0x86, 500); }},
        {"an optional header of unknown kind", [](std::vector<uint8_t>& b) { testsupport::put16(b, 0x98, 0x107); }},
        {"a section lies after the resource section in memory",
         [](std::vector<uint8_t>& b) { testsupport::put32(b, 0x178 + 12, 0x9000); }},
        {"the image does not end with its resource section", [](std::vector<uint8_t>& b) { b.push_back(0); }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> stub = testsupport::makeStub();
        c.spoil(stub);
        try {
            jaunt::addApplicationResources(stub, jaunt::ApplicationResources());
            ADD_FAILURE() << "accepted: " << c.reason;
        } catch (const jaunt::ResourceError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(ApplicationResources, GoIntoTheLastSectionOfALauncherThatStillFindsItsTable) {
    jaunt::ApplicationResources resources;
    resources.hasSplash = true;
    resources.splash = jaunt::decodePicture(testsupport::makePng(3, 2));
    resources.icon = jaunt::iconFromPicture(jaunt::decodePicture(testsupport::makePng(40, 20)));
    resources.version = {"1.2.3.4", "Vendor & Co", "Does things", "(c) 2026", "Hello", "hello.exe"};
    resources.dpiAwareness = "system";
    std::vector<uint8_t> stub = realisticStub();
    std::vector<uint8_t> image = jaunt::addApplicationResources(stub, resources);

    // Still five sections, the resources last; the sections before them and their place unchanged.
    EXPECT_NO_THROW(jaunt::checkUnconfiguredLauncher(image));
    EXPECT_TRUE(std::equal(stub.begin() + 0x240, stub.begin() + 0x400, image.begin() + 0x240));
    EXPECT_EQ(u32(image, 556), 0x400u);
    EXPECT_EQ(u32(image, 552) % 0x200, 0u);
    EXPECT_EQ(u32(image, 0x98 + 56), (kStubRsrcRva + u32(image, 0x178 + 4 * 40 + 8) + 0xFFF) / 0x1000 * 0x1000);
    EXPECT_EQ(u32(image, 0x98 + 116), u32(image, 0x178 + 4 * 40 + 8)) << "resource directory size";
    std::vector<uint8_t> exe = jaunt::makeLauncher(image, jaunt::encodeTable({{101, "Hello"}}, {}), {7});
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
    EXPECT_EQ(launcher.error, jaunt::TableError::None);
    EXPECT_EQ(launcher.tableOffset, image.size());
    EXPECT_EQ(launcher.payloadSize, 1u);

    jaunt::ResourceTable table = jaunt::readImageResources(exe).table;
    EXPECT_NE(table.find(ResourceId::of(5), ResourceId::of(101)), nullptr) << "the error dialog is kept";

    // The splash picture: a 24-bit bottom-up DIB, transparency blended with the window's grey.
    const std::vector<uint8_t>& dib = table.find(ResourceId::of(2), ResourceId::of(10000))->data;
    EXPECT_EQ(u32(dib, 0), 40u);
    EXPECT_EQ(u32(dib, 4), 3u);
    EXPECT_EQ(u32(dib, 8), 2u);  // positive: bottom-up
    EXPECT_EQ(u16(dib, 14), 24u);
    ASSERT_EQ(dib.size(), 40u + 2 * 12);
    EXPECT_EQ(std::vector<uint8_t>(dib.begin() + 46, dib.begin() + 49), (std::vector<uint8_t>{255, 0, 0}))
        << "the bottom row comes first, blue-green-red";
    EXPECT_EQ(std::vector<uint8_t>(dib.begin() + 52, dib.begin() + 55), (std::vector<uint8_t>{192, 192, 192}));

    // Two icon groups over the same five images; the named one sorts first (the file's icon).
    const jaunt::ResourceEntry* first = nullptr;
    for (const jaunt::ResourceEntry& entry : table.entries())
        if (entry.type == ResourceId::of(14) && first == nullptr) first = &entry;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->name, ResourceId::of("ID_SPLASH_ICON"));
    EXPECT_EQ(table.find(ResourceId::of(14), ResourceId::of(1))->data, first->data);
    const std::vector<uint8_t>& group = first->data;
    ASSERT_EQ(u16(group, 4), 5u);
    std::vector<int> sides;
    for (size_t i = 0; i < 5; ++i) {
        size_t at = 6 + 14 * i;
        const jaunt::ResourceEntry* icon = table.find(ResourceId::of(3), ResourceId::of(u16(group, at + 12)));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(u32(group, at + 8), icon->data.size());
        sides.push_back(group[at] == 0 ? 256 : group[at]);
        if (group[at] == 0)
            EXPECT_EQ(text(icon->data).substr(1, 3), "PNG");
        else
            EXPECT_EQ(u32(icon->data, 8), 2u * group[at]) << "a DIB with its mask";
    }
    EXPECT_EQ(sides, (std::vector<int>{16, 24, 32, 48, 256}));

    std::map<std::string, std::string> version;
    const std::vector<uint8_t>& block = table.find(ResourceId::of(16), ResourceId::of(1))->data;
    readVersionNode(block, 0, block.size(), version);
    EXPECT_EQ(version["file version MS"], std::to_string(0x00010002));
    EXPECT_EQ(version["file version LS"], std::to_string(0x00030004));
    EXPECT_EQ(version["CompanyName"], "Vendor & Co");
    EXPECT_EQ(version["FileDescription"], "Does things");
    EXPECT_EQ(version["FileVersion"], "1.2.3.4");
    EXPECT_EQ(version["ProductVersion"], "1.2.3.4");
    EXPECT_EQ(version["LegalCopyright"], "(c) 2026");
    EXPECT_EQ(version["ProductName"], "Hello");
    EXPECT_EQ(version["OriginalFilename"], "hello.exe");
    EXPECT_EQ(version["InternalName"], "hello");
    EXPECT_EQ(table.find(ResourceId::of(16), ResourceId::of(1))->language, 1033);

    std::string manifest = text(table.find(ResourceId::of(24), ResourceId::of(1))->data);
    EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true<"),
              std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
}

TEST(ApplicationResources, A64BitImageKeepsItsTableOffsetsConsistentToo) {
    // PE32+: the last section header's raw size and position are at 568 and 572.
    std::vector<uint8_t> stub = testsupport::makeStub(0x600, testsupport::tinyResourceSection(), 0x5000, true);
    jaunt::ApplicationResources resources;
    resources.version.version = "1.0";
    std::vector<uint8_t> image = jaunt::addApplicationResources(stub, resources);
    ASSERT_GT(image.size(), stub.size());
    EXPECT_EQ(u32(image, 572), 0x400u);
    EXPECT_EQ(u32(image, 568) + u32(image, 572), image.size());
    EXPECT_EQ(u32(image, 0x98 + 112 + 20), u32(image, 568 - 8)) << "resource directory size = virtual size";
    EXPECT_EQ(u32(image, 0x98 + 56), 0x5000u + (u32(image, 568 - 8) + 0xFFF) / 0x1000 * 0x1000);
    jaunt::ResourceTable table = jaunt::readImageResources(image).table;
    EXPECT_EQ(table.entries().size(), 2u) << "version block and manifest";
    EXPECT_EQ(text(table.find(ResourceId::of(24), ResourceId::of(1))->data).find("<m/>"), std::string::npos);
}

TEST(ApplicationResources, IconFilesKeepTheirImagesAndBrokenOnesAreRefused) {
    // An .ico with two images (sizes 0 = 256 and 16), their data "AB" and "CDE".
    std::vector<uint8_t> ico = {0, 0, 1, 0, 2, 0};
    auto entry = [&](uint8_t side, uint32_t size, uint32_t offset) {
        ico.insert(ico.end(), {side, side, 0, 0, 1, 0, 32, 0});
        for (uint32_t v : {size, offset})
            for (int s = 0; s < 32; s += 8) ico.push_back(static_cast<uint8_t>(v >> s));
    };
    entry(0, 2, 38);
    entry(16, 3, 40);
    ico.insert(ico.end(), {'A', 'B', 'C', 'D', 'E'});
    jaunt::Icon icon = jaunt::loadIcon(ico);
    ASSERT_EQ(icon.size(), 2u);
    EXPECT_EQ(text(icon[0].data), "AB");
    EXPECT_EQ(text(icon[1].data), "CDE");
    EXPECT_EQ(icon[1].width, 16);
    ico.pop_back();
    EXPECT_THROW(jaunt::loadIcon(ico), jaunt::ResourceError);
    EXPECT_THROW(jaunt::loadIcon({'n', 'o', 'p', 'e', 0, 0, 0}), jaunt::ResourceError);
}

TEST(ApplicationResources, VersionTextsAreUpToFourNumbers) {
    uint16_t n[4];
    std::string why;
    EXPECT_TRUE(jaunt::parseVersionNumbers("7", n, &why));
    EXPECT_EQ(n[0] + n[1] + n[2] + n[3], 7);
    EXPECT_TRUE(jaunt::parseVersionNumbers("1.2.65535.0", n, &why));
    EXPECT_EQ(n[2], 65535);
    for (const char* bad : {"", "1.2.3.4.5", "1..2", "1.2.", "65536", "1.2-beta", "v1", "0000001"})
        EXPECT_FALSE(jaunt::parseVersionNumbers(bad, n, &why)) << bad;
}

// The lengths in a version block are 16-bit. Texts that make the largest block that fits are
// written whole, as a reader walking the nodes finds them; one character more is refused, naming
// the settings whose texts fill the block.
TEST(ApplicationResources, VersionBlocksLargerThanTheirLengthsCanSayAreRefused) {
    jaunt::VersionTexts texts{"1.0", std::string(8191, 'v'), std::string(8191, 'd'), "", std::string(8191, 'n'), "a.exe"};
    const size_t withoutCopyright = jaunt::versionResource(texts).size();
    ASSERT_LT(withoutCopyright, 65535u);
    std::vector<uint8_t> largest;
    std::string refusal;
    for (size_t length = (65535 - withoutCopyright) / 2 - 8; length < 8192 && refusal.empty(); ++length) {
        texts.copyright.assign(length, 'c');
        try {
            largest = jaunt::versionResource(texts);
        } catch (const jaunt::ResourceError& e) {
            refusal = e.what();
        }
    }
    ASSERT_FALSE(refusal.empty()) << "a block of " << largest.size() << " bytes was written";
    ASSERT_LE(largest.size(), 65535u);
    EXPECT_GT(largest.size(), 65535u - 8);
    EXPECT_EQ(u16(largest, 0), largest.size());
    std::map<std::string, std::string> version;
    readVersionNode(largest, 0, largest.size(), version);
    EXPECT_EQ(version["CompanyName"], texts.vendor);
    EXPECT_EQ(version["LegalCopyright"], std::string(texts.copyright.size() - 1, 'c'));
    EXPECT_EQ(version["ProductName"], texts.name);
    EXPECT_EQ(version["OriginalFilename"], "a.exe");
    for (const char* setting : {"application.vendor", "application.description", "application.copyright",
                                "application.name", "65535"})
        EXPECT_NE(refusal.find(setting), std::string::npos) << setting << " not in: " << refusal;
    EXPECT_EQ(refusal.find("application.version"), std::string::npos) << refusal;
}

TEST(ResourceSettings, PictureSizesDefaultsAndMistakes) {
    std::filesystem::path dir = testsupport::scratchDirectory();
    jaunt::writeFileBytes((dir / "splash.png").string(), testsupport::makePng(5, 4));
    jaunt::writeFileBytes((dir / "notes.txt").string(), {'h', 'i'});
    std::string file = (dir / "app.toml").string();
    auto parse = [&](const std::string& text) { return jaunt::parseConfiguration(text, file); };

    jaunt::BuildConfiguration config = parse("[splash]\nimage = \"splash.png\"\n[application]\nicon = \"splash.png\"\n");
    std::map<int32_t, std::string> records;
    for (const jaunt::NarrowRecord& r : config.records) records[r.key] = r.value;
    EXPECT_EQ(records[141], "5");
    EXPECT_EQ(records[142], "4");
    EXPECT_TRUE(config.resources.hasSplash);
    EXPECT_EQ(config.resources.splash.height, 4);
    EXPECT_EQ(config.resources.icon.size(), 5u);
    EXPECT_EQ(config.resources.dpiAwareness, "permonitor");
    EXPECT_EQ(config.resources.executionLevel, "asInvoker");
    EXPECT_NO_THROW(parse("splash.width = 5\nsplash.image = \"splash.png\"\napplication.version = \"2.1\"\n"));

    const std::pair<std::string, std::string> mistakes[] = {
        {"splash.image = \"splash.png\"\nsplash.height = 3\n",
         ":2: the splash window is configured as 5 x 3 pixels (splash.width x splash.height) but the picture "
         "splash.png is 5 x 4"},
        {"splash.image = \"missing.png\"\n", ":1: splash.image: " + (dir / "missing.png").string() + ": cannot open"},
        {"\n[splash]\nimage = \"notes.txt\"\n", ":3: splash.image: notes.txt: not a BMP, PNG, JPEG or GIF picture"},
        {"application.icon = \"notes.txt\"\n", ":1: application.icon: notes.txt: not a BMP"},
        {"application.dpi_awareness = \"high\"\n",
         ":1: application.dpi_awareness must be one of unaware, system, permonitor, permonitorv2"},
        {"application.execution_level = \"admin\"\n", ":1: application.execution_level must be one of asInvoker, "},
        {"\napplication.version = \"1.0 beta\"\n", ":2: application.version = \"1.0 beta\" must be up to four numbers"},
    };
    for (const auto& [text, message] : mistakes) {
        try {
            parse(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const jaunt::ConfigError& e) {
            EXPECT_NE(std::string(e.what()).find(file + message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
