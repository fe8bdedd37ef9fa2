// The JVM's start-up options, in their fixed order: the system properties about the launcher, the
// lines of the vmoptions file beside the launcher, the class path, the configured VM options
// (key 123), the options that depend on the chosen Java (module flags, class-data sharing) and, when
// key 125 allows it, the "-J" arguments of the command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "JavaVMLauncher.h"
#include "arguments.h"

namespace jaunt {

// jaunt.semaphoreName (single instance), jaunt.isBundlekit (installer flavour), jaunt.moduleName,
// jaunt.processCommFile (single instance), jaunt.tempDir.
std::vector<std::string> buildSystemProperties();

// "<launcher>.vmoptions", else "<launcher>.exe.vmoptions", opened for reading; null when neither.
FILE* openVmOptionsFile();

// What depends on the chosen Java (chosenJavaVersion): the module flags of keys 132 to 134 (from
// Java 9) and the class-data sharing options of key 135 (from Java 13).
void appendJavaDependentOptions(std::vector<std::string>* options);

// Appends the class path, the items of key 123, the options that depend on the chosen Java and
// the forwarded "-J" arguments.
void buildVmOptions(std::vector<std::string>* options, const WideArgumentList& arguments);

// All options in order, as JNI start-up arguments; logs the count and every option.
void buildVmInitArgs(VmStartupArguments* startup, LateSettings* late, const std::vector<std::string>& systemProperties,
                     const WideArgumentList& arguments);

// A UTF-16 text as one of the launcher's narrow texts (UTF-8).
std::string narrowFromWide(const std::u16string& text);

}  // namespace jaunt
