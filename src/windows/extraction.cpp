#include "extraction.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "pathtext.h"
#include "payloadformat.h"
#include "security.h"
#include "tableformat.h"
#include "tempdir.h"
#include "wideapi.h"

namespace jaunt {

namespace {

constexpr char kOpenFailure[] = "Error opening media file. Please move this file to an ascii-only path like c:\\";

char extractionDirectoryText[kTextSize];

std::vector<HANDLE>& heldFiles() {
    static std::vector<HANDLE> handles;
    return handles;
}

[[noreturn]] void failInternal(const char* code) { failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", code); }

// The record's size header, read like every integer of the launcher file: a short read ends the
// process with the table reader's report.
uint32_t readRecordSize(HANDLE file) {
    unsigned char bytes[4];
    DWORD read = 0;
    if (!ReadFile(file, bytes, sizeof(bytes), &read, nullptr) || read < sizeof(bytes)) {
        printf("error %lu\n", static_cast<unsigned long>(GetLastError()));
        fflush(stdout);
        failWithText(tableErrorText(TableError::ReadInt));
    }
    return readLittleEndian32(bytes);
}

// A read handle that lets others read the file but not change or delete it: a later run's cleanup
// cannot open it exclusively and keeps it listed while this process lives.
void holdExtractedFile(const char* path) {
    HANDLE held = createFile(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) for reading failed: %lu", path, static_cast<unsigned long>(GetLastError()));
        return;
    }
    heldFiles().push_back(held);
}

std::vector<std::string>& extractedFileList() {
    static std::vector<std::string> files;
    return files;
}

// A new directory "<temporary file name>_dir<random number>", open to the current user only. The
// temporary file reserves its name until the directory exists; the number comes from the system's
// cryptographic generator, so another account cannot guess the name and prepare it. A name that
// exists already was not made by this run and is never used: another number is drawn.
void makeExtractionDirectory(char* directory, size_t size) {
    char reserved[kTextSize];
    if (!tempFileName(reserved, sizeof(reserved))) failInternal("7");
    bool made = false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!formatText(directory, size, "%s_dir%lu", reserved, static_cast<unsigned long>(randomNumber()))) break;
        logInfo("Temp dir: %s", directory);
        made = createPrivateDirectory(directory);
        DWORD error = GetLastError();
        if (made) break;
        logError("CreateDirectoryA(%s) failed: %lu", directory, static_cast<unsigned long>(error));
        if (error != ERROR_ALREADY_EXISTS) break;
    }
    deleteFile(reserved);
    if (!made) failInternal("7");
}

}  // namespace

const char* extractionDirectory() { return extractionDirectoryText; }

const std::vector<std::string>& extractedFiles() { return extractedFileList(); }

bool extractIncludedFiles() {
    return extractIncludedFilesFrom(modulePath(), extractionDirectoryText, sizeof(extractionDirectoryText));
}

bool extractIncludedFilesFrom(const char* launcherFile, char* directory, size_t size) {
    logInfo("extracting files");
    int32_t count = getConfigInt(KEY_FILE_COUNT);
    logInfo("Included files: %d", count);
    if (size > 0) directory[0] = 0;
    extractedFileList().clear();
    if (count <= 0) return true;

    HANDLE file = static_cast<HANDLE>(openLauncherFile(launcherFile));
    if (file == nullptr || file == INVALID_HANDLE_VALUE) {
        logError("Could not open %s", launcherFile);
        failWithText(kOpenFailure);
    }
    LARGE_INTEGER position;
    position.QuadPart = getPayloadPosition();
    if (!SetFilePointerEx(file, position, nullptr, FILE_BEGIN)) {
        logError("SetFilePointerEx failed: %lu", static_cast<unsigned long>(GetLastError()));
        CloseHandle(file);
        return false;
    }

    makeExtractionDirectory(directory, size);
    // Registered at once, so that a run that fails while extracting still has it removed later.
    addPendingDirectory(directory);

    char names[kTextSize];
    getConfigString(KEY_FILE_NAMES, names, sizeof(names));
    int32_t extracted = 0;
    for (const std::string& name : splitList(names, ';')) {
        if (extracted >= count) break;
        char destination[kTextSize];
        if (!extractionTarget(destination, sizeof(destination), directory, name.c_str())) {
            // A directory part would need a subdirectory nobody creates, or lead out of this one.
            logError("Not a plain file name: %s", name.c_str());
            failInternal("11");
        }
        addPendingFile(destination);
        if (!extractOneFile(file, destination)) {
            logError("Failed to extract %s", destination);
            CloseHandle(file);
            return false;
        }
        ++extracted;
    }
    CloseHandle(file);
    logInfo("extracting files done");
    return true;
}

