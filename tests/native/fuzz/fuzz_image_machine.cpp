// Feeds arbitrary file heads to the image-machine reader: it must never read past the bytes it is
// given, and a machine it reports must stand right after a "PE\0\0" signature inside them.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "pemachine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<unsigned char> bytes(data, data + size);
    uint16_t machine = 0;
    if (!jaunt::readImageMachine(bytes.data(), bytes.size(), &machine)) return 0;
    size_t signature = static_cast<size_t>(bytes[0x3C]) | static_cast<size_t>(bytes[0x3D]) << 8 |
                       static_cast<size_t>(bytes[0x3E]) << 16 | static_cast<size_t>(bytes[0x3F]) << 24;
    if (signature + 6 > size || std::memcmp(&bytes[signature], "PE\0\0", 4) != 0) __builtin_trap();
    if (machine != (bytes[signature + 4] | bytes[signature + 5] << 8)) __builtin_trap();
    int bits = jaunt::machineBitness(machine);
    if (bits != 0 && bits != 32 && bits != 64) __builtin_trap();
    return 0;
}
