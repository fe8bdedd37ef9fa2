// The benchmark's driver, a Windows program run under Wine by scripts/bench. Every time is taken
// here, with QueryPerformanceCounter around CreateProcess and the wait for the child's end (or
// around the one call measured), so Wine's own cost of starting a process weighs the same on both
// sides of each ratio. Prints one table row per figure; medians of RUNS runs each.
//
// Usage: bench_driver RUNS [--splash | --runtime]   (--splash: only the splash row, which needs a
// display; --runtime: only the carried runtime's rows, with JAUNT_BENCH_RUNTIME_DIR, the runtime
// folder, and JAUNT_BENCH_RUNTIME_EXE, a launcher that carries it)
// Environment: JAUNT_TEST_STUB (the launcher program), JAUNT_TEST_FAKE_JAVA, JAUNT_TEST_RECORDING_JVM,
// JAUNT_BENCH_LOADER (the bare loader), JAUNT_BENCH_RUNTIME_JAR (the runtime library to include).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "cleanup.h"
#include "config.h"
#include "extraction.h"
#include "jvmtrees.h"
#include "payloadwriter.h"
#include "winsupport.h"

namespace {

using jaunt_test::TempDirectory;

constexpr size_t kLargeFileSize = 64u << 20;

double now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string environmentPath(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr) throw std::runtime_error(std::string(variable) + " is not set");
    return jaunt_test::windowsPath(value);
}

// Runs commandLine to its end with standard output and error in files of the bench directory and
// returns the milliseconds from the start to the end. A run that fails stops the benchmark: its
// times would mean nothing.
double timedRun(const TempDirectory& dir, const std::string& commandLine) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    std::string errPath = dir.file("child-err.txt");
    HANDLE err = CreateFileA(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE null = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                              OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null;
    startup.hStdOutput = null;
    startup.hStdError = err;
    PROCESS_INFORMATION process;
    std::string line = commandLine;
    double start = now();
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    if (started) WaitForSingleObject(process.hProcess, INFINITE);
    double elapsed = now() - start;
    CloseHandle(err);
    CloseHandle(null);
    if (!started) throw std::runtime_error("cannot start " + commandLine);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0)
        throw std::runtime_error(commandLine + " ended with " + std::to_string(code) + ": " +
                                 jaunt_test::readText(errPath));
    return elapsed;
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The records of a console launcher that finds the JRE beside it and starts com.example.Main.
std::vector<jaunt::NarrowRecord> launcherRecords(const std::vector<std::string>& included) {
    std::vector<jaunt::NarrowRecord> records = {{1000, "Error"},       {107, "0"},
                                                {128, "Bjre"},         {122, "com.example.Main"},
                                                {1005, "The JVM could not be started."},
                                                {1009, "Internal error %ERROR_CODE%"}};
    if (!included.empty()) {
        records.push_back({2002, std::to_string(included.size())});
        records.push_back({2003, jaunt::fileNameList(included)});
    }
    return records;
}

// Removes what the launcher runs left in the temporary directory and their removal list, so that
// no run pays for removing an earlier one's files.
void clearExtractions(const std::string& temp) {
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((temp + "\\jnt*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do jaunt_test::removeTree(temp + "\\" + found.cFileName);
        while (FindNextFileA(h, &found));
        FindClose(h);
    }
    RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);
}

size_t javaRunCount(const std::string& bin) {
    return jaunt_test::fileExists(bin + "\\fakejava.log") ? jaunt_test::javaRuns(bin).size() : 0;
}

double fastest(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }

// One row: the medians of both sides, their ratio, and the fastest run of each (how far apart the
// median and the fastest run are shows how noisy the machine was).
void printRow(const char* what, double measured, double measuredFastest, const char* against,
              const std::vector<double>& baseline) {
    std::printf("%-40s %8.1f ms  %-20s %8.1f ms  ratio %5.2f   (fastest %.1f / %.1f ms)\n", what, measured, against,
                median(baseline), measured / median(baseline), measuredFastest, fastest(baseline));
}

