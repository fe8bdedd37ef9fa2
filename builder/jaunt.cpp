// jaunt: turns the launcher stub into the launcher of one application (build), shows what a
// launcher carries (inspect) and signs a launcher that is built already (sign).
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "appresources.h"
#include "buildconfig.h"
#include "configkeys.h"
#include "initconfig.h"
#include "jauntversion.h"
#include "launcherimage.h"
#include "mainclass.h"
#include "pathtext.h"
#include "payloadwriter.h"
#include "pemachine.h"
#include "relocations.h"
#include "runtimeimage.h"
#include "runtimepack.h"
#include "runtimepacker.h"
#include "sha256.h"
#include "signing.h"
#include "tablewriter.h"

namespace fs = std::filesystem;

namespace {

// Full path of this program, or an empty string when the system does not tell.
std::string ownProgramPath() {
#if defined(_WIN32)
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::string();
        if (n < buffer.size()) return std::string(buffer.data(), n);
        buffer.resize(buffer.size() * 2);  // cut: try a larger buffer
    }
#elif defined(__linux__)
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : self.string();
#else
    return std::string();
#endif
}

// The stub of the distribution this program belongs to: dist/bin/jaunt -> dist/stubs/.
std::string defaultStubPath(jaunt::LauncherArch arch) {
    std::string self = ownProgramPath();
    if (self.empty())
        throw std::runtime_error(
            "cannot find the directory of the jaunt program; give the launcher with --stub");
    return (fs::path(self).parent_path() / ".." / "stubs" / jaunt::stubFileName(arch)).lexically_normal().string();
}

// The runtime library of the distribution this program belongs to: dist/bin/jaunt -> dist/lib/.
std::string defaultRuntimeLibraryPath() {
    std::string self = ownProgramPath();
    if (self.empty())
        throw std::runtime_error(
            "cannot find the directory of the jaunt program, and so not the runtime library; set "
            "files.runtime = false and include the library with files.include");
    return (fs::path(self).parent_path() / ".." / "lib" / jaunt::kRuntimeLibraryName).lexically_normal().string();
}

bool sameFile(const std::string& a, const std::string& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec);
}

// What the build takes from files beside the configuration: warnings about them, and the main
// class from a manifest when the configuration names none.
void completeConfiguration(jaunt::BuildConfiguration* config, const std::string& configPath) {
    for (const std::string& warning : config->warnings) std::cerr << "jaunt: " << warning << "\n";
    std::string mainClass = jaunt::completeMainClass(config, configPath);
    if (!mainClass.empty()) std::cout << "jaunt: main class " << mainClass << "\n";
    for (const std::string& note : jaunt::completeModuleFlags(config, configPath))
        (note.rfind("warning: ", 0) == 0 ? std::cerr : std::cout) << "jaunt: " << note << "\n";
    // Class-data sharing needs a class path that stays where it is; included archives are
    // extracted to a new directory at every start.
    bool sharing = false;
    for (const jaunt::NarrowRecord& record : config->records)
        sharing = sharing || (record.key == jaunt::KEY_CDS && record.value != "0" && !record.value.empty());
    std::string archives;
    for (const jaunt::IncludedFileSource& file : config->files)
        if (jaunt::endsWithIgnoringCase(file.name, ".jar") || jaunt::endsWithIgnoringCase(file.name, ".zip"))
            archives += (archives.empty() ? "" : ", ") + file.name;
    if (sharing && !archives.empty())
        std::cerr << "jaunt: warning: jvm.cds: the launcher's class path holds included archives (" << archives
                  << "), which it extracts to a new directory at every start, so no class-data archive fits and "
                     "sharing stays off; install them with the application and name them in java.classpath "
                     "(files.runtime = false for the runtime library)\n";
}

