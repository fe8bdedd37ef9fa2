#include "splashcontroller.h"

#include <jni.h>

#include "JavaVMLauncher.h"
#include "processwindows.h"
#include "splash.h"

namespace jaunt {

namespace {

const char kControllerClass[] = "com/jaunt/runtime/JauntController";
const jint kActionClose = 1;
const jint kActionSetText = 2;

// Set when the JVM exists but lacks the controller class or one of its methods: the splash then
// closes only by its window rules. Splash thread only.
bool controllerMissing = false;

// A Java exception left by a lookup or a controller method must not stay pending: the next JNI
// call with one pending is not allowed. It is dropped; the splash has no way to report it.
bool clearedException(JNIEnv* env) {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

void showControllerText(JNIEnv* env, jclass controller, jmethodID getText) {
    jstring text = static_cast<jstring>(env->CallStaticObjectMethod(controller, getText));
    if (clearedException(env) || text == nullptr) return;
    jsize length = env->GetStringLength(text);
    if (const jchar* units = env->GetStringChars(text, nullptr)) {
        setSplashText(reinterpret_cast<const wchar_t*>(units), static_cast<size_t>(length));
        env->ReleaseStringChars(text, units);
    }
}

// One poll of the controller, with the thread attached to the JVM only for its length. An attached
// thread counts as a non-daemon thread, for which DestroyJavaVM waits: a splash that stayed
// attached would keep the launcher from ending after the application's main returned. Detaching
// also frees the poll's local references. Returns the action.
jint pollController() {
    if (controllerMissing) return 0;
    JNIEnv* env = attachThreadToJvm();
    if (env == nullptr) return 0;  // no JVM yet, or the attach failed: the next tick tries again
    jint action = 0;
    jclass controller = env->FindClass(kControllerClass);
    jmethodID getAction = nullptr, getText = nullptr;
    if (!clearedException(env) && controller != nullptr) {
        getAction = env->GetStaticMethodID(controller, "getAction", "()I");
        if (clearedException(env)) getAction = nullptr;
        getText = env->GetStaticMethodID(controller, "getText", "()Ljava/lang/String;");
        if (clearedException(env)) getText = nullptr;
    }
    if (getAction == nullptr || getText == nullptr) {
        controllerMissing = true;
    } else {
        action = env->CallStaticIntMethod(controller, getAction);
        if (clearedException(env)) action = 0;
        if (action == kActionSetText) showControllerText(env, controller, getText);
    }
    detachThreadFromJvm();
    return action;
}

}  // namespace

void CALLBACK splashTimerTick(HWND, UINT, UINT_PTR, DWORD) {
    if (!splashVisible()) {
        endSplashThread();
        return;
    }
    // The visible splash is one window of the process; a second one is the application's.
    bool closing = splashAutoHide() && countProcessWindows(GetCurrentProcessId()) > 1;
    if (closing || pollController() == kActionClose) {
        splashScreen(0);
        endSplashThread();
    }
}

}  // namespace jaunt
