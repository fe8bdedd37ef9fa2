// The application's own Java runtime, carried packed in the launcher (key 2010): unpacked once into
// a per-user cache folder named by the pack's content hash, then used as it is by every later
// start. The folder is written as a private temporary sibling, checked, renamed into place, and
// marked complete last, so that a launcher ended at any moment leaves nothing a later start would
// use; one lock per hash lets concurrent first starts unpack once. A launcher holds its runtime's
// completion mark open while it runs, which is how others tell that the runtime is in use.
#pragma once

#include <cstddef>

namespace jaunt {

// True when the launcher carries a runtime.
bool carriesRuntime();

// Makes the carried runtime ready and puts its home directory (no trailing backslash) into home.
// The cache lies under %LOCALAPPDATA%\Jaunt\runtimes, or, when that cannot be written, under the
// launcher's temporary directory in Jaunt\runtimes. Cached runtimes of earlier versions of the same
// application that no launcher uses are removed. Ends the process with message 1015 when the
// runtime cannot be made ready anywhere.
void prepareCarriedRuntime(char* home, size_t size);

}  // namespace jaunt
