// Runs the launcher's JNI code natively against the installed JDK's JVM library:
//   jni_probe <libjvm.so> <class path> <scenario> [arguments...]
// creates the JVM, calls main of the runtime launcher class with the launcher's parameter layout
// (five runtime launcher arguments, the program name, then the scenario and its arguments) and
// destroys the JVM. Exit code: 0 after a normal end, 3 for an exception left by main, 4 and 5 for a
// missing class or method, 2 for a JVM that could not be made.
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "JavaVMLauncher.h"

namespace {

std::u16string widen(const std::string& utf8) {
    std::u16string text;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t code = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k) code = (code << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            text.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            text.push_back(static_cast<char16_t>(code));
        }
    }
    return text;
}

std::string asciiForLog(const std::u16string& text) {
    std::string narrow;
    for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return narrow;
}

// A second native thread, as the splash thread is: attaches, polls the controller, detaches.
void pollController(std::atomic<bool>* stop) {
    for (int i = 0; i < 200 && !stop->load(); ++i) {
        JNIEnv* env = jaunt::attachThreadToJvm();
        if (env == nullptr) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        jclass controller = env->FindClass("com/jaunt/runtime/JauntController");
        int action = 0;
        if (controller != nullptr) {
            action = env->CallStaticIntMethod(controller, env->GetStaticMethodID(controller, "getAction", "()I"));
            if (action == 2) {
                jstring text = static_cast<jstring>(env->CallStaticObjectMethod(
                    controller, env->GetStaticMethodID(controller, "getText", "()Ljava/lang/String;")));
                const char* chars = text ? env->GetStringUTFChars(text, nullptr) : nullptr;
                std::printf("CONTROLLER TEXT %s\n", chars ? chars : "(null)");
                if (chars) env->ReleaseStringUTFChars(text, chars);
            } else if (action == 1) {
                std::printf("CONTROLLER CLOSE\n");
            }
            std::fflush(stdout);
        }
        if (env->ExceptionCheck()) env->ExceptionClear();
        jaunt::detachThreadFromJvm();
        if (action == 1) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: jni_probe LIBJVM CLASSPATH SCENARIO [ARGS...]\n");
        return 64;
    }
    void* library = dlopen(argv[1], RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", argv[1], dlerror());
        return 2;
    }
    auto create = reinterpret_cast<jaunt::CreateJavaVMFunction>(dlsym(library, "JNI_CreateJavaVM"));
    if (create == nullptr) return 2;

    std::atomic<bool> stop{false};
    std::thread poller;
    if (jaunt::attachThreadToJvm() != nullptr) return 6;  // no JVM yet: nothing to attach to

    // PROBE_LATE_CLASSPATH: the class path goes over after creation (the option names none), with
    // a property, as the launcher sends what the JVM's code page cannot carry.
    const char* lateClassPath = std::getenv("PROBE_LATE_CLASSPATH");
    jaunt::LateSettings late;
    std::string classPath = argv[2];
    if (lateClassPath != nullptr) {
        classPath.clear();
        std::string entries = lateClassPath;
        for (size_t start = 0; start <= entries.size();) {
            size_t end = entries.find(':', start);
            if (end == std::string::npos) end = entries.size();
            late.classPath.push_back(widen(entries.substr(start, end - start)));
            start = end + 1;
        }
        late.wholeClassPath = widen(entries);
        late.properties.emplace_back(u"probe.late", widen("\xc5\x81ukasz \xe3\x82\xa2\xe3\x83\x97\xe3\x83\xaa"));
    }
    jaunt::VmStartupArguments startup;
    jaunt::fillStartupArguments(&startup, {std::string("-Djava.class.path=") + classPath, "-Dprobe.value=v\xc3\xa9",
                                           "-Xss2m", "-Xunknown-option-is-ignored"});
    if (!jaunt::createJvm(create, &startup)) return 2;
    if (!jaunt::applyLateSettings(late)) return 8;
    std::string scenario = argv[3];
    if (scenario == "controller") poller = std::thread(pollController, &stop);

    std::vector<std::u16string> parameters = {u"false", u"jauntprobe.Probe", u"", u"", u"false", u"probe.exe"};
    for (int i = 3; i < argc; ++i) parameters.push_back(widen(argv[i]));
    const char* launcherClass = scenario == "missing-class" ? "com.jaunt.runtime.NoSuchLauncher"
                                : scenario == "missing-method" ? "java.lang.Object"
                                                               : "com.jaunt.runtime.WinLauncher";
    jaunt::MainResult result = jaunt::callStaticMain(launcherClass, parameters, asciiForLog);
    if (poller.joinable()) {
        poller.join();
    }
    stop = true;
    switch (result) {
        case jaunt::MainResult::Returned:
            std::printf("RESULT returned\n");
            std::fflush(stdout);
            jaunt::destroyJvm();
            std::printf("DESTROYED\n");
            return 0;
        case jaunt::MainResult::ExceptionPending: return 3;
        case jaunt::MainResult::ClassNotFound: return 4;
        case jaunt::MainResult::MethodNotFound: return 5;
        default: return 7;
    }
}
