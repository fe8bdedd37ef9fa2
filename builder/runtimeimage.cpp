#include "runtimeimage.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

#include "childprocess.h"
#include "classpathtext.h"
#include "configkeys.h"
#include "javaversion.h"
#include "pathtext.h"
#include "pemachine.h"
#include "temporaries.h"

namespace jaunt {

namespace fs = std::filesystem;

namespace {

#if defined(_WIN32)
const char kExecutableSuffix[] = ".exe";
#else
const char kExecutableSuffix[] = "";
#endif

std::string folded(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// The first limit bytes of a file; empty when it cannot be read.
std::string readText(const fs::path& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string text(limit, '\0');
    in.read(&text[0], static_cast<std::streamsize>(limit));
    text.resize(in ? limit : static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return text;
}

// A version texts the launcher can pass on as it is (in -Djaunt.runtimeVersion=...).
bool isPlainVersion(const std::string& version) {
    if (version.empty() || version.size() > kVersionLineLimit) return false;
    for (char c : version)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_' ||
              c == '-' || c == '+'))
            return false;
    return true;
}

bool isModuleName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') return false;
    for (char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '_' ||
              c == '$'))
            return false;
    return true;
}

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

// The version a tool prints for --version: its first line.
std::string toolVersion(const std::string& tool) {
    ChildRun run = runChild(tool, {"--version"}, kVersionSeconds);
    if (!run.started || run.timedOut || run.exitCode != 0) return std::string();
    return firstOutputLine(run.output);
}

}  // namespace

std::string findIgnoringCase(const std::string& folder, const std::string& name) {
    fs::path at = fs::u8path(folder);
    std::string found;
    for (const std::string& part : splitList(name, '/')) {
        std::error_code ec;
        std::string match;
        if (fs::exists(at / fs::u8path(part), ec)) {
            match = part;
        } else {
            std::vector<std::string> candidates;
            for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec)) {
                std::string child = it->path().filename().u8string();
                if (folded(child) == folded(part)) candidates.push_back(child);
            }
            if (candidates.empty()) return std::string();
            match = *std::min_element(candidates.begin(), candidates.end());
        }
        at /= fs::u8path(match);
        found += (found.empty() ? "" : "/") + match;
    }
    return found;
}

bool readReleaseValue(const std::string& text, const std::string& key, std::string* value) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.compare(0, key.size() + 1, key + "=") != 0) continue;
        std::string v = line.substr(key.size() + 1);
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        *value = v;
        return true;
    }
    return false;
}

std::string machineText(uint16_t machine) {
    if (machine == kMachineI386) return "32-bit (x86)";
    if (machine == kMachineAmd64) return "64-bit (x64)";
    static const char hex[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int shift = 12; shift >= 0; shift -= 4) text += hex[(machine >> shift) & 15];
    return "for machine " + text;
}