void bench(int runs) {
    TempDirectory dir("bench");
    std::string temp = dir.file("tmp");
    CreateDirectoryA(temp.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", temp.c_str());
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("JAUNT_LOG", nullptr);
    SetEnvironmentVariableA("BUNDLEKIT_LOG", nullptr);
    SetEnvironmentVariableA("JAUNT_RECORD", nullptr);
    jaunt_test::resetJvmRegistry();
    RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);

    // A JRE of test doubles beside the launchers, with the recording jvm.dll (recording nothing:
    // JAUNT_RECORD is unset).
    jaunt_test::JreOptions jre;
    jre.library = jaunt_test::JvmLibrary::Recording;
    jaunt_test::makeJre(dir.file("jre"), jre);
    std::string bin = dir.file("jre\\bin");
    std::string jvm = bin + "\\client\\jvm.dll";

    // Start-up: the launcher carrying the runtime library against the bare loader given a copy of it.
    std::vector<uint8_t> runtimeJar = jaunt_test::readBytes(environmentPath("JAUNT_BENCH_RUNTIME_JAR"));
    if (runtimeJar.empty()) throw std::runtime_error("the runtime library is empty or missing");
    jaunt_test::writeBytes(dir.file("jauntlib.jar"), runtimeJar);
    std::string app = jaunt_test::writeLauncher(dir.file("app.exe"), launcherRecords({"jauntlib.jar"}), {},
                                                jaunt::encodePayload({{"jauntlib.jar", runtimeJar}}));
    std::string loader = dir.file("bare.exe");
    if (!CopyFileA(environmentPath("JAUNT_BENCH_LOADER").c_str(), loader.c_str(), FALSE))
        throw std::runtime_error("cannot copy the bare loader");
    std::string loaderLine = quoted(loader) + " " + quoted(jvm) + " " + quoted(dir.file("jauntlib.jar")) + " " +
                             quoted(temp);

    // The first start fills the version cache; every later one must find the version there.
    timedRun(dir, quoted(app));
    size_t firstStartRuns = javaRunCount(bin);
    timedRun(dir, loaderLine);
    // Wine's process start swings by several milliseconds from run to run, more than a few
    // percent of it: three times the runs, and each pair's own ratio besides the medians'.
    std::vector<double> launcherTimes, loaderTimes, pairRatios;
    for (int i = 0; i < 3 * runs; ++i) {
        launcherTimes.push_back(timedRun(dir, quoted(app)));
        loaderTimes.push_back(timedRun(dir, loaderLine));
        pairRatios.push_back(launcherTimes.back() / loaderTimes.back());
    }
    size_t laterStartRuns = javaRunCount(bin) - firstStartRuns;
    clearExtractions(temp);

    // Extraction: a launcher run with a 64 MB included file less the same launcher's run without it,
    // against CopyFileA of the same bytes; and the extraction alone, called in this process.
    std::vector<uint8_t> large(kLargeFileSize);
    uint32_t state = 12345;
    for (size_t i = 0; i < large.size(); ++i) {
        state = state * 1103515245u + 12345u;
        large[i] = static_cast<uint8_t>(state >> 24);
    }
    std::string largeFile = dir.file("large.bin");
    jaunt_test::writeBytes(largeFile, large);
    std::string big = jaunt_test::writeLauncher(dir.file("big.exe"), launcherRecords({"large.bin"}), {},
                                                jaunt::encodePayload({{"large.bin", large}}));
    std::vector<uint8_t>().swap(large);
    std::string plain = jaunt_test::writeLauncher(dir.file("plain.exe"), launcherRecords({}));
    std::string copy = temp + "\\copy.bin";
    auto copyOnce = [&] {
        double start = now();
        if (!CopyFileA(largeFile.c_str(), copy.c_str(), FALSE)) throw std::runtime_error("CopyFileA failed");
        double elapsed = now() - start;
        DeleteFileA(copy.c_str());
        return elapsed;
    };
    bool opened = false;
    if (jaunt::loadConfigurationFile(big.c_str(), &opened) != jaunt::TableError::None)
        throw std::runtime_error("cannot read the table of " + big);
    auto extractOnce = [&] {
        char directory[jaunt::kTextSize];
        double start = now();
        bool done = jaunt::extractIncludedFilesFrom(big.c_str(), directory, sizeof(directory));
        double elapsed = now() - start;
        jaunt::releaseExtractedFiles();
        clearExtractions(temp);
        if (!done) throw std::runtime_error("extraction failed");
        return elapsed;
    };
    timedRun(dir, quoted(big));
    clearExtractions(temp);
    timedRun(dir, quoted(plain));
    copyOnce();
    extractOnce();
    std::vector<double> withFile, without, extractionInRun, copies, extractions;
    for (int i = 0; i < runs; ++i) {
        withFile.push_back(timedRun(dir, quoted(big)));
        clearExtractions(temp);
        without.push_back(timedRun(dir, quoted(plain)));
        extractionInRun.push_back(withFile.back() - without.back());
        copies.push_back(copyOnce());
        extractions.push_back(extractOnce());
    }

    // Leave the prefix's registry as the tests expect to find it.
    jaunt_test::resetJvmRegistry();
    RegDeleteKeyA(HKEY_CURRENT_USER, jaunt::kRemovalListKey);

    std::printf("Medians of %d runs under Wine, timed inside Wine by bench_driver.exe (QueryPerformanceCounter).\n\n",
                runs);
    printRow("start-up: launcher with jauntlib.jar", median(launcherTimes), fastest(launcherTimes), "bare loader",
             loaderTimes);
    std::printf("%-40s ratio %5.2f   (%zu pairs; fastest runs' ratio %.2f)\n", "start-up: median of the pairs' ratios",
                median(pairRatios), pairRatios.size(), fastest(launcherTimes) / fastest(loaderTimes));
    // The run pairs' differences; "fastest" is the fastest run with the file less the fastest without.
    printRow("extraction of 64 MB in a launcher run", median(extractionInRun), fastest(withFile) - fastest(without),
             "CopyFileA of 64 MB", copies);
    printRow("extraction of 64 MB alone, in process", median(extractions), fastest(extractions), "CopyFileA of 64 MB",
             copies);
    std::printf("%-40s first start %zu, the %d later starts %zu\n", "java -version runs", firstStartRuns, 3 * runs,
                laterStartRuns);
    std::fflush(stdout);
}

