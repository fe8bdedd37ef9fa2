// Feeds arbitrary bytes to the table parser as the rest of a launcher file.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "tableformat.h"

namespace {

struct Memory {
    const uint8_t* data;
    size_t size;
    size_t position;
};

bool readMemory(void* context, void* buffer, uint32_t count, uint32_t* got) {
    Memory* m = static_cast<Memory*>(context);
    size_t available = m->position < m->size ? m->size - m->position : 0;
    *got = static_cast<uint32_t>(count < available ? count : available);
    if (*got) std::memcpy(buffer, m->data + m->position, *got);
    m->position += *got;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Memory m{data, size, 0};
    jaunt::ConfigTable table;
    jaunt::TableError error = jaunt::parseTable(jaunt::ByteSource{&m, readMemory}, 0, size, &table);
    if (error == jaunt::TableError::None && table.payloadPosition > size) __builtin_trap();
    uint32_t offset = 0;
    jaunt::tableOffsetOf(data, size, &offset);
    return 0;
}
