#include "mainclass.h"

#include <algorithm>
#include <filesystem>

#include "configkeys.h"
#include "jarmanifest.h"
#include "pathtext.h"

namespace jaunt {

std::string completeMainClass(BuildConfiguration* config, const std::string& configPath) {
    auto& records = config->records;
    auto at = std::lower_bound(records.begin(), records.end(), KEY_MAIN_CLASS,
                               [](const NarrowRecord& r, int32_t key) { return r.key < key; });
    if (at != records.end() && at->key == KEY_MAIN_CLASS && !at->value.empty()) return std::string();

    struct Candidate {
        std::string shown;  // as the configuration writes it, with where
        std::string path;   // at build time; empty when it cannot be known
    };
    std::vector<Candidate> candidates;
    const BuildConfiguration::ClassPathArchive& first = config->firstArchive;
    if (first.line != 0)
        candidates.push_back(
            {first.argument + " (java.classpath, line " + std::to_string(first.line) + ")", first.path});
    for (const IncludedFileSource& file : config->files)
        if (!file.path.empty() && endsWithIgnoringCase(file.name, ".jar"))
            candidates.push_back({file.name + " (files.include, line " + std::to_string(file.line) + ")", file.path});

    std::string looked;
    for (const Candidate& candidate : candidates) {
        std::string finding;
        std::error_code ec;
        if (candidate.path.empty()) {
            finding = "not known at build time";
        } else if (!std::filesystem::is_regular_file(candidate.path, ec)) {
            finding = "no such file at build time";
        } else {
            ManifestResult result = readJarMainClass(candidate.path);
            if (result.status == ManifestStatus::MainClass) {
                if (at != records.end() && at->key == KEY_MAIN_CLASS)
                    at->value = result.mainClass;
                else
                    records.insert(at, NarrowRecord{KEY_MAIN_CLASS, result.mainClass});
                return result.mainClass + " from the manifest of " + candidate.shown;
            }
            finding = manifestStatusText(result);
        }
        looked += (looked.empty() ? "" : "; ") + candidate.shown + ": " + finding;
    }
    if (candidates.empty())
        throw ConfigError(configPath, 0,
                          "java.main_class is not set, and there is no archive to read a Main-Class from (no "
                          "archive on java.classpath, no jar in files.include); set java.main_class");
    throw ConfigError(configPath, 0,
                      "java.main_class is not set, and no Main-Class was found in the manifests looked at: " +
                          looked + "; set java.main_class");
}

}  // namespace jaunt