// jaunt init JAR: a first configuration beside the jar.
int init(const std::string& jarPath) {
    std::string note;
    std::string configPath = jaunt::writeInitialConfiguration(jarPath, &note);
    std::cout << "jaunt: wrote " << configPath << "; make the launcher with: jaunt build " << configPath << "\n";
    if (!note.empty()) std::cerr << "jaunt: " << note << "\n";
    return 0;
}

int build(const std::string& configPath, std::string outputPath, std::string stubPath, std::string archName) {
    jaunt::BuildConfiguration config = jaunt::loadConfiguration(configPath);
    // The architecture: --arch, else [build] arch, else x86; a stub given by path must match it
    // when one of the two names it.
    if (archName.empty()) archName = config.arch;
    jaunt::LauncherArch arch = jaunt::LauncherArch::X86;
    if (!archName.empty() && !jaunt::parseLauncherArch(archName, &arch))
        throw std::runtime_error("unknown architecture " + archName + " (x86 or x64)");
    if (stubPath.empty()) stubPath = !config.stub.empty() ? config.stub : defaultStubPath(arch);
    if (outputPath.empty())
        outputPath =
            !config.output.empty() ? config.output : fs::path(configPath).replace_extension(".exe").string();
    if (sameFile(outputPath, stubPath) || sameFile(outputPath, configPath))
        throw std::runtime_error(outputPath +
                                 ": refusing to overwrite the launcher stub or the configuration file");

    std::vector<uint8_t> stub = jaunt::readFileBytes(stubPath);
    jaunt::LauncherArch stubArch;
    try {
        // A signature in the stub would end up in the middle of the launcher, where it signs nothing.
        if (jaunt::findSignature(stub).present())
            throw jaunt::LauncherError("a signed launcher program; build from the unsigned stub and sign the "
                                       "launcher with [sign]");
        stubArch = jaunt::checkUnconfiguredLauncher(stub);
        config.resources.version.fileName = fs::path(outputPath).filename().string();
        std::vector<uint8_t> withResources = jaunt::addApplicationResources(stub, config.resources);
        jaunt::checkRelocationsKept(stub, withResources);
        stub = std::move(withResources);
    } catch (const std::runtime_error& e) {
        throw jaunt::LauncherError(stubPath + ": " + e.what());
    }
    if (!archName.empty() && stubArch != arch)
        throw jaunt::LauncherError(stubPath + ": an " + jaunt::launcherArchName(stubArch) +
                                   " launcher, but the architecture asked for is " + archName);
    bool needsRuntime = false;
    for (const jaunt::IncludedFileSource& file : config.files) needsRuntime = needsRuntime || file.path.empty();
    const std::string runtimeLibrary = needsRuntime ? defaultRuntimeLibraryPath() : std::string();
    std::vector<jaunt::IncludedFile> files = jaunt::loadIncludedFiles(config, configPath, runtimeLibrary);
    completeConfiguration(&config, configPath);
    std::vector<uint8_t> payload = jaunt::encodePayload(files);
    // The packed Java runtime follows the included files; key 2010 says where it starts.
    std::string runtimeNote;
    if (config.runtime.present) {
        jaunt::PreparedRuntime runtime =
            jaunt::prepareRuntime(config, configPath, outputPath, stubArch, runtimeLibrary);
        const uint64_t runtimeOffset = payload.size();
        jaunt::addRuntimeRecords(&config, runtime, runtimeOffset, outputPath);
        payload.insert(payload.end(), runtime.pack.bytes.begin(), runtime.pack.bytes.end());
        std::vector<uint8_t>().swap(runtime.pack.bytes);  // jaunt.exe is a 32-bit program: one copy is enough
        runtimeNote = ", runtime " + runtime.facts.version + " (" + std::to_string(runtime.pack.files) + " files in " +
                      std::to_string(payload.size() - runtimeOffset) + " bytes)";
        std::string modules;
        for (const std::string& module : runtime.modules) modules += (modules.empty() ? "" : ",") + module;
        if (!modules.empty()) std::cout << "jaunt: jlink linked the runtime with the modules " << modules << "\n";
    }
    std::vector<uint8_t> table = jaunt::encodeTable(config.records, {});
    std::vector<uint8_t> exe = jaunt::makeLauncher(stub, table, payload);
    fs::path outputDirectory = fs::path(outputPath).parent_path();
    if (!outputDirectory.empty()) {
        std::error_code ec;
        fs::create_directories(outputDirectory, ec);  // a failure shows when the file is written
    }
    std::string signedBy = jaunt::writeLauncherFile(outputPath, exe, config.sign ? &config.signing : nullptr);
    std::cout << "jaunt: wrote " << outputPath << " (" << exe.size() << " bytes: " << stubPath << " and "
              << config.records.size() << " configuration entries";
    if (!files.empty()) std::cout << ", " << files.size() << " included files";
    std::cout << runtimeNote << ")\n";
    if (!signedBy.empty()) std::cout << "jaunt: signed " << outputPath << " with " << signedBy << "\n";
    return 0;
}

