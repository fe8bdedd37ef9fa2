#include "relocations.h"

#include <algorithm>

namespace jaunt {

namespace {

constexpr uint32_t kRelocationDirectory = 5;
constexpr uint16_t kDynamicBase = 0x0040;
constexpr unsigned kHighLow = 3;  // a 32-bit pointer (PE32)
constexpr unsigned kDir64 = 10;   // a 64-bit pointer (PE32+)

uint16_t get16(const std::vector<uint8_t>& b, uint64_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t get32(const std::vector<uint8_t>& b, uint64_t at) {
    return static_cast<uint32_t>(get16(b, at)) | (static_cast<uint32_t>(get16(b, at + 2)) << 16);
}

[[noreturn]] void fail(const std::string& why) { throw RelocationError("base relocations: " + why); }

std::string hex(uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do text.insert(text.begin(), digits[value & 0xF]);
    while (value >>= 4);
    return "0x" + text;
}

struct Section {
    uint32_t rva, virtualSize, rawSize, rawPosition;
};

}  // namespace

ImageRelocations readRelocations(const std::vector<uint8_t>& image) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') fail("not a Windows image");
    uint64_t pe = get32(image, 0x3C);
    if (pe + 24 > image.size() || get32(image, pe) != 0x00004550u) fail("no PE header");
    uint16_t count = get16(image, pe + 6);
    uint16_t optionalSize = get16(image, pe + 20);
    uint64_t optional = pe + 24;
    uint64_t table = optional + optionalSize;
    if (optionalSize < 2 || table + 40ull * count > image.size()) fail("the headers run past the end of the file");
    uint16_t magic = get16(image, optional);
    if (magic != 0x10B && magic != 0x20B) fail("an optional header of unknown kind");
    bool plus = magic == 0x20B;
    uint64_t directories = optional + (plus ? 112 : 96);
    if (optionalSize < (plus ? 112 : 96)) fail("the optional header is too short");

    ImageRelocations result;
    result.dynamicBase = (get16(image, optional + 70) & kDynamicBase) != 0;
    uint32_t imageSize = get32(image, optional + 56);
    uint32_t directoryCount = get32(image, optional + (plus ? 108 : 92));
    uint64_t entry = directories + 8 * kRelocationDirectory;
    if (directoryCount > kRelocationDirectory && entry + 8 <= table) {
        result.rva = get32(image, entry);
        result.size = get32(image, entry + 4);
    }
    if (result.size == 0) {
        if (result.dynamicBase)
            fail("the image is marked as dynamic base (placed at a random address) but carries no relocations");
        return result;
    }

    std::vector<Section> sections;
    for (uint16_t i = 0; i < count; ++i) {
        uint64_t at = table + 40ull * i;
        sections.push_back({get32(image, at + 12), get32(image, at + 8), get32(image, at + 16), get32(image, at + 20)});
    }
    // The blocks must be file data of one section, inside the image.
    const Section* home = nullptr;
    for (const Section& s : sections) {
        uint64_t fileBacked = std::min<uint64_t>(s.rawSize, s.virtualSize ? s.virtualSize : s.rawSize);
        if (result.rva >= s.rva && uint64_t(result.rva) + result.size <= s.rva + fileBacked) home = &s;
    }
    if (home == nullptr || uint64_t(result.rva) + result.size > imageSize)
        fail("the directory (" + hex(result.rva) + ", " + std::to_string(result.size) +
             " bytes) lies outside the sections' file data");
    result.fileOffset = uint64_t(home->rawPosition) + (result.rva - home->rva);
    if (result.fileOffset + result.size > image.size()) fail("the directory runs past the end of the file");

    const unsigned pointerType = plus ? kDir64 : kHighLow;
    const uint32_t width = plus ? 8 : 4;
    auto insideASection = [&](uint32_t rva) {
        for (const Section& s : sections)
            if (rva >= s.rva && uint64_t(rva) + width <= uint64_t(s.rva) + std::max(s.virtualSize, s.rawSize))
                return true;
        return false;
    };
    uint64_t at = result.fileOffset, end = result.fileOffset + result.size;
    while (at < end) {
        if (end - at < 8) fail("a block header is cut off at the end of the directory");
        uint32_t page = get32(image, at), blockSize = get32(image, at + 4);
        if (blockSize < 8 || blockSize % 4 || blockSize > end - at)
            fail("the block for page " + hex(page) + " has a bad size (" + std::to_string(blockSize) + ")");
        if (page % 0x1000) fail("a block for page " + hex(page) + ", which is not page aligned");
        for (uint64_t e = at + 8; e < at + blockSize; e += 2) {
            uint16_t value = get16(image, e);
            unsigned kind = value >> 12;
            if (kind == 0) continue;  // padding
            uint64_t target = uint64_t(page) + (value & 0xFFF);
            if (kind != pointerType)
                fail("an entry of type " + std::to_string(kind) + " at " + hex(target) + " (expected type " +
                     std::to_string(pointerType) + ")");
            if (target + width > imageSize || !insideASection(static_cast<uint32_t>(target)))
                fail("a pointer at " + hex(target) + " outside the image's sections");
            if (target + width > result.rva && target < uint64_t(result.rva) + result.size)
                fail("a pointer at " + hex(target) + " inside the relocation blocks themselves");
            result.targets.push_back(static_cast<uint32_t>(target));
        }
        ++result.blocks;
        at += blockSize;
    }
    return result;
}

void checkRelocationsKept(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& built) {
    ImageRelocations before = readRelocations(stub);
    ImageRelocations after = readRelocations(built);
    if (before.dynamicBase != after.dynamicBase || before.targets != after.targets ||
        !std::equal(stub.begin() + static_cast<long>(before.fileOffset),
                    stub.begin() + static_cast<long>(before.fileOffset + before.size),
                    built.begin() + static_cast<long>(after.fileOffset),
                    built.begin() + static_cast<long>(after.fileOffset + after.size)) ||
        before.size != after.size)
        fail("the launcher does not carry the stub's relocations (" + std::to_string(before.targets.size()) +
             " pointers) unchanged");
}

}  // namespace jaunt
