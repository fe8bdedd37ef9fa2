// Textual substitution of the launcher variables and ${NAME} environment references in the
// configured texts that feed the Java launch (class-path entries, VM options, program arguments).
// Platform-free: the Windows side supplies the values and the environment entries.
#pragma once

#include <string>
#include <vector>

namespace jaunt {

struct LauncherVariableValues {
    std::string launcherDirectory;    // ends with a backslash
    std::string extractionDirectory;  // empty when the launcher carries no files
    std::string jvmHome;              // "<java executable's directory>\.."
};

// Replaces every occurrence of pattern, left to right; the search resumes behind each inserted
// value, so a value holding its own pattern is not expanded again. The text is kept to at most
// limit characters: false when it had to be cut.
bool replaceAll(std::string* text, const std::string& pattern, const std::string& value, size_t limit);

// The sixteen launcher variables (%JAUNT_EXEDIR%, ${BUNDLEKIT_TEMPDIR}, ...), then, for every
// environment entry "NAME=VALUE" in order, ${NAME} and ${NAME in upper case}. Entries without "="
// are skipped. False when the text had to be cut at limit.
bool substituteVariables(std::string* text, const LauncherVariableValues& values,
                         const std::vector<std::string>& environment, size_t limit);

}  // namespace jaunt
