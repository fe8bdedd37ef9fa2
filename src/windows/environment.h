// The environment stage: loads the configuration, remembers the module handle and the flavour
// letter, puts the configured directories in front of PATH and changes to the working directory.
#pragma once

namespace jaunt {

void initEnvironment(void* moduleHandle);

void* launcherModuleHandle();
// 'e' for a launcher of the launcher build tool, 'i' for one of the installer build tool.
char flavourLetter();
bool isWindowsNT();

// The two environment steps, on their own for tests: the configured list of directories
// (';'-separated, relative to the launcher's directory) goes in front of PATH in the process
// environment and in the C runtime's copy; the configured working directory becomes current.
void prependToPath(const char* directories);
void changeWorkingDirectory(const char* directory);

}  // namespace jaunt
