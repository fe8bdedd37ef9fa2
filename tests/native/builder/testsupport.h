// Helpers shared by the build tool's tests: a synthetic launcher stub and scratch directories.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <filesystem>
#include <string>
#include <vector>

#include <stb/stb_image_write.h>

namespace testsupport {

inline void put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

inline uint32_t readLe32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16)) |
           (static_cast<uint32_t>(b.at(at + 3)) << 24);
}

// A resource section at address 0x5000 with one manifest, the smallest the build tool accepts.
inline std::vector<uint8_t> tinyResourceSection() {
    std::vector<uint8_t> r(0x5C);
    put16(r, 0x0E, 1), put32(r, 0x10, 24), put32(r, 0x14, 0x80000018);    // type 24
    put16(r, 0x26, 1), put32(r, 0x28, 1), put32(r, 0x2C, 0x80000030);     // name 1
    put16(r, 0x3E, 1), put32(r, 0x40, 1033), put32(r, 0x44, 0x48);        // language 1033
    put32(r, 0x48, 0x5058), put32(r, 0x4C, 4);                            // data entry
    r[0x58] = '<', r[0x59] = 'm', r[0x5A] = '/', r[0x5B] = '>';
    return r;
}

// The headers of a 32-bit PE image with five sections, the last one ending at the end of the file,
// like the real launcher stub; the section data is a recognisable pattern, and the last section
// (raw data at 0x400, at address rsrcRva) starts with the given resource section.
// With pe32Plus, the headers are those of a 64-bit image (a 240-byte optional header).
inline std::vector<uint8_t> makeStub(size_t size = 0x600, const std::vector<uint8_t>& rsrc = tinyResourceSection(),
                                     uint32_t rsrcRva = 0x5000, bool pe32Plus = false) {
    std::vector<uint8_t> b(size);
    for (size_t i = 0x200; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7);
    b[0] = 'M', b[1] = 'Z';
    put32(b, 0x3C, 0x80);
    b[0x80] = 'P', b[0x81] = 'E', b[0x82] = 0, b[0x83] = 0;
    put16(b, 0x84, pe32Plus ? 0x8664 : 0x14C);  // x64 or i386
    put16(b, 0x86, 5);
    put16(b, 0x94, pe32Plus ? 0xF0 : 0xE0);
    put16(b, 0x98, pe32Plus ? 0x20B : 0x10B);
    put32(b, 0x98 + 32, 0x1000);  // section alignment
    put32(b, 0x98 + 36, 0x200);   // file alignment
    put32(b, 0x98 + 56, rsrcRva + 0x1000);  // image size
    size_t directories = 0x98 + (pe32Plus ? 112 : 96);
    put32(b, directories - 4, 16);
    put32(b, directories + 16, rsrcRva);
    put32(b, directories + 20, static_cast<uint32_t>(rsrc.size()));
    for (uint32_t s = 0; s < 5; ++s) {
        size_t header = 0x98 + (pe32Plus ? 0xF0 : 0xE0) + 40 * s;
        b[header] = '.', b[header + 1] = static_cast<uint8_t>('a' + s);
        uint32_t position = 0x200 + 0x80 * s;
        uint32_t rawSize = s < 4 ? 0x80 : static_cast<uint32_t>(size) - position;
        put32(b, header + 8, rawSize);
        put32(b, header + 12, s < 4 ? 0x1000 * (s + 1) : rsrcRva);
        put32(b, header + 16, rawSize);
        put32(b, header + 20, position);
    }
    std::copy(rsrc.begin(), rsrc.end(), b.begin() + 0x400);
    return b;
}

// The same stub with the tiny resource section, 32-bit or, with x64, 64-bit.
inline std::vector<uint8_t> makeStub(size_t size, bool x64) {
    return makeStub(size, tinyResourceSection(), 0x5000, x64);
}

// A PNG of the given size: red, except a transparent top-left pixel and a blue bottom-right one.
inline std::vector<uint8_t> makePng(int width, int height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < rgba.size(); i += 4) rgba[i] = 255, rgba[i + 3] = 255;
    rgba[3] = 0;
    uint8_t* last = &rgba[rgba.size() - 4];
    last[0] = 0, last[2] = 255;
    std::vector<uint8_t> png;
    stbi_write_png_to_func([](void* c, void* d, int n) {
        auto* out = static_cast<std::vector<uint8_t>*>(c);
        out->insert(out->end(), static_cast<uint8_t*>(d), static_cast<uint8_t*>(d) + n);
    }, &png, width, height, 4, rgba.data(), width * 4);
    return png;
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

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

#ifdef JAUNT_PROGRAM
// What one run of the jaunt program gave.
struct Outcome {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs jaunt (or another program) with arguments in dir, its output in stdout.txt and stderr.txt there.
inline Outcome runJaunt(const std::filesystem::path& dir, const std::string& arguments,
                        const std::string& program = JAUNT_PROGRAM) {
    std::string command =
        "cd '" + dir.string() + "' && '" + program + "' " + arguments + " > stdout.txt 2> stderr.txt";
    int status = std::system(command.c_str());
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(dir / "stdout.txt"),
                   readText(dir / "stderr.txt")};
}
#endif

}  // namespace testsupport
