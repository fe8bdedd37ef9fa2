// JVM discovery and library loading: LoadDLL finds one Java installation within the configured
// version limits (preferred-location file, the search sequence of key 128, the product's Java home
// variable, installer-location file, fallback pass), loads its jvm.dll, resolves JNI_CreateJavaVM
// and records the JVM home for the rest of the run.
#pragma once

#include <cstddef>

namespace jaunt {

// How the chosen JVM was found; decides which message a failure to load it shows.
enum class JvmSource { None = 0, Path = 1, Location = 2, Environment = 3, Registry = 4 };

// The JNI entry that creates a JVM: jint JNI_CreateJavaVM(JavaVM**, void**, void*).
typedef long(__stdcall* CreateJavaVmFunction)(void**, void**, void*);

// Finds and loads a JVM. With a provided location (a JVM home, or a Java executable when
// locationIsJavaExe) only that one is tried. Failures show message 1001 to 1005 when reportErrors
// and return false; the caller ends the launcher.
bool LoadDLL(bool reportErrors, const char* providedLocation, bool locationIsJavaExe);

// What a successful LoadDLL leaves for the launch: the JVM home (the Java executable's directory
// followed by "..", set whenever a JVM was found), the library and its JNI_CreateJavaVM.
const char* jvmHome();
void* jvmLibrary();
CreateJavaVmFunction createJavaVmEntry();

// The search proper: fills javaExe and definedPath (the name a failure message shows), both of
// the given capacities (kTextSize in the launcher).
JvmSource searchJvm(char* javaExe, size_t capacity, char* definedPath, size_t definedCapacity);

// The single tests of the search; each fills javaExe (capacity bytes).
bool testLocation(char* javaExe, size_t capacity, const char* location, const char* minimum, const char* maximum,
                  bool skipVersionCheck);
bool testEnvironmentVariable(char* javaExe, size_t capacity, const char* name, const char* minimum,
                             const char* maximum);
bool testSearchPath(char* javaExe, size_t capacity, const char* minimum, const char* maximum);

// The location written in a file under the installation directory (key 10003), e.g.
// "\.bundlekit\pref_jre.cfg". False when the file is missing or empty.
bool readLocationFile(const char* fileName, char* location, size_t capacity);
constexpr const char* kPreferredLocationFile = "\\.bundlekit\\pref_jre.cfg";
constexpr const char* kInstallerLocationFile = "\\.bundlekit\\inst_jre.cfg";

// Library loading: the VM-type directories beside the executable (key 152 first, then hotspot,
// client, server, classic), then those of the JDK's embedded JRE. Returns the module or null.
void* loadJvmLibrary(const char* javaExe);
void* loadJvmLibraryForExe(const char* javaExe);
void* tryJvmLibrary(const char* javaExe, const char* vmType);
// Resolves and stores JNI_CreateJavaVM; false without a library or without the function.
bool resolveCreateJavaVm(void* library);

}  // namespace jaunt
