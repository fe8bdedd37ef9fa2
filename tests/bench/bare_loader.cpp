// The smallest program that starts a Java application the way the launcher does: a GUI program
// that imports the same system DLLs, loads a jvm.dll, creates the JVM and calls main of the runtime
// launcher class with the same parameters. The benchmark measures the launcher's start-up
// against it; nothing else runs it.
//
// Usage: bare_loader JVM_DLL CLASS_PATH TEMP_DIR
// Exit codes: 0 main returned, 2 usage, 3 no library, 4 no JNI_CreateJavaVM, 5 no JVM, 6 no class or
// method, 7 main left an exception.
#include <windows.h>
#include <shlobj.h>

#include <jni.h>

#include <cstdlib>
#include <cstring>

namespace {

// The launcher imports USER32, ADVAPI32 and SHELL32 besides KERNEL32 and msvcrt; one reference to
// each makes the system map them here too.
void* const volatile kImports[] = {reinterpret_cast<void*>(&MessageBoxA), reinterpret_cast<void*>(&RegOpenKeyExA),
                                   reinterpret_cast<void*>(&SHGetMalloc)};

using CreateJavaVm = jint(JNICALL*)(JavaVM**, void**, void*);

// "prefix" + value into a buffer of its own, cut to fit.
char* option(const char* prefix, const char* value) {
    static char texts[3][MAX_PATH * 2];
    static int next = 0;
    char* text = texts[next++ % 3];
    size_t used = std::strlen(prefix);
    std::memcpy(text, prefix, used);
    size_t room = sizeof(texts[0]) - 1 - used;
    size_t length = std::strlen(value);
    if (length > room) length = room;
    std::memcpy(text + used, value, length);
    text[used + length] = 0;
    return text;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (__argc < 4 || kImports[0] == nullptr) return 2;
    HMODULE library = LoadLibraryA(__argv[1]);
    if (library == nullptr) return 3;
    CreateJavaVm create =
        reinterpret_cast<CreateJavaVm>(reinterpret_cast<void*>(GetProcAddress(library, "JNI_CreateJavaVM")));
    if (create == nullptr) return 4;

    // The options the launcher passes in a plain configuration: class path and temporary directory.
    JavaVMOption options[2];
    options[0].optionString = option("-Djaunt.tempDir=", __argv[3]);
    options[1].optionString = option("-Djava.class.path=", __argv[2]);
    options[0].extraInfo = options[1].extraInfo = nullptr;
    JavaVMInitArgs arguments;
    arguments.version = JNI_VERSION_1_2;
    arguments.nOptions = 2;
    arguments.options = options;
    arguments.ignoreUnrecognized = JNI_TRUE;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    if (create(&vm, reinterpret_cast<void**>(&env), &arguments) != JNI_OK) return 5;

    jclass launcherClass = env->FindClass("com/jaunt/runtime/WinLauncher");
    jmethodID main = launcherClass ? env->GetStaticMethodID(launcherClass, "main", "([Ljava/lang/String;)V") : nullptr;
    if (main == nullptr) return 6;
    // The runtime launcher arguments and the program name, as the launcher builds them.
    static const wchar_t* const parameters[] = {L"true", L"com.example.Main", L"", L"", L"false", L"app.exe"};
    const jsize count = sizeof(parameters) / sizeof(parameters[0]);
    jobjectArray array = env->NewObjectArray(count, env->FindClass("java/lang/String"), nullptr);
    if (array == nullptr) return 6;
    for (jsize i = 0; i < count; ++i) {
        const wchar_t* text = parameters[i];
        jstring value = env->NewString(reinterpret_cast<const jchar*>(text), static_cast<jsize>(wcslen(text)));
        if (value == nullptr) return 6;
        env->SetObjectArrayElement(array, i, value);
    }
    env->CallStaticVoidMethod(launcherClass, main, array);
    if (env->ExceptionOccurred()) {
        env->ExceptionDescribe();
        return 7;
    }
    vm->DestroyJavaVM();
    return 0;
}
