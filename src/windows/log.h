// The diagnostic log: off unless JAUNT_LOG or BUNDLEKIT_LOG is exactly "yes". Opened at the first
// line written; every line is flushed at once, so the file is complete whenever the process ends.
#pragma once

namespace jaunt {

void logInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log file's path, or null when logging is off (or nothing was written yet). When the file could
// not be opened anywhere the path is still "c:\bkt_nlog", so error reports name it.
const char* getLogPath();

}  // namespace jaunt
