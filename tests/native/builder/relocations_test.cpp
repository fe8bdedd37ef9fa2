// Base relocations survive everything the build tool does to a stub, and an image whose relocations
// the loader could not apply is never written. The stubs here keep their relocation blocks after
// the resources in the last section, as the real launcher does.
#include <gtest/gtest.h>

#include "appresources.h"
#include "launcherimage.h"
#include "relocations.h"
#include "resourcesection.h"
#include "signing.h"
#include "tablewriter.h"
#include "testsupport.h"

namespace {

using testsupport::put16;
using testsupport::put32;

constexpr uint32_t kRsrcRva = 0x5000;

size_t directoryEntry(bool x64, int index) { return 0x98 + (x64 ? 112 : 96) + 8 * index; }

// A stub whose last section holds the tiny resources and then two relocation blocks: pointers in
// the first two sections, one block ending with a padding entry. Marked as dynamic base.
std::vector<uint8_t> relocatableStub(bool x64) {
    std::vector<uint8_t> rsrc = testsupport::tinyResourceSection();
    size_t resources = rsrc.size();
    rsrc.resize((resources + 7) / 8 * 8);
    size_t blocks = rsrc.size();
    unsigned type = x64 ? 10 : 3;
    rsrc.resize(blocks + 12 + 12);
    put32(rsrc, blocks, 0x1000), put32(rsrc, blocks + 4, 12);
    put16(rsrc, blocks + 8, type << 12 | 0x010), put16(rsrc, blocks + 10, type << 12 | 0x040);
    put32(rsrc, blocks + 12, 0x2000), put32(rsrc, blocks + 16, 12);
    put16(rsrc, blocks + 20, type << 12 | 0x008), put16(rsrc, blocks + 22, 0);
    std::vector<uint8_t> stub = testsupport::makeStub(0x600, rsrc, kRsrcRva, x64);
    put32(stub, directoryEntry(x64, 2) + 4, static_cast<uint32_t>(resources));
    put32(stub, directoryEntry(x64, 5), static_cast<uint32_t>(kRsrcRva + blocks));
    put32(stub, directoryEntry(x64, 5) + 4, 24);
    put16(stub, 0x98 + 70, 0x0040 | (x64 ? 0x0020 : 0));
    return stub;
}

jaunt::ApplicationResources largeResources() {
    jaunt::ApplicationResources resources;
    resources.hasSplash = true;
    resources.splash.width = 300;
    resources.splash.height = 200;
    resources.splash.rgba.assign(300 * 200 * 4, 90);
    resources.icon = jaunt::iconFromPicture(resources.splash);
    resources.version = {"2.5", "Vendor", "Description", "(c) someone", "App", "app.exe"};
    return resources;
}

TEST(Relocations, MoveBehindTheRewrittenResourcesUnchanged) {
    for (bool x64 : {false, true}) {
        SCOPED_TRACE(x64 ? "x64" : "x86");
        std::vector<uint8_t> stub = relocatableStub(x64);
        jaunt::ImageRelocations before = jaunt::readRelocations(stub);
        ASSERT_EQ(before.targets, (std::vector<uint32_t>{0x1010, 0x1040, 0x2008}));
        EXPECT_EQ(before.blocks, 2u);

        std::vector<uint8_t> built = jaunt::addApplicationResources(stub, largeResources());
        EXPECT_NO_THROW(jaunt::checkRelocationsKept(stub, built));
        jaunt::ImageRelocations after = jaunt::readRelocations(built);
        EXPECT_EQ(after.targets, before.targets);
        EXPECT_TRUE(after.dynamicBase);
        // Behind the resources, which the resource entry now ends before them, inside the image.
        uint32_t resourcesEnd = kRsrcRva + testsupport::readLe32(built, directoryEntry(x64, 2) + 4);
        EXPECT_GE(after.rva, resourcesEnd);
        EXPECT_GT(after.rva, before.rva + 100000) << "the large resources come first";
        EXPECT_LE(after.rva + after.size, testsupport::readLe32(built, 0x98 + 56));
        EXPECT_EQ(jaunt::readImageResources(built).table.entries().size(),
                  jaunt::readImageResources(jaunt::addApplicationResources(built, largeResources()))
                      .table.entries()
                      .size());
        // Rewritten again (as a second build from a built stub would), they still move along.
        EXPECT_NO_THROW(jaunt::checkRelocationsKept(stub, jaunt::addApplicationResources(built, {})));
        // And the configured launcher written from it keeps them.
        std::vector<uint8_t> exe = jaunt::makeLauncher(built, jaunt::encodeTable({{1000, "x"}}, {}), {});
        EXPECT_EQ(jaunt::readRelocations(exe).targets, before.targets);
    }
}

TEST(Relocations, ImagesTheLoaderCouldNotPlaceAreRefused) {
    auto refusal = [](std::vector<uint8_t> image) {
        try {
            jaunt::readRelocations(image);
        } catch (const jaunt::RelocationError& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    const bool x64 = false;
    std::vector<uint8_t> stub = relocatableStub(x64);
    size_t blocks = 0x400 + testsupport::readLe32(stub, directoryEntry(x64, 5)) - kRsrcRva;
    EXPECT_EQ(refusal(stub), "accepted");

    std::vector<uint8_t> image = stub;
    put32(image, directoryEntry(x64, 5) + 4, 0);  // dynamic base without blocks
    EXPECT_NE(refusal(image).find("dynamic base"), std::string::npos) << refusal(image);
    image = stub;
    put32(image, directoryEntry(x64, 5), kRsrcRva + 0x1000);  // past the image's end
    EXPECT_NE(refusal(image).find("outside the sections' file data"), std::string::npos) << refusal(image);
    image = stub;
    put32(image, blocks + 4, 10);  // not a multiple of 4
    EXPECT_NE(refusal(image).find("bad size"), std::string::npos) << refusal(image);
    image = stub;
    put32(image, blocks + 4, 28);  // past the directory
    EXPECT_NE(refusal(image).find("bad size"), std::string::npos) << refusal(image);
    image = stub;
    put16(image, blocks + 8, 10 << 12 | 0x10);  // a 64-bit entry in a 32-bit image
    EXPECT_NE(refusal(image).find("type 10"), std::string::npos) << refusal(image);
    image = stub;
    put32(image, blocks + 12, 0x9000);  // a page outside every section
    EXPECT_NE(refusal(image).find("outside the image's sections"), std::string::npos) << refusal(image);
    image = stub;
    put32(image, blocks + 12, 0x1001);
    EXPECT_NE(refusal(image).find("not page aligned"), std::string::npos) << refusal(image);

    // What the old resource writer left: the blocks gone, the entry pointing at resource bytes.
    std::vector<uint8_t> dropped = stub;
    std::fill(dropped.begin() + static_cast<long>(blocks), dropped.begin() + static_cast<long>(blocks) + 24, 0xAB);
    EXPECT_NE(refusal(dropped), "accepted");
    EXPECT_THROW(jaunt::checkRelocationsKept(stub, dropped), jaunt::RelocationError);
}

// jaunt build refuses a stub whose relocations are broken, and writeLauncherFile (the one way build
// and sign write a launcher) refuses an image whose relocations are: one message, no file.
TEST(Relocations, NoLauncherWithBrokenRelocationsIsWritten) {
    std::filesystem::path dir = testsupport::scratchDirectory();
    std::vector<uint8_t> stub = relocatableStub(false);
    put32(stub, directoryEntry(false, 5), kRsrcRva + 0x1000);
    jaunt::writeFileBytes((dir / "stub.exe").string(), stub);
    testsupport::writeText(dir / "app.toml", "[java]\nmain_class = \"a.B\"\n[files]\nruntime = false\n");
    testsupport::Outcome outcome = testsupport::runJaunt(dir, "build app.toml --stub stub.exe -o app.exe");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.err.find("jaunt: "), std::string::npos);
    EXPECT_NE(outcome.err.find("base relocations"), std::string::npos) << outcome.err;
    EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "app.exe"));

    std::string output = (dir / "direct.exe").string();
    EXPECT_THROW(jaunt::writeLauncherFile(output, stub, nullptr), jaunt::LauncherError);
    EXPECT_FALSE(std::filesystem::exists(output));
    jaunt::writeLauncherFile(output, relocatableStub(false), nullptr);
    EXPECT_TRUE(std::filesystem::exists(output));
}

}  // namespace
