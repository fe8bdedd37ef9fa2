#include "buildconfig.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>

#include <toml++/toml.h>

#include "boundedtext.h"
#include "configchecks.h"
#include "configkeys.h"
#include "configwords.h"
#include "launcherimage.h"
#include "pathtext.h"
#include "payloadwriter.h"

namespace jaunt {

ConfigError::ConfigError(const std::string& file, int line, const std::string& message)
    : std::runtime_error(file + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + message),
      file_(file),
      line_(line),
      message_(message) {}

namespace {

namespace fs = std::filesystem;

// Texts the launcher shows when the configuration does not give its own. The dialog header (1014)
// is built from the application name.
struct DefaultText {
    int32_t key;
    const char* text;
};
const DefaultText kDefaultMessages[] = {
    {MSG_ERROR_CAPTION, "Error"},
    {MSG_NO_JVM,
     "No JVM could be found on your system.\r\nPlease define JAUNT_JAVA_HOME\r\n"
     "to point to an installed JDK or JRE or download a JRE."},
    {MSG_JVM_IN_PATH_DAMAGED,
     "The JVM found in your path is damaged.\r\nPlease reinstall or define JAUNT_JAVA_HOME\r\n"
     "to point to an installed JDK or JRE."},
    {MSG_JVM_ENV_VAR_UNUSABLE,
     "The %ENV_VAR_NAME% environment variable does not\r\npoint to a working JDK or JRE."},
    {MSG_JVM_AT_PATH_DAMAGED,
     "The JVM found at %DEFINED_PATH% is damaged.\r\nPlease reinstall or define JAUNT_JAVA_HOME\r\n"
     "to point to an installed JDK or JRE."},
    {MSG_LAUNCH_FAILED, "The JVM could not be started. The main method may have thrown an exception."},
    {MSG_CLASSPATH_ENTRY_MISSING, "File or directory %FILE_NAME% not found or empty\r\n"},
    {MSG_BAD_ARGUMENTS, "Wrong Parameter Usage"},
    {MSG_ENV_VAR_UNDEFINED, "The environment variable %ENV_VAR_NAME% has to be defined"},
    {MSG_INTERNAL_ERROR, "An internal error occurred (error code: %ERROR_CODE%)"},
    {MSG_MAIN_CLASS_NOT_FOUND, "Couldn't load main class."},
    {MSG_MAIN_METHOD_NOT_FOUND, "Main method not found."},
    {MSG_DIALOG_CAPTION, "Error"},
    {MSG_DIALOG_OK, "Ok"},
};
const char kDefaultApplicationName[] = "The application";
const char kDefaultExecutableType[] = "1";  // GUI launcher with error dialogs
const char kDefaultStderrFile[] = "error.log";
const char kFlavour[] = "e";
const char kDefaultRuntimeFailed[] = "The application's Java runtime could not be prepared in %DEFINED_PATH%.";

// The keys that locate and describe the packed runtime. They describe bytes that jaunt writes, so
// unlike the other managed keys not even [keys] may set them.
bool isRuntimeKey(int32_t key) {
    return key == KEY_RUNTIME_PACK || key == KEY_RUNTIME_VERSION || key == KEY_RUNTIME_APPLICATION;
}

// Keys the build tool writes itself; the configuration cannot name them.
bool isManagedKey(int32_t key) {
    return key == KEY_FLAVOUR || key == KEY_FILE_COUNT || key == KEY_FILE_NAMES || isRuntimeKey(key);
}

// True when name is the dotted name of a section holding keys, e.g. "splash" or "splash.status".
bool isSection(const std::string& name) {
    size_t count = 0;
    const KeyInfo* keys = allKeys(&count);
    std::string prefix = name + ".";
    for (size_t i = 0; i < count; ++i)
        if (std::string(keys[i].name).compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

int lineOf(const toml::source_region& region) {
    return static_cast<int>(region.begin.line);
}

// The line of a key/value entry. Tables made implicitly by dotted keys have no position of their
// own, so the key's line comes first.
int lineOf(const toml::key& key, const toml::node& node) {
    int line = lineOf(key.source());
    return line != 0 ? line : lineOf(node.source());
}

// A value set by the configuration, with where it was set, for messages about conflicts.
struct SetValue {
    std::string value;
    int line;
    std::string origin;  // "application.name" or "[keys] 101"
};

class ConfigReader {
public:
    explicit ConfigReader(const std::string& sourcePath) : path_(sourcePath) {}

    BuildConfiguration read(std::string_view text) {
        toml::table root;
        try {
            root = toml::parse(text, path_);
        } catch (const toml::parse_error& e) {
            throw ConfigError(path_, lineOf(e.source()), std::string(e.description()));
        }

        collectTable(root, std::string());
        // Settings are applied in file order, so a key set twice is reported where it is set the
        // second time. Of all mistakes found, the one nearest the top of the file is reported.
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Pending& a, const Pending& b) { return a.line < b.line; });
        for (const Pending& p : pending_) apply(p);
        checkValues();
        if (!errors_.empty()) {
            auto first = std::min_element(
                errors_.begin(), errors_.end(),
                [](const ConfigError& a, const ConfigError& b) { return a.line() < b.line(); });
            throw *first;
        }

        addIncludedFiles();
        if (!errors_.empty()) throw errors_.front();
        addResources();
        if (!errors_.empty()) throw errors_.front();
        addDefaults();
        BuildConfiguration result;
        for (const auto& [key, set] : values_) result.records.push_back(NarrowRecord{key, set.value});
        result.stub = stub_;
        result.output = output_;
        result.arch = arch_;
        result.files = files_;
        result.firstArchive = firstArchive_;
        result.warnings = warnings_;
        result.resources = resources_;
        result.sign = sign_;
        result.signing = signing_;
        result.runtime = runtime;
        return result;
    }

private:
    enum class Source { Named, Raw, Word };
    struct Pending {
        Source source;
        std::string name;  // dotted name, or the TOML key of a [keys] entry
        const toml::node* node;
        int line;
    };

    void fail(int line, const std::string& message) { errors_.emplace_back(path_, line, message); }

    void collectTable(const toml::table& table, const std::string& prefix) {
        for (const auto& [key, node] : table) {
            std::string name =
                prefix.empty() ? std::string(key.str()) : prefix + "." + std::string(key.str());
            int line = lineOf(key, node);

            if (prefix.empty() && name == "keys") {
                if (const toml::table* raw = node.as_table()) {
                    for (const auto& [rawKey, rawNode] : *raw)
                        pending_.push_back(Pending{Source::Raw, std::string(rawKey.str()), &rawNode,
                                                   lineOf(rawKey, rawNode)});
                } else {
                    fail(line, "keys must be a table of key numbers ([keys])");
                }
                continue;
            }
            if (prefix.empty() && name == "files") {
                if (const toml::table* files = node.as_table())
                    collectFiles(*files);
                else
                    fail(line, "files must be a table ([files])");
                continue;
            }
            if (prefix.empty() && name == "build") {
                if (const toml::table* build = node.as_table())
                    collectBuild(*build);
                else
                    fail(line, "build must be a table ([build])");
                continue;
            }
            if (prefix.empty() && name == "runtime") {
                if (const toml::table* runtime = node.as_table())
                    collectRuntime(*runtime, line);
                else
                    fail(line, "runtime must be a table ([runtime])");
                continue;
            }
            if (prefix.empty() && name == "sign") {
                if (const toml::table* sign = node.as_table())
                    collectSign(*sign, line);
                else
                    fail(line, "sign must be a table ([sign])");
                continue;
            }
            collectNamed(name, node, line);
        }
    }

    void collectNamed(const std::string& name, const toml::node& node, int line) {
        if (ResourceSetting* setting = resourceSetting(name)) {
            const toml::value<std::string>* text = node.as_string();
            if (text == nullptr || text->get().empty())
                fail(line, name + " must be a non-empty string");
            else
                *setting = ResourceSetting{text->get(), line};
            return;
        }
        if (const KeyInfo* info = findKeyByName(name.c_str())) {
            if (isManagedKey(info->number))
                fail(line, name + " is managed by the build tool and cannot be set");
            else
                pending_.push_back(Pending{Source::Named, name, &node, line});
        } else if (node.is_table() && isSection(name)) {
            collectTable(*node.as_table(), name);
        } else if (isWordSetting(name)) {
            pending_.push_back(Pending{Source::Word, name, &node, line});
        } else if (node.is_table()) {
            fail(line, "unknown section [" + name + "]" + suggestion(name, true));
        } else {
            fail(line, "unknown key " + name + suggestion(name, false));
        }
    }

    void collectBuild(const toml::table& build) {
        for (const auto& [key, node] : build) {
            std::string field(key.str());
            int line = lineOf(key, node);
            if (field == "arch") {
                const toml::value<std::string>* text = node.as_string();
                LauncherArch arch;
                if (text == nullptr || !parseLauncherArch(text->get(), &arch))
                    fail(line, "build.arch must be \"x86\" or \"x64\"");
                else
                    arch_ = text->get();
                continue;
            }
            std::string* target = field == "stub" ? &stub_ : field == "output" ? &output_ : nullptr;
            if (target == nullptr) {
                collectNamed("build." + field, node, line);
                continue;
            }
            const toml::value<std::string>* text = node.as_string();
            if (text == nullptr || text->get().empty()) {
                fail(line, "build." + field + " must be a file name (a non-empty string)");
                continue;
            }
            try {
                *target = resolvePath(text->get());
            } catch (const std::exception&) {
                fail(line, "build." + field + " cannot be written in this system's code page");
            }
        }
    }

    // [files] include = [paths] and runtime = true|false; any other key goes the way of a named
    // setting (so files.count and files.names are refused as managed by the build tool).
    void collectFiles(const toml::table& files) {
        for (const auto& [key, node] : files) {
            std::string field(key.str());
            int line = lineOf(key, node);
            if (field == "runtime") {
                if (const toml::value<bool>* flag = node.as_boolean()) {
                    runtime_ = flag->get();
                    runtimeLine_ = line;
                } else {
                    fail(line, "files.runtime must be true or false");
                }
            } else if (field == "include") {
                const toml::array* items = node.as_array();
                if (items == nullptr) {
                    fail(line, "files.include must be an array of file paths");
                    continue;
                }
                for (const toml::node& item : *items) {
                    int itemLine = lineOf(item.source()) != 0 ? lineOf(item.source()) : line;
                    const toml::value<std::string>* text = item.as_string();
                    if (text == nullptr || text->get().empty()) {
                        fail(itemLine, "files.include items must be file paths (non-empty strings)");
                        continue;
                    }
                    std::string name = fs::u8path(text->get()).filename().u8string();
                    std::string problem = includedFileNameProblem(name);
                    if (!problem.empty()) {
                        fail(itemLine, "files.include: " + text->get() + ": " + problem);
                        continue;
                    }
                    std::string path;
                    try {
                        path = resolvePath(text->get());
                    } catch (const std::exception&) {
                        fail(itemLine,
                             "files.include: " + text->get() + " cannot be written in this system's code page");
                        continue;
                    }
                    includes_.push_back(IncludedFileSource{name, path, itemLine});
                }
            } else {
                collectNamed("files." + field, node, line);
            }
        }
    }

    // [sign]: the certificate (PKCS#12, or PEM with its key), where the password comes from, and
    // what the signature says. The password itself never stands in the configuration.
    void collectSign(const toml::table& sign, int line) {
        sign_ = true;
        int certificateLine = 0, keyLine = 0, passwordLine = 0;
        for (const auto& [key, node] : sign) {
            std::string field(key.str());
            int fieldLine = lineOf(key, node);
            const toml::value<std::string>* text = node.as_string();
            std::string name = "sign." + field;
            if (field == "password") {
                fail(fieldLine, "sign.password: the password never stands in the configuration; name its "
                                "environment variable with sign.password_env or its file with sign.password_file");
                continue;
            }
            if (field == "timeout") {
                const toml::value<int64_t>* seconds = node.as_integer();
                if (seconds == nullptr || seconds->get() < 1 || seconds->get() > 86400)
                    fail(fieldLine, "sign.timeout must be a whole number of seconds from 1 to 86400");
                else
                    signing_.timeoutSeconds = static_cast<int>(seconds->get());
                continue;
            }
            std::string* target = field == "certificate"     ? &signing_.certificate
                                  : field == "key"           ? &signing_.key
                                  : field == "password_env"  ? &signing_.passwordEnv
                                  : field == "password_file" ? &signing_.passwordFile
                                  : field == "timestamp_url" ? &signing_.timestampUrl
                                  : field == "description"   ? &signing_.description
                                  : field == "url"           ? &signing_.url
                                                             : nullptr;
            if (target == nullptr) {
                fail(fieldLine, "unknown key " + name);
                continue;
            }
            if (text == nullptr || text->get().empty()) {
                fail(fieldLine, name + " must be a non-empty string");
                continue;
            }
            std::string value = text->get();
            if (field == "certificate" || field == "key" || field == "password_file") {
                try {
                    value = resolvePath(value);
                } catch (const std::exception&) {
                    fail(fieldLine, name + " cannot be written in this system's code page");
                    continue;
                }
            }
            bool badName = value.find('=') != std::string::npos || value.find('\0') != std::string::npos;
            if (field == "password_env" && badName) {
                fail(fieldLine, name + " must be the name of an environment variable");
                continue;
            }
            if (field == "timestamp_url" && value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0) {
                fail(fieldLine, name + " must be an http:// or https:// address");
                continue;
            }
            *target = value;
            if (field == "certificate") certificateLine = fieldLine;
            if (field == "key") keyLine = fieldLine;
            if (field == "password_env" || field == "password_file") {
                if (passwordLine != 0)
                    fail(fieldLine, "sign.password_env and sign.password_file are both set; keep one");
                passwordLine = fieldLine;
            }
        }
        if (signing_.certificate.empty()) {
            if (certificateLine == 0)
                fail(line, "sign.certificate is missing: a PKCS#12 file (.p12 or .pfx), or a PEM certificate "
                           "with sign.key");
            return;
        }
        std::string extension = fs::path(signing_.certificate).extension().string();
        for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        bool pkcs12 = extension == ".p12" || extension == ".pfx";
        if (pkcs12 && !signing_.key.empty())
            fail(keyLine, "sign.key: a PKCS#12 certificate carries its own key; leave sign.key out");
        else if (!pkcs12 && signing_.key.empty())
            fail(certificateLine, "sign.certificate: a certificate that is not a PKCS#12 file (.p12 or .pfx) "
                                  "is read as PEM and needs its key in sign.key");
    }

    // [runtime]: path = a runtime folder, or jdk = a JDK and modules = [...] or "auto" for jlink.
    // Any other key goes the way of a named setting (so runtime.pack and the other keys jaunt
    // writes are refused as managed by the build tool).
    void collectRuntime(const toml::table& table, int line) {
        runtime.present = true;
        int modulesLine = 0;
        for (const auto& [key, node] : table) {
            std::string field(key.str());
            int fieldLine = lineOf(key, node);
            if (field == "path" || field == "jdk") {
                const toml::value<std::string>* text = node.as_string();
                if (text == nullptr || text->get().empty()) {
                    fail(fieldLine, "runtime." + field + " must be a folder (a non-empty string)");
                    continue;
                }
                std::string resolved;
                try {
                    resolved = resolvePath(text->get());
                } catch (const std::exception&) {
                    fail(fieldLine, "runtime." + field + " cannot be written in this system's code page");
                    continue;
                }
                if (field == "path")
                    runtime.path = resolved, runtime.pathText = text->get(), runtime.pathLine = fieldLine;
                else
                    runtime.jdk = resolved, runtime.jdkText = text->get(), runtime.jdkLine = fieldLine;
            } else if (field == "modules") {
                modulesLine = fieldLine;
                collectModules(node, fieldLine);
            } else {
                collectNamed("runtime." + field, node, fieldLine);
            }
        }
        if (runtime.pathLine != 0 && runtime.jdkLine != 0)
            fail(std::max(runtime.pathLine, runtime.jdkLine),
                 "runtime.path and runtime.jdk are both set; keep path for a runtime folder, or jdk and modules to "
                 "have jlink make one");
        else if (runtime.pathLine == 0 && runtime.jdkLine == 0 && errors_.empty())
            fail(line, "[runtime] needs path = \"a runtime folder\", or jdk = \"a JDK\" and modules = [...] for jlink");
        else if (runtime.jdkLine != 0 && modulesLine == 0)
            fail(runtime.jdkLine, "runtime.jdk needs runtime.modules: the modules to link, as [\"java.base\", ...], or "
                                  "\"auto\" to have jdeps find them");
        else if (runtime.pathLine != 0 && modulesLine != 0)
            fail(modulesLine, "runtime.modules goes with runtime.jdk; a runtime folder (runtime.path) is taken as it is");
    }

    void collectModules(const toml::node& node, int line) {
        if (const toml::value<std::string>* text = node.as_string()) {
            if (text->get() == "auto")
                runtime.autoModules = true;
            else
                fail(line, "runtime.modules must be an array of module names, or \"auto\"");
            return;
        }
        const toml::array* items = node.as_array();
        if (items == nullptr || items->empty()) {
            fail(line, "runtime.modules must be an array of module names (such as [\"java.base\"]), or \"auto\"");
            return;
        }
        for (const toml::node& item : *items) {
            int itemLine = lineOf(item.source()) != 0 ? lineOf(item.source()) : line;
            const toml::value<std::string>* text = item.as_string();
            bool plain = text != nullptr && !text->get().empty() &&
                         text->get().find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._$") ==
                             std::string::npos &&
                         text->get().front() != '.' && text->get().back() != '.';
            if (!plain) {
                fail(itemLine, "runtime.modules items must be module names, such as \"java.base\"");
                return;
            }
            runtime.modules.push_back(text->get());
        }
    }

    // The runtime library and the included files, and keys 2002 and 2003 for them. Windows file
    // names ignore letter case: two names that differ only in case would be one file.
    void addIncludedFiles() {
        std::vector<IncludedFileSource> files;
        if (runtime_) files.push_back(IncludedFileSource{kRuntimeLibraryName, std::string(), runtimeLine_});
        files.insert(files.end(), includes_.begin(), includes_.end());
        std::map<std::string, const IncludedFileSource*> seen;
        std::vector<std::string> names;
        for (const IncludedFileSource& file : files) {
            std::string folded = file.name;
            for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            auto found = seen.find(folded);
            if (found != seen.end()) {
                const IncludedFileSource* first = found->second;
                std::string where = first->path.empty() ? "the runtime library"
                                                        : "the file on line " + std::to_string(first->line);
                fail(file.line, "files.include: two included files would be named " + file.name + ": " + where +
                                    " has that name too");
                continue;
            }
            seen.emplace(folded, &file);
            names.push_back(file.name);
        }
        std::string list = fileNameList(names);
        // The launcher reads the name list into one of its text buffers, terminator included.
        if (list.size() > kTextSize - 1)
            fail(includes_.empty() ? 0 : includes_.back().line,
                 "files.include: the names of the included files take " + std::to_string(list.size()) +
                     " bytes, more than the " + std::to_string(kTextSize - 1) + " the launcher reads");
        if (!errors_.empty()) return;
        files_ = files;
        if (!files_.empty()) {
            addDefault(KEY_FILE_COUNT, std::to_string(files_.size()));
            addDefault(KEY_FILE_NAMES, list);
        }
    }

    // The configuration is UTF-8; the result is a path in the system's narrow encoding, as the
    // command line and the file functions use it.
    std::string resolvePath(const std::string& value) const {
        fs::path path = fs::u8path(value);
        if (path.is_absolute()) return path.string();
        return (fs::path(path_).parent_path() / path).string();
    }

    void apply(const Pending& p) {
        if (p.source == Source::Raw) {
            applyRaw(p);
            return;
        }
        if (p.source == Source::Word) {
            applyWord(p);
            return;
        }
        const KeyInfo* info = findKeyByName(p.name.c_str());
        std::string value;
        if (!convertNamed(*info, *p.node, p.line, &value)) return;
        store(info->number, value, p.line, p.name);
    }

    void store(int32_t key, const std::string& value, int line, const std::string& origin) {
        if (value.find('\0') != std::string::npos) {
            fail(line, origin + " contains a NUL character, which the launcher cannot read");
            return;
        }
        auto found = values_.find(key);
        if (found != values_.end()) {
            fail(line, "key " + std::to_string(key) + " is set twice: as " + found->second.origin +
                           " on line " + std::to_string(found->second.line) + " and as " + origin);
            return;
        }
        values_.emplace(key, SetValue{value, line, origin});
    }

    // keyLine is where the key was written: tables made implicitly by dotted keys have no position.
    bool convertNamed(const KeyInfo& info, const toml::node& node, int keyLine, std::string* out) {
        const std::string name = info.name;
        int line = lineOf(node.source()) != 0 ? lineOf(node.source()) : keyLine;
        switch (info.number) {
            case KEY_PATH_PREFIX:
                if (const toml::array* items = node.as_array()) return joinDirectories(name, *items, out);
                break;
            case KEY_VM_OPTIONS:
            case KEY_ARGUMENTS:
                if (const toml::array* items = node.as_array()) return joinQuoted(name, *items, out);
                break;
            case KEY_CLASSPATH:
                if (const toml::array* items = node.as_array()) return translateClassPath(*items, line, out);
                break;
            case KEY_ADD_OPENS:
            case KEY_ADD_EXPORTS:
                if (const toml::array* items = node.as_array()) return joinModuleFlags(name, *items, out);
                break;
            default:
                break;
        }
        switch (info.kind) {
            case KeyKind::Text:
                if (const toml::value<std::string>* text = node.as_string()) {
                    *out = text->get();
                    return true;
                }
                if (info.number == KEY_PATH_PREFIX || info.number == KEY_VM_OPTIONS ||
                    info.number == KEY_ARGUMENTS || info.number == KEY_CLASSPATH || info.number == KEY_ADD_OPENS ||
                    info.number == KEY_ADD_EXPORTS)
                    fail(line, name + " must be a string or an array of strings");
                else
                    fail(line, name + " must be a string");
                return false;
            case KeyKind::Number:
                if (const toml::value<int64_t>* number = node.as_integer()) {
                    int64_t v = number->get();
                    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) {
                        fail(line, name + " = " + std::to_string(v) +
                                       " is out of range (-2147483648 to 2147483647)");
                        return false;
                    }
                    *out = std::to_string(v);
                    return true;
                }
                fail(line, name + " must be an integer");
                return false;
            case KeyKind::Flag:
                if (const toml::value<bool>* flag = node.as_boolean()) {
                    *out = flag->get() ? "1" : "0";
                    return true;
                }
                fail(line, name + " must be true or false");
                return false;
            case KeyKind::Colour:
                return convertColour(name, node, line, out);
        }
        return false;
    }