// Where the packed runtime ends, counted from the payload position; 0 without one, or when key
// 2010 cannot be read.
uint64_t runtimeEnd(const jaunt::LauncherTable& launcher) {
    auto found = launcher.table.narrow.find(jaunt::KEY_RUNTIME_PACK);
    uint64_t offset = 0, size = 0;
    std::string hash;
    if (found == launcher.table.narrow.end() || !jaunt::parseRuntimeLocation(found->second.c_str(), &offset, &size, &hash) ||
        offset > UINT64_MAX - size)
        return 0;
    return offset + size;
}

// Where the launcher's own data ends, counted from the payload position: after its included
// files and its packed runtime.
uint64_t payloadDataEnd(const jaunt::LauncherTable& launcher, const jaunt::PayloadLayout& layout) {
    return std::max<uint64_t>(layout.end, runtimeEnd(launcher));
}

// The signature of a launcher file, refused (with the file's name) unless it follows everything
// the launcher carries: its image, its table, its included files and its runtime, as far as they
// can be read.
jaunt::SignatureLocation launcherSignature(const std::string& path, const std::vector<uint8_t>& exe) {
    try {
        jaunt::SignatureLocation signature = jaunt::findSignature(exe);
        if (!signature.present()) return signature;
        jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
        jaunt::PayloadLayout layout;
        if (launcher.error == jaunt::TableError::None &&
            jaunt::layoutIncludedFiles(exe, launcher, &layout) == jaunt::PayloadError::None)
            jaunt::checkSignatureAfter(signature, launcher.table.payloadPosition + payloadDataEnd(launcher, layout));
        else
            jaunt::checkSignatureAfter(signature, launcher.tableOffset);
        return signature;
    } catch (const std::runtime_error& e) {
        throw jaunt::SigningError(path + ": " + e.what());
    }
}

// Signs a configured launcher in place. One that is signed already keeps its signature unless
// force is set; then the old signature is removed first.
int sign(const std::string& path, const std::string& configPath, bool force) {
    jaunt::BuildConfiguration config = jaunt::loadConfiguration(configPath);
    if (!config.sign)
        throw std::runtime_error(configPath + ": has no [sign] table, so nothing says how to sign " + path);
    std::vector<uint8_t> exe = jaunt::readFileBytes(path);
    jaunt::LauncherTable launcher;
    try {
        launcher = jaunt::readLauncherTable(exe);
    } catch (const jaunt::LauncherError& e) {
        throw jaunt::LauncherError(path + ": " + e.what());
    }
    if (launcher.error != jaunt::TableError::None)
        throw jaunt::LauncherError(path + ": not a configured launcher (" + jaunt::tableErrorText(launcher.error) +
                                   "); sign the launcher that jaunt build wrote");
    jaunt::SignatureLocation signature = launcherSignature(path, exe);
    if (signature.present()) {
        if (!force)
            throw jaunt::SigningError(path + ": is signed already; give --force to replace its signature");
        jaunt::PayloadLayout layout;
        if (jaunt::layoutIncludedFiles(exe, launcher, &layout) != jaunt::PayloadError::None)
            throw jaunt::LauncherError(path + ": its included files do not match its table; build it again");
        exe = jaunt::withoutSignature(exe, launcher.table.payloadPosition + payloadDataEnd(launcher, layout));
    }
    std::string signedBy = jaunt::writeLauncherFile(path, exe, &config.signing);
    std::cout << "jaunt: signed " << path << " with " << signedBy << "\n";
    return 0;
}

