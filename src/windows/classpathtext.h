// The grammar of the configured class-path entries: ";"-separated entries, each a type letter
// ("A" archive, "D" directory, "S" directory scanned for archives, "E" environment variable), a
// mandatory flag ("1" mandatory) and an argument. Platform-free.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

struct ClassPathEntry {
    char type;        // as written; only upper-case A, D, S and E contribute
    bool mandatory;   // the second character is "1"
    std::string argument;
};

// Runs of ";" count as one and the final ";" is optional. An entry of fewer than two characters
// has no flag and no argument and is left out.
std::vector<ClassPathEntry> parseClassPathEntries(const std::string& text);

// The type letters the launcher acts on (upper-case A, D, S, E); any other letter contributes
// nothing. The build tool refuses the others with this same test.
bool isClassPathType(char type);

// A class path held by an environment variable: one pair of enclosing double quotes removed.
std::string unquoteClassPathValue(const std::string& value);

}  // namespace jaunt
