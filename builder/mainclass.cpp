#include "mainclass.h"

#include <algorithm>
#include <filesystem>

#include "boundedtext.h"
#include "configkeys.h"
#include "jarmanifest.h"
#include "jvmfeatures.h"
#include "launcherimage.h"
#include "pathtext.h"

namespace jaunt {

namespace {

struct Candidate {
    std::string shown;  // as the configuration writes it, with where
    std::string path;   // at build time; empty when it cannot be known
};

// The archives a main class is looked for in, in order: the first archive of the class path, then
// the included jars.
std::vector<Candidate> archiveCandidates(const BuildConfiguration& config) {
    std::vector<Candidate> candidates;
    const BuildConfiguration::ClassPathArchive& first = config.firstArchive;
    if (first.line != 0)
        candidates.push_back(
            {first.argument + " (java.classpath, line " + std::to_string(first.line) + ")", first.path});
    for (const IncludedFileSource& file : config.files)
        if (!file.path.empty() && endsWithIgnoringCase(file.name, ".jar"))
            candidates.push_back({file.name + " (files.include, line " + std::to_string(file.line) + ")", file.path});
    return candidates;
}

std::vector<NarrowRecord>::iterator recordAt(std::vector<NarrowRecord>* records, int32_t key) {
    return std::lower_bound(records->begin(), records->end(), key,
                            [](const NarrowRecord& r, int32_t k) { return r.key < k; });
}

// Adds the items of a manifest attribute that the key does not hold yet; the notes say what was
// added or left out.
void mergeModuleFlags(std::vector<NarrowRecord>* records, int32_t key, const char* attribute, const std::string& value,
                      const std::string& jar, std::vector<std::string>* notes) {
    auto at = recordAt(records, key);
    bool present = at != records->end() && at->key == key;
    std::vector<std::string> held = moduleFlagItems(present ? at->value.c_str() : "");
    std::string added;
    for (const std::string& item : moduleFlagItems(value.c_str())) {
        if (!isModulePackage(item)) {
            notes->push_back("warning: " + jar + ": " + attribute + " item \"" + item +
                             "\" is not module/package; java -jar ignores it, and so does the launcher");
            continue;
        }
        if (std::find(held.begin(), held.end(), item) != held.end()) continue;
        held.push_back(item);
        added += (added.empty() ? "" : " ") + item;
    }
    if (added.empty()) return;
    if (!present) at = records->insert(at, NarrowRecord{key, std::string()});
    at->value += (at->value.empty() ? "" : " ") + added;
    notes->push_back(std::string(attribute) + " " + added + " from the manifest of " + jar);
}

}  // namespace

std::string completeMainClass(BuildConfiguration* config, const std::string& configPath) {
    auto& records = config->records;
    auto at = recordAt(&records, KEY_MAIN_CLASS);
    if (at != records.end() && at->key == KEY_MAIN_CLASS && !at->value.empty()) return std::string();

    std::vector<Candidate> candidates = archiveCandidates(*config);

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

std::vector<std::string> completeModuleFlags(BuildConfiguration* config, const std::string& configPath) {
    std::vector<std::string> notes;
    auto main = recordAt(&config->records, KEY_MAIN_CLASS);
    if (main == config->records.end() || main->key != KEY_MAIN_CLASS || main->value.empty()) return notes;
    std::string mainClass = main->value;
    std::string entry = mainClass;
    std::replace(entry.begin(), entry.end(), '.', '/');
    entry += ".class";
    for (const Candidate& candidate : archiveCandidates(*config)) {
        std::error_code ec;
        if (candidate.path.empty() || !std::filesystem::is_regular_file(candidate.path, ec)) continue;
        std::vector<uint8_t> bytes;
        try {
            bytes = readFileBytes(candidate.path);
        } catch (const std::exception&) {
            continue;
        }
        // The jar whose manifest names the main class (what java -jar is given), or else the one
        // that holds its class file.
        ManifestResult manifest = readJarMainClass(bytes);
        bool names = manifest.status == ManifestStatus::MainClass && manifest.mainClass == mainClass;
        if (!names && !jarHoldsEntry(bytes, entry)) continue;
        mergeModuleFlags(&config->records, KEY_ADD_OPENS, "Add-Opens",
                         manifestAttribute(manifest.manifest, "Add-Opens"), candidate.shown, &notes);
        mergeModuleFlags(&config->records, KEY_ADD_EXPORTS, "Add-Exports",
                         manifestAttribute(manifest.manifest, "Add-Exports"), candidate.shown, &notes);
        std::string nativeAccess = manifestAttribute(manifest.manifest, "Enable-Native-Access");
        if (!nativeAccess.empty() && nativeAccess != "ALL-UNNAMED")
            throw ConfigError(configPath, 0,
                              candidate.shown + ": the manifest's Enable-Native-Access is \"" + nativeAccess +
                                  "\"; java -jar takes only ALL-UNNAMED and refuses to start");
        auto flag = recordAt(&config->records, KEY_ENABLE_NATIVE_ACCESS);
        if (!nativeAccess.empty() && (flag == config->records.end() || flag->key != KEY_ENABLE_NATIVE_ACCESS)) {
            config->records.insert(flag, NarrowRecord{KEY_ENABLE_NATIVE_ACCESS, "1"});
            notes.push_back("Enable-Native-Access ALL-UNNAMED from the manifest of " + candidate.shown);
        }
        for (int32_t key : {KEY_ADD_OPENS, KEY_ADD_EXPORTS}) {
            auto merged = recordAt(&config->records, key);
            if (merged != config->records.end() && merged->key == key && merged->value.size() > kTextSize - 1)
                throw ConfigError(configPath, 0,
                                  std::string(key == KEY_ADD_OPENS ? "java.add_opens" : "java.add_exports") +
                                      " with the manifest's items takes " + std::to_string(merged->value.size()) +
                                      " bytes, more than the " + std::to_string(kTextSize - 1) + " the launcher reads");
        }
        return notes;
    }
    return notes;
}

}  // namespace jaunt
