// Feeds arbitrary bytes to the resource section parser as a section at address 0x1000. What it
// reads must be written and read back to the same entries.
#include <cstddef>
#include <cstdint>

#include "resourcesection.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jaunt::ResourceTable table;
    try {
        table = jaunt::parseResourceSection(data, size, 0x1000);
    } catch (const jaunt::ResourceError&) {
        return 0;
    }
    std::vector<uint8_t> written = jaunt::encodeResourceSection(table, 0x1000);
    jaunt::ResourceTable again = jaunt::parseResourceSection(written.data(), written.size(), 0x1000);
    if (!(again.entries() == table.entries())) __builtin_trap();
    return 0;
}
