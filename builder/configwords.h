// The configuration's word forms and their translation into the launcher's own grammars: class-path
// entries (key 121), the JVM search order (key 128) and the launcher kind (key 107). A plain text
// written in the launcher's grammar is checked with the launcher's own parsers, so that jaunt never
// accepts what the launcher would read differently.
#pragma once

#include <string>

namespace jaunt {

// One class-path entry as a user writes it: a path, or "${NAME}" for a class path held by an
// environment variable.
struct ClassPathWord {
    std::string path;
    bool optional = false;
};

// The key-121 entry of a word ("A1lib\app.jar", without the ";"): a file path is an archive (A), a
// path ending in "/" or "\" a class directory (D), one ending in "/*" or "/*.jar" a directory
// scanned for archives (S), "${NAME}" alone an environment variable (E). "/" becomes "\". False,
// with *problem set, for a path the launcher could not take.
bool translateClassPathWord(const ClassPathWord& word, std::string* entry, std::string* problem);

// The key-128 entry of a search word: "bundled:DIR" (R), "dir:DIR" (A), "fallback:DIR" (B),
// "env:NAME" (E), "path" (S), "registry" (Y).
bool translateSearchWord(const std::string& word, std::string* entry, std::string* problem);

// What is wrong with a text in the launcher's class-path or search-sequence grammar; empty when the
// launcher reads every entry of it as meant.
std::string classPathTextProblem(const std::string& text);
std::string searchSequenceTextProblem(const std::string& text);

// The executable type (key 107) of a launcher kind: "gui" is 1, "console" 0. False for other words.
bool executableTypeOfKind(const std::string& kind, std::string* type);

}  // namespace jaunt
