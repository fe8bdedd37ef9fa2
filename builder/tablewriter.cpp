#include "tablewriter.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace jaunt {

namespace {

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value >> 16));
    out.push_back(static_cast<uint8_t>(value >> 24));
}

uint32_t checkedLength(size_t length, const char* what) {
    if (length > std::numeric_limits<uint32_t>::max())
        throw std::length_error(std::string(what) + " too long for a configuration table");
    return static_cast<uint32_t>(length);
}

}  // namespace

std::vector<uint8_t> encodeTable(const std::vector<NarrowRecord>& narrow,
                                 const std::vector<WideRecord>& wide) {
    std::vector<uint8_t> out;
    appendU32(out, kTableMagic);

    appendU32(out, checkedLength(narrow.size(), "record list"));
    for (const NarrowRecord& record : narrow) {
        appendU32(out, static_cast<uint32_t>(record.key));
        appendU32(out, checkedLength(record.value.size(), "value"));
        out.insert(out.end(), record.value.begin(), record.value.end());
    }

    appendU32(out, checkedLength(wide.size(), "record list"));
    for (const WideRecord& record : wide) {
        appendU32(out, static_cast<uint32_t>(record.key));
        if (record.value.size() > std::numeric_limits<uint32_t>::max() / 2)
            throw std::length_error("value too long for a configuration table");
        appendU32(out, static_cast<uint32_t>(record.value.size() * 2));
        for (char16_t unit : record.value) {
            out.push_back(static_cast<uint8_t>(unit & 0xFF));
            out.push_back(static_cast<uint8_t>(unit >> 8));
        }
    }

    // The launcher addresses the table and everything after it with 32-bit offsets.
    checkedLength(out.size(), "table");
    return out;
}

MemoryByteSource::MemoryByteSource(const uint8_t* data, size_t size, size_t position)
    : data_(data), size_(size), position_(position) {}

ByteSource MemoryByteSource::source() {
    return ByteSource{this, &MemoryByteSource::readBytes};
}

bool MemoryByteSource::readBytes(void* context, void* buffer, uint32_t count, uint32_t* got) {
    auto* self = static_cast<MemoryByteSource*>(context);
    size_t available = self->position_ < self->size_ ? self->size_ - self->position_ : 0;
    size_t n = count < available ? count : available;
    if (n != 0) std::memcpy(buffer, self->data_ + self->position_, n);
    self->position_ += n;
    *got = static_cast<uint32_t>(n);
    return true;
}

TableError decodeTable(const std::vector<uint8_t>& bytes, size_t tableStart, ConfigTable* table) {
    MemoryByteSource memory(bytes.data(), bytes.size(), tableStart);
    return parseTable(memory.source(), tableStart, bytes.size(), table);
}

}  // namespace jaunt
