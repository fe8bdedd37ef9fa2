#include "runtimecache.h"

#include <windows.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "runtimepack.h"
#include "security.h"
#include "tempdir.h"
#include "jvmtext.h"
#include "wideapi.h"

namespace jaunt {

namespace {

constexpr char kMarkName[] = "jaunt-runtime.ok";
// How long a launcher waits for another one that unpacks the same runtime.
constexpr DWORD kLockWaitMs = 5 * 60 * 1000;
constexpr size_t kChunk = 1 << 20;
// Every unpacked file carries this last-write time (2000-01-01 00:00 UTC): a later start that finds
// a file of the right length but another time knows that something rewrote it.
constexpr uint64_t kFileStamp = 125911584000000000ull;

unsigned long lastError() { return static_cast<unsigned long>(GetLastError()); }

struct Pack {
    HANDLE file = INVALID_HANDLE_VALUE;
    uint64_t position = 0;  // of the pack in the launcher file
    uint64_t size = 0;
    std::string hash;
    std::string application;
    RuntimeIndex index;
};

// Stops the launcher at a named step of the unpacking, as if it were killed there: the tests use it
// to check that no such moment leaves a runtime that a later start would use.
void stopHereForTests(const char* step, unsigned count) {
    char wanted[64];
    if (environmentVariable("JAUNT_TEST_STOP_RUNTIME", wanted, sizeof(wanted)) == 0) return;
    char here[64];
    formatText(here, sizeof(here), count ? "%s:%u" : "%s", step, count);
    if (lstrcmpA(wanted, here) == 0) TerminateProcess(GetCurrentProcess(), 99);
}

bool readAt(HANDLE file, uint64_t position, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(position);
    DWORD got = 0;
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, buffer, size, &got, nullptr) &&
           got == size;
}

// The pack's location from key 2010 and its index from the launcher file; false (logged) when
// either is damaged.
bool readPack(Pack* pack) {
    char location[kTextSize];
    getConfigString(KEY_RUNTIME_PACK, location, sizeof(location));
    uint64_t offset = 0;
    if (!parseRuntimeLocation(location, &offset, &pack->size, &pack->hash)) {
        logError("Runtime location is damaged: %s", location);
        return false;
    }
    char application[kTextSize];
    getConfigString(KEY_RUNTIME_APPLICATION, application, sizeof(application));
    pack->application = application;
    pack->file = static_cast<HANDLE>(openLauncherFile(modulePath()));
    if (pack->file == nullptr || pack->file == INVALID_HANDLE_VALUE) {
        logError("Could not open %s: %lu", modulePath(), lastError());
        return false;
    }
    LARGE_INTEGER fileSize;
    pack->position = uint64_t(getPayloadPosition()) + offset;
    if (!GetFileSizeEx(pack->file, &fileSize) || pack->position > uint64_t(fileSize.QuadPart) ||
        pack->size > uint64_t(fileSize.QuadPart) - pack->position) {
        logError("The runtime lies outside the launcher file");
        return false;
    }
    unsigned char header[kRuntimePackHeaderSize];
    uint32_t indexSize = 0;
    RuntimePackError error = RuntimePackError::Cut;
    if (!readAt(pack->file, pack->position, header, sizeof(header)) ||
        !runtimePackIndexSize(header, sizeof(header), &indexSize, &error)) {
        logError("Runtime index: %s", runtimePackErrorText(error));
        return false;
    }
    std::vector<uint8_t> bytes(kRuntimePackHeaderSize + size_t(indexSize));
    if (!readAt(pack->file, pack->position, bytes.data(), static_cast<DWORD>(bytes.size()))) {
        logError("Runtime index: %s", runtimePackErrorText(RuntimePackError::Cut));
        return false;
    }
    error = parseRuntimeIndex(bytes.data(), bytes.size(), pack->size, &pack->index);
    if (error != RuntimePackError::None) {
        logError("Runtime index: %s", runtimePackErrorText(error));
        return false;
    }
    return true;
}

// "<base>\<name>" with the name's "/" as "\"; false when it does not fit.
bool entryPath(char* buffer, size_t size, const char* base, const std::string& name) {
    if (!formatText(buffer, size, "%s\\%s", base, name.c_str())) return false;
    for (char* p = buffer + textLength(base); *p; ++p)
        if (*p == '/') *p = '\\';
    return true;
}

bool isDirectory(const char* path) {
    DWORD attributes = fileAttributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Removes a tree of plain files and directories. A reparse point inside is removed itself, never
// followed: nothing outside the tree is touched.
void removeTree(const char* path) {
    DWORD attributes = fileAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        setFileAttributes(path, FILE_ATTRIBUTE_NORMAL);
        deleteFile(path);
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        char pattern[kTextSize];
        FoundFile found;
        HANDLE search = formatText(pattern, sizeof(pattern), "%s\\*", path)
                            ? findFirstFile(pattern, &found)
                            : INVALID_HANDLE_VALUE;
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if (lstrcmpA(found.name, ".") == 0 || lstrcmpA(found.name, "..") == 0) continue;
                char child[kTextSize];
                if (formatText(child, sizeof(child), "%s\\%s", path, found.name)) removeTree(child);
            } while (findNextFile(search, &found));
            FindClose(search);
        }
    }
    removeDirectory(path);
}

