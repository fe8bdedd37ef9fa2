#include "launcherimage.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "tablewriter.h"

namespace jaunt {

namespace {

// Header layout of the launcher image (PE32 with five sections).
constexpr size_t kMinimumSize = kLastSectionPositionOffset + 4;  // 560
constexpr size_t kNewHeaderPointerOffset = 0x3C;                 // e_lfanew
constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr size_t kSectionCountOffset = kPeHeaderOffset + 6;
constexpr size_t kOptionalHeaderSizeOffset = kPeHeaderOffset + 20;
constexpr uint16_t kPe32OptionalHeaderSize = 0xE0;
constexpr uint16_t kSectionCount = 5;

uint16_t readU16(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::string hex(uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    do {
        text.insert(text.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + text;
}

// Returns an empty string when the header layout is the launcher's, else the reason it is not.
std::string headerProblem(const std::vector<uint8_t>& image) {
    if (image.size() < kMinimumSize)
        return "only " + std::to_string(image.size()) + " bytes long, less than the " +
               std::to_string(kMinimumSize) + " of the launcher's headers";
    if (image[0] != 'M' || image[1] != 'Z') return "no MZ signature at the start";
    uint32_t peOffset = readLittleEndian32(image.data() + kNewHeaderPointerOffset);
    if (peOffset != kPeHeaderOffset)
        return "the PE header is at " + hex(peOffset) + " instead of " + hex(kPeHeaderOffset);
    const uint8_t* pe = image.data() + kPeHeaderOffset;
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        return "no PE signature at " + hex(kPeHeaderOffset);
    uint16_t optionalSize = readU16(image, kOptionalHeaderSizeOffset);
    if (optionalSize != kPe32OptionalHeaderSize)
        return "the optional header has " + std::to_string(optionalSize) + " bytes instead of " +
               std::to_string(kPe32OptionalHeaderSize);
    uint16_t sections = readU16(image, kSectionCountOffset);
    if (sections != kSectionCount)
        return std::to_string(sections) + " sections instead of " + std::to_string(kSectionCount);
    return std::string();
}

}  // namespace

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) throw LauncherError(path + ": is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LauncherError(path + ": cannot open the file");
    std::vector<uint8_t> bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        bytes.insert(bytes.end(), buffer, buffer + in.gcount());
    }
    if (in.bad() || !in.eof()) throw LauncherError(path + ": cannot read the file");
    return bytes;
}

void writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw LauncherError(path + ": cannot create the file");
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw LauncherError(path + ": cannot write the file");
}

void checkUnconfiguredLauncher(const std::vector<uint8_t>& stub) {
    std::string problem = headerProblem(stub);
    if (problem.empty()) {
        uint64_t end = static_cast<uint64_t>(readLittleEndian32(stub.data() + kLastSectionSizeOffset)) +
                       readLittleEndian32(stub.data() + kLastSectionPositionOffset);
        if (end < stub.size())
            problem = "it has " + std::to_string(stub.size() - end) +
                      " bytes after its last section (already configured?)";
        else if (end > stub.size())
            problem = "its last section ends at " + std::to_string(end) + ", after the end of the file (" +
                      std::to_string(stub.size()) + " bytes)";
    }
    if (!problem.empty()) throw LauncherError("not an unconfigured launcher program: " + problem);
}

std::vector<uint8_t> makeLauncher(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& table,
                                  const std::vector<uint8_t>& payload) {
    checkUnconfiguredLauncher(stub);
    // The launcher reads the payload position as a 32-bit file offset.
    if (stub.size() + table.size() > std::numeric_limits<uint32_t>::max())
        throw LauncherError("the configuration table does not fit below 4 GiB");
    std::vector<uint8_t> exe;
    exe.reserve(stub.size() + table.size() + payload.size());
    exe.insert(exe.end(), stub.begin(), stub.end());
    exe.insert(exe.end(), table.begin(), table.end());
    exe.insert(exe.end(), payload.begin(), payload.end());
    return exe;
}

LauncherTable readLauncherTable(const std::vector<uint8_t>& exe) {
    std::string problem = headerProblem(exe);
    if (!problem.empty()) throw LauncherError("not a launcher program: " + problem);
    LauncherTable result;
    tableOffsetOf(exe.data(), exe.size(), &result.tableOffset);
    result.error = decodeTable(exe, result.tableOffset, &result.table);
    if (result.error == TableError::None) result.payloadSize = exe.size() - result.table.payloadPosition;
    return result;
}

}  // namespace jaunt