std::string hexDigits(unsigned value, int digits) {
    static const char hex[] = "0123456789ABCDEF";
    std::string text;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) text += hex[(value >> shift) & 0xF];
    return text;
}

// One unit of a value as printed by inspect: printable ASCII as is, everything else escaped.
// Other narrow bytes become \xNN, other UTF-16 units (wide) \uNNNN.
std::string escapeUnit(unsigned unit, bool wide) {
    switch (unit) {
        case '\r':
            return "\\r";
        case '\n':
            return "\\n";
        case '\t':
            return "\\t";
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        default:
            break;
    }
    if (unit >= 0x20 && unit < 0x7F) return std::string(1, static_cast<char>(unit));
    return wide ? "\\u" + hexDigits(unit, 4) : "\\x" + hexDigits(unit, 2);
}

std::string keyName(int32_t key) {
    const jaunt::KeyInfo* info = jaunt::findKey(key);
    return info ? info->name : "-";
}

std::string offsetText(uint64_t offset) {
    return std::to_string(offset) + " (0x" + hexDigits(static_cast<unsigned>(offset), 8) + ")";
}

// Lists the included files; with extractDirectory set, also writes them there. False (after a
// message) when the payload is not what keys 2002 and 2003 say.
bool inspectIncludedFiles(const std::string& path, const std::vector<uint8_t>& exe,
                          const jaunt::LauncherTable& launcher, const std::string& extractDirectory,
                          bool signedFile) {
    jaunt::PayloadLayout layout;
    jaunt::PayloadError error = jaunt::layoutIncludedFiles(exe, launcher, &layout);
    bool carriesFiles = launcher.table.narrow.count(jaunt::KEY_FILE_COUNT) != 0;
    if (carriesFiles) {
        int32_t count = jaunt::configNumber(launcher.table.narrow.at(jaunt::KEY_FILE_COUNT));
        std::cout << "included files: " << layout.records.size() << "\n";
        for (const jaunt::PayloadRecord& record : layout.records)
            std::cout << "  " << record.name << "  " << record.size << " bytes\n";
        if (error == jaunt::PayloadError::None) {
            if (count > 0 && static_cast<size_t>(count) > layout.namesListed)
                std::cout << "note: key 2002 counts " << count << " files but key 2003 names " << layout.namesListed
                          << "; the launcher extracts " << layout.records.size() << "\n";
            if (count > 0 && static_cast<size_t>(count) < layout.namesListed)
                std::cout << "note: key 2003 names " << layout.namesListed << " files but key 2002 counts " << count
                          << "; the launcher extracts " << layout.records.size() << "\n";
            // A signature starts on an 8-byte boundary: up to seven zero bytes before it are padding.
            uint64_t used = std::min<uint64_t>(payloadDataEnd(launcher, layout), launcher.payloadSize);
            uint64_t unused = launcher.payloadSize - used;
            bool padding = signedFile && unused < 8 &&
                           std::all_of(exe.end() - static_cast<long>(unused), exe.end(),
                                       [](uint8_t b) { return b == 0; });
            if (unused > 0 && !padding) std::cout << "unused payload bytes: " << unused << "\n";
        }
    }
    if (error != jaunt::PayloadError::None) {
        std::cerr << "jaunt: " << path << ": included file " << layout.records.size() + 1 << " ("
                  << layout.failedName << "): " << jaunt::payloadErrorText(error) << "\n";
        return false;
    }
    if (extractDirectory.empty()) return true;
    std::error_code ec;
    fs::create_directories(extractDirectory, ec);  // a failure shows when a file is written
    for (const jaunt::PayloadRecord& record : layout.records) {
        std::string target = (fs::path(extractDirectory) / record.name).string();
        jaunt::writeFileBytes(target, jaunt::restoreIncludedFile(exe, launcher, record));
        std::cout << "extracted " << target << "\n";
    }
    return true;
}

