// Creating the JVM inside this process, calling a static main of the runtime launcher class,
// destroying the JVM, and attaching other threads. Only the Java Native Interface is used here, no
// platform call, so the same code also runs natively against a real JVM library in the tests.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

namespace jaunt {

typedef jint(JNICALL* CreateJavaVMFunction)(JavaVM** vm, void** env, void* args);

// The JNI start-up arguments: version 1.2, unrecognised options ignored, the options in order.
// The option texts live as long as this object.
struct VmStartupArguments {
    std::vector<std::string> texts;
    std::vector<JavaVMOption> options;
    JavaVMInitArgs initArgs;
};
void fillStartupArguments(VmStartupArguments* arguments, const std::vector<std::string>& options);

// Creates the JVM through create. On success the JVM is published process-wide (jvmCreated() turns
// true, with release ordering, so that attaching threads see the handle).
bool createJvm(CreateJavaVMFunction create, VmStartupArguments* arguments);
bool jvmCreated();

enum class MainResult {
    Returned,          // main returned and no exception is pending
    ExceptionPending,  // main left an exception (described on the JVM's standard error)
    ClassNotFound,
    MethodNotFound,
    ArrayNotCreated,   // the String[] could not be made (pending exception cleared)
    StringNotCreated,  // one of its strings could not be made (pending exception cleared)
};

// Finds className (slashed or dotted), its static main(String[]), builds the String[] from
// parameters (UTF-16, passed to Java unchanged) and calls it on this thread. Logs the class, the
// parameter count and each parameter as narrowForLog renders it.
MainResult callStaticMain(const char* className, const std::vector<std::u16string>& parameters,
                          std::string (*narrowForLog)(const std::u16string&));

enum class FirstRunResult { Proceed, Stop, ClassNotFound, MethodNotFound };
// Calls the static boolean firstRun() of className; an exception counts as Stop.
FirstRunResult callFirstRun(const char* className);

// DestroyJavaVM: returns after the application's non-daemon threads have ended.
void destroyJvm();

// For other threads while the JVM exists: none before the JVM was created.
JNIEnv* attachThreadToJvm();
void detachThreadFromJvm();

}  // namespace jaunt
