// Options that depend on the chosen Java's feature release: the module flags that "java -jar" takes
// from the main jar's manifest (an in-process launcher passes them itself), and class-data sharing
// through an archive of the application's classes. Text rules only, no platform call, so the build
// tool checks module names with the same rule and the tests run natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

// "module/package": two names of dotted Java identifiers (letters, digits, "_" and "$", not
// beginning with a digit) separated by one "/", as java.base/java.lang.
bool isModulePackage(const std::string& item);

// The blank-separated items of a module-flag key (tabs count as blanks).
std::vector<std::string> moduleFlagItems(const char* text);

// The options "java -jar" derives from the manifest, for a Java of the given feature release:
// --add-opens=M/P=ALL-UNNAMED for every item of opens, --add-exports=M/P=ALL-UNNAMED for every item
// of exports (from Java 9; Java 8 knows no modules), --enable-native-access=ALL-UNNAMED when
// nativeAccess (from Java 17, where the option came). Items that are not module/package are left
// out. Nothing for an unknown release (0).
std::vector<std::string> moduleOptions(int feature, const char* opens, const char* exports, bool nativeAccess);

// Class-data sharing with the archive file at archive: from Java 19 the JVM keeps the archive
// itself (-XX:+AutoCreateSharedArchive, re-created when it does not fit); on 13 to 18 it is used
// when it exists (-XX:SharedArchiveFile) and written at the end of the run when it does not
// (-XX:ArchiveClassesAtExit); nothing below 13 or for an unknown release (0). The JVM's sharing
// messages are switched off first (-Xlog:cds*=off).
std::vector<std::string> cdsOptions(int feature, const std::string& archive, bool archiveExists);

// 64-bit FNV-1a of length bytes, continued from hash (start with kHashStart): a name for cache
// files, not a protection.
constexpr uint64_t kHashStart = 14695981039346656037ULL;
uint64_t hashBytes(uint64_t hash, const void* data, size_t length);

// The archive's file name: "<application>-<state>.jsa", each 16 hexadecimal digits. The
// application part names the launcher (so that its older archives can be found and removed), the
// state part what the archive depends on (the class path, its files and the Java).
std::string cdsArchiveName(uint64_t application, uint64_t state);

}  // namespace jaunt
