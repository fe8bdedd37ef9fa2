// jaunt init: a first, commented configuration for an application jar, ready to build.
#pragma once

#include <string>

namespace jaunt {

// The configuration text for the jar named jarName (a file name; the launcher lies beside it).
// An empty mainClass leaves java.main_class as a comment to fill in.
std::string initialConfiguration(const std::string& jarName, const std::string& mainClass);

// Writes STEM.toml beside the jar at jarPath and returns its path; *note tells what the user must
// still do ("" when nothing). Throws std::runtime_error when the jar cannot be read or is damaged,
// or the configuration file exists already.
std::string writeInitialConfiguration(const std::string& jarPath, std::string* note);

}  // namespace jaunt
