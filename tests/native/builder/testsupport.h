// Helpers shared by the build tool's tests: a synthetic launcher stub and scratch directories.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

inline void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

// The headers of a PE image with five sections, the last one ending at the end of the file, like
// the real launcher stubs: 32-bit (PE32) or, with x64, 64-bit (PE32+, a 16 bytes longer optional
// header). The section data is a recognisable pattern.
inline std::vector<uint8_t> makeStub(size_t size = 0x600, bool x64 = false) {
    std::vector<uint8_t> b(size);
    for (size_t i = 0x200; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7);
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 0x80);
    b[0x80] = 'P', b[0x81] = 'E', b[0x82] = 0, b[0x83] = 0;
    put16(b, 0x84, x64 ? 0x8664 : 0x14C);  // AMD64 or i386
    put16(b, 0x86, 5);
    put16(b, 0x94, x64 ? 0xF0 : 0xE0);
    put16(b, 0x98, x64 ? 0x20B : 0x10B);  // PE32+ or PE32
    for (uint32_t s = 0; s < 5; ++s) {
        size_t header = (x64 ? 0x188 : 0x178) + 40 * s;
        b[header] = '.', b[header + 1] = static_cast<uint8_t>('a' + s);
        uint32_t position = 0x200 + 0x80 * s;
        put32(b, header + 16, s < 4 ? 0x80 : static_cast<uint32_t>(size) - position);
        put32(b, header + 20, position);
    }
    return b;
}

// A fresh directory for the current test under the build tree.
inline std::filesystem::path scratchDirectory() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path dir = std::filesystem::path(JAUNT_TEST_WORK_DIR) /
                                (std::string(test->test_suite_name()) + "." + test->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A jar made by the JDK's jar tool in dir, holding one text file: with mainClass as its
// Main-Class; with mainClass empty, the tool's default manifest (no Main-Class); with manifest
// false, no manifest at all. extraOptions go to the tool (such as "-0" to store without
// compression). Returns the jar's path.
inline std::filesystem::path makeJar(const std::filesystem::path& dir, const std::string& name,
                                     const std::string& mainClass, bool manifest = true,
                                     const std::string& extraOptions = "") {
    std::filesystem::path content = dir / (name + ".content");
    std::filesystem::create_directories(content);
    std::ofstream(content / "readme.txt") << "made by a test\n";
    std::filesystem::path jar = dir / name;
    std::string command = std::string("'") + JAUNT_JAR_TOOL + "' --create --file '" + jar.string() + "' " +
                          extraOptions + (manifest ? "" : " --no-manifest") +
                          (mainClass.empty() ? "" : " --main-class " + mainClass) + " -C '" + content.string() +
                          "' .";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return jar;
}

}  // namespace testsupport