// Shows the packed runtime, checking its hash; with extractDirectory set, also writes it into
// extractDirectory/runtime, checking every file's CRC-32 on the way. False (after a message) when
// key 2010 does not describe a runtime the launcher could unpack.
bool inspectRuntime(const std::string& path, const std::vector<uint8_t>& exe, const jaunt::LauncherTable& launcher,
                    const std::string& extractDirectory) {
    auto found = launcher.table.narrow.find(jaunt::KEY_RUNTIME_PACK);
    if (found == launcher.table.narrow.end()) return true;
    auto fail = [&](const std::string& problem) {
        std::cerr << "jaunt: " << path << ": runtime: " << problem << "\n";
        return false;
    };
    uint64_t offset = 0, size = 0;
    std::string hash;
    if (!jaunt::parseRuntimeLocation(found->second.c_str(), &offset, &size, &hash))
        return fail("key 2010 is not \"<offset> <size> <hash>\"");
    uint64_t start = launcher.table.payloadPosition + offset;
    if (offset > launcher.payloadSize || size > launcher.payloadSize - offset)
        return fail("key 2010 places it at payload offset " + std::to_string(offset) + " with " +
                    std::to_string(size) + " bytes, beyond the " + std::to_string(launcher.payloadSize) +
                    " bytes after the table");
    const uint8_t* pack = exe.data() + start;
    jaunt::RuntimeIndex index;
    jaunt::RuntimePackError error = jaunt::parseRuntimeIndex(pack, static_cast<size_t>(size), size, &index);
    if (error != jaunt::RuntimePackError::None) return fail(jaunt::runtimePackErrorText(error));
    if (jaunt::sha256Hex(pack, static_cast<size_t>(size)) != hash)
        return fail("its content does not match the hash of key 2010");
    auto version = launcher.table.narrow.find(jaunt::KEY_RUNTIME_VERSION);
    size_t files = 0;
    for (const jaunt::RuntimeEntry& entry : index.entries) files += entry.kind != jaunt::RuntimeEntryKind::Directory;
    std::cout << "runtime: " << (version != launcher.table.narrow.end() ? version->second : std::string("?"))
              << "\n";
    try {
        std::string library;
        for (const char* name : jaunt::kRuntimeLibraries) {
            const jaunt::RuntimeEntry* entry = jaunt::findRuntimeEntry(index, name);
            if (entry == nullptr) continue;
            std::vector<uint8_t> content = jaunt::unpackRuntimeEntry(pack, size, *entry);
            uint16_t machine = 0;
            if (!jaunt::readImageMachine(content.data(), content.size(), &machine)) {
                std::cout << "  architecture: unknown (" << entry->name << " is not a Windows library)\n";
            } else {
                std::cout << "  architecture: " << jaunt::machineText(machine) << " (" << entry->name << ")\n";
                uint16_t own = launcher.arch == jaunt::LauncherArch::X64 ? jaunt::kMachineAmd64 : jaunt::kMachineI386;
                if (machine != own)
                    std::cout << "note: the launcher is " << jaunt::launcherArchName(launcher.arch)
                              << " and cannot load this runtime\n";
            }
            library = entry->name;
            break;
        }
        if (library.empty()) std::cout << "  architecture: unknown (no bin/server/jvm.dll or bin/client/jvm.dll)\n";
    } catch (const jaunt::RuntimeError& e) {
        return fail(e.what());
    }
    std::cout << "  files: " << files << ", empty folders: " << index.entries.size() - files << "\n"
              << "  unpacked: " << index.unpackedSize << " bytes, packed: " << size << " bytes at payload offset "
              << offset << "\n"
              << "  hash: " << hash << "\n";
    if (extractDirectory.empty()) return true;
    fs::path root = fs::path(extractDirectory) / "runtime";
    try {
        for (const jaunt::RuntimeEntry& entry : index.entries) {
            fs::path target = root / fs::u8path(entry.name);
            std::error_code ec;
            fs::create_directories(entry.kind == jaunt::RuntimeEntryKind::Directory ? target : target.parent_path(), ec);
            if (entry.kind != jaunt::RuntimeEntryKind::Directory)
                jaunt::writeFileBytes(target.string(), jaunt::unpackRuntimeEntry(pack, size, entry));
        }
    } catch (const std::runtime_error& e) {
        return fail(e.what());
    }
    std::cout << "extracted the runtime into " << root.string() << "\n";
    return true;
}

