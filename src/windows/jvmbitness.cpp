#include "jvmbitness.h"

#include <windows.h>

#include <string>
#include <vector>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "javaversion.h"
#include "log.h"
#include "paths.h"
#include "pemachine.h"
#include "wideapi.h"

namespace jaunt {

namespace {

char skippedJava[kTextSize];
int skippedBits = 0;

uint16_t ownMachine() { return sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386; }

// The machine of the image at path; false when it cannot be read or has no image header.
bool imageMachine(const char* path, uint16_t* machine) {
    HANDLE file = createFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        logError("CreateFileA(%s) failed: %lu", path, static_cast<unsigned long>(GetLastError()));
        return false;
    }
    unsigned char head[kImageHeadSize];
    DWORD got = 0;
    bool read = ReadFile(file, head, sizeof(head), &got, nullptr) != 0;
    CloseHandle(file);
    return read && readImageMachine(head, got, machine);
}

}  // namespace

int ownBitness() { return static_cast<int>(sizeof(void*) * 8); }

bool hasJvmOfOwnBitness(const char* javaExe) {
    char preferred[kTextSize];
    getConfigString(KEY_PREFERRED_VM_TYPE, preferred, sizeof(preferred));
    std::string otherLibrary;
    int otherBits = 0;
    for (const std::string& library : jvmLibraryCandidates(javaExe, preferred)) {
        if (!pathExists(library.c_str())) continue;
        uint16_t machine = 0;
        int bits = imageMachine(library.c_str(), &machine) ? machineBitness(machine) : 0;
        if (bits == 0 || machine == ownMachine()) return true;
        if (otherLibrary.empty()) {
            otherLibrary = library;
            otherBits = bits;
        }
    }
    if (otherLibrary.empty()) return true;
    logInfo("Skipping %s: its JVM library %s is %d-bit, this program is %d-bit", javaExe, otherLibrary.c_str(),
            otherBits, ownBitness());
    if (skippedBits == 0) {
        copyText(skippedJava, sizeof(skippedJava), javaExe);
        skippedBits = otherBits;
    }
    return false;
}

void clearSkippedBitness() {
    skippedJava[0] = 0;
    skippedBits = 0;
}

bool skippedBitnessNote(char* line, size_t capacity) {
    if (capacity > 0) line[0] = 0;
    if (skippedBits == 0) return false;
    formatText(line, capacity, "A %d-bit Java was found (%s), but this program needs a %d-bit Java.", skippedBits,
               skippedJava, ownBitness());
    return true;
}

}  // namespace jaunt
