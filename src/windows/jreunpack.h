// Preparing a JRE shipped with its largest archives in Pack200 form ("lib\rt.jar.pack", ...): before
// such a directory is tested, its own "bin\unpack200.exe" turns each packed archive back into its
// ".jar" and removes the packed file once the archive is written. A directory counts as prepared
// when no packed file of the six archives is left.
#pragma once

#include <cstddef>

namespace jaunt {

// Unpacks every archive of the JRE in directory whose packed file is still there. Launchers that
// test the same directory at once take turns through a named lock, so the second finds it prepared
// and does not unpack again. Ends the launcher with message 1009 when unpack200 cannot be started
// (code "20") or does not end within the bound (code "21", the tool is stopped), and when the lock
// is not had within the bound while packed files are left (code "22"): a half-prepared JRE is never
// tested, and the next start prepares what was left.
void prepareJre(const char* directory);

// Unpacks one archive (a name relative to the JRE directory, e.g. "lib\rt.jar") when its packed
// file exists.
void unpackJar(const char* directory, const char* archive);

// The bound of one unpack200 run and of the wait for the lock: 5 minutes; tests shorten it.
void setPreparationBound(unsigned long milliseconds);

// The name of that lock for a JRE directory: the same for every spelling of the directory's full
// path (case, trailing backslash, relative form), into buffer.
bool jreLockName(const char* directory, char* buffer, size_t size);

}  // namespace jaunt