RuntimeFacts checkRuntimeFolder(const std::string& folder, const std::string& shown, LauncherArch arch,
                                const std::string& minimum, const std::string& maximum, const std::string& advice) {
    RuntimeFacts facts;
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(folder), ec)) throw RuntimeError(shown + ": no such folder");
    const uint16_t wanted = arch == LauncherArch::X64 ? kMachineAmd64 : kMachineI386;
    for (const char* library : kRuntimeLibraries) {
        std::string name = findIgnoringCase(folder, library);
        if (name.empty()) continue;
        std::string text = readText(fs::u8path(folder) / fs::u8path(name), kImageHeadSize);
        uint16_t machine = 0;
        if (!readImageMachine(reinterpret_cast<const unsigned char*>(text.data()), text.size(), &machine))
            throw RuntimeError(shown + "/" + name + " is not a Windows library");
        if (machine != wanted) {
            bool other = machine == kMachineI386 || machine == kMachineAmd64;
            throw RuntimeError(shown + "/" + name + " is a " + machineText(machine) + " library, but the launcher is " +
                               launcherArchName(arch) +
                               (other ? std::string("; build with --arch ") +
                                            (machine == kMachineAmd64 ? "x64" : "x86") + " or use a " +
                                            (wanted == kMachineAmd64 ? "64-bit" : "32-bit") + " runtime"
                                      : std::string("; use a runtime for Windows on x86 or x64")));
        }
        if (facts.library.empty()) facts.library = name, facts.machine = machine;
    }
    if (facts.library.empty()) {
        std::string hint;
        for (const char* other : {"lib/server/libjvm.so", "lib/client/libjvm.so", "lib/server/libjvm.dylib"}) {
            std::string name = findIgnoringCase(folder, other);
            if (!name.empty()) {
                hint = " but " + name + ": a runtime for " + (name.find(".so") != std::string::npos ? "Linux" : "macOS") +
                       ", not for Windows";
                break;
            }
        }
        throw RuntimeError(shown + " holds no bin/server/jvm.dll or bin/client/jvm.dll" +
                           (hint.empty() ? std::string(": not a Windows Java runtime") : hint) + advice);
    }
    std::string release = findIgnoringCase(folder, "release");
    if (release.empty())
        throw RuntimeError(shown + " has no release file, which names its Java version (JAVA_VERSION); jlink "
                                   "and every JDK write one");
    std::string version;
    if (!readReleaseValue(readText(fs::u8path(folder) / fs::u8path(release), 1 << 20), "JAVA_VERSION", &version))
        throw RuntimeError(shown + "/" + release + " names no JAVA_VERSION");
    if (!isPlainVersion(version))
        throw RuntimeError(shown + "/" + release + ": JAVA_VERSION \"" + version.substr(0, 120) +
                           "\" is not a version (at most " + std::to_string(kVersionLineLimit) +
                           " digits, letters and . _ - +)");
    // As the launcher compares a version with jvm.min_version and jvm.max_version (keys 126 and
    // 127); a runtime the application brings along is accepted as a pre-release too, as the
    // launcher accepts one in a folder it is told to use.
    for (int limit = 0; limit < 2; ++limit) {
        const std::string& bound = limit == 0 ? minimum : maximum;
        if (bound.empty()) continue;
        bool fits = limit == 0 ? isVersionAcceptable(version.c_str(), bound.c_str(), "", true)
                               : isVersionAcceptable(version.c_str(), "", bound.c_str(), true);
        if (!fits)
            throw RuntimeError(shown + " is Java " + version + " (JAVA_VERSION of its release file), but " +
                               (limit == 0 ? "jvm.min_version is " : "jvm.max_version is ") + bound +
                               "; use a runtime within the version limits, or change them");
    }
    facts.version = version;
    return facts;
}