    bool convertColour(const std::string& name, const toml::node& node, int line, std::string* out) {
        const std::string usage = " must be three numbers 0..255, as [r, g, b] or \"r,g,b\"";
        int components[3] = {0, 0, 0};
        if (const toml::array* items = node.as_array()) {
            if (items->size() != 3) {
                fail(line, name + usage + " (found " + std::to_string(items->size()) + " items)");
                return false;
            }
            for (size_t i = 0; i < 3; ++i) {
                const toml::value<int64_t>* number = (*items)[i].as_integer();
                if (number == nullptr || number->get() < 0 || number->get() > 255) {
                    fail(lineOf((*items)[i].source()), name + usage);
                    return false;
                }
                components[i] = static_cast<int>(number->get());
            }
        } else if (const toml::value<std::string>* text = node.as_string()) {
            if (!parseColourText(text->get(), components)) {
                fail(line, name + usage + " (found \"" + text->get() + "\")");
                return false;
            }
        } else {
            fail(line, name + usage);
            return false;
        }
        *out = std::to_string(components[0]) + "," + std::to_string(components[1]) + "," +
               std::to_string(components[2]);
        return true;
    }

    // "r,g,b": three decimal numbers 0..255 separated by commas, blanks allowed around each.
    static bool parseColourText(const std::string& text, int* components) {
        size_t part = 0;
        size_t i = 0;
        while (true) {
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
            size_t start = i;
            int value = 0;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
                value = value * 10 + (text[i] - '0');
                if (value > 255) return false;
                ++i;
            }
            if (i == start) return false;
            components[part++] = value;
            while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
            if (part == 3) return i == text.size();
            if (i == text.size() || text[i] != ',') return false;
            ++i;
        }
    }

