#include "launcherimage.h"

#include <filesystem>
#include <fstream>
#include <limits>

#include "tablewriter.h"

namespace jaunt {

namespace {

// Header layout of the launcher images (PE32 or PE32+, five sections).
constexpr size_t kMinimumSize = kPe32LastSection.positionOffset + 4;  // 560
constexpr size_t kNewHeaderPointerOffset = 0x3C;                      // e_lfanew
constexpr uint32_t kPeHeaderOffset = 0x80;
constexpr size_t kMachineOffset = kPeHeaderOffset + 4;
constexpr size_t kSectionCountOffset = kPeHeaderOffset + 6;
constexpr size_t kOptionalHeaderSizeOffset = kPeHeaderOffset + 20;
constexpr size_t kOptionalHeaderMagicOffset = kPeHeaderOffset + 24;
constexpr uint16_t kSectionCount = 5;

struct ImageKind {
    LauncherArch arch;
    uint16_t magic;
    uint16_t machine;
    uint16_t optionalHeaderSize;
    const char* formatName;
    LastSectionFields lastSection;
};
constexpr ImageKind kImageKinds[] = {
    {LauncherArch::X86, 0x10B, 0x014C, 224, "PE32", kPe32LastSection},
    {LauncherArch::X64, 0x20B, 0x8664, 240, "PE32+", kPe32PlusLastSection},
};

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

// Returns an empty string when the header layout is one of the launcher's, else the reason it is
// not. *kind receives the image kind when the layout is right.
std::string headerProblem(const std::vector<uint8_t>& image, const ImageKind** kind) {
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
    uint16_t magic = readU16(image, kOptionalHeaderMagicOffset);
    const ImageKind* found = nullptr;
    for (const ImageKind& k : kImageKinds)
        if (k.magic == magic) found = &k;
    if (found == nullptr) return "unknown optional header magic " + hex(magic) + " (neither PE32 nor PE32+)";
    uint16_t optionalSize = readU16(image, kOptionalHeaderSizeOffset);
    if (optionalSize != found->optionalHeaderSize)
        return "the optional header has " + std::to_string(optionalSize) + " bytes instead of " +
               std::to_string(found->optionalHeaderSize) + " for " + found->formatName;
    uint16_t machine = readU16(image, kMachineOffset);
    if (machine != found->machine)
        return "machine type " + hex(machine) + " in a " + found->formatName + " image instead of " +
               hex(found->machine);
    uint16_t sections = readU16(image, kSectionCountOffset);
    if (sections != kSectionCount)
        return std::to_string(sections) + " sections instead of " + std::to_string(kSectionCount);
    if (image.size() < found->lastSection.positionOffset + 4u)
        return "only " + std::to_string(image.size()) + " bytes long, less than the " +
               std::to_string(found->lastSection.positionOffset + 4u) + " of the launcher's headers";
    *kind = found;
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

const char* launcherArchName(LauncherArch arch) { return arch == LauncherArch::X64 ? "x64" : "x86"; }

bool parseLauncherArch(const std::string& name, LauncherArch* arch) {
    for (LauncherArch candidate : {LauncherArch::X86, LauncherArch::X64})
        if (name == launcherArchName(candidate)) {
            *arch = candidate;
            return true;
        }
    return false;
}

std::string stubFileName(LauncherArch arch) { return std::string("launcher-") + launcherArchName(arch) + ".exe"; }

LauncherArch checkUnconfiguredLauncher(const std::vector<uint8_t>& stub) {
    const ImageKind* kind = nullptr;
    std::string problem = headerProblem(stub, &kind);
    if (problem.empty()) {
        uint64_t end = static_cast<uint64_t>(readLittleEndian32(stub.data() + kind->lastSection.sizeOffset)) +
                       readLittleEndian32(stub.data() + kind->lastSection.positionOffset);
        if (end < stub.size())
            problem = "it has " + std::to_string(stub.size() - end) +
                      " bytes after its last section (already configured?)";
        else if (end > stub.size())
            problem = "its last section ends at " + std::to_string(end) + ", after the end of the file (" +
                      std::to_string(stub.size()) + " bytes)";
    }
    if (!problem.empty()) throw LauncherError("not an unconfigured launcher program: " + problem);
    return kind->arch;
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
    const ImageKind* kind = nullptr;
    std::string problem = headerProblem(exe, &kind);
    if (!problem.empty()) throw LauncherError("not a launcher program: " + problem);
    LauncherTable result;
    result.arch = kind->arch;
    tableOffsetOf(exe.data(), exe.size(), kind->lastSection, &result.tableOffset);
    result.error = decodeTable(exe, result.tableOffset, &result.table);
    if (result.error == TableError::None) result.payloadSize = exe.size() - result.table.payloadPosition;
    return result;
}

}  // namespace jaunt
