#include "config.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boundedtext.h"
#include "configkeys.h"
#include "errors.h"
#include "log.h"
#include "pathtext.h"
#include "paths.h"
#include "wideapi.h"

namespace jaunt {

namespace {

ConfigTable& store() {
    static ConfigTable table;
    return table;
}

// The table is read in a few reads of a block each, not in three reads a record: every read is a
// system call. Reading past the table's end is harmless; the file position is set again before
// anything else is read.
struct BufferedFile {
    HANDLE file;
    unsigned char block[8192];
    DWORD filled = 0, used = 0;
};

bool readFromBuffer(void* context, void* buffer, uint32_t count, uint32_t* got) {
    BufferedFile& in = *static_cast<BufferedFile*>(context);
    unsigned char* out = static_cast<unsigned char*>(buffer);
    *got = 0;
    while (*got < count) {
        if (in.used == in.filled) {
            in.used = in.filled = 0;
            if (!ReadFile(in.file, in.block, sizeof(in.block), &in.filled, nullptr)) return false;
            if (in.filled == 0) return true;  // the end of the file: fewer bytes than asked for
        }
        DWORD step = in.filled - in.used;
        if (step > count - *got) step = count - *got;
        memcpy(out + *got, in.block + in.used, step);
        in.used += step;
        *got += step;
    }
    return true;
}

bool readIntAt(HANDLE file, uint32_t offset, uint32_t* value) {
    if (SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR)
        return false;
    unsigned char bytes[4];
    DWORD read = 0;
    if (!ReadFile(file, bytes, 4, &read, nullptr) || read < 4) return false;
    *value = readLittleEndian32(bytes);
    return true;
}

}  // namespace

void* openLauncherFile(const char* path) {
    return createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TableError loadConfigurationFile(const char* path, bool* opened) {
    HANDLE file = static_cast<HANDLE>(openLauncherFile(path));
    *opened = file != nullptr && file != INVALID_HANDLE_VALUE;
    if (!*opened) return TableError::None;

    TableError error = TableError::ReadInt;
    uint32_t sectionSize = 0, sectionPosition = 0;
    LARGE_INTEGER fileSize;
    if (GetFileSizeEx(file, &fileSize) && readIntAt(file, kLastSectionSizeOffset, &sectionSize) &&
        readIntAt(file, kLastSectionPositionOffset, &sectionPosition)) {
        uint32_t start = sectionSize + sectionPosition;  // a 32-bit sum, as the format defines it
        if (SetFilePointer(file, static_cast<LONG>(start), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
            GetLastError() == NO_ERROR) {
            // What was read before a failure stays, so that a report made for it already has the
            // caption of key 1000 when that record came first.
            store() = ConfigTable();
            static BufferedFile buffered;
            buffered.file = file;
            buffered.filled = buffered.used = 0;
            error = parseTable(ByteSource{&buffered, readFromBuffer}, start,
                               static_cast<uint64_t>(fileSize.QuadPart), &store());
        }
    }
    DWORD lastError = GetLastError();
    CloseHandle(file);
    SetLastError(lastError);
    return error;
}

void readConfiguration() {
    const char* path = modulePath();
    bool opened = false;
    TableError error = loadConfigurationFile(path, &opened);
    if (!opened) {
        logError("Could not open %s", path);
        failWithText("Error opening media file. Please move this file to an ascii-only path like c:\\");
    }
    if (error == TableError::ReadInt) {
        printf("error %lu\n", static_cast<unsigned long>(GetLastError()));
        fflush(stdout);
    }
    if (error != TableError::None) failWithText(tableErrorText(error));

    int32_t type = getConfigInt(KEY_EXECUTABLE_TYPE);
    if (type != 1 && type != 5) switchOffErrorDialogs();
}

void getConfigString(int32_t key, char* buffer, size_t size) {
    if (size == 0) return;
    auto found = store().narrow.find(key);
    if (found == store().narrow.end()) {
        buffer[0] = 0;
        return;
    }
    copyText(buffer, size, found->second.c_str());
}

int32_t getConfigInt(int32_t key) {
    char value[kTextSize];
    getConfigString(key, value, sizeof(value));
    return atoi(value);
}

uint32_t getConfigColor(int32_t key) {
    char value[kTextSize];
    getConfigString(key, value, sizeof(value));
    std::vector<std::string> fields = splitList(value, ',');
    uint32_t components[3] = {0, 0, 0};
    for (size_t i = 0; i < 3 && i < fields.size(); ++i)
        components[i] = static_cast<uint32_t>(atoi(fields[i].c_str())) & 0xFF;
    return components[0] | (components[1] << 8) | (components[2] << 16);
}

void getConfigWString(int32_t key, wchar_t* buffer, size_t size) {
    if (size == 0) return;
    auto found = store().wide.find(key);
    if (found == store().wide.end()) {
        buffer[0] = 0;
        return;
    }
    copyText(buffer, size, reinterpret_cast<const wchar_t*>(found->second.c_str()));
}

uint32_t getPayloadPosition() { return store().payloadPosition; }

}  // namespace jaunt