    // application.path_prefix as an array: the directories joined with ";".
    bool joinDirectories(const std::string& name, const toml::array& items, std::string* out) {
        std::string joined;
        for (const toml::node& item : items) {
            const toml::value<std::string>* text = item.as_string();
            int line = lineOf(item.source());
            if (text == nullptr) {
                fail(line, name + " items must be strings");
                return false;
            }
            if (text->get().empty() || text->get().find(';') != std::string::npos) {
                fail(line, name + " items must be single directories: not empty and without \";\"");
                return false;
            }
            if (!joined.empty()) joined += ';';
            joined += text->get();
        }
        *out = joined;
        return true;
    }

    // java.add_opens and java.add_exports as arrays: the module/package items separated by blanks,
    // as a manifest writes them (checkValues checks each item).
    bool joinModuleFlags(const std::string& name, const toml::array& items, std::string* out) {
        std::string joined;
        for (const toml::node& item : items) {
            const toml::value<std::string>* text = item.as_string();
            if (text == nullptr || text->get().empty() || text->get().find_first_of(" \t") != std::string::npos) {
                fail(lineOf(item.source()),
                     name + " items must be single module/package names, as \"java.base/java.lang\"");
                return false;
            }
            joined += (joined.empty() ? "" : " ") + text->get();
        }
        *out = joined;
        return true;
    }

