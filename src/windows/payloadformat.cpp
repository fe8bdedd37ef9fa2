#include "payloadformat.h"

#include <algorithm>
#include <cstring>

#include "boundedtext.h"
#include "pathtext.h"
#include "tableformat.h"

namespace jaunt {

void scramblePayload(unsigned char* bytes, size_t count) {
    // Eight bytes at a time with the key in every byte of a word (through memcpy, so any alignment
    // is fine), then the tail byte by byte: extraction restores whole included files this way.
    constexpr uint64_t wordKey = 0x0101010101010101ULL * kPayloadKey;
    size_t i = 0;
    for (; count - i >= 8; i += 8) {
        uint64_t word;
        std::memcpy(&word, bytes + i, sizeof(word));
        word ^= wordKey;
        std::memcpy(bytes + i, &word, sizeof(word));
    }
    for (; i < count; ++i) bytes[i] ^= kPayloadKey;
}

namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, PRN, AUX, NUL, COM1-COM9 and LPT1-LPT9 open a device, whatever extension follows.
bool isDeviceName(const char* name) {
    size_t stem = 0;
    while (name[stem] != 0 && name[stem] != '.') ++stem;
    char base[5] = {0, 0, 0, 0, 0};
    if (stem != 3 && stem != 4) return false;
    for (size_t i = 0; i < stem; ++i) base[i] = upper(name[i]);
    if (stem == 3)
        return std::strcmp(base, "CON") == 0 || std::strcmp(base, "PRN") == 0 || std::strcmp(base, "AUX") == 0 ||
               std::strcmp(base, "NUL") == 0;
    return (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

}  // namespace

bool isPlainFileName(const char* name) {
    size_t length = std::strlen(name);
    if (length == 0) return false;
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c < 0x20 || std::strchr("<>:\"/\\|?*", c) != nullptr) return false;
    }
    if (name[length - 1] == '.' || name[length - 1] == ' ') return false;
    return !isDeviceName(name);
}

bool extractionTarget(char* buffer, size_t capacity, const char* directory, const char* name) {
    if (capacity == 0) return false;
    if (isPlainFileName(name) && formatText(buffer, capacity, "%s\\%s", directory, name)) return true;
    buffer[0] = 0;
    return false;
}

const char* payloadErrorText(PayloadError error) {
    switch (error) {
        case PayloadError::SizeCut: return "the size header is cut short";
        case PayloadError::ContentCut: return "the content is cut short";
        case PayloadError::BadName: return "the name is not a plain file name";
        case PayloadError::None: break;
    }
    return "";
}

PayloadError parsePayload(const unsigned char* data, size_t size, int32_t count, const std::string& names,
                          PayloadLayout* layout) {
    *layout = PayloadLayout();
    if (count <= 0) return PayloadError::None;
    // The launcher reads the names as a C string into its text buffer.
    std::vector<std::string> list = splitList(names.substr(0, std::min(names.find('\0'), kTextSize - 1)), ';');
    layout->namesListed = list.size();
    uint64_t position = 0;
    for (size_t i = 0; i < list.size() && i < static_cast<size_t>(count); ++i) {
        PayloadError error = PayloadError::None;
        uint64_t remaining = position < size ? size - position : 0;
        uint32_t length = 0;
        if (!isPlainFileName(list[i].c_str())) {
            error = PayloadError::BadName;
        } else if (remaining < 4) {
            error = PayloadError::SizeCut;
        } else {
            length = readLittleEndian32(data + position);
            if (length > remaining - 4) error = PayloadError::ContentCut;
        }
        if (error != PayloadError::None) {
            layout->error = error;
            layout->failedName = list[i];
            layout->end = position;
            return error;
        }
        PayloadRecord record;
        record.name = list[i];
        record.offset = position + 4;
        record.size = length;
        layout->records.push_back(record);
        position += 4 + static_cast<uint64_t>(length);
    }
    layout->end = position;
    return PayloadError::None;
}

}  // namespace jaunt
