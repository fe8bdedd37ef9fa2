// The launcher program's file layout: its table loader finds the table through fixed offsets, so
// the header layout, the section count and order, and the import list are checked on the built file.
// The test program has the launcher's bitness and checks the launcher of its own kind: the 32-bit
// image (PE32) or the 64-bit one (PE32+, whose optional header is 16 bytes longer).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "relocatedimage.h"
#include "tableformat.h"
#include "winsupport.h"

namespace {

constexpr bool k64 = sizeof(void*) == 8;
constexpr size_t kOptionalHeader = 0x98;
constexpr uint16_t kOptionalHeaderSize = k64 ? 240 : 224;
constexpr size_t kSectionTable = kOptionalHeader + kOptionalHeaderSize;  // 376 or 392
constexpr size_t kDataDirectories = kOptionalHeader + (k64 ? 112 : 96);

uint16_t u16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8)); }
uint32_t u32(const std::vector<uint8_t>& b, size_t at) { return jaunt::readLittleEndian32(&b.at(at)); }

struct Section {
    std::string name;
    uint32_t virtualAddress, rawSize, rawPosition, virtualSize;
};

class LauncherImage : public ::testing::Test {
protected:
    void SetUp() override {
        image = jaunt_test::readBytes(jaunt_test::stubPath());
        ASSERT_GT(image.size(), 1024u);
        uint16_t count = u16(image, 0x80 + 6);
        for (uint16_t i = 0; i < count; ++i) {
            size_t at = kSectionTable + 40u * i;
            char name[9] = {};
            std::memcpy(name, &image.at(at), 8);
            sections.push_back({name, u32(image, at + 12), u32(image, at + 16), u32(image, at + 20), u32(image, at + 8)});
        }
    }
    // File offset of a relative virtual address.
    size_t offsetOf(uint32_t rva) const {
        for (const Section& s : sections)
            if (rva >= s.virtualAddress && rva < s.virtualAddress + s.rawSize) return rva - s.virtualAddress + s.rawPosition;
        ADD_FAILURE() << "RVA outside the sections: " << rva;
        return 0;
    }
    std::vector<uint8_t> image;
    std::vector<Section> sections;
};

TEST_F(LauncherImage, HeaderLayoutIsTheOneTheTableLoaderReadsThrough) {
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[1], 'Z');
    EXPECT_EQ(u32(image, 0x3C), 0x80u);
    EXPECT_EQ(u32(image, 0x80), 0x00004550u);  // "PE\0\0"
    EXPECT_EQ(u16(image, 0x84), k64 ? 0x8664u : 0x014Cu);  // AMD64 or i386
    EXPECT_EQ(u16(image, 0x80 + 20), kOptionalHeaderSize);
    EXPECT_EQ(u16(image, 0x98), k64 ? 0x020Bu : 0x010Bu);  // PE32+ or PE32
    EXPECT_EQ(u16(image, 0x98 + 68), 2u);                  // GUI subsystem
}

TEST_F(LauncherImage, FiveSectionsWithTheResourceSectionLastInTheFile) {
    ASSERT_EQ(sections.size(), 5u);
    const char* expected[] = {".text", ".data", ".rdata", ".idata", ".rsrc"};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(sections[i].name, expected[i]);
    for (const Section& s : sections) EXPECT_LE(s.rawPosition + s.rawSize, sections[4].rawPosition + sections[4].rawSize);
    uint32_t offset = 0;
    ASSERT_TRUE(jaunt::tableOffsetOf(image.data(), image.size(), &offset));
    EXPECT_EQ(offset, image.size()) << "the values the launcher reads must add up to the file size";
    EXPECT_EQ(jaunt::kLastSectionSizeOffset, k64 ? 568u : 552u);
    EXPECT_EQ(jaunt::kLastSectionSizeOffset, kSectionTable + 4 * 40 + 16);
    EXPECT_EQ(jaunt::kLastSectionPositionOffset, kSectionTable + 4 * 40 + 20);
    EXPECT_EQ(u32(image, jaunt::kLastSectionSizeOffset), sections[4].rawSize);
    EXPECT_EQ(u32(image, jaunt::kLastSectionPositionOffset), sections[4].rawPosition);
}