    // java.vm_options and java.arguments as arrays: each item quoted so that the launcher's
    // splitting gives it back whole, the items separated by one space.
    bool joinQuoted(const std::string& name, const toml::array& items, std::string* out) {
        std::string joined;
        for (const toml::node& item : items) {
            const toml::value<std::string>* text = item.as_string();
            int line = lineOf(item.source());
            if (text == nullptr) {
                fail(line, name + " items must be strings");
                return false;
            }
            const std::string& s = text->get();
            bool hasDouble = s.find('"') != std::string::npos;
            bool hasSingle = s.find('\'') != std::string::npos;
            if (hasDouble && hasSingle) {
                fail(line,
                     name + " item " + s +
                         " contains both \" and ', so it cannot be quoted; write the key as one string");
                return false;
            }
            char quote = hasDouble ? '\'' : '"';
            if (!joined.empty()) joined += ' ';
            joined += quote;
            joined += s;
            joined += quote;
        }
        *out = joined;
        return true;
    }

    void applyRaw(const Pending& p) {
        int32_t key = 0;
        if (!parseKeyNumber(p.name, &key)) {
            fail(p.line, "[keys] " + p.name + ": a key in [keys] must be a decimal key number");
            return;
        }
        std::string origin = "[keys] " + std::to_string(key);
        if (isRuntimeKey(key)) {
            fail(p.line, origin + " is managed by the build tool, which writes it for [runtime], and cannot be set");
            return;
        }
        std::string value;
        if (const toml::value<std::string>* text = p.node->as_string())
            value = text->get();
        else if (const toml::value<int64_t>* number = p.node->as_integer())
            value = std::to_string(number->get());
        else if (const toml::value<bool>* flag = p.node->as_boolean())
            value = flag->get() ? "1" : "0";
        else {
            fail(lineOf(p.node->source()), origin + " must be a string, an integer or a boolean");
            return;
        }
        store(key, value, p.line, origin);
    }

