// The application's own Java runtime at build time ([runtime]): the folder it is taken from, or
// the image jlink makes from a JDK's jmods; the checks that the launcher can use it; its pack; and
// the table entries (keys 2010-2012) that tell the launcher where the pack is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "buildconfig.h"
#include "launcherimage.h"
#include "runtimepacker.h"

namespace jaunt {

// How long the programs jaunt runs to make an image may take.
constexpr int kJlinkSeconds = 600;
constexpr int kJdepsSeconds = 300;
constexpr int kVersionSeconds = 60;

// The JVM libraries a runtime may hold, in the order they are checked.
constexpr const char* kRuntimeLibraries[] = {"bin/server/jvm.dll", "bin/client/jvm.dll"};

// What the checks found out about a runtime folder.
struct RuntimeFacts {
    std::string library;   // the first JVM library, relative, as the folder spells it
    uint16_t machine = 0;  // its PE machine
    std::string version;   // JAVA_VERSION of its release file
};

// The relative name (components separated by "/") as the folder spells it: each component taken
// as it is when it exists, else the first (in byte order) that matches it without regard to ASCII
// letter case, as Windows would find it. Empty when there is none.
std::string findIgnoringCase(const std::string& folder, const std::string& name);

// The value of key in the text of a release file (lines KEY="value" or KEY=value); false when the
// key is not there.
bool readReleaseValue(const std::string& text, const std::string& key, std::string* value);

// Checks that the folder is a Windows Java runtime a launcher of arch can load (its JVM libraries
// of the launcher's machine) and that its release file names a Java version within the limits
// (jvm.min_version, jvm.max_version; empty for none). Messages name the folder as shown; advice
// ends the message about a folder without a JVM library. Throws RuntimeError.
RuntimeFacts checkRuntimeFolder(const std::string& folder, const std::string& shown, LauncherArch arch,
                                const std::string& minimum, const std::string& maximum,
                                const std::string& advice = std::string());

// What jlink is asked for.
struct ImageRequest {
    std::string jdk;                   // the JDK whose jmods are linked
    std::vector<std::string> modules;  // empty with autoModules
    bool autoModules = false;
    std::vector<std::string> archives;  // the jars (and class folders) jdeps reads for autoModules
};

// Runs the host's jlink whose version is the JDK's (the JDK's own when it runs here, else one on
// the PATH, else in JAVA_HOME/bin) into output, a folder that must not exist yet. With autoModules
// the modules are those jdeps (beside that jlink) finds the archives need. Returns the modules
// given to jlink. Throws RuntimeError.
std::vector<std::string> makeRuntimeImage(const ImageRequest& request, const std::string& output);

// The archives of the class path and the included files that can be read at build time, for jdeps:
// class-path archives (A), the archives in scanned folders (S), class folders (D), the included
// jar and zip files and the runtime library (when given).
std::vector<std::string> buildTimeArchives(const BuildConfiguration& config, const std::string& configPath,
                                           const std::string& runtimeLibrary);

struct PreparedRuntime {
    PackedRuntime pack;
    RuntimeFacts facts;
    std::vector<std::string> modules;  // given to jlink; empty for runtime.path
};

// The runtime of the configuration, made (jlink, into a temporary folder beside outputPath),
// checked and packed. Throws ConfigError naming the setting and its line.
PreparedRuntime prepareRuntime(const BuildConfiguration& config, const std::string& configPath,
                               const std::string& outputPath, LauncherArch arch, const std::string& runtimeLibrary);

// The application name of key 2012: application.id when the key list knows such a setting and the
// configuration sets it, else application.name, else the launcher's file name.
std::string runtimeApplicationName(const BuildConfiguration& config, const std::string& outputPath);

// Adds keys 2010 (the pack placed payloadSize bytes after the payload position), 2011 and 2012 to
// the records, in key order.
void addRuntimeRecords(BuildConfiguration* config, const PreparedRuntime& runtime, uint64_t payloadSize,
                       const std::string& outputPath);

// "32-bit (x86)", "64-bit (x64)", or the machine number for others.
std::string machineText(uint16_t machine);

}  // namespace jaunt
