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

namespace {

jstring javaString(JNIEnv* env, const std::u16string& text) {
    return env->NewString(reinterpret_cast<const jchar*>(text.data()), static_cast<jsize>(text.size()));
}

bool failed(JNIEnv* env, const char* what) {
    logError("%s failed", what);
    clearPendingException(env);
    return false;
}

bool appendToSystemClassPath(JNIEnv* env, const std::vector<std::u16string>& entries) {
    jclass loaderClass = env->FindClass("java/lang/ClassLoader");
    jmethodID systemLoader = loaderClass ? env->GetStaticMethodID(loaderClass, "getSystemClassLoader",
                                                                  "()Ljava/lang/ClassLoader;")
                                         : nullptr;
    jobject loader = systemLoader ? env->CallStaticObjectMethod(loaderClass, systemLoader) : nullptr;
    if (loader == nullptr || env->ExceptionCheck()) return failed(env, "ClassLoader.getSystemClassLoader");
    // The built-in application class loader of Java 8 and of 9 and later both have it; Java 8's
    // expects its caller to hold the loader's lock.
    jmethodID append = env->GetMethodID(env->GetObjectClass(loader), "appendToClassPathForInstrumentation",
                                        "(Ljava/lang/String;)V");
    if (append == nullptr) return failed(env, "appendToClassPathForInstrumentation lookup");
    for (const std::u16string& entry : entries) {
        jstring path = javaString(env, entry);
        if (path == nullptr) return failed(env, "class path string");
        if (env->MonitorEnter(loader) != JNI_OK) return failed(env, "class loader lock");
        env->CallVoidMethod(loader, append, path);
        env->MonitorExit(loader);
        env->DeleteLocalRef(path);
        if (env->ExceptionCheck()) return failed(env, "appendToClassPathForInstrumentation");
    }
    return true;
}

bool setSystemProperty(JNIEnv* env, const std::u16string& name, const std::u16string& value) {
    jclass system = env->FindClass("java/lang/System");
    jmethodID set = system ? env->GetStaticMethodID(system, "setProperty",
                                                    "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;")
                           : nullptr;
    jstring key = set ? javaString(env, name) : nullptr;
    jstring text = key ? javaString(env, value) : nullptr;
    if (text == nullptr) return failed(env, "System.setProperty lookup");
    jobject previous = env->CallStaticObjectMethod(system, set, key, text);
    if (env->ExceptionCheck()) return failed(env, "System.setProperty");
    if (previous) env->DeleteLocalRef(previous);
    env->DeleteLocalRef(key);
    env->DeleteLocalRef(text);
    return true;
}

}  // namespace

bool applyLateSettings(const LateSettings& late) {
    JNIEnv* env = mainEnv;
    if (!late.classPath.empty()) {
        logInfo("class path entries added after creation: %d", static_cast<int>(late.classPath.size()));
        if (!appendToSystemClassPath(env, late.classPath)) return false;
        if (!setSystemProperty(env, u"java.class.path", late.wholeClassPath)) return false;
    }
    for (const auto& property : late.properties)
        if (!setSystemProperty(env, property.first, property.second)) return false;
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
