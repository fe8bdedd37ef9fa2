// Whether Windows can place a launcher image at another base than its preferred one, as it places
// every dynamic-base image at a random one. Wine relocates a program mapped into another process
// only when it is marked as a library, so a copy so marked is mapped while the preferred base is
// held; the mapped code and data must then differ from the file exactly by the relocated pointers.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "winsupport.h"

namespace jaunt_test {

// Maps a copy of image (written to copyPath) and checks it as said above; returns the mapped module
// (the caller frees it), or nullptr after a reported failure.
inline HMODULE mapRelocated(const std::vector<uint8_t>& image, const std::string& copyPath) {
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(image.at(at) | (image.at(at + 1) << 8)); };
    auto u32 = [&](size_t at) { return static_cast<uint32_t>(u16(at) | (uint32_t(u16(at + 2)) << 16)); };
    const size_t pe = u32(0x3C), optional = pe + 24;
    const bool plus = u16(optional) == 0x20B;
    const size_t width = plus ? 8 : 4;
    if (width != sizeof(void*)) {
        ADD_FAILURE() << "an image of the other bitness than this test program";
        return nullptr;
    }
    struct Section {
        uint32_t rva, rawSize, rawPosition;
    };
    std::vector<Section> sections;
    size_t table = optional + u16(pe + 20);
    for (uint16_t i = 0; i < u16(pe + 6); ++i)
        sections.push_back({u32(table + 40 * i + 12), u32(table + 40 * i + 16), u32(table + 40 * i + 20)});
    auto offsetOf = [&](uint32_t rva) -> size_t {
        for (const Section& s : sections)
            if (rva >= s.rva && rva < s.rva + s.rawSize) return rva - s.rva + s.rawPosition;
        return 0;
    };
    const size_t directory = optional + (plus ? 112 : 96) + 5 * 8;
    uint32_t relocRva = u32(directory), relocSize = u32(directory + 4);
    EXPECT_NE(relocSize, 0u) << "no base relocations";
    EXPECT_EQ(u16(pe + 22) & 0x0001, 0) << "marked as having no relocations";
    uint16_t dynamicBase = 0x0040 | (plus ? 0x0020 : 0);  // and high-entropy addresses in 64 bits
    EXPECT_EQ(u16(optional + 70) & dynamicBase, dynamicBase);
    size_t relocAt = offsetOf(relocRva);
    if (relocSize == 0 || relocAt == 0 || relocAt + relocSize > image.size()) {
        ADD_FAILURE() << "the relocation directory lies outside the file data";
        return nullptr;
    }
    uint64_t preferred = plus ? (uint64_t{u32(optional + 28)} << 32 | u32(optional + 24)) : u32(optional + 28);

    std::vector<uint8_t> library = image;
    library[pe + 23] |= 0x20;  // IMAGE_FILE_DLL
    writeBytes(copyPath, library);
    // Test programs are linked for the same base; hold it in case this one was placed elsewhere.
    void* held = VirtualAlloc(reinterpret_cast<void*>(preferred), 0x1000, MEM_RESERVE, PAGE_NOACCESS);
    HMODULE module = LoadLibraryExA(copyPath.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (held) VirtualFree(held, 0, MEM_RELEASE);
    if (module == nullptr) {
        ADD_FAILURE() << "the loader refused the image at another base: error " << GetLastError();
        return nullptr;
    }
    const uint8_t* mapped = reinterpret_cast<const uint8_t*>(module);
    uint64_t delta = reinterpret_cast<uintptr_t>(module) - preferred;
    EXPECT_NE(delta, 0u) << "mapped at its preferred base after all";

    std::set<uint32_t> relocated;  // RVAs of every byte of a relocated pointer
    size_t pointers = 0;
    for (size_t at = relocAt, end = relocAt + relocSize; at + 8 <= end;) {
        uint32_t page = u32(at), blockSize = u32(at + 4);
        if (blockSize < 8 || at + blockSize > end) {
            ADD_FAILURE() << "a relocation block of size " << blockSize;
            break;
        }
        for (size_t entry = at + 8; entry < at + blockSize; entry += 2) {
            uint16_t value = u16(entry);
            if (value >> 12 == 0) continue;  // padding
            EXPECT_EQ(value >> 12, plus ? 10 : 3) << "relocation type";
            uint32_t rva = page + (value & 0xFFF);
            uint64_t inFile = 0, inMemory = 0;
            std::memcpy(&inFile, &image.at(offsetOf(rva)), width);
            std::memcpy(&inMemory, mapped + rva, width);
            EXPECT_EQ(inMemory - inFile, plus ? delta : uint32_t(delta)) << "pointer at RVA " << rva;
            for (uint32_t i = 0; i < width; ++i) relocated.insert(rva + i);
            ++pointers;
        }
        at += blockSize;
    }
    EXPECT_GT(pointers, 100u);
    size_t otherChanges = 0;
    for (size_t i = 0; i < 3 && i < sections.size(); ++i)  // .text .data .rdata (.idata holds the imports)
        for (uint32_t rva = sections[i].rva; rva < sections[i].rva + sections[i].rawSize; ++rva)
            if (mapped[rva] != image[rva - sections[i].rva + sections[i].rawPosition] && !relocated.count(rva))
                ++otherChanges;
    EXPECT_EQ(otherChanges, 0u);
    return module;
}

}  // namespace jaunt_test