bool extractOneFile(void* file, const char* destination) {
    uint32_t size = readRecordSize(static_cast<HANDLE>(file));
    logInfo("extracting %s (size: %lu)", destination, static_cast<unsigned long>(size));
    if (size == 0) return true;
    HANDLE out = createFile(destination, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) failed: %lu", destination, static_cast<unsigned long>(GetLastError()));
        failInternal("11");
    }
    bool copied = copyBlock(file, out, size, true);
    CloseHandle(out);
    if (copied) {
        holdExtractedFile(destination);
        extractedFileList().push_back(destination);
    }
    return copied;
}

namespace {

// Included files are copied in blocks of up to 1 MB: every read and write is a system call (under
// Wine a round trip more), so few large blocks copy as fast as the system's own file copy. When that
// much memory cannot be had, a small block on the stack still does the job.
constexpr DWORD kCopyBlockSize = 1024 * 1024;
constexpr DWORD kFallbackBlockSize = 8192;

// copyBlock's loop, through a buffer of blockSize bytes.
bool copyBlocks(HANDLE source, HANDLE destination, uint32_t count, bool unscramble, unsigned char* buffer,
                DWORD blockSize) {
    uint32_t copied = 0;
    while (copied < count) {
        DWORD wanted = count - copied < blockSize ? count - copied : blockSize;
        DWORD read = 0;
        if (!ReadFile(source, buffer, wanted, &read, nullptr) || read == 0) {
            logError("ReadFile failed");
            return false;
        }
        if (unscramble) scramblePayload(buffer, read);
        DWORD written = 0;
        while (written < read) {
            DWORD step = 0;
            // A write that reports success without progress would repeat for ever: a failure too.
            if (!WriteFile(destination, buffer + written, read - written, &step, nullptr) || step == 0) {
                logError("WriteFile failed");
                failInternal("13");
            }
            written += step;
        }
        copied += read;
    }
    return true;
}

}  // namespace

bool copyBlock(void* source, void* destination, uint32_t count, bool unscramble) {
    unsigned char fallback[kFallbackBlockSize];
    DWORD blockSize = count < kCopyBlockSize ? count : kCopyBlockSize;
    unsigned char* buffer = nullptr;
    if (blockSize > kFallbackBlockSize) {
        void* block = VirtualAlloc(nullptr, blockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (block == nullptr)
            logError("VirtualAlloc(%lu) failed: %lu", static_cast<unsigned long>(blockSize),
                     static_cast<unsigned long>(GetLastError()));
        buffer = static_cast<unsigned char*>(block);
    }
    if (buffer == nullptr) {
        buffer = fallback;
        blockSize = kFallbackBlockSize;
    }
    bool copied = copyBlocks(static_cast<HANDLE>(source), static_cast<HANDLE>(destination), count, unscramble,
                             buffer, blockSize);
    if (buffer != fallback) VirtualFree(buffer, 0, MEM_RELEASE);
    return copied;
}

void releaseExtractedFiles() {
    for (HANDLE held : heldFiles()) CloseHandle(held);
    heldFiles().clear();
}

}  // namespace jaunt
