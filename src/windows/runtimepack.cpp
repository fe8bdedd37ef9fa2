#include "runtimepack.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "payloadformat.h"

namespace jaunt {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) { return get16(p) | (static_cast<uint32_t>(get16(p + 2)) << 16); }
uint64_t get64(const uint8_t* p) { return get32(p) | (static_cast<uint64_t>(get32(p + 4)) << 32); }

// Case-blind, as the file system compares names.
std::string folded(const std::string& name) {
    std::string text = name;
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

const char* runtimePackErrorText(RuntimePackError error) {
    switch (error) {
        case RuntimePackError::None:
            return "";
        case RuntimePackError::Cut:
            return "the runtime's index ends early";
        case RuntimePackError::BadMagic:
            return "not a packed runtime";
        case RuntimePackError::TooLarge:
            return "the runtime's index is larger than a runtime's can be";
        case RuntimePackError::BadEntry:
            return "an entry of the runtime's index is damaged";
        case RuntimePackError::BadName:
            return "a file name of the runtime is not a plain relative path, or is given twice";
        case RuntimePackError::SizeMismatch:
            return "the runtime's files do not add up to its size";
    }
    return "";
}

bool runtimePackIndexSize(const uint8_t* header, size_t size, uint32_t* indexSize, RuntimePackError* error) {
    *error = RuntimePackError::None;
    if (size < kRuntimePackHeaderSize) {
        *error = RuntimePackError::Cut;
        return false;
    }
    if (std::memcmp(header, kRuntimePackMagic, sizeof kRuntimePackMagic) != 0) {
        *error = RuntimePackError::BadMagic;
        return false;
    }
    *indexSize = get32(header + 8);
    if (*indexSize > kRuntimePackMaxIndex || get32(header + 12) > kRuntimePackMaxEntries) {
        *error = RuntimePackError::TooLarge;
        return false;
    }
    return true;
}

bool isRuntimeEntryName(const std::string& name) {
    if (name.empty() || name.size() > kRuntimePackMaxName || name.find('\0') != std::string::npos) return false;
    size_t start = 0;
    for (;;) {
        size_t end = name.find('/', start);
        std::string part = name.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!isPlainFileName(part.c_str())) return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

RuntimePackError parseRuntimeIndex(const uint8_t* bytes, size_t size, uint64_t packSize, RuntimeIndex* index) {
    *index = RuntimeIndex();
    RuntimePackError error;
    uint32_t indexSize = 0;
    if (!runtimePackIndexSize(bytes, size, &indexSize, &error)) return error;
    if (size - kRuntimePackHeaderSize < indexSize) return RuntimePackError::Cut;
    if (packSize < kRuntimePackHeaderSize + uint64_t(indexSize)) return RuntimePackError::SizeMismatch;
    uint32_t count = get32(bytes + 12);
    const uint8_t* at = bytes + kRuntimePackHeaderSize;
    const uint8_t* end = at + indexSize;
    uint64_t offset = kRuntimePackHeaderSize + uint64_t(indexSize);
    std::set<std::string> names;
    index->indexSize = indexSize;
    index->entries.reserve(std::min<uint32_t>(count, indexSize / 31 + 1));
    for (uint32_t i = 0; i < count; ++i) {
        if (end - at < 2) return RuntimePackError::Cut;
        size_t length = get16(at);
        at += 2;
        if (static_cast<size_t>(end - at) < length + 21) return RuntimePackError::Cut;
        RuntimeEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(at), length);
        at += length;
        uint8_t kind = at[0];
        entry.size = get64(at + 1);
        entry.storedSize = get64(at + 9);
        entry.crc = get32(at + 17);
        at += 21;
        if (kind > static_cast<uint8_t>(RuntimeEntryKind::Directory)) return RuntimePackError::BadEntry;
        entry.kind = static_cast<RuntimeEntryKind>(kind);
        bool directory = entry.kind == RuntimeEntryKind::Directory;
        if ((directory && (entry.size != 0 || entry.storedSize != 0)) ||
            (entry.kind == RuntimeEntryKind::Stored && entry.storedSize != entry.size))
            return RuntimePackError::BadEntry;
        if (!isRuntimeEntryName(entry.name) || !names.insert(folded(entry.name)).second)
            return RuntimePackError::BadName;
        if (entry.storedSize > packSize - offset) return RuntimePackError::SizeMismatch;
        // Sizes that add up beyond 64 bits belong to no runtime (and would wrap the total).
        if (entry.size > UINT64_MAX - index->unpackedSize) return RuntimePackError::TooLarge;
        entry.offset = offset;
        offset += entry.storedSize;
        index->unpackedSize += entry.size;
        index->entries.push_back(std::move(entry));
    }
    // A file below a name that is itself a file could not be made.
    std::set<std::string> files;
    for (const RuntimeEntry& entry : index->entries)
        if (entry.kind != RuntimeEntryKind::Directory) files.insert(folded(entry.name));
    for (const RuntimeEntry& entry : index->entries)
        for (size_t slash = entry.name.find('/'); slash != std::string::npos; slash = entry.name.find('/', slash + 1))
            if (files.count(folded(entry.name.substr(0, slash)))) return RuntimePackError::BadName;
    if (at != end || offset != packSize) return RuntimePackError::SizeMismatch;
    return RuntimePackError::None;
}

bool parseRuntimeLocation(const char* text, uint64_t* offset, uint64_t* size, std::string* hash) {
    uint64_t numbers[2] = {0, 0};
    const char* p = text;
    for (uint64_t& number : numbers) {
        if (*p < '0' || *p > '9') return false;
        for (; *p >= '0' && *p <= '9'; ++p) {
            if (number > (UINT64_MAX - 9) / 10) return false;
            number = number * 10 + static_cast<uint64_t>(*p - '0');
        }
        if (*p++ != ' ') return false;
    }
    std::string digits(p);
    if (digits.size() != kRuntimeHashDigits) return false;
    for (char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    *offset = numbers[0];
    *size = numbers[1];
    *hash = digits;
    return true;
}

uint32_t runtimeCrc32(uint32_t crc, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        uInt chunk = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
        crc = static_cast<uint32_t>(crc32(crc, bytes, chunk));
        bytes += chunk;
        count -= chunk;
    }
    return crc;
}

std::string runtimeMarkText(const std::string& hash, const std::string& application, const RuntimeIndex& index) {
    return "jaunt runtime\r\nhash " + hash + "\r\napplication " + application + "\r\nentries " +
           std::to_string(index.entries.size()) + "\r\nsize " + std::to_string(index.unpackedSize) + "\r\n";
}

}  // namespace jaunt
