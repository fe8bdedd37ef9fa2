// The Java application's class path: the included archives, the installation's runtime archive
// (installer flavour) and the configured entries of key 121, each followed by ";".
#pragma once

#include <string>
#include <vector>

namespace jaunt {

// Appends every element to classPath, which holds "-Djava.class.path=" when called; the whole
// option is kept within a text buffer, cut after the last element that fits. A missing mandatory
// entry ends the launcher with message 1006 or 1008.
void appendClassPath(std::string* classPath);

// The archives of directory with the extension, in the platform's listing order. False when the
// directory does not exist.
bool appendArchivesOfDirectory(std::string* classPath, const char* directory, const char* extension);
std::vector<std::string> listFilesWithExtension(const char* directory, const char* extension);

}  // namespace jaunt
