#include "vmoptions.h"

#include <windows.h>

#include <cstring>

#include "WinLoader.h"
#include "boundedtext.h"
#include "cds.h"
#include "classpath.h"
#include "config.h"
#include "configkeys.h"
#include "environment.h"
#include "extraction.h"
#include "javaversion.h"
#include "jvmfeatures.h"
#include "jvmtext.h"
#include "log.h"
#include "paths.h"
#include "singleinstance.h"
#include "tempdir.h"
#include "variables.h"
#include "versioncheck.h"
#include "wideapi.h"

namespace jaunt {

std::string narrowFromWide(const std::u16string& text) {
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.c_str());
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &narrow[0], bytes, nullptr, nullptr);
    narrow.resize(static_cast<size_t>(bytes) - 1);
    return narrow;
}

std::vector<std::string> buildSystemProperties() {
    std::vector<std::string> properties;
    bool singleInstance = getConfigInt(KEY_SINGLE_INSTANCE) != 0;
    if (singleInstance) properties.push_back(std::string("-Djaunt.semaphoreName=") + semaphoreName());
    if (flavourLetter() == 'i') properties.push_back("-Djaunt.isBundlekit=true");
    properties.push_back(std::string("-Djaunt.moduleName=") + modulePath());
    if (singleInstance) {
        char commFile[kTextSize];
        if (processCommFileName(commFile, sizeof(commFile), GetCurrentProcessId()))
            properties.push_back(std::string("-Djaunt.processCommFile=") + commFile);
    }
    properties.push_back(std::string("-Djaunt.tempDir=") + extractionDirectory());
    // The Java version of the runtime the launcher carries, as its release file says.
    char runtimeVersion[kTextSize];
    getConfigString(KEY_RUNTIME_VERSION, runtimeVersion, sizeof(runtimeVersion));
    if (runtimeVersion[0]) properties.push_back(std::string("-Djaunt.runtimeVersion=") + runtimeVersion);
    return properties;
}

namespace {

// The launcher's file under its long name. Only the file's own name decides which files beside it
// are meant, so only that name is looked up, in its folder; the folders keep the form modulePath
// gives them, which names the same places. (The long form of the whole path would look up every
// folder of it, a millisecond under Wine.) Where the lookup fails, modulePath as it is.
std::string longModuleFileName() {
    const char* path = modulePath();
    const char* separator = std::strrchr(path, '\\');
    FoundFile found;
    HANDLE search = separator != nullptr ? findFirstFile(path, &found) : INVALID_HANDLE_VALUE;
    if (search == INVALID_HANDLE_VALUE) return path;
    FindClose(search);
    return std::string(path, separator + 1) + found.name;
}

}  // namespace

FILE* openVmOptionsFile() {
    std::string name = longModuleFileName();
    std::string withoutExe = name.size() >= 4 ? name.substr(0, name.size() - 4) : name;
    FILE* file = openFile((withoutExe + ".vmoptions").c_str(), L"rb");
    if (file == nullptr) file = openFile((name + ".vmoptions").c_str(), L"rb");
    return file;
}

void appendJavaDependentOptions(std::vector<std::string>* options) {
    const char* version = chosenJavaVersion();
    char opens[kTextSize], exports[kTextSize];
    getConfigString(KEY_ADD_OPENS, opens, sizeof(opens));
    getConfigString(KEY_ADD_EXPORTS, exports, sizeof(exports));
    bool nativeAccess = getConfigInt(KEY_ENABLE_NATIVE_ACCESS) != 0;
    int feature = javaFeatureVersion(version);
    std::vector<std::string> flags = moduleOptions(feature, opens, exports, nativeAccess);
    if (flags.empty() && (opens[0] != 0 || exports[0] != 0 || nativeAccess))
        logInfo("Module flags left out for Java %s", version[0] ? version : "of unknown version");
    options->insert(options->end(), flags.begin(), flags.end());
    appendCdsOptions(options, jvmHome(), version);
}

void buildVmOptions(std::vector<std::string>* options, const WideArgumentList& arguments) {
    std::string classPath = "-Djava.class.path=";
    appendClassPath(&classPath);
    options->push_back(classPath);

    char configured[kTextSize];
    getConfigString(KEY_VM_OPTIONS, configured, sizeof(configured));
    replaceVariables(configured);
    NarrowArgumentList items;
    splitNarrowArguments(configured, &items);
    options->insert(options->end(), items.begin(), items.end());

    appendJavaDependentOptions(options);

    if (getConfigInt(KEY_FORWARD_J_ARGUMENTS) != 0) {
        for (const std::u16string& argument : arguments)
            if (argument.size() >= 2 && argument[0] == u'-' && argument[1] == u'J')
                options->push_back(narrowFromWide(argument.substr(2)));
    }
}

void buildVmInitArgs(VmStartupArguments* startup, LateSettings* late, const std::vector<std::string>& systemProperties,
                     const WideArgumentList& arguments) {
    std::vector<std::string> options = systemProperties;
    if (FILE* file = openVmOptionsFile()) {
        // One option per line read; a line longer than the buffer arrives as several options. The
        // file is in the system's code page, or UTF-8 when it starts with the UTF-8 mark.
        char line[kTextSize];
        bool first = true, utf8 = false;
        while (fgets(line, sizeof(line), file) != nullptr) {
            const char* text = line;
            if (first && std::strncmp(line, "\xEF\xBB\xBF", 3) == 0) {
                utf8 = true;
                text += 3;
            }
            first = false;
            std::string option = utf8 ? std::string(text) : utf8FromAnsi(text);
            while (!option.empty() && (option.back() == '\r' || option.back() == '\n')) option.pop_back();
            options.push_back(option);
        }
        fclose(file);
    }
    buildVmOptions(&options, arguments);
    logInfo("vmoption count %d", static_cast<int>(options.size()));
    for (size_t i = 0; i < options.size(); ++i) logInfo("vmoption %d: %s", static_cast<int>(i), options[i].c_str());
    fillStartupArguments(startup, jvmOptions(options, late));
}

}  // namespace jaunt
