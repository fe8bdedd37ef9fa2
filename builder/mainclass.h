// What the build reads from the application's jars: the main class of a configuration that does not
// name one (from the manifest of the first archive of the class path, or else of an included jar),
// and the module flags of the jar that holds the main class.
#pragma once

#include <string>
#include <vector>

#include "buildconfig.h"

namespace jaunt {

// Adds java.main_class to config's records when it is not set, and returns where it was read from
// ("" when the configuration set it). Throws ConfigError, naming every place it looked, when no
// Main-Class is found.
std::string completeMainClass(BuildConfiguration* config, const std::string& configPath);

// The module flags that java -jar takes from the manifest of the main jar (the archive whose
// manifest names the main class, or else the one holding its class file, among the archives
// completeMainClass looks at): the items of Add-Opens and Add-Exports join java.add_opens and
// java.add_exports (key 132, 133), and Enable-Native-Access sets java.enable_native_access (134)
// unless the configuration set it. Returns what was taken, and warnings ("warning: ...") about items
// java -jar would ignore. Throws ConfigError for an Enable-Native-Access other than ALL-UNNAMED
// (java -jar refuses to start) and for lists longer than the launcher reads.
std::vector<std::string> completeModuleFlags(BuildConfiguration* config, const std::string& configPath);

}  // namespace jaunt
