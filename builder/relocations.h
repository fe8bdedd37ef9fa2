// The base relocations of a Windows image (PE32 or PE32+): read and checked the way the loader
// uses them, so that the build tool never writes an image that the system cannot place at another
// base. The launcher stubs keep their relocation blocks at the end of the resource section.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace jaunt {

// An image whose base relocations the loader could not apply; the message says why.
class RelocationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ImageRelocations {
    uint32_t rva = 0;   // data directory 5: where the blocks are, and their size
    uint32_t size = 0;
    uint64_t fileOffset = 0;        // where the blocks are in the file
    size_t blocks = 0;
    std::vector<uint32_t> targets;  // RVAs of the pointers they name, in block order
    bool dynamicBase = false;       // the image asks to be placed at a random base
};

// Reads the image's base relocations and checks them: the directory lies in a section's file
// data inside the image, every block is well formed (page aligned, size a multiple of 4, inside the
// directory), every entry is padding or the image's pointer type, and every pointer lies inside a
// section and outside the blocks themselves. An image marked as dynamic base must have blocks.
// Throws RelocationError.
ImageRelocations readRelocations(const std::vector<uint8_t>& image);

// Checks that built carries the same base relocations as the stub it was made from: the same
// pointers, named by the same bytes. Throws RelocationError.
void checkRelocationsKept(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& built);

}  // namespace jaunt
