// Preparing a JRE shipped with its largest archives in Pack200 form ("lib\rt.jar.pack", ...): before
// such a directory is tested, its own "bin\unpack200.exe" turns each packed archive back into its
// ".jar" and removes the packed file. A directory with "lib\jsse.jar" counts as prepared.
#pragma once

#include <cstddef>

namespace jaunt {

// Unpacks the archives of the JRE in directory when it is packed and not yet prepared. Ends the
// launcher (message 1009, code "20") when unpack200 cannot be started. Launchers that test the same
// directory at once take turns through a named lock, so the second finds it prepared and does not
// unpack again.
void prepareJre(const char* directory);

// Unpacks one archive (a name relative to the JRE directory, e.g. "lib\rt.jar") when its packed
// file exists.
void unpackJar(const char* directory, const char* archive);

// The name of that lock for a JRE directory: the same for every spelling of the directory's full
// path (case, trailing backslash, relative form), into buffer.
bool jreLockName(const char* directory, char* buffer, size_t size);

}  // namespace jaunt
