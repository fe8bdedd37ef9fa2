// Feeds arbitrary bytes to the jar manifest reader as an archive and as a manifest. A main class
// found is never empty and never holds a line end or a "/".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jarmanifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> archive(data, data + size);
    jaunt::ManifestResult result = jaunt::readJarMainClass(archive);
    std::string found = result.mainClass;
    if (result.status == jaunt::ManifestStatus::MainClass && found.empty()) __builtin_trap();
    if (result.status != jaunt::ManifestStatus::MainClass && !found.empty()) __builtin_trap();
    std::string fromText = jaunt::mainClassOfManifest(std::string(data, data + size));
    for (const std::string& name : {found, fromText})
        if (name.find_first_of("\r\n/") != std::string::npos) __builtin_trap();
    return 0;
}