    static bool parseKeyNumber(const std::string& text, int32_t* key) {
        size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
        if (i == text.size()) return false;
        int64_t magnitude = 0;
        for (; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return false;
            magnitude = magnitude * 10 + (text[i] - '0');
            if (magnitude > int64_t(1) << 31) return false;
        }
        int64_t value = text[0] == '-' ? -magnitude : magnitude;
        if (value > std::numeric_limits<int32_t>::max()) return false;
        *key = static_cast<int32_t>(value);
        return true;
    }

    void addDefault(int32_t key, const std::string& value) {
        values_.emplace(key, SetValue{value, 0, "default"});  // keeps a value already set
    }

    void addDefaults() {
        for (const DefaultText& message : kDefaultMessages) addDefault(message.key, message.text);
        auto name = values_.find(KEY_APP_NAME);
        addDefault(MSG_DIALOG_HEADER,
                   (name != values_.end() ? name->second.value : std::string(kDefaultApplicationName)) +
                       " reported an error:");
        addDefault(KEY_EXECUTABLE_TYPE, kDefaultExecutableType);
        addDefault(KEY_STDERR_FILE, kDefaultStderrFile);
        addDefault(KEY_FLAVOUR, kFlavour);
        if (runtime.present) addDefault(MSG_RUNTIME_FAILED, kDefaultRuntimeFailed);
    }

