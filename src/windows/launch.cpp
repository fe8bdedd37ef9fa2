#include "launch.h"

#include <windows.h>

#include "JavaVMLauncher.h"
#include "WinLoader.h"
#include "boundedtext.h"
#include "config.h"
#include "configkeys.h"
#include "environment.h"
#include "errors.h"
#include "log.h"
#include "paths.h"
#include "variables.h"
#include "vmoptions.h"

namespace jaunt {

namespace {

constexpr char kRuntimeLauncherClass[] = "com/jaunt/runtime/WinLauncher";
constexpr char kFirstRunClass[] = "com/bundlekit/runtime/FirstRun";

std::u16string wideFrom(unsigned codePage, const char* text) {
    int units = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (units <= 0) return std::u16string();
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(codePage, 0, text, -1, reinterpret_cast<wchar_t*>(&wide[0]), units);
    wide.resize(static_cast<size_t>(units) - 1);
    if (wide.size() > kTextSize - 1) wide.resize(kTextSize - 1);
    return wide;
}

// Key 103 or 105 made absolute (letter case kept), when its flag is set.
std::u16string filePathParameter(int32_t flagKey, int32_t pathKey) {
    if (getConfigInt(flagKey) == 0) return std::u16string();
    char configured[kTextSize];
    getConfigString(pathKey, configured, sizeof(configured));
    char absolute[kTextSize];
    fullPath(absolute, sizeof(absolute), configured, true);
    return wideFrom(CP_UTF8, absolute);
}

std::string narrowForLog(const std::u16string& text) {
    char narrow[kTextSize];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<const wchar_t*>(text.c_str()), -1,
                                    narrow, sizeof(narrow), nullptr, nullptr);
    if (bytes <= 0) narrow[sizeof(narrow) - 1] = 0;
    return narrow;
}

bool createJvm(const WideArgumentList& arguments, const std::vector<std::string>& systemProperties) {
    static VmStartupArguments startup;  // the option texts stay with the JVM for the whole run
    LateSettings late;
    buildVmInitArgs(&startup, &late, systemProperties, arguments);
    logInfo("Creating JVM");
    CreateJavaVmFunction entry = createJavaVmEntry();
    if (entry == nullptr) return false;
    return jaunt::createJvm(reinterpret_cast<CreateJavaVMFunction>(entry), &startup) && applyLateSettings(late);
}

bool callMain(const WideArgumentList& arguments) {
    if (flavourLetter() == 'i' && !checkFirstRun()) {
        logInfo("checkFirstRun stopped further execution");
        return true;
    }
    switch (callStaticMain(kRuntimeLauncherClass, buildMainParameters(arguments), narrowForLog)) {
        case MainResult::Returned:
            return true;
        case MainResult::ClassNotFound:
            logError("could not find main class");
            failWithMessage(MSG_MAIN_CLASS_NOT_FOUND, nullptr, nullptr);
        case MainResult::MethodNotFound:
            logError("could not find main method");
            failWithMessage(MSG_MAIN_METHOD_NOT_FOUND, nullptr, nullptr);
        case MainResult::ExceptionPending:
        case MainResult::ArrayNotCreated:
        case MainResult::StringNotCreated:
            break;
    }
    return false;
}

}  // namespace

WideArgumentList buildMainParameters(const WideArgumentList& arguments) {
    WideArgumentList parameters;
    parameters.push_back(getConfigInt(KEY_EXECUTABLE_TYPE) == 1 ? u"true" : u"false");
    char mainClass[kTextSize];
    getConfigString(KEY_MAIN_CLASS, mainClass, sizeof(mainClass));
    parameters.push_back(wideFrom(CP_UTF8, mainClass));
    parameters.push_back(filePathParameter(KEY_REDIRECT_STDERR, KEY_STDERR_FILE));
    parameters.push_back(filePathParameter(KEY_REDIRECT_STDOUT, KEY_STDOUT_FILE));
    parameters.push_back(getConfigInt(KEY_REDIRECT_APPEND) != 0 ? u"true" : u"false");
    if (!arguments.empty()) parameters.push_back(arguments[0]);

    char configured[kTextSize];
    getConfigString(KEY_ARGUMENTS, configured, sizeof(configured));
    replaceVariables(configured);
    std::u16string configuredWide = wideFrom(CP_UTF8, configured);
    splitArguments(reinterpret_cast<const wchar_t*>(configuredWide.c_str()), &parameters);

    bool forwardJ = getConfigInt(KEY_FORWARD_J_ARGUMENTS) != 0;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        if (forwardJ && argument.size() >= 2 && argument[0] == u'-' && argument[1] == u'J') continue;
        parameters.push_back(argument);
    }
    return parameters;
}

bool checkFirstRun() {
    char directory[kTextSize];
    getConfigString(KEY_INSTALLATION_DIRECTORY, directory, sizeof(directory));
    char marker[kTextSize];
    fullPath(marker, sizeof(marker), directory, false);
    appendText(marker, sizeof(marker), "\\.bundlekit\\firstrun");
    if (!pathExists(marker)) return true;
    switch (callFirstRun(kFirstRunClass)) {
        case FirstRunResult::Proceed:
            return true;
        case FirstRunResult::Stop:
            return false;
        case FirstRunResult::ClassNotFound:
            failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "14");
        case FirstRunResult::MethodNotFound:
            failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "15");
    }
    return false;
}

bool launch(const WideArgumentList& arguments, bool destroyWhenDone) {
    logInfo("launching program");
    std::vector<std::string> systemProperties = buildSystemProperties();
    if (!createJvm(arguments, systemProperties)) {
        logError("could not initialize JVM");
        return false;
    }
    logInfo("JVM created");
    if (!callMain(arguments)) {
        logError("could not call main");
        return false;
    }
    if (destroyWhenDone) {
        logInfo("dest JVM");
        destroyJvm();
    }
    logInfo("launch done");
    return true;
}

}  // namespace jaunt
