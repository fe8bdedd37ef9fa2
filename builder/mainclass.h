// The main class of a configuration that does not name one: read at build time from the manifest of
// the first archive of the class path, or else of an included jar.
#pragma once

#include <string>

#include "buildconfig.h"

namespace jaunt {

// Adds java.main_class to config's records when it is not set, and returns where it was read from
// ("" when the configuration set it). Throws ConfigError, naming every place it looked, when no
// Main-Class is found.
std::string completeMainClass(BuildConfiguration* config, const std::string& configPath);

}  // namespace jaunt
