// The machine a Windows image (program or DLL) is built for, read from the bytes of its headers,
// free of any platform call.
#pragma once

#include <cstddef>
#include <cstdint>

namespace jaunt {

constexpr uint16_t kMachineI386 = 0x14c;
constexpr uint16_t kMachineAmd64 = 0x8664;

// How many bytes from the start of an image readImageMachine looks at, at most.
constexpr size_t kImageHeadSize = 4096;

// The Machine field of the image's file header, from the first size bytes of the file: "MZ" at 0,
// the offset of the "PE\0\0" signature at 0x3C, the machine in the two bytes after the signature.
// False when the bytes hold no such header (too short, another format, a signature beyond them).
bool readImageMachine(const unsigned char* data, size_t size, uint16_t* machine);

// 32 for an i386 image, 64 for an AMD64 one, 0 for any other machine.
int machineBitness(uint16_t machine);

}  // namespace jaunt