// The lock of one runtime folder: a file beside it, opened by one launcher at a time and gone
// when that launcher closes it or ends.
HANDLE tryLock(const char* root, const std::string& hash) {
    char path[kTextSize];
    if (!formatText(path, sizeof(path), "%s\\%s.lock", root, hash.c_str())) return INVALID_HANDLE_VALUE;
    return createFile(path, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

HANDLE takeLock(const char* root, const std::string& hash) {
    DWORD start = GetTickCount();
    for (bool logged = false;;) {
        HANDLE lock = tryLock(root, hash);
        if (lock != INVALID_HANDLE_VALUE) return lock;
        DWORD error = GetLastError();
        // Held by another launcher (or being deleted as it lets go): wait.
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) {
            logError("Could not lock the runtime in %s: %lu", root, static_cast<unsigned long>(error));
            return INVALID_HANDLE_VALUE;
        }
        if (!logged) logInfo("Waiting for another launcher that prepares the runtime");
        logged = true;
        if (GetTickCount() - start > kLockWaitMs) {
            logError("Waiting for the runtime in %s took too long", root);
            return INVALID_HANDLE_VALUE;
        }
        Sleep(20);
    }
}

// Opens the completion mark of a runtime folder the way a launcher that uses it holds it: others
// may read it, none may change or delete it (or rename the folder's files from under it).
HANDLE openMarkForUse(const char* folder) {
    char mark[kTextSize];
    if (!formatText(mark, sizeof(mark), "%s\\%s", folder, kMarkName)) return INVALID_HANDLE_VALUE;
    return createFile(mark, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string readSmallFile(HANDLE file) {
    char text[4096];
    DWORD got = 0;
    if (!ReadFile(file, text, sizeof(text), &got, nullptr)) return std::string();
    return std::string(text, got);
}

// A complete runtime: its mark says it is this pack's, and every file and directory of the index
// is there, each file with its length and the unpacking's time stamp. Returns the held mark, or
// INVALID_HANDLE_VALUE (why is logged).
HANDLE openCompleteRuntime(const char* folder, const Pack& pack) {
    HANDLE mark = openMarkForUse(folder);
    if (mark == INVALID_HANDLE_VALUE) {
        if (isDirectory(folder)) logInfo("Runtime in %s is not complete", folder);
        return INVALID_HANDLE_VALUE;
    }
    if (readSmallFile(mark) != runtimeMarkText(pack.hash, pack.application, pack.index)) {
        logError("Runtime in %s has a foreign or damaged mark", folder);
        CloseHandle(mark);
        return INVALID_HANDLE_VALUE;
    }
    for (const RuntimeEntry& entry : pack.index.entries) {
        char path[kTextSize];
        WIN32_FILE_ATTRIBUTE_DATA data;
        bool directory = entry.kind == RuntimeEntryKind::Directory;
        bool sound = entryPath(path, sizeof(path), folder, entry.name) &&
                     fileAttributeData(path, &data) &&
                     ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == directory;
        if (sound && !directory) {
            uint64_t size = (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            uint64_t written = (uint64_t(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
            sound = size == entry.size && written == kFileStamp;
        }
        if (!sound) {
            logError("Runtime file %s is missing or was changed", path);
            CloseHandle(mark);
            return INVALID_HANDLE_VALUE;
        }
    }
    return mark;
}

bool makeParents(const char* base, const char* path) {
    char parent[kTextSize];
    if (!copyText(parent, sizeof(parent), path)) return false;
    for (char* p = parent + textLength(base) + 1; *p; ++p) {
        if (*p != '\\') continue;
        *p = 0;
        if (!createDirectory(parent, nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
        *p = '\\';
    }
    return true;
}

// Writes one file of the pack, inflating it and checking its length and CRC-32 on the way.
bool unpackFile(HANDLE source, const Pack& pack, const RuntimeEntry& entry, const char* path,
                std::vector<uint8_t>& in, std::vector<uint8_t>& out) {
    HANDLE target = createFile(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (target == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) failed: %lu", path, lastError());
        return false;
    }
    bool deflated = entry.kind == RuntimeEntryKind::Deflated;
    z_stream stream = {};
    bool ok = !deflated || inflateInit(&stream) == Z_OK;
    uint64_t readSoFar = 0, written = 0;
    uint32_t crc = 0;
    int status = deflated ? Z_OK : Z_STREAM_END;
    auto write = [&](const uint8_t* bytes, size_t count) {
        crc = runtimeCrc32(crc, bytes, count);
        written += count;
        DWORD done = 0;
        if (!WriteFile(target, bytes, static_cast<DWORD>(count), &done, nullptr) || done != count) {
            logError("WriteFile(%s) failed: %lu", path, lastError());
            return false;
        }
        return true;
    };
    while (ok && readSoFar < entry.storedSize) {
        DWORD chunk = static_cast<DWORD>(std::min<uint64_t>(in.size(), entry.storedSize - readSoFar));
        if (!readAt(source, pack.position + entry.offset + readSoFar, in.data(), chunk)) {
            logError("ReadFile failed");
            ok = false;
            break;
        }
        readSoFar += chunk;
        if (!deflated) {
            ok = write(in.data(), chunk);
            continue;
        }
        stream.next_in = in.data();
        stream.avail_in = chunk;
        while (ok && stream.avail_in > 0 && status != Z_STREAM_END) {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            status = inflate(&stream, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) ok = false;
            size_t produced = out.size() - stream.avail_out;
            if (ok && produced) ok = write(out.data(), produced);
        }
        if (ok && status == Z_STREAM_END && (stream.avail_in > 0 || readSoFar < entry.storedSize)) ok = false;
    }
    if (deflated) inflateEnd(&stream);
    if (ok && (status != Z_STREAM_END || written != entry.size || crc != entry.crc)) {
        logError("Runtime file %s does not match its index (the launcher file is damaged)", entry.name.c_str());
        ok = false;
    }
    FILETIME stamp;
    stamp.dwLowDateTime = static_cast<DWORD>(kFileStamp);
    stamp.dwHighDateTime = static_cast<DWORD>(kFileStamp >> 32);
    if (ok && !SetFileTime(target, nullptr, nullptr, &stamp)) {
        logError("SetFileTime(%s) failed: %lu", path, lastError());
        ok = false;
    }
    CloseHandle(target);
    return ok;
}

// The files of a pack, unpacked by two threads side by side: each takes the next file, reading
// through a handle of its own.
struct Unpacking {
    const char* folder;
    const Pack* pack;
    volatile LONG next = 0;
    volatile LONG done = 0;
    volatile LONG failed = 0;
};

DWORD WINAPI unpackFiles(void* context) {
    Unpacking* work = static_cast<Unpacking*>(context);
    HANDLE source = static_cast<HANDLE>(openLauncherFile(modulePath()));
    if (source == nullptr || source == INVALID_HANDLE_VALUE) {
        logError("Could not open %s: %lu", modulePath(), lastError());
        InterlockedExchange(&work->failed, 1);
        return 0;
    }
    std::vector<uint8_t> in(kChunk), out(kChunk);
    const std::vector<RuntimeEntry>& entries = work->pack->index.entries;
    for (;;) {
        LONG i = InterlockedIncrement(&work->next) - 1;
        if (i >= static_cast<LONG>(entries.size()) || work->failed) break;
        const RuntimeEntry& entry = entries[static_cast<size_t>(i)];
        if (entry.kind == RuntimeEntryKind::Directory) continue;
        char path[kTextSize];
        if (!entryPath(path, sizeof(path), work->folder, entry.name) ||
            !unpackFile(source, *work->pack, entry, path, in, out)) {
            InterlockedExchange(&work->failed, 1);
            break;
        }
        stopHereForTests("files", static_cast<unsigned>(InterlockedIncrement(&work->done)));
    }
    CloseHandle(source);
    return 0;
}

// Unpacks the whole pack into the new folder: its folders first, then its files; false (logged)
// on the first failure.
bool unpackInto(const char* folder, const Pack& pack) {
    for (const RuntimeEntry& entry : pack.index.entries) {
        char path[kTextSize];
        if (!entryPath(path, sizeof(path), folder, entry.name)) {
            logError("Runtime path too long: %s\\%s", folder, entry.name.c_str());
            return false;
        }
        if (!makeParents(folder, path) ||
            (entry.kind == RuntimeEntryKind::Directory && !createDirectory(path, nullptr) &&
             GetLastError() != ERROR_ALREADY_EXISTS)) {
            logError("CreateDirectoryA for %s failed: %lu", path, lastError());
            return false;
        }
    }
    Unpacking work;
    work.folder = folder;
    work.pack = &pack;
    HANDLE helper = CreateThread(nullptr, 0, unpackFiles, &work, 0, nullptr);
    unpackFiles(&work);
    if (helper != nullptr) {
        WaitForSingleObject(helper, INFINITE);
        CloseHandle(helper);
    }
    return work.failed == 0;
}

// Writes the completion mark under a temporary name and renames it into place: a mark exists
// only whole.
bool writeMark(const char* folder, const Pack& pack) {
    char temporary[kTextSize], mark[kTextSize];
    if (!formatText(temporary, sizeof(temporary), "%s\\%s.new", folder, kMarkName) ||
        !formatText(mark, sizeof(mark), "%s\\%s", folder, kMarkName))
        return false;
    std::string text = runtimeMarkText(pack.hash, pack.application, pack.index);
    HANDLE file = createFile(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    bool ok = file != INVALID_HANDLE_VALUE &&
              WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
              written == text.size() && FlushFileBuffers(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok || !moveFile(temporary, mark, MOVEFILE_WRITE_THROUGH)) {
        logError("Writing the runtime's mark in %s failed: %lu", folder, lastError());
        return false;
    }
    return true;
}

// Whether a process with this id runs (a process that cannot be opened but exists counts).
bool processRuns(unsigned long id) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
    bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

bool isHashName(const char* name) {
    size_t length = textLength(name);
    if (length != kRuntimeHashDigits) return false;
    for (size_t i = 0; i < length; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
    return true;
}

// Removes what earlier launchers left in the cache: folders being unpacked by launchers that no
// longer run, folders half removed, and complete runtimes of this application other than its own
// that no launcher uses (their mark cannot be opened for deletion while one holds it).
void removeLeftovers(const char* root, const Pack& pack) {
    char pattern[kTextSize];
    FoundFile found;
    HANDLE search = formatText(pattern, sizeof(pattern), "%s\\*", root) ? findFirstFile(pattern, &found)
                                                                          : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) return;
    std::vector<std::string> names;
    do
        if ((found.attributes & FILE_ATTRIBUTE_DIRECTORY) && found.name[0] != '.')
            names.push_back(found.name);
    while (findNextFile(search, &found));
    FindClose(search);

    for (const std::string& name : names) {
        char folder[kTextSize];
        if (!formatText(folder, sizeof(folder), "%s\\%s", root, name.c_str())) continue;
        const char* partial = std::strstr(name.c_str(), ".partial-");
        if (partial != nullptr) {
            if (!processRuns(std::strtoul(partial + 9, nullptr, 10))) {
                logInfo("Removing %s, left by a launcher that ended", folder);
                removeTree(folder);
            }
            continue;
        }
        if (std::strstr(name.c_str(), ".removing-") != nullptr) {
            removeTree(folder);
            continue;
        }
        if (!isHashName(name.c_str()) || name == pack.hash) continue;
        char markPath[kTextSize];
        if (!formatText(markPath, sizeof(markPath), "%s\\%s", folder, kMarkName)) continue;
        HANDLE lock = tryLock(root, name);
        if (lock == INVALID_HANDLE_VALUE) continue;  // being prepared or checked: in use
        HANDLE mark = createFile(markPath, GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        bool ours = false;
        if (mark != INVALID_HANDLE_VALUE) {
            std::string text = readSmallFile(mark);
            std::string wanted = "\r\napplication " + pack.application + "\r\n";
            ours = !pack.application.empty() && text.find(wanted) != std::string::npos;
        } else if (GetLastError() == ERROR_SHARING_VIOLATION) {
            logInfo("Runtime %s is in use, kept", folder);
        }
        if (ours) {
            // No launcher holds it, and none can take it up while this one holds its lock. Renamed
            // first, so that no launcher takes a half-removed folder for a runtime.
            CloseHandle(mark);
            mark = INVALID_HANDLE_VALUE;
            char removing[kTextSize];
            if (formatText(removing, sizeof(removing), "%s.removing-%lu", folder,
                           static_cast<unsigned long>(GetCurrentProcessId())) &&
                moveFile(folder, removing, 0)) {
                logInfo("Removing the earlier runtime %s", folder);
                removeTree(removing);
            } else {
                logError("Could not remove the earlier runtime %s: %lu", folder, lastError());
            }
        }
        if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
        CloseHandle(lock);
    }
}

enum class Outcome { Reused, Unpacked, Failed };

// Makes the runtime ready in root\<hash> and holds its mark; under the runtime's lock.
Outcome prepareIn(const char* root, const Pack& pack, char* folder, size_t size, HANDLE* held) {
    if (!formatText(folder, size, "%s\\%s", root, pack.hash.c_str())) return Outcome::Failed;
    // Checked under the lock too, so that a launcher that removes an earlier runtime (under its
    // lock) never sees a user appear between its check and the removal.
    HANDLE lock = takeLock(root, pack.hash);
    if (lock == INVALID_HANDLE_VALUE) return Outcome::Failed;
    *held = openCompleteRuntime(folder, pack);
    if (*held != INVALID_HANDLE_VALUE) {
        CloseHandle(lock);
        return Outcome::Reused;
    }
    // Nothing else unpacks this runtime now: what is there of it is left over.
    removeTree(folder);
    char temporary[kTextSize];
    bool ok = formatText(temporary, sizeof(temporary), "%s.partial-%lu-%08lx", folder,
                         static_cast<unsigned long>(GetCurrentProcessId()), static_cast<unsigned long>(randomNumber())) &&
              createPrivateDirectory(temporary);
    if (!ok) logError("Could not create %s: %lu", temporary, lastError());
    ok = ok && unpackInto(temporary, pack);
    if (ok && !moveFile(temporary, folder, 0)) {
        logError("MoveFileExA(%s, %s) failed: %lu", temporary, folder, lastError());
        ok = false;
    }
    if (!ok) {
        removeTree(temporary);
        CloseHandle(lock);
        return Outcome::Failed;
    }
    stopHereForTests("renamed", 0);
    ok = writeMark(folder, pack);
    *held = ok ? openMarkForUse(folder) : INVALID_HANDLE_VALUE;
    if (*held == INVALID_HANDLE_VALUE) {
        removeTree(folder);
        ok = false;
    }
    CloseHandle(lock);
    return ok ? Outcome::Unpacked : Outcome::Failed;
}

}  // namespace

bool carriesRuntime() {
    char location[16];
    getConfigString(KEY_RUNTIME_PACK, location, sizeof(location));
    return location[0] != 0;
}

void prepareCarriedRuntime(char* home, size_t size) {
    DWORD start = GetTickCount();
    Pack pack;
    bool readable = readPack(&pack);
    char roots[2][kTextSize];
    roots[0][0] = roots[1][0] = 0;
    char base[kTextSize];
    DWORD length = environmentVariable("LOCALAPPDATA", base, sizeof(base));
    if (length > 0 && length < sizeof(base)) formatText(roots[0], sizeof(roots[0]), "%s\\Jaunt\\runtimes", base);
    tempDirectory(base, sizeof(base));
    length = static_cast<DWORD>(textLength(base));
    while (length > 0 && base[length - 1] == '\\') base[--length] = 0;
    formatText(roots[1], sizeof(roots[1]), "%s\\Jaunt\\runtimes", base);

    for (int i = 0; readable && i < 2; ++i) {
        const char* root = roots[i];
        if (root[0] == 0) continue;
        if (!createPrivateDirectories(root)) {
            logError("Runtime cache %s cannot be written: %lu", root, lastError());
            continue;
        }
        // The JVM finds its own files through the path of its library, in the system's code page.
        std::string readable;
        if (!jvmReadablePath(root, &readable)) {
            logInfo("Runtime cache %s is not a path Java can read", root);
            continue;
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        Outcome outcome = prepareIn(root, pack, home, size, &held);
        if (outcome == Outcome::Failed) {
            logError("The runtime could not be prepared in %s", root);
            continue;
        }
        // The held mark stays open until the process ends: the runtime is in use.
        logInfo("Runtime %s %s in %lu ms", home, outcome == Outcome::Reused ? "reused, checked" : "unpacked",
                static_cast<unsigned long>(GetTickCount() - start));
        removeLeftovers(root, pack);
        CloseHandle(pack.file);
        return;
    }
    if (pack.file != INVALID_HANDLE_VALUE && pack.file != nullptr) CloseHandle(pack.file);
    failWithMessage(MSG_RUNTIME_FAILED, "%DEFINED_PATH%", roots[0][0] ? roots[0] : roots[1]);
}

}  // namespace jaunt
