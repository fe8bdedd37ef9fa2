// Feeds arbitrary bytes to the payload parser: the first byte is key 2002 (as a signed number), the
// second the length of the text of key 2003 that follows, the rest is the payload.
#include <cstddef>
#include <cstdint>
#include <string>

#include "boundedtext.h"
#include "payloadformat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    int32_t count = static_cast<int8_t>(data[0]);
    size_t namesLength = data[1];
    if (namesLength > size - 2) namesLength = size - 2;
    std::string names(reinterpret_cast<const char*>(data + 2), namesLength);
    const unsigned char* payload = data + 2 + namesLength;
    size_t payloadSize = size - 2 - namesLength;

    jaunt::PayloadLayout layout;
    jaunt::PayloadError error = jaunt::parsePayload(payload, payloadSize, count, names, &layout);
    if (error != jaunt::PayloadError::None && layout.failedName.empty()) __builtin_trap();
    if (count <= 0 && !layout.records.empty()) __builtin_trap();
    if (count > 0 && layout.records.size() > static_cast<size_t>(count)) __builtin_trap();
    if (layout.records.size() > layout.namesListed || layout.end > payloadSize) __builtin_trap();
    uint64_t expected = 4;
    for (const jaunt::PayloadRecord& record : layout.records) {
        // Records lie back to back and inside the payload; their names are safe to create.
        if (record.offset != expected || record.offset + record.size > payloadSize) __builtin_trap();
        if (!jaunt::isPlainFileName(record.name.c_str())) __builtin_trap();
        expected = record.offset + record.size + 4;
        char target[64];
        if (jaunt::extractionTarget(target, sizeof(target), "C:\\t", record.name.c_str()) &&
            std::string(target) != "C:\\t\\" + record.name)
            __builtin_trap();
    }
    return 0;
}
