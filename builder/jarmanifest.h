// Reads the manifest of a jar file (a zip archive), inflating it with zlib: its Main-Class when a
// configuration names no main class, and for jaunt init; the module flags of the jar that holds
// the main class.
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
    std::string detail;    // what was wrong, for Damaged and Unreadable
    std::string manifest;  // the manifest's bytes, for MainClass and NoMainClass
};

// The value of the attribute name (letter case ignored) in the main section of the manifest
// bytes, blanks around it removed; empty when the main section has none.
std::string manifestAttribute(const std::string& manifest, const std::string& name);

// Whether the archive's central directory lists the entry (a name such as "com/example/Main.class").
// False for an archive that cannot be read as a zip archive.
bool jarHoldsEntry(const std::vector<uint8_t>& archive, const std::string& entry);

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
