// jaunt: turns the launcher stub into the launcher of one application (build) and shows what a
// launcher carries (inspect).
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
#include "launcherimage.h"
#include "payloadwriter.h"
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
        stubArch = jaunt::checkUnconfiguredLauncher(stub);
        config.resources.version.fileName = fs::path(outputPath).filename().string();
        stub = jaunt::addApplicationResources(stub, config.resources);
    } catch (const std::runtime_error& e) {
        throw jaunt::LauncherError(stubPath + ": " + e.what());
    }
    if (!archName.empty() && stubArch != arch)
        throw jaunt::LauncherError(stubPath + ": an " + jaunt::launcherArchName(stubArch) +
                                   " launcher, but the architecture asked for is " + archName);
    bool needsRuntime = false;
    for (const jaunt::IncludedFileSource& file : config.files) needsRuntime = needsRuntime || file.path.empty();
    std::vector<jaunt::IncludedFile> files =
        jaunt::loadIncludedFiles(config, configPath, needsRuntime ? defaultRuntimeLibraryPath() : std::string());
    std::vector<uint8_t> payload = jaunt::encodePayload(files);
    std::vector<uint8_t> table = jaunt::encodeTable(config.records, {});
    std::vector<uint8_t> exe = jaunt::makeLauncher(stub, table, payload);
    fs::path outputDirectory = fs::path(outputPath).parent_path();
    if (!outputDirectory.empty()) {
        std::error_code ec;
        fs::create_directories(outputDirectory, ec);  // a failure shows when the file is written
    }
    // Written beside the output and renamed into place, so that a failed write never leaves a
    // partial launcher under the output's name.
    std::string partialPath = outputPath + ".partial";
    try {
        jaunt::writeFileBytes(partialPath, exe);
    } catch (const std::exception&) {
        std::error_code ec;
        fs::remove(partialPath, ec);
        throw jaunt::LauncherError(outputPath + ": cannot write the file");
    }
    std::error_code renamed;
    fs::rename(partialPath, outputPath, renamed);
    if (renamed) {
        std::error_code ec;
        fs::remove(partialPath, ec);
        throw jaunt::LauncherError(outputPath + ": cannot write the file (" + renamed.message() + ")");
    }
    std::cout << "jaunt: wrote " << outputPath << " (" << exe.size() << " bytes: " << stubPath << " and "
              << config.records.size() << " configuration entries";
    if (!files.empty()) std::cout << ", " << files.size() << " included files";
    std::cout << ")\n";
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
                          const jaunt::LauncherTable& launcher, const std::string& extractDirectory) {
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
            if (layout.end < launcher.payloadSize)
                std::cout << "unused payload bytes: " << launcher.payloadSize - layout.end << "\n";
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
    try {
        launcher = jaunt::readLauncherTable(exe);
    } catch (const jaunt::LauncherError& e) {
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
    bool filesRead = inspectIncludedFiles(path, exe, launcher, extractDirectory);
    inspectResources(exe);
    return filesRead ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"jaunt: makes the Windows launcher of a Java application"};
    app.set_version_flag("--version", JAUNT_VERSION);
    app.require_subcommand(1);

    std::string configPath, outputPath, stubPath, archName, inspectPath, extractDirectory;
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
        app.add_subcommand("inspect", "Show the configuration table and included files of a launcher");
    inspectCommand->add_option("file", inspectPath, "Launcher program")->required();
    inspectCommand->add_option("--extract", extractDirectory,
                               "Also write the included files, restored, into this directory");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help, --version
        std::cerr << "jaunt: " << e.what() << "\n";
        return 1;
    }

    try {
        if (buildCommand->parsed()) return build(configPath, outputPath, stubPath, archName);
        return inspect(inspectPath, extractDirectory);
    } catch (const std::exception& e) {
        std::cerr << "jaunt: " << e.what() << "\n";
        return 1;
    }
}