// The zero-filled data at the end of .data is not stored: the section's file data ends before its
// size in memory, the sections follow one another in the file without a gap, and the loader hands
// out the rest of .data as zeros.
TEST_F(LauncherImage, ZeroFilledDataTakesNoRoomInTheFile) {
    ASSERT_EQ(sections.size(), 5u);
    const Section& data = sections[1];
    EXPECT_LT(data.rawSize + 0x4000, data.virtualSize) << "the launcher's static buffers are stored in the file";
    uint32_t alignment = u32(image, 0x98 + 36);
    for (size_t i = 1; i < 5; ++i) {
        EXPECT_EQ(sections[i].rawPosition, sections[i - 1].rawPosition + sections[i - 1].rawSize) << sections[i].name;
        EXPECT_EQ(sections[i].rawSize % alignment, 0u) << sections[i].name;
    }
    HMODULE module = LoadLibraryExA(jaunt_test::stubPath().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr);
    const uint8_t* mapped = reinterpret_cast<const uint8_t*>(module) + data.virtualAddress;
    size_t nonZero = 0;
    for (uint32_t at = data.rawSize; at < data.virtualSize; ++at) nonZero += mapped[at] != 0;
    EXPECT_EQ(nonZero, 0u);
    FreeLibrary(module);
}

TEST_F(LauncherImage, ImportsOnlySystemLibraries) {
    uint32_t importRva = u32(image, kDataDirectories + 8);  // data directory 1
    ASSERT_NE(importRva, 0u);
    const std::set<std::string> allowed = {"KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "ADVAPI32.DLL",
                                           "SHELL32.DLL", "MSVCRT.DLL", "OLE32.DLL"};
    std::set<std::string> imported;
    for (size_t at = offsetOf(importRva);; at += 20) {
        uint32_t nameRva = u32(image, at + 12);
        if (nameRva == 0) break;
        std::string name(reinterpret_cast<const char*>(&image.at(offsetOf(nameRva))));
        for (char& c : name) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
        imported.insert(name);
    }
    EXPECT_TRUE(imported.count("KERNEL32.DLL"));
    for (const std::string& name : imported) EXPECT_TRUE(allowed.count(name)) << "imports " << name;
}

// The loader may place the launcher anywhere: it has base relocations (kept inside .rsrc, after the
// resources) and says so, and mapped at another base every pointer they name moves.
// The 64-bit launcher's functions are found by the unwinder there.
TEST_F(LauncherImage, IsRelocatedWhenItsPreferredBaseIsTaken) {
    const size_t relocationDirectory = kDataDirectories + 5 * 8;
    EXPECT_GE(u32(image, relocationDirectory), sections[4].virtualAddress);
    jaunt_test::TempDirectory dir("img");
    HMODULE module = jaunt_test::mapRelocated(image, dir.file("launcher.dll"));
    ASSERT_NE(module, nullptr);
#if defined(_WIN64)
    const uint8_t* mapped = reinterpret_cast<const uint8_t*>(module);
    // The function table (folded into .rdata) is in the exception directory, sorted, so that the
    // unwinder finds every function of the mapped launcher, its entry point among them.
    uint32_t tableRva = u32(image, kDataDirectories + 3 * 8), tableSize = u32(image, kDataDirectories + 3 * 8 + 4);
    ASSERT_GT(tableSize, 12u * 100);
    std::vector<uint32_t> starts = {u32(image, 0x98 + 16)};
    for (uint32_t at = 0; at < tableSize; at += 12 * 37) starts.push_back(u32(image, offsetOf(tableRva + at)));
    for (uint32_t start : starts) {
        DWORD64 foundBase = 0;
        PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(mapped + start), &foundBase, nullptr);
        ASSERT_NE(function, nullptr) << "no function table entry for RVA " << start;
        EXPECT_EQ(foundBase, reinterpret_cast<DWORD64>(module));
        EXPECT_LE(function->BeginAddress, start);
        EXPECT_GT(function->EndAddress, start);
    }
#endif
    FreeLibrary(module);
}

TEST_F(LauncherImage, CarriesTheErrorDialogTemplateWithItsPlaceholders) {
    std::string text(image.begin() + sections[4].rawPosition, image.end());
    auto wide = [](const char* s) {
        std::string w;
        for (; *s; ++s) {
            w.push_back(*s);
            w.push_back('\0');
        }
        return w;
    };
    for (const char* placeholder : {"@MSG_ERROR_DIALOG_CAPTION@", "@MSG_ERROR_DIALOG_TEXT@", "@MSG_ERROR_DIALOG_OK@"})
        EXPECT_NE(text.find(wide(placeholder)), std::string::npos) << placeholder;
    HMODULE module = LoadLibraryExA(jaunt_test::stubPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(5)), nullptr);  // RT_DIALOG
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);   // RT_VERSION
    FreeLibrary(module);
}

}  // namespace
