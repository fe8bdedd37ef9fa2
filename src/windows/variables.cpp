#include "variables.h"

#include <windows.h>

#include <string>
#include <vector>

#include "WinLoader.h"
#include "boundedtext.h"
#include "extraction.h"
#include "log.h"
#include "paths.h"
#include "substitution.h"
#include "wideapi.h"

namespace jaunt {

void replaceVariables(char* text) {
    LauncherVariableValues values;
    char directory[kTextSize];
    resolveAgainstModuleDir(directory, sizeof(directory), "");
    values.launcherDirectory = directory;
    values.extractionDirectory = extractionDirectory();
    values.jvmHome = jvmHome() ? jvmHome() : "";

    std::vector<std::string> environment;
    wchar_t* block = GetEnvironmentStringsW();
    if (block != nullptr) {
        for (const wchar_t* entry = block; *entry; entry += textLength(entry) + 1) {
            std::string text = utf8Text(entry, textLength(entry));
            // An entry that does not fit a text buffer would be substituted cut: it is left out.
            if (text.size() >= kTextSize) {
                logError("environment entry longer than %u bytes not substituted", static_cast<unsigned>(kTextSize - 1));
                continue;
            }
            environment.push_back(text);
        }
        FreeEnvironmentStringsW(block);
    }

    std::string result = text;
    if (!substituteVariables(&result, values, environment, kTextSize - 1))
        logError("text cut to %u bytes after variable substitution", static_cast<unsigned>(kTextSize - 1));
    copyText(text, kTextSize, result.c_str());
}

}  // namespace jaunt
