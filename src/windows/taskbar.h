// The application's identity on the taskbar: the AppUserModelID of key 109, set for the launcher's
// process before any window appears, so that the application's windows group under the launcher's
// icon and a pinned launcher starts the application (not the Java runtime it runs in).
#pragma once

namespace jaunt {

// Sets key 109 as the process's explicit AppUserModelID; nothing when the key is empty. The
// function exists from Windows 7 on: on older systems the launcher logs that and goes on.
void setTaskbarIdentity();

}  // namespace jaunt
