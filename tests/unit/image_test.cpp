// The launcher program's file layout: its table loader finds the table through fixed offsets, so
// the header layout, the section count and order, and the import list are checked on the built file.
// The test program has the launcher's bitness and checks the launcher of its own kind: the 32-bit
// image (PE32) or the 64-bit one (PE32+, whose optional header is 16 bytes longer).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

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
    uint32_t virtualAddress, rawSize, rawPosition;
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
            sections.push_back({name, u32(image, at + 12), u32(image, at + 16), u32(image, at + 20)});
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
// resources) and says so. Mapped while its preferred base is taken, it is relocated, and the mapped
// code and data differ from the file exactly by the relocated pointers. (Wine relocates a program
// mapped into another process only when it is marked as a library, so a copy so marked is mapped.)
// The 64-bit launcher's functions are found by the unwinder there.
TEST_F(LauncherImage, IsRelocatedWhenItsPreferredBaseIsTaken) {
    const size_t relocationDirectory = kDataDirectories + 5 * 8;
    uint32_t relocRva = u32(image, relocationDirectory), relocSize = u32(image, relocationDirectory + 4);
    ASSERT_NE(relocSize, 0u);
    EXPECT_GE(relocRva, sections[4].virtualAddress);
    EXPECT_EQ(u16(image, 0x80 + 22) & 0x0001, 0) << "marked as having no relocations";
    uint16_t dynamicBase = 0x0040 | (k64 ? 0x0020 : 0);  // and high-entropy addresses in 64 bits
    EXPECT_EQ(u16(image, 0x98 + 70) & dynamicBase, dynamicBase);
    uint64_t preferred = k64 ? (uint64_t{u32(image, 0x98 + 28)} << 32 | u32(image, 0x98 + 24)) : u32(image, 0x98 + 28);

    jaunt_test::TempDirectory dir("img");
    std::vector<uint8_t> library = image;
    library[0x80 + 23] |= 0x20;  // IMAGE_FILE_DLL
    jaunt_test::writeBytes(dir.file("launcher.dll"), library);
    // The test program was linked for the same base; hold it in case this one was placed elsewhere.
    void* held = VirtualAlloc(reinterpret_cast<void*>(preferred), 0x1000, MEM_RESERVE, PAGE_NOACCESS);
    HMODULE module = LoadLibraryExA(dir.file("launcher.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    const uint8_t* mapped = reinterpret_cast<const uint8_t*>(module);
    uint64_t delta = reinterpret_cast<uintptr_t>(module) - preferred;
    EXPECT_NE(delta, 0u);

    std::set<uint32_t> relocated;  // RVAs of every byte of a relocated pointer
    size_t pointers = 0;
    for (size_t at = offsetOf(relocRva), end = at + relocSize; at < end;) {
        uint32_t page = u32(image, at), blockSize = u32(image, at + 4);
        ASSERT_GE(blockSize, 8u);
        for (size_t entry = at + 8; entry < at + blockSize; entry += 2) {
            uint16_t value = u16(image, entry);
            if (value >> 12 == 0) continue;  // padding
            ASSERT_EQ(value >> 12, k64 ? 10 : 3) << "relocation type";
            uint32_t rva = page + (value & 0xFFF);
            uint64_t inFile = 0, inMemory = 0;
            std::memcpy(&inFile, &image.at(offsetOf(rva)), sizeof(void*));
            std::memcpy(&inMemory, mapped + rva, sizeof(void*));
            EXPECT_EQ(inMemory - inFile, k64 ? delta : uint32_t(delta)) << "pointer at RVA " << rva;
            for (uint32_t i = 0; i < sizeof(void*); ++i) relocated.insert(rva + i);
            ++pointers;
        }
        at += blockSize;
    }
    EXPECT_GT(pointers, 100u);
    size_t otherChanges = 0;
    for (size_t i = 0; i < 3; ++i)  // .text .data .rdata (.idata holds the import table, not touched here)
        for (uint32_t rva = sections[i].virtualAddress; rva < sections[i].virtualAddress + sections[i].rawSize; ++rva)
            if (mapped[rva] != image[rva - sections[i].virtualAddress + sections[i].rawPosition] && !relocated.count(rva))
                ++otherChanges;
    EXPECT_EQ(otherChanges, 0u);
#if defined(_WIN64)
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
    if (held) VirtualFree(held, 0, MEM_RELEASE);
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