    // Settings that become resources of the launcher rather than entries of its table.
    struct ResourceSetting {
        std::string value;
        int line = 0;
    };
    ResourceSetting* resourceSetting(const std::string& name) {
        if (name == "splash.image") return &splashImage_;
        if (name == "application.icon") return &icon_;
        if (name == "application.dpi_awareness") return &dpiAwareness_;
        if (name == "application.execution_level") return &executionLevel_;
        return nullptr;
    }

    // Reads a picture or icon file named by a setting; false after reporting a failure.
    bool readSettingFile(const std::string& name, const ResourceSetting& setting, std::vector<uint8_t>* bytes) {
        try {
            *bytes = readFileBytes(resolvePath(setting.value));
            return true;
        } catch (const std::exception& e) {
            fail(setting.line, name + ": " + e.what());
            return false;
        }
    }

    std::string valueOf(int32_t key) const {
        auto found = values_.find(key);
        return found != values_.end() ? found->second.value : std::string();
    }

    static bool oneOf(const std::string& value, const char* const* allowed, std::string* list) {
        bool found = false;
        for (; *allowed != nullptr; ++allowed) {
            found = found || value == *allowed;
            *list += (list->empty() ? "" : ", ") + std::string(*allowed);
        }
        return found;
    }

    void addResources() {
        std::vector<uint8_t> bytes;
        if (!splashImage_.value.empty() && readSettingFile("splash.image", splashImage_, &bytes)) {
            try {
                resources_.splash = decodePicture(bytes);
                resources_.hasSplash = true;
            } catch (const ResourceError& e) {
                fail(splashImage_.line, "splash.image: " + splashImage_.value + ": " + e.what());
            }
        }
        if (resources_.hasSplash) {
            // The window takes the picture's size; a configured size must be that size.
            const Picture& picture = resources_.splash;
            std::string pictureSize = std::to_string(picture.width) + " x " + std::to_string(picture.height);
            auto width = values_.find(KEY_SPLASH_WIDTH), height = values_.find(KEY_SPLASH_HEIGHT);
            std::string configured =
                (width != values_.end() ? width->second.value : std::to_string(picture.width)) + " x " +
                (height != values_.end() ? height->second.value : std::to_string(picture.height));
            if (configured != pictureSize) {
                bool widthDiffers = width != values_.end() && width->second.value != std::to_string(picture.width);
                int line = widthDiffers ? width->second.line : height->second.line;
                fail(line, "the splash window is configured as " + configured + " pixels (splash.width x splash.height) "
                           "but the picture " + splashImage_.value + " is " + pictureSize);
            }
            addDefault(KEY_SPLASH_WIDTH, std::to_string(picture.width));
            addDefault(KEY_SPLASH_HEIGHT, std::to_string(picture.height));
        }
        if (!icon_.value.empty() && readSettingFile("application.icon", icon_, &bytes)) {
            try {
                resources_.icon = loadIcon(bytes);
            } catch (const ResourceError& e) {
                fail(icon_.line, "application.icon: " + icon_.value + ": " + e.what());
            }
        }
        std::string list;
        if (!dpiAwareness_.value.empty() && !oneOf(dpiAwareness_.value, kDpiAwarenessValues, &list))
            fail(dpiAwareness_.line, "application.dpi_awareness must be one of " + list);
        else if (!dpiAwareness_.value.empty())
            resources_.dpiAwareness = dpiAwareness_.value;
        list.clear();
        if (!executionLevel_.value.empty() && !oneOf(executionLevel_.value, kExecutionLevelValues, &list))
            fail(executionLevel_.line, "application.execution_level must be one of " + list);
        else if (!executionLevel_.value.empty())
            resources_.executionLevel = executionLevel_.value;

        auto version = values_.find(KEY_APP_VERSION);
        uint16_t numbers[4];
        std::string why;
        if (version != values_.end() && !parseVersionNumbers(version->second.value, numbers, &why))
            fail(version->second.line, version->second.origin + " = \"" + version->second.value + "\" " + why);
        resources_.version.version = valueOf(KEY_APP_VERSION);
        resources_.version.vendor = valueOf(KEY_APP_VENDOR);
        resources_.version.description = valueOf(KEY_APP_DESCRIPTION);
        resources_.version.copyright = valueOf(KEY_APP_COPYRIGHT);
        resources_.version.name = valueOf(KEY_APP_NAME);
    }

