// Creating the JVM inside this process, calling a static main of the runtime launcher class,
// destroying the JVM, and attaching other threads. Only the Java Native Interface is used here, no
// platform call, so the same code also runs natively against a real JVM library in the tests.
#pragma once

#include <jni.h>

#include <string>
#include <utility>
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

// What the start-up options cannot carry: the JVM reads option texts in the system's code page,
// so a path or a property value outside it goes over after creation as a Java string.
struct LateSettings {
    std::vector<std::u16string> classPath;  // appended to the system class loader's search, in order
    std::u16string wholeClassPath;          // java.class.path as the application reads it then
    std::vector<std::pair<std::u16string, std::u16string>> properties;
    bool empty() const { return classPath.empty() && properties.empty(); }
};
// Right after createJvm, before any class of the application is looked up: appends the class path
// entries to the system class loader (through the method the JVM's own agents use, on Java 8 and
// later), sets java.class.path to the whole class path, then the properties. False when one could
// not be made (logged, the pending exception cleared).
bool applyLateSettings(const LateSettings& late);

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
