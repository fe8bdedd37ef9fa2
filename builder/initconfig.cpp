#include "initconfig.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "jarmanifest.h"

namespace jaunt {

namespace {

namespace fs = std::filesystem;

std::string tomlString(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string initialConfiguration(const std::string& jarName, const std::string& mainClass) {
    std::string stem = fs::u8path(jarName).stem().u8string();
    std::string text =
        "# The launcher of " + jarName + ", written by jaunt init. Make it with\n"
        "#     jaunt build " + stem + ".toml\n"
        "# which writes " + stem + ".exe beside this file. Every setting is described in jaunt's\n"
        "# CONFIG.md.\n"
        "\n"
        "[application]\n"
        "name = " + tomlString(stem) + "\n"
        "# \"gui\": a Windows program without a console window, which shows its errors in a message\n"
        "# box; \"console\": a console program, which writes its errors to the standard error stream.\n"
        "kind = \"gui\"\n"
        "\n"
        "[java]\n"
        "# Paths relative to the launcher: a file is an archive, a path ending in \"/\" a class\n"
        "# directory, \"lib/*\" every archive in lib, \"${NAME}\" the class path in a variable; an\n"
        "# entry written { path = \"plugins/\", optional = true } may be missing.\n"
        "classpath = [" + tomlString(jarName) + "]\n";
    if (!mainClass.empty())
        text += "# From the manifest of " + jarName + ".\nmain_class = " + tomlString(mainClass) + "\n";
    else
        text += "# The manifest of " + jarName + " names no Main-Class: name the class with main here.\n"
                "# main_class = \"com.example.Main\"\n";
    text +=
        "# vm_options = [\"-Xmx512m\"]\n"
        "\n"
        "[jvm]\n"
        "# Where the launcher looks for Java, in this order: a JRE in the folder jre beside the\n"
        "# launcher, the JAVA_HOME variable, the Java installations in the Windows registry.\n"
        "search = [\"bundled:jre\", \"env:JAVA_HOME\", \"registry\"]\n"
        "# min_version = \"1.8\"\n";
    return text;
}

std::string writeInitialConfiguration(const std::string& jarPath, std::string* note) {
    ManifestResult manifest = readJarMainClass(jarPath);
    std::error_code ec;
    if (manifest.status == ManifestStatus::Unreadable && !fs::exists(jarPath, ec))
        throw std::runtime_error(jarPath + ": no such file");
    if (manifest.status == ManifestStatus::Damaged || manifest.status == ManifestStatus::Unreadable)
        throw std::runtime_error(jarPath + ": " + manifestStatusText(manifest));
    fs::path jar(jarPath);
    std::string configPath = fs::path(jar).replace_extension(".toml").string();
    if (fs::exists(configPath, ec))
        throw std::runtime_error(configPath + " exists already; jaunt init does not replace it");
    std::string mainClass = manifest.status == ManifestStatus::MainClass ? manifest.mainClass : std::string();
    std::ofstream out(configPath, std::ios::binary);
    out << initialConfiguration(jar.filename().u8string(), mainClass);
    out.close();
    if (!out) throw std::runtime_error(configPath + ": cannot write the configuration file");
    *note = mainClass.empty() ? jarPath + " has " + manifestStatusText(manifest) + ": set java.main_class in " +
                                    configPath + " before building"
                              : std::string();
    return configPath;
}

}  // namespace jaunt
