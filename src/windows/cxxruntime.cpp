// What the C++ runtime does in the launcher when it cannot go on: std::terminate ends the launcher
// with an internal-error report (code 30) and a log line, in place of libstdc++'s verbose terminate
// handler, which writes to a standard error nobody may see, aborts, and brings the symbol
// demangler (some 46 KB) into the image.
//
// Linked into the launcher program only (not into the units' library): test programs and the
// build tool keep the library's own handler.
#include <windows.h>

#include <atomic>
#include <exception>

#include "configkeys.h"
#include "errors.h"
#include "log.h"

namespace {

[[noreturn]] void failInRuntime(const char* fault) {
    // A fault while the report is made (memory is short, say) ends the process at once.
    static std::atomic<bool> failing{false};
    if (failing.exchange(true)) ExitProcess(1);
    jaunt::logError("C++ runtime: %s", fault ? fault : "(no text)");
    jaunt::failWithMessage(jaunt::MSG_INTERNAL_ERROR, "%ERROR_CODE%", "30");
}

}  // namespace

namespace __gnu_cxx {

// std::terminate's default handler (libstdc++ names its verbose one this way).
void __verbose_terminate_handler() { failInRuntime("terminate called"); }

}  // namespace __gnu_cxx

