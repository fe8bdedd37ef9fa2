#include "jreunpack.h"

#include <windows.h>

#include <cstdio>

#include "boundedtext.h"
#include "configkeys.h"
#include "errors.h"
#include "log.h"
#include "paths.h"

namespace jaunt {

namespace {

// In this order; the last one doubles as the mark of a prepared JRE.
const char* const kPackedArchives[] = {"lib\\rt.jar",     "lib\\charsets.jar",          "lib\\plugin.jar",
                                       "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar"};

}  // namespace

void unpackJar(const char* directory, const char* archive) {
    char target[kTextSize];
    char packed[kTextSize];
    bool whole = formatText(target, sizeof(target), "%s\\%s", directory, archive);
    whole = formatText(packed, sizeof(packed), "%s.pack", target) && whole;
    logInfo("Unpacking %s to %s", packed, target);
    if (!whole || !pathExists(packed)) {
        logInfo("pack path doesn't exists");
        return;
    }

    // Every path is quoted: a JRE under "C:\Program Files" would otherwise start C:\Program.exe.
    char commandLine[3 * kTextSize + 64];
    formatText(commandLine, sizeof(commandLine), "\"%s\\bin\\unpack200.exe\" -r \"%s\" \"%s\"", directory, packed,
               target);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process)) {
        logError("CreateProcessA(%s) failed: %lu", commandLine, static_cast<unsigned long>(GetLastError()));
        logInfo("could not create unpack process");
        failWithMessage(MSG_INTERNAL_ERROR, "%ERROR_CODE%", "20");
    }
    logInfo("waiting for unpack200 to finish");
    WaitForSingleObject(process.hProcess, INFINITE);
    logInfo("unpack done");
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

void prepareJre(const char* directory) {
    char marker[kTextSize];
    if (!formatText(marker, sizeof(marker), "%s\\lib\\rt.jar.pack", directory) || !pathExists(marker)) return;
    if (formatText(marker, sizeof(marker), "%s\\lib\\jsse.jar", directory) && pathExists(marker)) return;
    logInfo("Unpacking JRE");
    fputs("Preparing JRE ...\n", stdout);
    fflush(stdout);
    for (const char* archive : kPackedArchives) unpackJar(directory, archive);
    logInfo("Unpacking JRE done");
}

}  // namespace jaunt
