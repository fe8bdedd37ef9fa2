// Feeds arbitrary bytes to the packed runtime's index parser, as the whole pack and as its header
// and index alone (what the launcher reads first), and to the reader of key 2010's text. What the
// parser accepts must be safe to unpack: entries back to back inside the pack, sizes that fit their
// kind, names the launcher may create and that cannot land on one another.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "runtimepack.h"

namespace {

std::string folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    jaunt::RuntimeIndex index;
    jaunt::RuntimePackError error = jaunt::parseRuntimeIndex(data, size, size, &index);
    uint32_t indexSize = 0;
    jaunt::RuntimePackError headerError;
    if (jaunt::runtimePackIndexSize(data, size, &indexSize, &headerError) &&
        size - jaunt::kRuntimePackHeaderSize >= indexSize) {
        jaunt::RuntimeIndex head;
        if (jaunt::parseRuntimeIndex(data, jaunt::kRuntimePackHeaderSize + indexSize, size, &head) != error)
            __builtin_trap();
    }
    if (error == jaunt::RuntimePackError::None) {
        uint64_t offset = jaunt::kRuntimePackHeaderSize + uint64_t(index.indexSize), total = 0;
        std::set<std::string> names, files;
        for (const jaunt::RuntimeEntry& entry : index.entries) {
            if (entry.offset != offset || entry.storedSize > size - offset) __builtin_trap();
            offset += entry.storedSize;
            total += entry.size;
            bool directory = entry.kind == jaunt::RuntimeEntryKind::Directory;
            if ((directory && entry.size + entry.storedSize != 0) ||
                (entry.kind == jaunt::RuntimeEntryKind::Stored && entry.size != entry.storedSize))
                __builtin_trap();
            if (!jaunt::isRuntimeEntryName(entry.name) || !names.insert(folded(entry.name)).second) __builtin_trap();
            if (!directory) files.insert(folded(entry.name));
        }
        if (offset != size || total != index.unpackedSize) __builtin_trap();
        for (const std::string& name : names)
            for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', slash + 1))
                if (files.count(name.substr(0, slash))) __builtin_trap();
    }

    std::string text(reinterpret_cast<const char*>(data), size < 256 ? size : 256);
    uint64_t offset = 0, packSize = 0;
    std::string hash;
    if (jaunt::parseRuntimeLocation(text.c_str(), &offset, &packSize, &hash)) {
        if (hash.size() != jaunt::kRuntimeHashDigits) __builtin_trap();
        for (char c : hash)
            if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) __builtin_trap();
    }
    return 0;
}
