// Java installations made of test doubles (tests/fixtures), assembled per test, and the registry
// keys of JVM discovery, reset around the tests that use them.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "winsupport.h"

namespace jaunt_test {

// A fixture program or library, from the variable that the test's environment names it in.
inline std::string fixture(const char* variable) {
    const char* path = std::getenv(variable);
    if (path == nullptr) throw std::runtime_error(std::string(variable) + " is not set");
    return windowsPath(path);
}

// Creates every missing directory of path (a directory).
inline void makeDirectories(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

inline void copyFixture(const char* variable, const std::string& destination) {
    makeDirectories(destination.substr(0, destination.rfind('\\')));
    if (!CopyFileA(fixture(variable).c_str(), destination.c_str(), FALSE))
        throw std::runtime_error("cannot copy " + fixture(variable) + " to " + destination);
}

// What the fake java.exe (and javaw.exe) of a bin directory does: command is "exit N" or "hang",
// output goes to standard error.
inline void scriptJava(const std::string& bin, const std::string& output, const std::string& command = "exit 0") {
    writeText(bin + "\\fakejava.txt", command + "\n" + output);
}

inline std::string versionOutput(const std::string& version) {
    return "java version \"" + version + "\"\r\nJava(TM) SE Runtime Environment\r\n";
}

// How many times the fake Java executables of a bin directory ran, and their command lines.
inline std::vector<std::string> javaRuns(const std::string& bin) {
    std::vector<std::string> lines;
    std::string log = readText(bin + "\\fakejava.log");
    for (size_t start = 0; start < log.size();) {
        size_t end = log.find('\n', start);
        if (end == std::string::npos) end = log.size();
        lines.push_back(log.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// Good refuses to create a JVM; Recording creates one that records what it is handed.
enum class JvmLibrary { Good, WithoutCreate, NotALibrary, WithDependency, Recording, None };

constexpr unsigned short kMachineI386 = 0x14c, kMachineAmd64 = 0x8664;

// The Machine field of an image's file header (the offset of "PE\0\0" at 0x3C, the machine after it).
inline unsigned short imageMachine(const std::string& path) {
    std::string bytes = readText(path);
    if (bytes.size() < 0x40) throw std::runtime_error("no image: " + path);
    auto byte = [&](size_t at) { return static_cast<size_t>(static_cast<unsigned char>(bytes.at(at))); };
    size_t header = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    return static_cast<unsigned short>(byte(header + 4) | byte(header + 5) << 8);
}

// The machine of the other bitness than machine: AMD64 for i386 and the other way round.
inline unsigned short otherMachine(unsigned short machine) {
    return machine == kMachineAmd64 ? kMachineI386 : kMachineAmd64;
}
// The machine of this test program.
inline unsigned short ownMachine() { return sizeof(void*) == 8 ? kMachineAmd64 : kMachineI386; }

// Writes machine into the file header of the image at path: a library of another bitness, as far
// as the header tells, without a second toolchain.
inline void patchImageMachine(const std::string& path, unsigned short machine) {
    std::string bytes = readText(path);
    auto byte = [&](size_t at) { return static_cast<size_t>(static_cast<unsigned char>(bytes.at(at))); };
    size_t header = byte(0x3C) | byte(0x3D) << 8 | byte(0x3E) << 16 | byte(0x3F) << 24;
    bytes.at(header + 4) = static_cast<char>(machine & 0xFF);
    bytes.at(header + 5) = static_cast<char>(machine >> 8);
    writeText(path, bytes);
}

struct JreOptions {
    std::string version = "1.8.0_201";
    bool javaw = true;                    // a javaw.exe beside java.exe
    std::string vmType = "client";        // the VM directory under bin
    JvmLibrary library = JvmLibrary::Good;
    unsigned short machine = 0;           // not 0: the jvm.dll's header names this machine
};

// A jvm.dll double of the chosen kind at bin\<vmType>\jvm.dll.
inline void placeJvmLibrary(const std::string& bin, const std::string& vmType, JvmLibrary library) {
    std::string target = bin + "\\" + vmType + "\\jvm.dll";
    switch (library) {
    case JvmLibrary::Good:
        copyFixture("JAUNT_TEST_FAKE_JVM", target);
        break;
    case JvmLibrary::WithoutCreate:
        copyFixture("JAUNT_TEST_FAKE_JVM_BARE", target);
        break;
    case JvmLibrary::NotALibrary:
        makeDirectories(bin + "\\" + vmType);
        writeText(target, "this is not a library");
        break;
    case JvmLibrary::WithDependency:
        copyFixture("JAUNT_TEST_FAKE_JVM_DEP", target);
        copyFixture("JAUNT_TEST_JAUNTDEP", bin + "\\jauntdep.dll");
        break;
    case JvmLibrary::Recording:
        copyFixture("JAUNT_TEST_RECORDING_JVM", target);
        break;
    case JvmLibrary::None:
        break;
    }
}

// A JRE of doubles at home: bin\java.exe (+ javaw.exe) printing options.version, and a jvm.dll.
inline void makeJre(const std::string& home, const JreOptions& options = JreOptions()) {
    std::string bin = home + "\\bin";
    copyFixture("JAUNT_TEST_FAKE_JAVA", bin + "\\java.exe");
    if (options.javaw) copyFixture("JAUNT_TEST_FAKE_JAVA", bin + "\\javaw.exe");
    scriptJava(bin, versionOutput(options.version));
    placeJvmLibrary(bin, options.vmType, options.library);
    if (options.machine != 0) patchImageMachine(bin + "\\" + options.vmType + "\\jvm.dll", options.machine);
}

// A JDK of doubles in the old layout: bin\java.exe without a VM, lib\tools.jar, and a JRE in jre\.
inline void makeJdk(const std::string& home, const JreOptions& options = JreOptions()) {
    std::string bin = home + "\\bin";
    copyFixture("JAUNT_TEST_FAKE_JAVA", bin + "\\java.exe");
    scriptJava(bin, versionOutput(options.version));
    makeDirectories(home + "\\lib");
    writeText(home + "\\lib\\tools.jar", "tools");
    makeJre(home + "\\jre", options);
}

// Sets a file's last-write time to a fixed moment plus offset (in 100 ns units).
inline void setLastWriteTime(const std::string& path, long long offset) {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    unsigned long long value = 132000000000000000ULL + static_cast<unsigned long long>(offset);
    FILETIME time{static_cast<DWORD>(value), static_cast<DWORD>(value >> 32)};
    SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
}

// Registry helpers for the JVM discovery keys.
inline void deleteRegistryTree(HKEY root, const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(root, name.c_str(), 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        std::vector<std::string> children;
        char child[1024];
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof(child);
            if (RegEnumKeyExA(key, index, child, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            children.push_back(std::string(child, size));
        }
        RegCloseKey(key);
        for (const std::string& name2 : children) deleteRegistryTree(root, name + "\\" + name2);
    }
    std::string plain = name;
    while (!plain.empty() && plain.back() == '\\') plain.pop_back();
    RegDeleteKeyA(root, plain.c_str());
}

inline void setRegistryText(HKEY root, const std::string& keyName, const char* value, const std::string& text) {
    HKEY key;
    if (RegCreateKeyExA(root, keyName.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create " + keyName);
    if (value != nullptr)
        RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

constexpr const char* kJreKey = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr const char* kJdkKey = "SOFTWARE\\JavaSoft\\Java Development Kit";
constexpr const char* kLocatedKey = "SOFTWARE\\loomwright\\jaunt\\locatedjvms";
constexpr const char* kCacheKey = "SOFTWARE\\loomwright\\jaunt\\jvms";

// Removes every key JVM discovery reads: the JavaSoft keys, the located-JVM lists and the version
// cache.
// The keys that installers of current distributions write, under both roots.
constexpr const char* kDistributionKeys[] = {"SOFTWARE\\JavaSoft\\JRE",    "SOFTWARE\\JavaSoft\\JDK",
                                             "SOFTWARE\\Eclipse Adoptium", "SOFTWARE\\Eclipse Foundation",
                                             "SOFTWARE\\AdoptOpenJDK",     "SOFTWARE\\Microsoft\\JDK",
                                             "SOFTWARE\\Azul Systems",     "SOFTWARE\\BellSoft"};

inline void resetJvmRegistry() {
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kJreKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kJdkKey);
    deleteRegistryTree(HKEY_LOCAL_MACHINE, kLocatedKey);
    deleteRegistryTree(HKEY_CURRENT_USER, kLocatedKey);
    deleteRegistryTree(HKEY_CURRENT_USER, kCacheKey);
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER})
        for (const char* key : kDistributionKeys) deleteRegistryTree(root, key);
}

// A located-JVM entry: the executable's path with "/" for "\".
inline void addLocatedJvm(HKEY root, std::string executable) {
    for (char& c : executable)
        if (c == '\\') c = '/';
    setRegistryText(root, std::string(kLocatedKey) + "\\" + executable, nullptr, "");
}

}  // namespace jaunt_test