    std::string path_;
    ResourceSetting splashImage_, icon_, dpiAwareness_, executionLevel_;
    ApplicationResources resources_;
    std::vector<Pending> pending_;
    std::vector<ConfigError> errors_;
    std::map<int32_t, SetValue> values_;
    std::string stub_;
    std::string output_;
    std::string arch_;
    bool runtime_ = true;
    int runtimeLine_ = 0;
    std::vector<IncludedFileSource> includes_;
    std::vector<IncludedFileSource> files_;
    BuildConfiguration::ClassPathArchive firstArchive_;
    std::vector<std::string> warnings_;
    bool classPathWords_ = false;

    // ---- Word forms, value checks and suggestions (configwords.h, configchecks.h) ----

    // Settings written in words that jaunt translates into a key of its own.
    static bool isWordSetting(const std::string& name) { return name == "application.kind" || name == "jvm.search"; }

    void applyWord(const Pending& p) {
        int line = lineOf(p.node->source()) != 0 ? lineOf(p.node->source()) : p.line;
        if (p.name == "application.kind") {
            const toml::value<std::string>* text = p.node->as_string();
            std::string type;
            if (text == nullptr || !executableTypeOfKind(text->get(), &type)) {
                fail(line, "application.kind must be \"gui\" or \"console\"");
                return;
            }
            store(KEY_EXECUTABLE_TYPE, type, p.line, p.name);
            return;
        }
        const toml::array* items = p.node->as_array();
        if (items == nullptr) {
            fail(line, "jvm.search must be an array of entries such as [\"bundled:jre\", \"env:JAVA_HOME\", "
                       "\"registry\"] (jvm.search_sequence takes the launcher's letters)");
            return;
        }
        std::string sequence;
        for (const toml::node& item : *items) {
            int itemLine = lineOf(item.source()) != 0 ? lineOf(item.source()) : line;
            const toml::value<std::string>* text = item.as_string();
            std::string entry, problem;
            if (text == nullptr) {
                fail(itemLine, "jvm.search items must be strings");
                return;
            }
            if (!translateSearchWord(text->get(), &entry, &problem)) {
                fail(itemLine, "jvm.search: " + problem);
                return;
            }
            sequence += entry + ";";
        }
        store(KEY_SEARCH_SEQUENCE, sequence, p.line, p.name);
    }

    // java.classpath as an array: each item a path, or a table { path = "...", optional = true }.
    bool translateClassPath(const toml::array& items, int line, std::string* out) {
        classPathWords_ = true;
        std::string text;
        for (const toml::node& item : items) {
            int itemLine = lineOf(item.source()) != 0 ? lineOf(item.source()) : line;
            ClassPathWord word;
            if (const toml::value<std::string>* path = item.as_string()) {
                word.path = path->get();
            } else if (const toml::table* table = item.as_table()) {
                for (const auto& [key, value] : *table) {
                    if (key.str() == "path" && value.is_string()) {
                        word.path = value.as_string()->get();
                    } else if (key.str() == "optional" && value.is_boolean()) {
                        word.optional = value.as_boolean()->get();
                    } else {
                        fail(itemLine, "java.classpath: an entry table takes path = \"...\" and optional = "
                                       "true or false, not " + std::string(key.str()));
                        return false;
                    }
                }
            } else {
                fail(itemLine, "java.classpath items must be paths or tables { path = \"...\", optional = true }");
                return false;
            }
            std::string entry, problem;
            if (!translateClassPathWord(word, &entry, &problem)) {
                fail(itemLine, "java.classpath: " + problem);
                return false;
            }
            noteClassPathEntry(entry, itemLine);
            text += entry + ";";
        }
        *out = text;
        return true;
    }