std::string resourceIdText(const jaunt::ResourceId& id, bool isType) {
    if (id.isName()) {
        std::string name;
        for (char16_t c : id.name) name += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
        return name;
    }
    const std::map<uint16_t, const char*> types = {{2, "bitmap"},      {3, "icon"},     {5, "dialog"},
                                                   {14, "icon group"}, {16, "version"}, {24, "manifest"}};
    auto known = types.find(id.number);
    return isType && known != types.end() ? known->second : std::to_string(id.number);
}

// Lists the resources. A resource section that cannot be read is only noted: the launcher reads
// nothing but its picture and icons from it.
void inspectResources(const std::vector<uint8_t>& exe) {
    try {
        jaunt::ResourceTable table = jaunt::readImageResources(exe).table;
        std::cout << "resources: " << table.entries().size() << "\n";
        for (const jaunt::ResourceEntry& entry : table.entries())
            std::cout << "  " << resourceIdText(entry.type, true) << " " << resourceIdText(entry.name, false)
                      << "  language " << entry.language << "  " << entry.data.size() << " bytes\n";
    } catch (const jaunt::ResourceError& e) {
        std::cout << "note: " << e.what() << "\n";
    }
}

int inspect(const std::string& path, const std::string& extractDirectory) {
    std::vector<uint8_t> exe = jaunt::readFileBytes(path);
    jaunt::LauncherTable launcher;
    jaunt::SignatureLocation signature;
    try {
        // A signature is not part of the launcher's data: everything below looks at what precedes it.
        signature = launcherSignature(path, exe);
        if (signature.present()) exe.resize(signature.offset);
        launcher = jaunt::readLauncherTable(exe);
    } catch (const jaunt::SigningError&) {
        throw;
    } catch (const std::runtime_error& e) {
        throw jaunt::LauncherError(path + ": " + e.what());
    }
    std::cout << "launcher: " << jaunt::launcherArchName(launcher.arch)
              << (launcher.arch == jaunt::LauncherArch::X64 ? " (64-bit, PE32+)" : " (32-bit, PE32)") << "\n";
    std::cout << "table offset: " << offsetText(launcher.tableOffset) << "\n";
    if (launcher.error != jaunt::TableError::None) {
        std::string hint = launcher.tableOffset == exe.size()
                               ? " (nothing after the last section: an unconfigured launcher)"
                               : "";
        std::cerr << "jaunt: " << path << ": " << jaunt::tableErrorText(launcher.error) << hint << "\n";
        return 1;
    }
    std::cout << "narrow records: " << launcher.table.narrow.size() << "\n";
    for (const auto& [key, value] : launcher.table.narrow) {
        std::string shown;
        for (char c : value) shown += escapeUnit(static_cast<unsigned char>(c), false);
        std::cout << key << "  " << keyName(key) << "  = \"" << shown << "\"\n";
    }
    std::cout << "wide records: " << launcher.table.wide.size() << "\n";
    for (const auto& [key, value] : launcher.table.wide) {
        std::string shown;
        for (char16_t c : value) shown += escapeUnit(c, true);
        std::cout << key << "  " << keyName(key) << "  = \"" << shown << "\"\n";
    }
    std::cout << "payload position: " << offsetText(launcher.table.payloadPosition) << "\n";
    std::cout << "payload bytes: " << launcher.payloadSize << "\n";
    if (signature.present())
        std::cout << "signature: Authenticode, " << signature.size << " bytes at " << offsetText(signature.offset)
                  << "\n";
    else
        std::cout << "signature: none\n";
    bool filesRead = inspectIncludedFiles(path, exe, launcher, extractDirectory, signature.present());
    bool runtimeRead = inspectRuntime(path, exe, launcher, filesRead ? extractDirectory : std::string());
    inspectResources(exe);
    try {
        jaunt::ImageRelocations relocations = jaunt::readRelocations(exe);
        if (relocations.size != 0)
            std::cout << "base relocations: " << relocations.targets.size() << " pointers in " << relocations.blocks
                  << " blocks" << (relocations.dynamicBase ? " (dynamic base)" : "") << "\n";
    } catch (const jaunt::RelocationError& e) {
        std::cout << "note: " << e.what() << "\n";
    }
    return filesRead && runtimeRead ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"jaunt: makes the Windows launcher of a Java application"};
    app.set_version_flag("--version", JAUNT_VERSION);
    app.require_subcommand(1);

    std::string configPath, outputPath, stubPath, archName, inspectPath, extractDirectory;
    std::string signPath, signConfigPath;
    bool forceSigning = false;
    CLI::App* buildCommand = app.add_subcommand("build", "Make a launcher from a configuration file");
    buildCommand->add_option("config", configPath, "Configuration file (TOML)")->required();
    buildCommand->add_option("-o,--output", outputPath,
                             "Launcher to write (default: [build] output, else CONFIG with .exe)");
    buildCommand->add_option("--stub", stubPath,
                             "Unconfigured launcher to start from (default: [build] stub, else "
                             "../stubs/launcher-ARCH.exe next to jaunt)");
    buildCommand
        ->add_option("--arch", archName,
                     "Launcher architecture, x86 or x64; it must match the Java's bitness "
                     "(default: [build] arch, else x86)")
        ->check(CLI::IsMember({"x86", "x64"}));
    CLI::App* inspectCommand =
        app.add_subcommand("inspect", "Show the configuration table, included files and runtime of a launcher");
    inspectCommand->add_option("file", inspectPath, "Launcher program")->required();
    inspectCommand->add_option("--extract", extractDirectory,
                               "Also write the included files, restored, into this directory (and the runtime into "
                               "its runtime folder)");

    std::string initJar;
    CLI::App* initCommand =
        app.add_subcommand("init", "Write a first configuration for an application jar, beside it (APP.toml)");
    initCommand->add_option("jar", initJar, "The application's jar; its manifest names the main class")->required();
    CLI::App* signCommand = app.add_subcommand("sign", "Sign a launcher with the [sign] table of a configuration");
    signCommand->add_option("file", signPath, "Launcher program, signed in place")->required();
    signCommand->add_option("--config", signConfigPath, "Configuration file (TOML) with a [sign] table")->required();
    signCommand->add_flag("--force", forceSigning, "Replace the signature of a launcher that is signed already");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::cerr << "jaunt: " << e.what() << "\n";
        return 1;
    }

    try {
        if (buildCommand->parsed()) return build(configPath, outputPath, stubPath, archName);
        if (initCommand->parsed()) return init(initJar);
        if (signCommand->parsed()) return sign(signPath, signConfigPath, forceSigning);
        return inspect(inspectPath, extractDirectory);
    } catch (const std::exception& e) {
        std::cerr << "jaunt: " << e.what() << "\n";
        return 1;
    }
}
