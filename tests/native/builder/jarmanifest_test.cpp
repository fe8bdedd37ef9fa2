// Reading the main class from a jar's manifest: jars made by the JDK's jar tool, and damaged ones.
#include "jarmanifest.h"

#include <gtest/gtest.h>

#include "payloadwriter.h"
#include "testsupport.h"

namespace {

TEST(JarManifest, ReadsTheMainClassOfJarsMadeByTheJarTool) {
    auto dir = testsupport::scratchDirectory();
    jaunt::ManifestResult r = jaunt::readJarMainClass(testsupport::makeJar(dir, "app.jar", "com.example.Hello").string());
    EXPECT_EQ(r.status, jaunt::ManifestStatus::MainClass) << r.detail;
    EXPECT_EQ(r.mainClass, "com.example.Hello");
    // Stored without compression.
    r = jaunt::readJarMainClass(testsupport::makeJar(dir, "stored.jar", "a.B", true, "--no-compress").string());
    EXPECT_EQ(r.mainClass, "a.B") << r.detail;
    r = jaunt::readJarMainClass(testsupport::makeJar(dir, "plain.jar", "").string());
    EXPECT_EQ(r.status, jaunt::ManifestStatus::NoMainClass);
    EXPECT_EQ(jaunt::manifestStatusText(r), "no Main-Class in its manifest");
    r = jaunt::readJarMainClass(testsupport::makeJar(dir, "bare.jar", "", false).string());
    EXPECT_EQ(r.status, jaunt::ManifestStatus::NoManifest);
    r = jaunt::readJarMainClass((dir / "none.jar").string());
    EXPECT_EQ(r.status, jaunt::ManifestStatus::Unreadable);
}

TEST(JarManifest, DamagedArchivesAreReportedNotMisread) {
    auto dir = testsupport::scratchDirectory();
    std::vector<uint8_t> good = jaunt::readFileBytes(testsupport::makeJar(dir, "app.jar", "com.example.Hello").string());
    ASSERT_EQ(jaunt::readJarMainClass(good).mainClass, "com.example.Hello");

    EXPECT_EQ(jaunt::readJarMainClass(std::vector<uint8_t>{'P', 'K'}).status, jaunt::ManifestStatus::Damaged);
    std::vector<uint8_t> text(300, 'x');
    EXPECT_EQ(jaunt::readJarMainClass(text).status, jaunt::ManifestStatus::Damaged);
    // Cut anywhere: never a wrong main class, never a read outside the bytes.
    for (size_t keep = 0; keep < good.size(); keep += 7) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + keep);
        jaunt::ManifestResult r = jaunt::readJarMainClass(cut);
        EXPECT_NE(r.status, jaunt::ManifestStatus::MainClass) << keep;
    }
    // Every byte of the archive flipped in turn: either the right class or a refusal.
    for (size_t i = 0; i < good.size(); ++i) {
        std::vector<uint8_t> bad = good;
        bad[i] ^= 0x55;
        jaunt::ManifestResult r = jaunt::readJarMainClass(bad);
        if (r.status == jaunt::ManifestStatus::MainClass) EXPECT_EQ(r.mainClass, "com.example.Hello") << i;
    }
}

TEST(JarManifest, MainSectionLinesContinuationsAndLineEnds) {
    EXPECT_EQ(jaunt::mainClassOfManifest("Manifest-Version: 1.0\r\nMain-Class: a.b.C\r\n\r\n"), "a.b.C");
    EXPECT_EQ(jaunt::mainClassOfManifest("main-class:  com.example.a\n VeryLongName \n"), "com.example.aVeryLongName");
    EXPECT_EQ(jaunt::mainClassOfManifest("Main-Class: x/y/Z\r"), "x.y.Z");
    // Only the main section counts.
    EXPECT_EQ(jaunt::mainClassOfManifest("Manifest-Version: 1.0\n\nName: a\nMain-Class: no.Such\n"), "");
    EXPECT_EQ(jaunt::mainClassOfManifest("Main-Class:\n"), "");
}

}  // namespace
