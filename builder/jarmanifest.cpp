#include "jarmanifest.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include <zlib.h>

namespace jaunt {

namespace {

constexpr uint32_t kEndOfDirectory = 0x06054b50;
constexpr uint32_t kDirectoryEntry = 0x02014b50;
constexpr uint32_t kLocalHeader = 0x04034b50;
constexpr size_t kEndOfDirectorySize = 22;
constexpr size_t kDirectoryEntrySize = 46;
constexpr size_t kLocalHeaderSize = 30;
// A manifest larger than this is not a manifest any tool wrote.
constexpr uint32_t kManifestLimit = 16 * 1024 * 1024;

uint32_t read16(const std::vector<uint8_t>& b, size_t at) { return b[at] | (uint32_t(b[at + 1]) << 8); }
uint32_t read32(const std::vector<uint8_t>& b, size_t at) { return read16(b, at) | (read16(b, at + 2) << 16); }

bool sameNameIgnoringCase(const std::vector<uint8_t>& b, size_t at, size_t length, const char* name) {
    if (length != std::strlen(name)) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = static_cast<char>(b[at + i]);
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != name[i]) return false;
    }
    return true;
}

ManifestResult damaged(const std::string& detail) { return ManifestResult{ManifestStatus::Damaged, {}, detail, {}}; }

// The end-of-directory record: searched backwards over the largest comment a zip can carry.
bool findEndOfDirectory(const std::vector<uint8_t>& b, size_t* at) {
    if (b.size() < kEndOfDirectorySize) return false;
    size_t last = b.size() - kEndOfDirectorySize;
    size_t first = last > 0xFFFF ? last - 0xFFFF : 0;
    for (size_t i = last + 1; i-- > first;) {
        if (read32(b, i) == kEndOfDirectory) {
            *at = i;
            return true;
        }
    }
    return false;
}

bool inflateRaw(const uint8_t* data, size_t size, uint32_t expected, std::string* out) {
    out->assign(expected, '\0');
    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(data);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
    stream.avail_out = static_cast<uInt>(expected);
    int result = expected == 0 ? Z_STREAM_END : inflate(&stream, Z_FINISH);
    bool whole = result == Z_STREAM_END && stream.total_out == expected;
    inflateEnd(&stream);
    return whole;
}

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

std::string manifestAttribute(const std::string& manifest, const std::string& name) {
    // Logical lines of the main section: up to the first empty line, continuations joined.
    std::string text;
    for (size_t i = 0; i < manifest.size(); ++i) {
        if (manifest[i] == '\r' && i + 1 < manifest.size() && manifest[i + 1] == '\n') continue;
        text += manifest[i] == '\r' ? '\n' : manifest[i];
    }
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) break;
        if (line[0] == ' ' && !lines.empty())
            lines.back() += line.substr(1);
        else
            lines.push_back(line);
    }
    std::string wanted = lowerCase(name);
    for (const std::string& line : lines) {
        size_t colon = line.find(':');
        if (colon == std::string::npos || lowerCase(line.substr(0, colon)) != wanted) continue;
        std::string value = line.substr(colon + 1);
        size_t first = value.find_first_not_of(" \t");
        size_t last = value.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    }
    return std::string();
}

std::string mainClassOfManifest(const std::string& manifest) {
    std::string value = manifestAttribute(manifest, "Main-Class");
    for (char& c : value)
        if (c == '/') c = '.';
    return value;
}

