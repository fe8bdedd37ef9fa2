#include "pemachine.h"

namespace jaunt {

namespace {

uint32_t readLittleEndian(const unsigned char* bytes, size_t count) {
    uint32_t value = 0;
    for (size_t i = count; i-- > 0;) value = (value << 8) | bytes[i];
    return value;
}

}  // namespace

bool readImageMachine(const unsigned char* data, size_t size, uint16_t* machine) {
    constexpr size_t kHeaderOffsetField = 0x3C;
    if (size < kHeaderOffsetField + 4 || data[0] != 'M' || data[1] != 'Z') return false;
    uint32_t signature = readLittleEndian(data + kHeaderOffsetField, 4);
    // Signature (4 bytes) and machine (2 bytes) must lie inside the bytes given.
    if (signature > size || size - signature < 6) return false;
    const unsigned char* header = data + signature;
    if (header[0] != 'P' || header[1] != 'E' || header[2] != 0 || header[3] != 0) return false;
    *machine = static_cast<uint16_t>(readLittleEndian(header + 4, 2));
    return true;
}

int machineBitness(uint16_t machine) {
    if (machine == kMachineI386) return 32;
    if (machine == kMachineAmd64) return 64;
    return 0;
}

}  // namespace jaunt
