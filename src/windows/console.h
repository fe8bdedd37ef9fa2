// The console of a GUI launcher (key 110 = "attach"): started from a console (cmd, PowerShell,
// Windows Terminal), the launcher attaches to its parent's console and points the standard output
// and error that were not given to it at that console, before the JVM is loaded, so that Java's
// System.out and System.err (which take the process's standard handles when the JVM starts) and
// the JVM's own messages appear there. Started from Explorer there is no parent console: nothing
// changes and no console window appears.
#pragma once

namespace jaunt {

// Does the attaching when key 110 is "attach" and the process has no console of its own. Standard
// output and error that the parent redirected (a pipe, a file, NUL) are kept as they are; when
// both go to a pipe or a file, nothing is attached.
void attachParentConsole();

}  // namespace jaunt
