#include "pemachine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// The head of an image: "MZ", the signature's offset at 0x3C, "PE\0\0" and the machine there.
std::vector<unsigned char> imageHead(uint32_t signature, uint16_t machine, size_t size) {
    std::vector<unsigned char> bytes(size, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i) bytes[0x3C + i] = static_cast<unsigned char>(signature >> (8 * i));
    if (size_t{signature} + 6 <= size) {
        bytes[signature] = 'P';
        bytes[signature + 1] = 'E';
        bytes[signature + 4] = static_cast<unsigned char>(machine);
        bytes[signature + 5] = static_cast<unsigned char>(machine >> 8);
    }
    return bytes;
}

uint32_t machineOf(const std::vector<unsigned char>& bytes, size_t size) {
    uint16_t machine = 0;
    return jaunt::readImageMachine(bytes.data(), size, &machine) ? machine : 0xFFFFFFFFu;
}

TEST(ImageMachine, TheMachineFollowsTheSignatureWhereverTheHeaderPointsAndOnlyInsideTheBytes) {
    std::vector<unsigned char> x86 = imageHead(0x80, jaunt::kMachineI386, 512);
    EXPECT_EQ(machineOf(x86, x86.size()), 0x14cu);
    EXPECT_EQ(jaunt::machineBitness(jaunt::kMachineI386), 32);
    std::vector<unsigned char> x64 = imageHead(0x108, jaunt::kMachineAmd64, 512);
    EXPECT_EQ(machineOf(x64, x64.size()), 0x8664u);
    EXPECT_EQ(jaunt::machineBitness(jaunt::kMachineAmd64), 64);
    EXPECT_EQ(jaunt::machineBitness(0xAA64), 0) << "other machines have no bitness of ours";

    // The machine's last byte is the last byte given, and one byte less.
    std::vector<unsigned char> edge = imageHead(506, jaunt::kMachineAmd64, 512);
    EXPECT_EQ(machineOf(edge, 512), 0x8664u);
    EXPECT_EQ(machineOf(edge, 511), 0xFFFFFFFFu);
    EXPECT_EQ(machineOf(imageHead(0xFFFFFFFEu, 0, 512), 512), 0xFFFFFFFFu) << "an offset far beyond";
    EXPECT_EQ(machineOf(x86, 0x3F), 0xFFFFFFFFu) << "no room for the offset";

    std::vector<unsigned char> text(512, 'x');
    EXPECT_EQ(machineOf(text, text.size()), 0xFFFFFFFFu) << "not an image";
    std::vector<unsigned char> noSignature = x86;
    noSignature[0x81] = 'X';
    EXPECT_EQ(machineOf(noSignature, noSignature.size()), 0xFFFFFFFFu);
}

}  // namespace
