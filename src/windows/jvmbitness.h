// Whether a Java installation's JVM library can be loaded by this program at all: a 32-bit launcher
// cannot load a 64-bit jvm.dll, nor a 64-bit launcher a 32-bit one. Such an installation is skipped
// like any other unusable candidate, and the first one skipped is remembered so that the "no JVM"
// message can tell the user which Java was found and which one to install.
#pragma once

#include <cstddef>

namespace jaunt {

// The bitness of this program: 32 or 64.
int ownBitness();

// Reads the machine of the JVM libraries that loading would try for javaExe (key 152 and the
// VM-type directories, then the JDK's embedded JRE). False only when every one of them that exists
// is built for the other bitness: the skip is logged and remembered. An executable without any
// library, or with one whose header is unreadable or of an unknown machine, passes (loading then
// decides, as before).
bool hasJvmOfOwnBitness(const char* javaExe);

// Forgets the remembered skip (at the start of a search).
void clearSkippedBitness();

// The line the "no JVM" message adds after a skip, e.g. "A 64-bit Java was found
// (c:\jdk\bin\java.exe), but this program needs a 32-bit Java.". False when nothing was skipped.
bool skippedBitnessNote(char* line, size_t capacity);

}  // namespace jaunt
