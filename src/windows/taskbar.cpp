#include "taskbar.h"

#include <windows.h>

#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "log.h"

namespace jaunt {

void setTaskbarIdentity() {
    char id[kTextSize];
    getConfigString(KEY_APP_USER_MODEL_ID, id, sizeof(id));
    if (id[0] == 0) return;
    // jaunt allows ASCII only here, which every ANSI code page reads alike.
    wchar_t wide[kTextSize];
    if (MultiByteToWideChar(CP_UTF8, 0, id, -1, wide, static_cast<int>(kTextSize)) == 0) {
        logError("AppUserModelID %s cannot be converted: %lu", id, static_cast<unsigned long>(GetLastError()));
        return;
    }
    typedef HRESULT(WINAPI * SetIdRoutine)(PCWSTR);
    HMODULE shell = GetModuleHandleA("SHELL32");
    if (shell == nullptr) shell = LoadLibraryA("SHELL32.DLL");
    SetIdRoutine setId =
        shell ? reinterpret_cast<SetIdRoutine>(
                    reinterpret_cast<void*>(GetProcAddress(shell, "SetCurrentProcessExplicitAppUserModelID")))
              : nullptr;
    if (setId == nullptr) {
        logInfo("SetCurrentProcessExplicitAppUserModelID is not available (Windows 7 and later): "
                "the taskbar groups the application by its executable");
        return;
    }
    HRESULT result = setId(wide);
    if (FAILED(result))
        logError("SetCurrentProcessExplicitAppUserModelID(%s) failed: 0x%08lx", id, static_cast<unsigned long>(result));
    else
        logInfo("AppUserModelID %s", id);
}

}  // namespace jaunt