    // Remembers the first archive and warns about a mandatory archive that is missing at build time.
    void noteClassPathEntry(const std::string& entry, int line) {
        if (entry.size() < 3 || entry[0] != 'A') return;
        std::string argument = entry.substr(2);
        bool local = argument.find_first_of("%$") == std::string::npos && argument[0] != '\\' &&
                     !(argument.size() > 1 && argument[1] == ':');
        std::string path;
        if (local) {
            std::string slashed = argument;
            std::replace(slashed.begin(), slashed.end(), '\\', '/');
            try {
                path = resolvePath(slashed);
            } catch (const std::exception&) {
                local = false;
            }
        }
        if (firstArchive_.line == 0) firstArchive_ = BuildConfiguration::ClassPathArchive{argument, path, line};
        std::error_code ec;
        if (local && entry[1] == '1' && !fs::exists(path, ec))
            warnings_.push_back(path_ + ":" + std::to_string(line) + ": warning: java.classpath: " + argument +
                                " does not exist (looked for " + path +
                                "); the launcher stops when it is missing on the user's machine");
    }

    // Every named setting as the launcher will read it, whatever form it was written in. [keys]
    // stays the unchecked way to write any bytes into the table.
    void checkValues() {
        auto raw = [](const SetValue& set) { return set.origin.compare(0, 6, "[keys]") == 0; };
        for (const auto& [key, set] : values_) {
            if (raw(set)) continue;
            std::string problem = valueProblem(key, set.value);
            if (!problem.empty()) fail(set.line, set.origin + ": " + problem);
        }
        auto classPath = values_.find(KEY_CLASSPATH);
        if (classPath != values_.end() && !classPathWords_ && !raw(classPath->second) &&
            classPathTextProblem(classPath->second.value).empty())
            for (const std::string& entry : splitList(classPath->second.value, ';'))
                noteClassPathEntry(entry, classPath->second.line);
        // The runtime's application (key 2012) is a line of the unpacked runtime's completion mark.
        auto name = values_.find(KEY_APP_NAME);
        if (runtime.present && name != values_.end() &&
            std::any_of(name->second.value.begin(), name->second.value.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
            fail(name->second.line, name->second.origin +
                                        ": with [runtime] the name also identifies the application's runtime, and may "
                                        "not hold line breaks or other control characters");
        // Attaching to a console is for a GUI launcher; a console launcher has its console already.
        auto console = values_.find(KEY_CONSOLE), type = values_.find(KEY_EXECUTABLE_TYPE);
        if (console != values_.end() && type != values_.end() && type->second.value != "1" && !raw(console->second))
            fail(console->second.line, console->second.origin + " = \"" + console->second.value +
                                           "\" is for a GUI launcher, and " + type->second.origin +
                                           " makes a console one");
        auto minimum = values_.find(KEY_MIN_VERSION);
        auto maximum = values_.find(KEY_MAX_VERSION);
        if (minimum != values_.end() && maximum != values_.end() && !raw(minimum->second) && !raw(maximum->second)) {
            std::string problem = versionLimitsProblem(minimum->second.value, maximum->second.value);
            if (!problem.empty())
                fail(std::max(minimum->second.line, maximum->second.line),
                     minimum->second.origin + " and " + maximum->second.origin + ": " + problem);
        }
    }

    // " (did you mean x?)" for a misspelt key or section, else empty.
    static std::string suggestion(const std::string& name, bool section) {
        std::vector<std::string> known = {"application.kind", "jvm.search", "build.stub", "build.output",
                                          "build.arch", "files.include", "files.runtime", "runtime.path",
                                          "runtime.jdk", "runtime.modules"};
        size_t count = 0;
        const KeyInfo* keys = allKeys(&count);
        for (size_t i = 0; i < count; ++i) known.push_back(keys[i].name);
        if (section) {
            std::vector<std::string> sections = {"keys"};
            for (const std::string& key : known)
                for (size_t dot = key.find('.'); dot != std::string::npos; dot = key.find('.', dot + 1))
                    sections.push_back(key.substr(0, dot));
            known = sections;
        }
        std::string closest = closestName(name, known);
        if (closest.empty()) return std::string();
        return section ? " (did you mean [" + closest + "]?)" : " (did you mean " + closest + "?)";
    }
    bool sign_ = false;
    SignSettings signing_;
    RuntimeSettings runtime;
};

}  // namespace

BuildConfiguration parseConfiguration(std::string_view text, const std::string& sourcePath) {
    return ConfigReader(sourcePath).read(text);
}

BuildConfiguration loadConfiguration(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw ConfigError(path, 0, "is a directory, not a configuration file");
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw ConfigError(
            path, 0,
            fs::exists(path, ec) ? "cannot open the configuration file" : "no such configuration file");
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ConfigError(path, 0, "cannot read the configuration file");
    return parseConfiguration(text.str(), path);
}

}  // namespace jaunt
