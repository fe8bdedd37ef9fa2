#include "configwords.h"

#include "classpathtext.h"
#include "pathtext.h"
#include "searchsequence.h"

namespace jaunt {

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string withBackslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// A directory without its trailing backslash, except where the backslash is the whole root ("\",
// "C:\"); an empty directory is the launcher's own.
std::string directoryArgument(std::string directory) {
    while (directory.size() > 1 && directory.back() == '\\' &&
           !(directory.size() == 3 && directory[1] == ':'))
        directory.pop_back();
    return directory.empty() ? "." : directory;
}

// "${NAME}" alone: the name, else empty.
std::string variableReference(const std::string& path) {
    if (path.size() < 4 || path.compare(0, 2, "${") != 0 || path.back() != '}') return std::string();
    std::string name = path.substr(2, path.size() - 3);
    if (name.find_first_of("${}") != std::string::npos) return std::string();
    return name;
}

const char kSearchWords[] = "\"bundled:DIR\", \"dir:DIR\", \"fallback:DIR\", \"env:NAME\", \"path\" or \"registry\"";

}  // namespace

bool translateClassPathWord(const ClassPathWord& word, std::string* entry, std::string* problem) {
    const std::string flag = word.optional ? "0" : "1";
    if (word.path.empty()) {
        *problem = "a class-path entry cannot be empty";
        return false;
    }
    if (word.path.find(';') != std::string::npos) {
        *problem = word.path + ": a class-path entry cannot contain \";\" (the launcher separates entries with it)";
        return false;
    }
    std::string name = variableReference(word.path);
    for (const char* product : {"JAUNT_", "BUNDLEKIT_"})
        for (const char* variable : {"EXEDIR", "TEMPDIR", "JVM_HOME", "PATHLIST_SEPARATOR"})
            if (name == std::string(product) + variable) {
                *problem = word.path + " is the launcher's own variable, not an environment variable holding a "
                                       "class path: write " + word.path + "/ for the directory itself";
                return false;
            }
    if (!name.empty()) {
        *entry = "E" + flag + name;
        return true;
    }
    std::string path = withBackslashes(word.path);
    char type = 'A';
    std::string argument = path;
    for (const std::string scan : {"*", "*.jar"}) {
        if (path == scan) {
            type = 'S';
            argument = ".";
        } else if (endsWith(path, "\\" + scan)) {
            type = 'S';
            argument = directoryArgument(path.substr(0, path.size() - scan.size()));
        }
    }
    if (type == 'A' && path.back() == '\\') {
        type = 'D';
        argument = directoryArgument(path);
    }
    if (argument.find_first_of("*?") != std::string::npos) {
        *problem = word.path +
                   ": wildcards are only understood as a final /* or /*.jar (a directory scanned for archives)";
        return false;
    }
    *entry = std::string(1, type) + flag + argument;
    return true;
}

bool translateSearchWord(const std::string& word, std::string* entry, std::string* problem) {
    if (word == "path" || word == "registry") {
        *entry = word == "path" ? "S" : "Y";
        return true;
    }
    struct Prefix {
        const char* word;
        char letter;
    };
    const Prefix prefixes[] = {{"bundled:", 'R'}, {"dir:", 'A'}, {"fallback:", 'B'}, {"env:", 'E'}};
    for (const Prefix& prefix : prefixes) {
        std::string start = prefix.word;
        if (word.compare(0, start.size(), start) != 0) continue;
        std::string argument = word.substr(start.size());
        if (argument.empty()) {
            *problem = "\"" + word + "\" names no " + (prefix.letter == 'E' ? "variable" : "directory");
            return false;
        }
        if (argument.find(';') != std::string::npos) {
            *problem = "\"" + word + "\": an entry cannot contain \";\" (the launcher separates entries with it)";
            return false;
        }
        *entry = std::string(1, prefix.letter) + (prefix.letter == 'E' ? argument : withBackslashes(argument));
        return true;
    }
    *problem = "unknown search entry \"" + word + "\"; write " + kSearchWords;
    return false;
}

std::string classPathTextProblem(const std::string& text) {
    for (const std::string& item : splitList(text, ';')) {
        std::vector<ClassPathEntry> parsed = parseClassPathEntries(item);
        if (parsed.empty())
            return "entry \"" + item + "\" is too short: an entry is a type letter, a flag 0 or 1 and a path";
        const ClassPathEntry& entry = parsed.front();
        if (!isClassPathType(entry.type))
            return "entry \"" + item + "\": unknown type letter " + std::string(1, entry.type) +
                   " (A archive, D directory, S directory of archives, E environment variable); the launcher "
                   "would leave it out. Write the class path as an array of paths, e.g. [\"app.jar\"]";
        if (item[1] != '0' && item[1] != '1')
            return "entry \"" + item + "\": the second character must be the flag 1 (mandatory) or 0 (optional)";
        if (entry.argument.empty()) return "entry \"" + item + "\" has no path or variable name";
    }
    return std::string();
}

std::string searchSequenceTextProblem(const std::string& text) {
    for (const SearchEntry& entry : parseSearchSequence(text.c_str())) {
        std::string item = std::string(1, entry.letter) + entry.argument;
        if (!isSearchLetter(entry.letter))
            return "entry \"" + item + "\": unknown letter " + std::string(1, entry.letter) +
                   " (A, B, R directory, E variable, S search path, Y registry); the launcher would skip it. "
                   "Write the order as jvm.search = [...] with " + kSearchWords;
        bool needsArgument = entry.letter != 'S' && entry.letter != 'Y';
        if (needsArgument && entry.argument.empty())
            return "entry \"" + item + "\" names no " + (entry.letter == 'E' ? "variable" : "directory");
        if (!needsArgument && !entry.argument.empty())
            return "entry \"" + item + "\": " + std::string(1, entry.letter) + " takes nothing after it";
    }
    return std::string();
}

bool executableTypeOfKind(const std::string& kind, std::string* type) {
    if (kind == "gui" || kind == "console") {
        *type = kind == "gui" ? "1" : "0";
        return true;
    }
    return false;
}

}  // namespace jaunt
