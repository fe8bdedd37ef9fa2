// The single-instance guard: the first start of a launcher file holds a named semaphore and records
// its process id; a later start of the same file brings the first one's windows to the front, hands
// it its command-line arguments through the communication file and ends with exit code 0.
#pragma once

#include <cstddef>
#include <string>

namespace jaunt {

// Returns in the first (or only) instance; ends a later instance. With checkKey, does nothing unless
// key 10005 is set; without handOver a later instance only activates the first one's windows.
void singleInstanceGuard(bool checkKey, bool handOver);

// The name of this launcher file's instance semaphore: modulePath with "\" replaced by "_".
const char* semaphoreName();

// The process record: HKCU\SOFTWARE\loomwright\jaunt\pids\, value modulePath, REG_DWORD process id.
// Registry failures are silent; a missing record reads 0.
constexpr const char* kProcessRecordKey = "SOFTWARE\\loomwright\\jaunt\\pids\\";
void writeProcessRecord();
unsigned long readProcessRecord();

// A handle (SYNCHRONIZE) on the process processId when it is running and is a copy of this launcher
// file; null otherwise (no such process, or the id was reused by another program).
void* openInstanceProcess(unsigned long processId);

enum class HandOver {
    Delivered,   // the text is in the communication file, or the running instance took it
    FirstEnded,  // the first instance ended before the file was free; nothing was written
    Pending,     // the file stayed occupied (or is a directory): the text waits in pendingFile
    Failed,      // the text could not be written at all
};

// Puts text (UTF-16LE units, ending with a line feed) into commFile without ever replacing a file
// of that name. The text is written to a file of its own beside it, under a ".part" name that is
// renamed into the pending name (pendingFile, kTextSize bytes: the communication file's name
// without ".tmp", "_", our process id, "_", our thread id, ".tmp") once it is whole. That file is
// moved to commFile while no such file exists, testing every 50 ms at most attempts times; a
// directory of that name gives up at once. The running instance may take the pending file itself
// meanwhile, and after the wait it still does. firstProcess (may be null) is watched meanwhile.
HandOver handOverArguments(const char* commFile, const std::u16string& text, void* firstProcess,
                           unsigned attempts, char* pendingFile, size_t pendingSize);

// Removes the hand-over files in directory (".tmp" and ".part", see above) that nobody will take:
// those whose first instance and whose writer both no longer run. A process with the id that was
// started after the file was written does not count.
void removeOrphanedHandOvers(const char* directory);

}  // namespace jaunt