// The moment the launcher's splash window is visible, found by polling the window list, and the
// moment the launcher calls JNI_CreateJavaVM, from the recording jvm.dll's clock line; both in
// milliseconds from just before CreateProcess. Needs a display (the script runs this under Xvfb).
struct SplashTimes {
    double visible = -1, jvmCalled = -1;
};

SplashTimes splashRun(const TempDirectory& dir, const std::string& app) {
    std::string recordPath = dir.file("splash-record.txt");
    DeleteFileA(recordPath.c_str());
    SetEnvironmentVariableA("JAUNT_RECORD", recordPath.c_str());
    SetEnvironmentVariableA("JAUNT_RECORD_CLOCK", "1");
    // main waits for the gate, so that the process lives on until its splash has been seen.
    std::string gate = dir.file("gate-");
    DeleteFileA((gate + "main").c_str());
    SetEnvironmentVariableA("JAUNT_RECORD_SCRIPT", "main-waits");
    SetEnvironmentVariableA("JAUNT_RECORD_GATE", gate.c_str());
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    std::string line = quoted(app);
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    double startMs = now();
    QueryPerformanceCounter(&start);
    BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableA("JAUNT_RECORD", nullptr);
    SetEnvironmentVariableA("JAUNT_RECORD_CLOCK", nullptr);
    SetEnvironmentVariableA("JAUNT_RECORD_SCRIPT", nullptr);
    SetEnvironmentVariableA("JAUNT_RECORD_GATE", nullptr);
    if (!started) throw std::runtime_error("cannot start " + app);
    SplashTimes times;
    while (times.visible < 0 && now() - startMs < 20000 && WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        for (HWND window = FindWindowA("JauntSplashScreen", nullptr); window != nullptr;
             window = FindWindowExA(nullptr, window, "JauntSplashScreen", nullptr)) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == process.dwProcessId && IsWindowVisible(window)) times.visible = now() - startMs;
        }
        if (times.visible < 0) Sleep(0);
    }
    jaunt_test::writeText(gate + "main", "");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (code != 0) throw std::runtime_error(app + " ended with " + std::to_string(code));
    if (times.visible < 0)
        throw std::runtime_error("no splash window became visible (is there a display?)");
    std::string record = jaunt_test::readText(recordPath);
    size_t clock = record.find("clock ");
    if (clock == std::string::npos) throw std::runtime_error("the recording JVM wrote no clock line");
    long long called = std::atoll(record.c_str() + clock + 6);
    times.jvmCalled = static_cast<double>(called - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
    return times;
}

