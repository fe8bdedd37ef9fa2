// SHA-256 against the published test vectors and against sha256sum, across the block boundaries
// and fed in pieces.
#include "sha256.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "testsupport.h"

namespace {

std::string hexOf(const std::string& text) {
    return jaunt::sha256Hex(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(hexOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hexOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hexOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hexOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256, AgreesWithSha256sumAcrossBlockBoundariesAndPieces) {
    namespace fs = std::filesystem;
    fs::path dir = testsupport::scratchDirectory();
    const size_t lengths[] = {1, 55, 56, 57, 63, 64, 65, 119, 120, 128, 1000, 70001};
    std::string names;
    for (size_t length : lengths) {
        std::string data(length, '\0');
        for (size_t i = 0; i < length; ++i) data[i] = static_cast<char>((i * 131 + length) >> 3);
        testsupport::writeText(dir / std::to_string(length), data);
        names += " " + std::to_string(length);
    }
    std::string command = "cd '" + dir.string() + "' && sha256sum" + names + " > sums.txt";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::istringstream sums(testsupport::readText(dir / "sums.txt"));
    for (size_t length : lengths) {
        std::string expected, name;
        sums >> expected >> name;
        ASSERT_EQ(name, std::to_string(length));
        std::string data = testsupport::readText(dir / name);
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(data.data());
        EXPECT_EQ(jaunt::sha256Hex(bytes, length), expected) << length;
        // The same bytes in pieces of every size up to 70 (and the rest).
        for (size_t piece : {size_t(1), size_t(3), size_t(63), size_t(64), size_t(70)}) {
            jaunt::Sha256 hash;
            for (size_t at = 0; at < length; at += piece) hash.update(bytes + at, std::min(piece, length - at));
            std::string text;
            for (uint8_t b : hash.finish()) text += "0123456789abcdef"[b >> 4], text += "0123456789abcdef"[b & 15];
            EXPECT_EQ(text, expected) << length << " in pieces of " << piece;
        }
    }
}

}  // namespace
