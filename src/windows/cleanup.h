// The per-user lists of files and directories that a later run removes, kept in the registry under
// HKCU\SOFTWARE\loomwright\jaunt\temp\ as "delete_file" and "delete_dir": full paths, each followed
// by ";".
#pragma once

#include <string>
#include <vector>

namespace jaunt {

// The registry key that holds both lists.
constexpr const char* kRemovalListKey = "SOFTWARE\\loomwright\\jaunt\\temp\\";
// A list is limited to kRemovalListLimit bytes of text; an entry that would pass it is dropped.
constexpr unsigned kRemovalListLimit = 8191;

// Appends every file and its ";" to "delete_file" and every directory to "delete_dir", in order, in
// one locked pass over the key; nothing at all is touched when both are empty. Registry failures are
// silent.
void appendRemovalEntries(const std::vector<std::string>& files, const std::vector<std::string>& directories);

// Removes what earlier runs listed: every listed file that nobody holds open, then every listed
// directory that is empty. What still exists stays listed for the next run. Only extraction
// directories directly inside a temporary directory and the plain files directly inside them are
// touched, never through a reparse point; other entries are dropped unused and logged. Registry
// failures and failed deletions are silent.
void removeStaleFiles();

}  // namespace jaunt
