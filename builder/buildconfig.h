// Reads a launcher's configuration file (TOML, described in CONFIG.md) into the narrow records of
// its configuration table, with the build tool's defaults filled in.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "appresources.h"
#include "signing.h"
#include "tablewriter.h"

namespace jaunt {

// A mistake in a configuration file. what() is "FILE:LINE: message", or "FILE: message" when the
// problem has no line (a file that cannot be read).
class ConfigError : public std::runtime_error {
public:
    ConfigError(const std::string& file, int line, const std::string& message);

    const std::string& file() const { return file_; }
    int line() const { return line_; }  // 1-based; 0 when the error concerns the whole file
    const std::string& message() const { return message_; }

private:
    std::string file_;
    int line_;
    std::string message_;
};

// The runtime library's name in the launcher; the build tool takes it from ../lib next to itself.
constexpr const char* kRuntimeLibraryName = "jauntlib.jar";

// A file the launcher carries and extracts at start-up.
struct IncludedFileSource {
    std::string name;  // the name it gets in the extraction directory
    std::string path;  // resolved against the configuration's directory; empty for the runtime library
    int line;          // where the configuration names it; 0 for the runtime library included by default
};

// [runtime]: the application's own Java runtime, packed into the launcher. Paths resolved against
// the configuration's directory.
struct RuntimeSettings {
    bool present = false;
    std::string path;      // runtime.path: a runtime folder; empty with jdk
    std::string pathText;  // as the configuration writes it
    int pathLine = 0;
    std::string jdk;  // runtime.jdk: the JDK whose jmods jlink links; empty with path
    std::string jdkText;
    int jdkLine = 0;
    std::vector<std::string> modules;  // runtime.modules, with jdk
    bool autoModules = false;          // modules = "auto": found by jdeps
};

struct BuildConfiguration {
    // Ascending keys, each once; defaults included.
    std::vector<NarrowRecord> records;
    // [build] stub and output, relative paths resolved against the configuration file's directory;
    // empty when the file does not set them.
    std::string stub;
    std::string output;
    // [build] arch: "x86" or "x64"; empty when the file does not set it.
    std::string arch;
    // [files]: the runtime library first (unless runtime = false), then include in its order. Their
    // names and number are also in the records, as keys 2003 and 2002 (unless [keys] sets those).
    std::vector<IncludedFileSource> files;

    // The first archive (A entry) of the class path, for reading a main class from its manifest:
    // the entry as written, the path it has at build time (empty when it holds variables or is an
    // absolute Windows path) and its line.
    struct ClassPathArchive {
        std::string argument;
        std::string path;
        int line = 0;
    } firstArchive;
    // "FILE:LINE: warning: ..." for what may still work on the user's machine (an archive that is
    // missing at build time may be installed later).
    std::vector<std::string> warnings;
    // The launcher's resources: splash.image (decoded), application.icon (loaded), the version
    // texts of [application] and the manifest settings. version.fileName is left to the caller,
    // which knows the launcher's file name.
    ApplicationResources resources;

    // [sign]: whether the launcher is signed after it is written, and how.
    bool sign = false;
    SignSettings signing;

    RuntimeSettings runtime;
};

// Parses configuration text. sourcePath names the file in error messages and is the base of
// relative paths in [build], [files] and of the splash picture and icon, which are read here.
BuildConfiguration parseConfiguration(std::string_view text, const std::string& sourcePath);

// Reads and parses a configuration file.
BuildConfiguration loadConfiguration(const std::string& path);

}  // namespace jaunt
