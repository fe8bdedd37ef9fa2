// SHA-256 (FIPS 180-4), platform-free: the content hash of a packed runtime, which names the
// folder a launcher unpacks it into.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace jaunt {

class Sha256 {
public:
    Sha256();
    void update(const uint8_t* bytes, size_t count);
    // The digest of everything given so far; the object is spent afterwards.
    std::array<uint8_t, 32> finish();

private:
    void block(const uint8_t* bytes);
    uint32_t state_[8];
    uint8_t buffer_[64];
    size_t buffered_ = 0;
    uint64_t length_ = 0;  // bytes given
};

// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(const uint8_t* bytes, size_t count);

}  // namespace jaunt