std::vector<std::string> makeRuntimeImage(const ImageRequest& request, const std::string& output) {
    const fs::path jdk = fs::u8path(request.jdk);
    std::error_code ec;
    if (!fs::is_directory(jdk, ec)) throw RuntimeError(request.jdk + ": no such folder");
    std::string jdkVersion;
    if (!readReleaseValue(readText(jdk / "release", 1 << 20), "JAVA_VERSION", &jdkVersion) || jdkVersion.empty())
        throw RuntimeError(request.jdk + " has no release file naming its JAVA_VERSION: not a JDK");
    if (!fs::is_directory(jdk / "jmods", ec))
        throw RuntimeError(request.jdk + " has no jmods folder, which jlink links the runtime from");

    // jlink links only the jmods of its own version.
    std::vector<std::string> candidates;
    std::string own = (jdk / "bin" / ("jlink" + std::string(kExecutableSuffix))).string();
    if (fs::is_regular_file(own, ec)) candidates.push_back(own);
    std::string onPath = findOnPath("jlink" + std::string(kExecutableSuffix));
    if (!onPath.empty()) candidates.push_back(onPath);
    if (const char* home = std::getenv("JAVA_HOME")) {
        std::string inHome = (fs::path(home) / "bin" / ("jlink" + std::string(kExecutableSuffix))).string();
        if (*home != '\0' && fs::is_regular_file(inHome, ec)) candidates.push_back(inHome);
    }
    std::string jlink, seen;
    std::set<std::string> tried;
    for (const std::string& candidate : candidates) {
        if (!tried.insert(candidate).second) continue;
        std::string version = toolVersion(candidate);
        if (version == jdkVersion) {
            jlink = candidate;
            break;
        }
        seen += (seen.empty() ? "" : ", ") + candidate + " is " +
                (version.empty() ? std::string("a jlink whose version could not be read") : version);
    }
    if (jlink.empty())
        throw RuntimeError(
            "jlink links only the jmods of its own Java version, and the JDK at " + request.jdk + " is " +
            jdkVersion + (seen.empty() ? std::string(", but no jlink was found") : ", but " + seen) +
            "; put the bin folder of a JDK " + jdkVersion + " for this system on the PATH or set JAVA_HOME to it");

    std::vector<std::string> modules = request.modules;
    if (request.autoModules) {
        if (request.archives.empty())
            throw RuntimeError("modules = \"auto\" found no archive of the class path or the included files to "
                               "read at build time; list the modules");
        std::string jdeps = (fs::path(jlink).parent_path() / ("jdeps" + std::string(kExecutableSuffix))).string();
        std::string feature = jdkVersion.substr(0, jdkVersion.find_first_not_of("0123456789"));
        std::vector<std::string> arguments = {"--ignore-missing-deps", "--print-module-deps", "--multi-release",
                                              feature.empty() ? std::string("base") : feature};
        arguments.insert(arguments.end(), request.archives.begin(), request.archives.end());
        ChildRun run = runChild(jdeps, arguments, kJdepsSeconds);
        if (!run.started) throw RuntimeError(jdeps + " could not be started (modules = \"auto\" needs jdeps)");
        if (run.timedOut)
            throw RuntimeError(jdeps + " did not finish within " + std::to_string(kJdepsSeconds) + " s; list the modules");
        if (run.exitCode != 0) throw RuntimeError("jdeps failed: " + firstOutputLine(run.output) + "; list the modules");
        // Its last line is the list, comma-separated; warnings may come before it.
        std::string last;
        for (const std::string& line : splitList(run.output, '\n'))
            if (line.find_first_not_of(" \r") != std::string::npos) last = line;
        while (!last.empty() && (last.back() == '\r' || last.back() == ' ')) last.pop_back();
        modules = splitList(last, ',');
        if (modules.empty() || !std::all_of(modules.begin(), modules.end(), isModuleName))
            throw RuntimeError("jdeps printed no module list (" + firstOutputLine(run.output) + "); list the modules");
    }
    std::vector<std::string> arguments = {"--module-path", (jdk / "jmods").string(), "--add-modules",
                                          joined(modules, ","), "--strip-debug", "--no-header-files",
                                          "--no-man-pages", "--output", output};
    ChildRun run = runChild(jlink, arguments, kJlinkSeconds);
    if (!run.started) throw RuntimeError(jlink + " could not be started");
    if (run.timedOut) throw RuntimeError(jlink + " did not finish within " + std::to_string(kJlinkSeconds) + " s");
    if (run.exitCode != 0)
        throw RuntimeError("jlink failed (exit code " + std::to_string(run.exitCode) + "): " + firstOutputLine(run.output));
    return modules;
}

std::vector<std::string> buildTimeArchives(const BuildConfiguration& config, const std::string& configPath,
                                           const std::string& runtimeLibrary) {
    std::vector<std::string> archives;
    std::set<std::string> seen;
    std::error_code ec;
    auto add = [&](const fs::path& path, bool directory) {
        bool fits = directory ? fs::is_directory(path, ec) : fs::is_regular_file(path, ec);
        if (fits && seen.insert(path.lexically_normal().string()).second) archives.push_back(path.string());
    };
    fs::path base = fs::path(configPath).parent_path();
    for (const NarrowRecord& record : config.records) {
        if (record.key != KEY_CLASSPATH) continue;
        for (const ClassPathEntry& entry : parseClassPathEntries(record.value)) {
            std::string argument = entry.argument;
            // Variables and absolute Windows paths are known only on the user's machine.
            if (argument.empty() || argument.find_first_of("%$") != std::string::npos || argument[0] == '\\' ||
                (argument.size() > 1 && argument[1] == ':'))
                continue;
            std::replace(argument.begin(), argument.end(), '\\', '/');
            fs::path path = base / fs::u8path(argument);
            if (entry.type == 'A') add(path, false);
            if (entry.type == 'D') add(path, true);
            if (entry.type == 'S') {
                std::vector<fs::path> found;
                for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec))
                    if (endsWithIgnoringCase(it->path().filename().string(), ".jar") ||
                        endsWithIgnoringCase(it->path().filename().string(), ".zip"))
                        found.push_back(it->path());
                std::sort(found.begin(), found.end());
                for (const fs::path& archive : found) add(archive, false);
            }
        }
    }
    for (const IncludedFileSource& file : config.files) {
        std::string path = file.path.empty() ? runtimeLibrary : file.path;
        if (!path.empty() && (endsWithIgnoringCase(file.name, ".jar") || endsWithIgnoringCase(file.name, ".zip")))
            add(path, false);
    }
    return archives;
}