void benchSplash(int runs) {
    TempDirectory dir("bench");
    jaunt_test::JreOptions jre;
    jre.library = jaunt_test::JvmLibrary::Recording;
    jaunt_test::makeJre(dir.file("jre"), jre);
    // The plain launcher's splash: the grey background and a line of text, 400 x 200 pixels.
    std::vector<jaunt::NarrowRecord> records = launcherRecords({});
    records.insert(records.end(), {{108, "1"}, {141, "400"}, {142, "200"}, {10116, "10"}, {10117, "10"},
                                   {10118, "Starting"}, {10120, "12"}});
    std::string app = jaunt_test::writeLauncher(dir.file("splash.exe"), records);
    splashRun(dir, app);
    std::vector<double> visible, called;
    int splashFirst = 0;
    for (int i = 0; i < runs; ++i) {
        SplashTimes times = splashRun(dir, app);
        visible.push_back(times.visible);
        called.push_back(times.jvmCalled);
        splashFirst += times.visible < times.jvmCalled ? 1 : 0;
    }
    printRow("splash visible (from process start)", median(visible), fastest(visible), "JNI_CreateJavaVM called",
             called);
    std::printf("%-40s in %d of %d runs\n", "splash visible before JNI_CreateJavaVM", splashFirst, runs);
    std::fflush(stdout);
}

// Copies every file below from into to, one CopyFileA each (directories made as they come), as an
// installer that ships the runtime unpacked would.
void copyTree(const std::string& from, const std::string& to) {
    CreateDirectoryA(to.c_str(), nullptr);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((from + "\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            copyTree(from + "\\" + name, to + "\\" + name);
        else if (!CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE))
            throw std::runtime_error("CopyFileA failed for " + name);
    } while (FindNextFileA(h, &found));
    FindClose(h);
}

// The carried runtime: a launcher's first start (unpacking into an empty cache, checked) less a
// later start, against copying the same files one by one; and a later start against a launcher
// that finds the same runtime on disk through JAUNT_JAVA_HOME.
void benchRuntime(int runs) {
    TempDirectory dir("bench");
    std::string temp = dir.file("tmp");
    CreateDirectoryA(temp.c_str(), nullptr);
    SetEnvironmentVariableA("TMP", temp.c_str());
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("JAUNT_LOG", nullptr);
    SetEnvironmentVariableA("JAUNT_RECORD", nullptr);
    SetEnvironmentVariableA("LOCALAPPDATA", dir.file("local").c_str());
    jaunt_test::resetJvmRegistry();
    std::string runtime = environmentPath("JAUNT_BENCH_RUNTIME_DIR");
    std::string carried = dir.file("carried.exe");
    if (!CopyFileA(environmentPath("JAUNT_BENCH_RUNTIME_EXE").c_str(), carried.c_str(), FALSE))
        throw std::runtime_error("cannot copy the launcher that carries the runtime");
    std::vector<jaunt::NarrowRecord> records = launcherRecords({});
    for (jaunt::NarrowRecord& record : records)
        if (record.key == 128) record.value = "EJAUNT_JAVA_HOME";
    std::string onDisk = jaunt_test::writeLauncher(dir.file("ondisk.exe"), records);
    std::string cache = dir.file("local");
    auto clearCache = [&] { jaunt_test::removeTree(cache); };
    auto copyOnce = [&] {
        std::string target = dir.file("copied");
        double start = now();
        copyTree(runtime, target);
        double elapsed = now() - start;
        jaunt_test::removeTree(target);
        return elapsed;
    };
    auto diskRun = [&] {
        SetEnvironmentVariableA("JAUNT_JAVA_HOME", runtime.c_str());
        double elapsed = timedRun(dir, quoted(onDisk));
        SetEnvironmentVariableA("JAUNT_JAVA_HOME", nullptr);
        return elapsed;
    };
    // Warm: the file cache, the version cache of the on-disk runtime.
    clearCache();
    timedRun(dir, quoted(carried));
    diskRun();
    copyOnce();
    std::vector<double> first, later, unpacking, copies, disk;
    for (int i = 0; i < runs; ++i) {
        clearCache();
        first.push_back(timedRun(dir, quoted(carried)));
        later.push_back(timedRun(dir, quoted(carried)));
        unpacking.push_back(first.back() - later.back());
        copies.push_back(copyOnce());
        disk.push_back(diskRun());
    }
    clearCache();
    jaunt_test::resetJvmRegistry();
    printRow("runtime: first start less a later one", median(unpacking), fastest(first) - fastest(later),
             "CopyFileA of its files", copies);
    printRow("runtime: a later start (cache checked)", median(later), fastest(later), "JAUNT_JAVA_HOME on disk",
             disk);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    if (runs < 1) runs = 1;
    bool splash = argc > 2 && std::string(argv[2]) == "--splash";
    bool runtime = argc > 2 && std::string(argv[2]) == "--runtime";
    try {
        if (runtime)
            benchRuntime(runs);
        else if (splash)
            benchSplash(runs);
        else
            bench(runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_driver: %s\n", e.what());
        return 1;
    }
    return 0;
}