ManifestResult readJarMainClass(const std::vector<uint8_t>& b) {
    size_t end = 0;
    if (!findEndOfDirectory(b, &end)) return damaged("not a zip archive: no central directory");
    uint32_t entries = read16(b, end + 10);
    uint32_t directorySize = read32(b, end + 12);
    uint32_t directoryOffset = read32(b, end + 16);
    if (uint64_t(directoryOffset) + directorySize > end) return damaged("the central directory lies outside the file");
    size_t at = directoryOffset;
    for (uint32_t n = 0; n < entries; ++n) {
        if (at + kDirectoryEntrySize > end || read32(b, at) != kDirectoryEntry)
            return damaged("entry " + std::to_string(n + 1) + " of the central directory is damaged");
        uint32_t method = read16(b, at + 10);
        uint32_t compressed = read32(b, at + 20);
        uint32_t size = read32(b, at + 24);
        size_t nameLength = read16(b, at + 28);
        size_t extraLength = read16(b, at + 30);
        size_t commentLength = read16(b, at + 32);
        uint32_t local = read32(b, at + 42);
        size_t name = at + kDirectoryEntrySize;
        size_t next = name + nameLength + extraLength + commentLength;
        if (next > end) return damaged("entry " + std::to_string(n + 1) + " of the central directory is damaged");
        if (!sameNameIgnoringCase(b, name, nameLength, "META-INF/MANIFEST.MF")) {
            at = next;
            continue;
        }
        if (size > kManifestLimit) return damaged("the manifest is larger than 16 MiB");
        if (uint64_t(local) + kLocalHeaderSize > b.size() || read32(b, local) != kLocalHeader)
            return damaged("the manifest's local header is damaged");
        uint64_t data = uint64_t(local) + kLocalHeaderSize + read16(b, local + 26) + read16(b, local + 28);
        if (data + compressed > b.size()) return damaged("the manifest's data is cut short");
        std::string manifest;
        if (method == 0) {
            if (compressed != size) return damaged("the manifest's stored sizes differ");
            manifest.assign(b.begin() + data, b.begin() + data + size);
        } else if (method == 8) {
            if (!inflateRaw(b.data() + data, compressed, size, &manifest))
                return damaged("the manifest's compressed data is damaged");
        } else {
            return damaged("the manifest is compressed with method " + std::to_string(method) +
                           ", which jaunt does not read");
        }
        if (crc32(0, reinterpret_cast<const Bytef*>(manifest.data()), static_cast<uInt>(manifest.size())) !=
            read32(b, at + 16))
            return damaged("the manifest's checksum does not match");
        std::string mainClass = mainClassOfManifest(manifest);
        if (mainClass.empty()) return ManifestResult{ManifestStatus::NoMainClass, {}, {}, manifest};
        return ManifestResult{ManifestStatus::MainClass, mainClass, {}, manifest};
    }
    return ManifestResult{ManifestStatus::NoManifest, {}, {}, {}};
}

bool jarHoldsEntry(const std::vector<uint8_t>& b, const std::string& entry) {
    size_t end = 0;
    if (!findEndOfDirectory(b, &end)) return false;
    uint32_t entries = read16(b, end + 10);
    size_t at = read32(b, end + 16);
    for (uint32_t n = 0; n < entries; ++n) {
        if (at + kDirectoryEntrySize > end || read32(b, at) != kDirectoryEntry) return false;
        size_t nameLength = read16(b, at + 28);
        size_t name = at + kDirectoryEntrySize;
        size_t next = name + nameLength + read16(b, at + 30) + read16(b, at + 32);
        if (next > end) return false;
        if (nameLength == entry.size() && std::memcmp(&b[name], entry.data(), nameLength) == 0) return true;
        at = next;
    }
    return false;
}

ManifestResult readJarMainClass(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return ManifestResult{ManifestStatus::Unreadable, {}, "cannot open it", {}};
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return ManifestResult{ManifestStatus::Unreadable, {}, "cannot read it", {}};
    return readJarMainClass(bytes);
}

std::string manifestStatusText(const ManifestResult& result) {
    switch (result.status) {
        case ManifestStatus::MainClass:
            return "Main-Class " + result.mainClass;
        case ManifestStatus::NoMainClass:
            return "no Main-Class in its manifest";
        case ManifestStatus::NoManifest:
            return "no manifest (META-INF/MANIFEST.MF)";
        case ManifestStatus::Damaged:
            return "a damaged archive (" + result.detail + ")";
        case ManifestStatus::Unreadable:
            return "cannot be read (" + result.detail + ")";
    }
    return std::string();
}

}  // namespace jaunt
