// The C++ runtime's parts that the launcher supplies itself.
//
// What the C++ runtime does in the launcher when it cannot go on. The launcher is built without
// exceptions, so a fault that the library reports by throwing (a string or vector grown past its
// limit, an index out of range, memory exhausted) has no handler and ends the process. These
// definitions take the place of the library's own: each fault, and std::terminate, ends the
// launcher with an internal-error report (code 30) and a log line naming the fault. They also keep
// the library's exception objects, its verbose terminate handler (with the symbol demangler) and
// the unwinder out of the image.
//
// The string types' members, compiled like the launcher's own code (see the end of the file).
//
// Linked into the launcher program only (not into the units' library): test programs and the
// build tool keep the library's exceptions.
#include <windows.h>

#include <atomic>
#include <bits/functexcept.h>
#include <cstdlib>
#include <cxxabi.h>
#include <exception>
#include <new>
#include <string>

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

// No new handler is ever installed in the launcher, so a failed allocation is final.
void* operator new(std::size_t size) {
    void* memory = std::malloc(size != 0 ? size : 1);
    if (memory == nullptr) failInRuntime("out of memory");
    return memory;
}

namespace __gnu_cxx {

// std::terminate's default handler (libstdc++ names its verbose one this way).
void __verbose_terminate_handler() { failInRuntime("terminate called"); }

}  // namespace __gnu_cxx

namespace std {

void __throw_bad_exception() { failInRuntime("bad_exception"); }
void __throw_bad_alloc() { failInRuntime("out of memory"); }
void __throw_bad_array_new_length() { failInRuntime("bad_array_new_length"); }
void __throw_bad_cast() { failInRuntime("bad_cast"); }
void __throw_bad_typeid() { failInRuntime("bad_typeid"); }
void __throw_logic_error(const char* what) { failInRuntime(what); }
void __throw_domain_error(const char* what) { failInRuntime(what); }
void __throw_invalid_argument(const char* what) { failInRuntime(what); }
void __throw_length_error(const char* what) { failInRuntime(what); }
void __throw_out_of_range(const char* what) { failInRuntime(what); }
// The format's values are left out: the text names the fault.
void __throw_out_of_range_fmt(const char* format, ...) { failInRuntime(format); }
void __throw_runtime_error(const char* what) { failInRuntime(what); }
void __throw_range_error(const char* what) { failInRuntime(what); }
void __throw_overflow_error(const char* what) { failInRuntime(what); }
void __throw_underflow_error(const char* what) { failInRuntime(what); }

}  // namespace std

// Initialization of function-local statics, safe between threads: byte 0 of the guard says the
// object is made (the compiler's inline check reads it), bytes 4 to 7 hold the identifier of the
// thread making it. A thread that finds another one at work waits; one that comes back to its own
// unfinished initialization (a recursive one) is a fault.
namespace {

std::atomic<unsigned char>* madeFlag(__cxxabiv1::__guard* guard) {
    return reinterpret_cast<std::atomic<unsigned char>*>(guard);
}

std::atomic<DWORD>* makerThread(__cxxabiv1::__guard* guard) {
    return reinterpret_cast<std::atomic<DWORD>*>(reinterpret_cast<char*>(guard) + 4);
}

}  // namespace

namespace __cxxabiv1 {

extern "C" int __cxa_guard_acquire(__guard* guard) {
    const DWORD self = GetCurrentThreadId();
    for (;;) {
        if (madeFlag(guard)->load(std::memory_order_acquire)) return 0;
        DWORD maker = 0;
        if (makerThread(guard)->compare_exchange_strong(maker, self, std::memory_order_acq_rel)) {
            // Made in the meantime by a thread that finished before this one looked.
            if (madeFlag(guard)->load(std::memory_order_acquire)) {
                makerThread(guard)->store(0, std::memory_order_release);
                return 0;
            }
            return 1;
        }
        if (maker == self) failInRuntime("recursive initialization of a static object");
        Sleep(0);
    }
}

extern "C" void __cxa_guard_release(__guard* guard) {
    madeFlag(guard)->store(1, std::memory_order_release);
    makerThread(guard)->store(0, std::memory_order_release);
}

extern "C" void __cxa_guard_abort(__guard* guard) { makerThread(guard)->store(0, std::memory_order_release); }

}  // namespace __cxxabiv1

// The string types' out-of-line members, instantiated here without exceptions: the library's own
// instances are compiled with them and bring the unwinder into the image. The link keeps only the
// members that the launcher calls.
template class std::basic_string<char>;
template class std::basic_string<wchar_t>;
