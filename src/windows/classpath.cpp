#include "classpath.h"

#include <windows.h>

#include "boundedtext.h"
#include "classpathtext.h"
#include "config.h"
#include "configkeys.h"
#include "environment.h"
#include "errors.h"
#include "extraction.h"
#include "log.h"
#include "paths.h"
#include "wideapi.h"
#include "pathtext.h"
#include "variables.h"

namespace jaunt {

namespace {

// Appends one element and its ";"; an element that would take the option past a text buffer is
// left out, so the class path never ends in a cut path.
void appendElement(std::string* classPath, const std::string& element) {
    if (classPath->size() + element.size() + 1 > kTextSize - 1) {
        logError("class path too long, left out: %s", element.c_str());
        return;
    }
    *classPath += element;
    *classPath += ';';
}

void appendRuntimeLibrary(std::string* classPath) {
    char directory[kTextSize];
    getConfigString(KEY_INSTALLATION_DIRECTORY, directory, sizeof(directory));
    char installation[kTextSize];
    fullPath(installation, sizeof(installation), directory, false);
    std::string element = installation;
    if (element.empty() || element.back() != '\\') element += '\\';
    appendElement(classPath, element + ".bundlekit\\bktruntime.jar");
}

}  // namespace

std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension) {
    std::vector<std::string> names;
    std::string pattern = std::string(directory) + "\\*";
    if (extension[0] != '.') pattern += '.';
    pattern += extension;
    FoundFile found;
    HANDLE search = findFirstFile(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do names.push_back(found.name);
    while (findNextFile(search, &found));
    FindClose(search);
    return names;
}

bool appendArchivesOfDirectory(std::string* classPath, const char* directory, const char* extension) {
    if (!pathExists(directory)) return false;
    for (const std::string& name : listFilesWithExtension(directory, extension)) {
        std::string path = std::string(directory) + "\\" + name;
        char resolved[kTextSize];
        resolveAgainstModuleDir(resolved, sizeof(resolved), path.c_str());
        appendElement(classPath, resolved);
    }
    return true;
}

void appendClassPath(std::string* classPath) {
    // The archives this run extracted, by name: a file that someone else put into the directory
    // never reaches the class path.
    for (const char* extension : {".jar", ".zip"})
        for (const std::string& file : extractedFiles())
            if (file.size() > textLength(extension) && endsWithIgnoringCase(file, extension)) {
                char resolved[kTextSize];
                resolveAgainstModuleDir(resolved, sizeof(resolved), file.c_str());
                appendElement(classPath, resolved);
            }
    if (flavourLetter() == 'i') appendRuntimeLibrary(classPath);

    char entries[kTextSize];
    getConfigString(KEY_CLASSPATH, entries, sizeof(entries));
    for (const ClassPathEntry& entry : parseClassPathEntries(entries)) {
        char argument[kTextSize];
        copyText(argument, sizeof(argument), entry.argument.c_str());
        replaceVariables(argument);
        bool found = false;
        switch (entry.type) {
            case 'A':
            case 'D': {
                char resolved[kTextSize];
                resolveAgainstModuleDir(resolved, sizeof(resolved), argument);
                found = pathExists(resolved);
                appendElement(classPath, resolved);
                break;
            }
            case 'S': {
                char resolved[kTextSize];
                resolveAgainstModuleDir(resolved, sizeof(resolved), argument);
                bool jars = appendArchivesOfDirectory(classPath, resolved, "jar");
                bool zips = appendArchivesOfDirectory(classPath, resolved, "zip");
                found = jars || zips;
                break;
            }
            case 'E': {
                bool defined = false;
                std::string value = environmentValue(argument, &defined);
                // A mandatory variable must provide a class path: empty counts as undefined.
                if (value.empty()) {
                    if (entry.mandatory) failWithMessage(MSG_ENV_VAR_UNDEFINED, "%ENV_VAR_NAME%", argument);
                    continue;
                }
                value = unquoteClassPathValue(value);
                if (!value.empty() && value.back() == ';') value.pop_back();
                appendElement(classPath, value);
                continue;
            }
            default:
                logError("class path entry of unknown type %c left out", entry.type);
                continue;
        }
        if (entry.mandatory && !found) failWithMessage(MSG_CLASSPATH_ENTRY_MISSING, "%FILE_NAME%", argument);
    }
}

}  // namespace jaunt
