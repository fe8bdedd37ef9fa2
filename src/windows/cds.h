// Class-data sharing (key 135): the JVM keeps an archive of the classes the application loads in
// the user's private cache and maps it at later starts instead of loading and verifying them again.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace jaunt {

// Appends the sharing options for the JVM at home with the given version to options (the options
// so far, class path included). Nothing when key 135 is off, below Java 13, when the class path
// holds archives this run extracted (they lie in a new directory at every start, and an archive
// fits only the class path it was made with), or when no cache directory can be made. The
// archive's name depends on the launcher, its class path with the size and time of each file on
// it, the options that are not system properties, and the Java's home and version; a launcher's
// archives of another name are removed when a new one is to be made.
void appendCdsOptions(std::vector<std::string>* options, const char* home, const char* version);

// %LOCALAPPDATA%\Jaunt\cds, or Jaunt\cds in the temporary directory when that cannot be made;
// created private when missing. False when neither can be made.
bool cdsDirectory(char* directory, size_t size);

}  // namespace jaunt
