#include "substitution.h"

namespace jaunt {

bool replaceAll(std::string* text, const std::string& pattern, const std::string& value, size_t limit) {
    if (pattern.empty()) return true;
    bool whole = true;
    size_t at = text->find(pattern);
    while (at != std::string::npos) {
        text->replace(at, pattern.size(), value);
        at += value.size();
        if (text->size() > limit) {
            text->resize(limit);
            whole = false;
        }
        if (at >= text->size()) break;
        at = text->find(pattern, at);
    }
    return whole;
}

bool substituteVariables(std::string* text, const LauncherVariableValues& values,
                         const std::vector<std::string>& environment, size_t limit) {
    const std::string separator = ";";
    const struct {
        const char* pattern;
        const std::string* value;
    } launcherVariables[] = {
        {"%JAUNT_EXEDIR%", &values.launcherDirectory},
        {"%BUNDLEKIT_EXEDIR%", &values.launcherDirectory},
        {"%JAUNT_TEMPDIR%", &values.extractionDirectory},
        {"%BUNDLEKIT_TEMPDIR%", &values.extractionDirectory},
        {"%JAUNT_PATHLIST_SEPARATOR%", &separator},
        {"%BUNDLEKIT_PATHLIST_SEPARATOR%", &separator},
        {"%JAUNT_JVM_HOME%", &values.jvmHome},
        {"%BUNDLEKIT_JVM_HOME%", &values.jvmHome},
        {"${JAUNT_EXEDIR}", &values.launcherDirectory},
        {"${BUNDLEKIT_EXEDIR}", &values.launcherDirectory},
        {"${JAUNT_TEMPDIR}", &values.extractionDirectory},
        {"${BUNDLEKIT_TEMPDIR}", &values.extractionDirectory},
        {"${JAUNT_PATHLIST_SEPARATOR}", &separator},
        {"${BUNDLEKIT_PATHLIST_SEPARATOR}", &separator},
        {"${JAUNT_JVM_HOME}", &values.jvmHome},
        {"${BUNDLEKIT_JVM_HOME}", &values.jvmHome},
    };
    bool whole = true;
    for (const auto& variable : launcherVariables)
        whole = replaceAll(text, variable.pattern, *variable.value, limit) && whole;

    for (const std::string& entry : environment) {
        size_t equals = entry.find('=');
        if (equals == std::string::npos) continue;
        // The platform's per-drive entries ("=C:=C:\dir") have an empty name: their pattern is ${}.
        std::string pattern = "${" + entry.substr(0, equals) + "}";
        std::string value = entry.substr(equals + 1);
        whole = replaceAll(text, pattern, value, limit) && whole;
        for (char& c : pattern)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        whole = replaceAll(text, pattern, value, limit) && whole;
    }
    return whole;
}

}  // namespace jaunt