PreparedRuntime prepareRuntime(const BuildConfiguration& config, const std::string& configPath,
                               const std::string& outputPath, LauncherArch arch, const std::string& runtimeLibrary) {
    const RuntimeSettings& settings = config.runtime;
    PreparedRuntime prepared;
    std::string minimum, maximum;
    for (const NarrowRecord& record : config.records) {
        if (record.key == KEY_MIN_VERSION) minimum = record.value;
        if (record.key == KEY_MAX_VERSION) maximum = record.value;
    }
    bool link = !settings.jdk.empty();
    const std::string setting = link ? "runtime.jdk" : "runtime.path";
    const int line = link ? settings.jdkLine : settings.pathLine;
    try {
        std::string folder = settings.path, shown = settings.pathText;
        std::unique_ptr<TemporaryFile> image;
        if (link) {
            // jlink writes its image into a folder of this build's own, beside the launcher.
            fs::path directory = fs::path(outputPath).parent_path();
            std::error_code ec;
            if (!directory.empty()) fs::create_directories(directory, ec);
            image.reset(new TemporaryFile(outputPath, "runtime", TemporaryFile::Directory));
            folder = (fs::path(image->path()) / "image").string();
            ImageRequest request{settings.jdk, settings.modules, settings.autoModules,
                                 settings.autoModules ? buildTimeArchives(config, configPath, runtimeLibrary)
                                                      : std::vector<std::string>()};
            prepared.modules = makeRuntimeImage(request, folder);
            shown = "the image jlink made from " + settings.jdkText;
        }
        prepared.facts = checkRuntimeFolder(folder, shown, arch, minimum, maximum,
                                            link ? "; jlink makes the image from the jmods of runtime.jdk, which must be "
                                                   "a Windows JDK"
                                                 : "");
        prepared.pack = packRuntime(folder, shown);
    } catch (const std::runtime_error& e) {  // RuntimeError, and the file system's and temporary files' errors
        throw ConfigError(configPath, line, setting + ": " + e.what());
    }
    return prepared;
}

std::string runtimeApplicationName(const BuildConfiguration& config, const std::string& outputPath) {
    auto valueOf = [&](int32_t key) {
        for (const NarrowRecord& record : config.records)
            if (record.key == key) return record.value;
        return std::string();
    };
    if (const KeyInfo* id = findKeyByName("application.id")) {
        std::string value = valueOf(id->number);
        if (!value.empty()) return value;
    }
    std::string name = valueOf(KEY_APP_NAME);
    return name.empty() ? fs::path(outputPath).filename().u8string() : name;
}

void addRuntimeRecords(BuildConfiguration* config, const PreparedRuntime& runtime, uint64_t payloadSize,
                       const std::string& outputPath) {
    const std::pair<int32_t, std::string> added[] = {
        {KEY_RUNTIME_PACK, runtimeLocationText(payloadSize, runtime.pack.bytes.size(), runtime.pack.hash)},
        {KEY_RUNTIME_VERSION, runtime.facts.version},
        {KEY_RUNTIME_APPLICATION, runtimeApplicationName(*config, outputPath)},
    };
    auto& records = config->records;
    for (const auto& [key, value] : added) {
        auto at = std::lower_bound(records.begin(), records.end(), key,
                                   [](const NarrowRecord& r, int32_t k) { return r.key < k; });
        if (at != records.end() && at->key == key)
            at->value = value;
        else
            records.insert(at, NarrowRecord{key, value});
    }
}

}  // namespace jaunt
