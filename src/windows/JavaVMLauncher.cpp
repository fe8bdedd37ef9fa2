#include "JavaVMLauncher.h"

#include <atomic>

#include "log.h"

namespace jaunt {

namespace {

JavaVM* javaVm = nullptr;
JNIEnv* mainEnv = nullptr;
std::atomic<bool> created{false};

// A failed lookup leaves an exception (NoClassDefFoundError, NoSuchMethodError) that the launcher
// reports with its own message instead.
void clearPendingException(JNIEnv* env) {
    if (env->ExceptionCheck()) env->ExceptionClear();
}

std::string slashed(const char* className) {
    std::string name = className;
    for (char& c : name)
        if (c == '.') c = '/';
    return name;
}

}  // namespace

void fillStartupArguments(VmStartupArguments* arguments, const std::vector<std::string>& options) {
    arguments->texts = options;
    arguments->options.assign(arguments->texts.size(), JavaVMOption{});
    for (size_t i = 0; i < arguments->texts.size(); ++i) {
        arguments->options[i].optionString = &arguments->texts[i][0];
        arguments->options[i].extraInfo = nullptr;
    }
    arguments->initArgs = JavaVMInitArgs{};
    arguments->initArgs.version = JNI_VERSION_1_2;
    arguments->initArgs.ignoreUnrecognized = JNI_TRUE;
    arguments->initArgs.nOptions = static_cast<jint>(arguments->options.size());
    arguments->initArgs.options = arguments->options.empty() ? nullptr : arguments->options.data();
}

bool createJvm(CreateJavaVMFunction create, VmStartupArguments* arguments) {
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;
    jint result = create(&vm, reinterpret_cast<void**>(&env), &arguments->initArgs);
    if (result != JNI_OK || vm == nullptr || env == nullptr) {
        logError("JNI_CreateJavaVM returned %ld", static_cast<long>(result));
        return false;
    }
    javaVm = vm;
    mainEnv = env;
    created.store(true, std::memory_order_release);
    return true;
}

bool jvmCreated() { return created.load(std::memory_order_acquire); }

MainResult callStaticMain(const char* className, const std::vector<std::u16string>& parameters,
                          std::string (*narrowForLog)(const std::u16string&)) {
    JNIEnv* env = mainEnv;
    std::string name = slashed(className);
    logInfo("main class: %s", name.c_str());
    jclass mainClass = env->FindClass(name.c_str());
    if (mainClass == nullptr) {
        clearPendingException(env);
        return MainResult::ClassNotFound;
    }
    jmethodID mainMethod = env->GetStaticMethodID(mainClass, "main", "([Ljava/lang/String;)V");
    if (mainMethod == nullptr) {
        clearPendingException(env);
        return MainResult::MethodNotFound;
    }

    logInfo("param count: %d", static_cast<int>(parameters.size()));
    jclass stringClass = env->FindClass("java/lang/String");
    jobjectArray array = stringClass == nullptr
                             ? nullptr
                             : env->NewObjectArray(static_cast<jsize>(parameters.size()), stringClass, nullptr);
    if (array == nullptr) {
        clearPendingException(env);
        logError("could not create the argument array");
        return MainResult::ArrayNotCreated;
    }
    for (size_t i = 0; i < parameters.size(); ++i) {
        logInfo("param %d: %s", static_cast<int>(i), narrowForLog(parameters[i]).c_str());
        jstring text = env->NewString(reinterpret_cast<const jchar*>(parameters[i].data()),
                                      static_cast<jsize>(parameters[i].size()));
        if (text == nullptr) {
            clearPendingException(env);
            logError("could not create argument %d", static_cast<int>(i));
            return MainResult::StringNotCreated;
        }
        env->SetObjectArrayElement(array, static_cast<jsize>(i), text);
        env->DeleteLocalRef(text);
    }

    logInfo("calling main");
    env->CallStaticVoidMethod(mainClass, mainMethod, array);
    logInfo("main returned");
    if (env->ExceptionOccurred() != nullptr) {
        logError("an exception occured");
        env->ExceptionDescribe();
        return MainResult::ExceptionPending;
    }
    return MainResult::Returned;
}

FirstRunResult callFirstRun(const char* className) {
    JNIEnv* env = mainEnv;
    jclass firstRunClass = env->FindClass(slashed(className).c_str());
    if (firstRunClass == nullptr) {
        clearPendingException(env);
        return FirstRunResult::ClassNotFound;
    }
    jmethodID method = env->GetStaticMethodID(firstRunClass, "firstRun", "()Z");
    if (method == nullptr) {
        clearPendingException(env);
        return FirstRunResult::MethodNotFound;
    }
    jboolean proceed = env->CallStaticBooleanMethod(firstRunClass, method);
    if (env->ExceptionOccurred() != nullptr) {
        env->ExceptionDescribe();
        return FirstRunResult::Stop;
    }
    return proceed ? FirstRunResult::Proceed : FirstRunResult::Stop;
}

void destroyJvm() {
    if (jvmCreated()) javaVm->DestroyJavaVM();
}

JNIEnv* attachThreadToJvm() {
    if (!jvmCreated()) return nullptr;
    JNIEnv* env = nullptr;
    if (javaVm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return nullptr;
    return env;
}

void detachThreadFromJvm() {
    if (jvmCreated()) javaVm->DetachCurrentThread();
}

}  // namespace jaunt
