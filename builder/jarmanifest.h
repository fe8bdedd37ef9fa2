// Reads the Main-Class attribute from the manifest of a jar file (a zip archive), inflating the
// manifest with zlib. Used when a configuration names no main class, and by jaunt init.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jaunt {

enum class ManifestStatus {
    MainClass,    // found: mainClass holds it, dotted
    NoMainClass,  // the manifest has no Main-Class attribute in its main section
    NoManifest,   // the archive has no META-INF/MANIFEST.MF
    Damaged,      // not a zip archive, or its directory or the manifest's data cannot be read
    Unreadable,   // the file cannot be opened or read
};

struct ManifestResult {
    ManifestStatus status;
    std::string mainClass;
    std::string detail;  // what was wrong, for Damaged and Unreadable
};

// The main class of the manifest bytes (CR LF, LF or CR line ends; continuation lines begin with
// one space). Empty when the main section has no Main-Class.
std::string mainClassOfManifest(const std::string& manifest);

// The main class of a jar held in memory, and of a jar file.
ManifestResult readJarMainClass(const std::vector<uint8_t>& archive);
ManifestResult readJarMainClass(const std::string& path);

// A few words for a result that is not MainClass: "no Main-Class in its manifest", "no manifest",
// "a damaged archive (...)", "cannot be read (...)".
std::string manifestStatusText(const ManifestResult& result);

}  // namespace jaunt
