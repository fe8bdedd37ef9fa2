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

// Splash thread only. The class reference is a local reference of this thread; it stays valid as
// long as the thread stays attached.
JNIEnv* env = nullptr;
jclass controller = nullptr;
jmethodID getAction = nullptr;
jmethodID getText = nullptr;

// A Java exception left by a lookup or a controller method must not stay pending: the next JNI
// call with one pending is not allowed. It is dropped; the splash has no way to report it.
bool clearedException() {
    if (!env->ExceptionCheck()) return false;
    env->ExceptionClear();
    return true;
}

// Looks the class and its methods up once, on the tick that attached; a missing class or method
// means the controller is never polled.
void attachController() {
    env = attachThreadToJvm();
    if (env == nullptr) return;  // no JVM yet, or the attach failed: the next tick tries again
    controller = env->FindClass(kControllerClass);
    if (clearedException() || controller == nullptr) {
        controller = nullptr;
        return;
    }
    getAction = env->GetStaticMethodID(controller, "getAction", "()I");
    if (clearedException()) getAction = nullptr;
    getText = env->GetStaticMethodID(controller, "getText", "()Ljava/lang/String;");
    if (clearedException()) getText = nullptr;
}

void showControllerText() {
    jstring text = static_cast<jstring>(env->CallStaticObjectMethod(controller, getText));
    if (clearedException() || text == nullptr) return;
    jsize length = env->GetStringLength(text);
    if (const jchar* units = env->GetStringChars(text, nullptr)) {
        setSplashText(reinterpret_cast<const wchar_t*>(units), static_cast<size_t>(length));
        env->ReleaseStringChars(text, units);
    }
    env->DeleteLocalRef(text);  // an attached thread has no frame that would free it
}

void closeSplashThread() {
    if (env != nullptr) detachThreadFromJvm();
    env = nullptr;
    endSplashThread();
}

}  // namespace

void CALLBACK splashTimerTick(HWND, UINT, UINT_PTR, DWORD) {
    if (!splashVisible()) {
        closeSplashThread();
        return;
    }
    // The visible splash is one window of the process; a second one is the application's.
    if (splashAutoHide() && countProcessWindows(GetCurrentProcessId()) > 1) {
        splashScreen(0);
        closeSplashThread();
        return;
    }
    if (env == nullptr) attachController();
    if (env == nullptr || controller == nullptr || getAction == nullptr || getText == nullptr) return;
    jint action = env->CallStaticIntMethod(controller, getAction);
    if (clearedException()) return;
    if (action == kActionClose) {
        splashScreen(0);
        closeSplashThread();
    } else if (action == kActionSetText) {
        showControllerText();
    }
}

}  // namespace jaunt
