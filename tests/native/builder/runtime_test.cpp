// The application's own Java runtime: the configuration's [runtime] table, the checks of a runtime
// folder, the pack (read back as the launcher reads it, reproducible, as small as zip's), jaunt
// build and inspect with a runtime, and the jlink plumbing on the installed (Linux) JDK's jmods.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "buildconfig.h"
#include "configkeys.h"
#include "launcherimage.h"
#include "pemachine.h"
#include "runtimeimage.h"
#include "runtimepacker.h"
#include "sha256.h"
#include "tablewriter.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Outcome;
using testsupport::readText;
using testsupport::runJaunt;
using testsupport::writeText;

std::vector<uint8_t> bytesOf(const fs::path& path) { return jaunt::readFileBytes(path.string()); }

// Deterministic pseudo-random numbers (xorshift), so that the sample is the same on every run.
struct Random {
    uint32_t state = 2463534242u;
    uint32_t next() {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state;
    }
};

// A Windows runtime in miniature: its JVM library (a PE header of the machine), the release file,
// and a few hundred KB of text, class-file-like and incompressible files, an empty folder and a
// link between two legal notices, as jlink makes them on Linux.
void makeSampleRuntime(const fs::path& root, bool x64 = false, const std::string& version = "17.0.2") {
    Random random;
    std::vector<uint8_t> library = testsupport::makeStub(0x600, x64);
    for (int i = 0; i < 30000; ++i) library.push_back(static_cast<uint8_t>(random.next() % 48));
    fs::create_directories(root / "bin/server");
    jaunt::writeFileBytes((root / "bin/server/jvm.dll").string(), library);
    writeText(root / "release", "IMPLEMENTOR=\"Test\"\nJAVA_VERSION=\"" + version + "\"\nMODULES=\"java.base\"\n");
    const char* words[] = {"java", "security", "provider", "policy", "locale", "=", "true", "false", "\n", "#"};
    for (int n = 0; n < 8; ++n) {
        std::string text;
        while (text.size() < 12000) text += std::string(words[random.next() % 10]) + " ";
        writeText(root / ("conf/file" + std::to_string(n) + ".properties"), text);
    }
    for (int n = 0; n < 40; ++n) {
        std::string cls = "\xCA\xFE\xBA\xBE";
        cls += std::string("\0\0\0\x37", 4);
        for (const char* part : {"java/lang/Object", "com/example/C", "<init>", "()V", "Code", "LineNumberTable"})
            cls += std::string(1, '\x01') + part + std::to_string(n);
        while (cls.size() < 3000) cls += static_cast<char>(0x10 + random.next() % 40);
        writeText(root / ("lib/classes/com/example/C" + std::to_string(n) + ".class"), cls);
    }
    std::string noise;
    for (int i = 0; i < 120000; ++i) noise += static_cast<char>(random.next());
    writeText(root / "lib/random.bin", noise);
    writeText(root / "legal/java.base/LICENSE", "The license text.\n");
    fs::create_directories(root / "legal/java.logging");
    fs::create_symlink("../java.base/LICENSE", root / "legal/java.logging/LICENSE");
    fs::create_directories(root / "conf/empty");
}

// Sets an environment variable while it lives; the programs the test starts inherit it.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<accepted>";
}

TEST(RuntimePacker, ThePackReadsBackAsTheLauncherReadsIt) {
    fs::path dir = testsupport::scratchDirectory();
    makeSampleRuntime(dir / "rt");
    jaunt::PackedRuntime packed = jaunt::packRuntime((dir / "rt").string(), "rt");
    jaunt::RuntimeIndex index;
    ASSERT_EQ(jaunt::parseRuntimeIndex(packed.bytes.data(), packed.bytes.size(), packed.bytes.size(), &index),
              jaunt::RuntimePackError::None);
    // Every file and the empty folder, in byte order of their names.
    std::vector<std::string> expected;
    for (auto it = fs::recursive_directory_iterator(dir / "rt"); it != fs::recursive_directory_iterator(); ++it)
        if (!it->is_directory() || fs::is_empty(it->path()))
            expected.push_back(it->path().lexically_relative(dir / "rt").generic_string());
    std::sort(expected.begin(), expected.end());
    ASSERT_EQ(index.entries.size(), expected.size());
    EXPECT_EQ(packed.files, expected.size() - 1);
    EXPECT_EQ(packed.directories, 1u);
    uint64_t unpacked = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const jaunt::RuntimeEntry& entry = index.entries[i];
        ASSERT_EQ(entry.name, expected[i]);
        if (entry.name == "conf/empty") {
            EXPECT_EQ(entry.kind, jaunt::RuntimeEntryKind::Directory);
            continue;
        }
        std::vector<uint8_t> content = bytesOf(dir / "rt" / entry.name);
        unpacked += content.size();
        EXPECT_EQ(entry.size, content.size()) << entry.name;
        EXPECT_EQ(entry.crc, crc32(0, content.data(), static_cast<uInt>(content.size()))) << entry.name;
        EXPECT_EQ(jaunt::unpackRuntimeEntry(packed.bytes.data(), packed.bytes.size(), entry), content) << entry.name;
        // Compressed entries are the zlib format: zlib's own one-call inflate reads them.
        const uint8_t* stored = packed.bytes.data() + entry.offset;
        if (entry.kind == jaunt::RuntimeEntryKind::Deflated) {
            std::vector<uint8_t> inflated(content.size() + 1);
            uLongf length = inflated.size();
            ASSERT_EQ(uncompress(inflated.data(), &length, stored, entry.storedSize), Z_OK) << entry.name;
            inflated.resize(length);
            EXPECT_EQ(inflated, content) << entry.name;
            EXPECT_LT(entry.storedSize, entry.size) << entry.name;
        } else {
            EXPECT_TRUE(std::equal(content.begin(), content.end(), stored)) << entry.name;
        }
    }
    EXPECT_EQ(index.unpackedSize, unpacked);
    EXPECT_EQ(jaunt::findRuntimeEntry(index, "LIB/random.BIN")->kind, jaunt::RuntimeEntryKind::Stored);
    EXPECT_EQ(jaunt::findRuntimeEntry(index, "lib/classes/com/example/C0.class")->kind,
              jaunt::RuntimeEntryKind::Deflated);
    // The link is packed as the file it leads to.
    EXPECT_EQ(jaunt::findRuntimeEntry(index, "legal/java.logging/LICENSE")->size, 18u);

    // The hash is sha256sum's, and damage to any stored byte is found when the entry is read.
    jaunt::writeFileBytes((dir / "pack.bin").string(), packed.bytes);
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && sha256sum pack.bin > sum.txt").c_str()), 0);
    EXPECT_EQ(readText(dir / "sum.txt").substr(0, 64), packed.hash);
    for (const char* name : {"conf/file3.properties", "lib/random.bin"}) {
        const jaunt::RuntimeEntry& entry = *jaunt::findRuntimeEntry(index, name);
        std::vector<uint8_t> damaged = packed.bytes;
        damaged[entry.offset + entry.storedSize / 2] ^= 0x20;
        EXPECT_NE(messageOf([&] { jaunt::unpackRuntimeEntry(damaged.data(), damaged.size(), entry); }).find(name),
                  std::string::npos);
    }
}

TEST(RuntimePacker, TheSameFolderGivesTheSameBytes) {
    fs::path dir = testsupport::scratchDirectory();
    makeSampleRuntime(dir / "one");
    // The same files made in the other order, with other times and modes, in another place.
    std::vector<fs::path> files;
    for (auto it = fs::recursive_directory_iterator(dir / "one"); it != fs::recursive_directory_iterator(); ++it)
        files.push_back(it->path().lexically_relative(dir / "one"));
    std::sort(files.rbegin(), files.rend());
    for (const fs::path& file : files) {
        fs::path from = dir / "one" / file, to = dir / "other/deeper" / file;
        fs::create_directories(to.parent_path());
        if (fs::is_symlink(from))
            fs::create_symlink(fs::read_symlink(from), to);
        else if (fs::is_directory(from))
            fs::create_directories(to);
        else
            fs::copy_file(from, to), fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
    }
    fs::last_write_time(dir / "other/deeper/release", fs::file_time_type::clock::now() - std::chrono::hours(1000));
    jaunt::PackedRuntime one = jaunt::packRuntime((dir / "one").string(), "one");
    jaunt::PackedRuntime other = jaunt::packRuntime((dir / "other/deeper").string(), "other");
    EXPECT_TRUE(one.bytes == other.bytes);
    EXPECT_EQ(one.hash, other.hash);
    EXPECT_TRUE(jaunt::packRuntime((dir / "one").string(), "one").bytes == one.bytes);
}

// The size goal: the pack is at most 1.05 times the size of `zip -9 -r` of the same folder.
TEST(RuntimePacker, IsNoLargerThanZipOfTheSameFolder) {
    fs::path dir = testsupport::scratchDirectory();
    makeSampleRuntime(dir / "sample");
    ASSERT_EQ(std::system(("cd '" + (dir / "sample").string() + "' && zip -q -9 -r ../sample.zip .").c_str()), 0);
    double zipped = static_cast<double>(fs::file_size(dir / "sample.zip"));
    double packed = static_cast<double>(jaunt::packRuntime((dir / "sample").string(), "sample").bytes.size());
    RecordProperty("pack_to_zip_ratio", std::to_string(packed / zipped));
    EXPECT_LE(packed, 1.05 * zipped) << packed << " bytes packed, " << zipped << " bytes zipped";
    EXPECT_GT(zipped, 200000) << "the sample is meant to hold a few hundred KB";
}

TEST(RuntimePacker, RefusesWhatCannotBeUnpackedAsItIs) {
    fs::path dir = testsupport::scratchDirectory();
    writeText(dir / "outside.txt", "outside");
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        const char* message;
    } cases[] = {
        {"a link outside", [&](const fs::path& r) { fs::create_symlink(dir / "outside.txt", r / "lib/x"); },
         "rt/lib/x is a link to "},
        {"a link to nothing", [](const fs::path& r) { fs::create_symlink("gone", r / "lib/x"); },
         "rt/lib/x is a link to gone, which does not exist"},
        {"a link to a folder", [](const fs::path& r) { fs::create_symlink("../bin", r / "lib/x"); },
         "rt/lib/x is a link to a folder (../bin)"},
        {"a FIFO", [](const fs::path& r) { ASSERT_EQ(mkfifo((r / "lib/fifo").c_str(), 0600), 0); },
         "rt/lib/fifo is neither a file nor a folder"},
        {"a colon", [](const fs::path& r) { writeText(r / "lib/a:b", "x"); }, "rt/lib/a:b: not a name Windows can"},
        {"a device name", [](const fs::path& r) { writeText(r / "lib/NUL.txt", "x"); }, "rt/lib/NUL.txt: not a name"},
        {"a backslash", [](const fs::path& r) { writeText(r / "lib/a\\b", "x"); }, "rt/lib/a\\b: not a name"},
        {"a name too long", [](const fs::path& r) {
             fs::path deep = r;
             for (int i = 0; i < 6; ++i) deep /= std::string(200, 'd');
             writeText(deep / "file", "x");
         }, "longer than the 1024 bytes"},
        {"not UTF-8", [](const fs::path& r) { writeText(r / "lib/\xFF.txt", "x"); }, ": the file name is not UTF-8"},
        {"names in two cases", [](const fs::path& r) { writeText(r / "lib/A.txt", "x"), writeText(r / "lib/a.txt", "y"); },
         "rt/lib/A.txt and lib/a.txt differ only in letter case"},
        {"a file and a folder in two cases", [](const fs::path& r) { writeText(r / "lib/x", "x"), writeText(r / "lib/X/y", "y"); },
         "rt/lib/x is a file, and lib/X/y would need a folder of that name"},
    };
    for (const auto& c : cases) {
        fs::path root = dir / c.what;
        writeText(root / "lib/ok.txt", "fine");
        fs::create_directories(root / "bin");
        c.make(root);
        std::string message = messageOf([&] { jaunt::packRuntime(root.string(), "rt"); });
        EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    }
    EXPECT_EQ(messageOf([&] { jaunt::packRuntime((dir / "none").string(), "rt"); }), "rt: no such folder");
}

TEST(RuntimeChecks, TheLauncherMustBeAbleToLoadTheRuntimeAndItsVersionFitTheLimits) {
    fs::path dir = testsupport::scratchDirectory();
    using jaunt::LauncherArch;
    const struct {
        const char* what;
        std::function<void(const fs::path&)> make;
        LauncherArch arch;
        const char* minimum;
        const char* maximum;
        const char* message;  // empty: accepted
    } cases[] = {
        {"32-bit for x64", [](const fs::path&) {}, LauncherArch::X64, "", "",
         "runtime/bin/server/jvm.dll is a 32-bit (x86) library, but the launcher is x64; build with --arch x86 or use "
         "a 64-bit runtime"},
        {"64-bit for x86", [](const fs::path& r) { jaunt::writeFileBytes((r / "bin/server/jvm.dll").string(), testsupport::makeStub(0x600, true)); },
         LauncherArch::X86, "", "",
         "runtime/bin/server/jvm.dll is a 64-bit (x64) library, but the launcher is x86; build with --arch x64 or use "
         "a 32-bit runtime"},
        {"a client library of the wrong machine",
         [](const fs::path& r) {
             fs::create_directories(r / "bin/client");
             jaunt::writeFileBytes((r / "bin/client/jvm.dll").string(), testsupport::makeStub(0x600, true));
         },
         LauncherArch::X86, "", "", "runtime/bin/client/jvm.dll is a 64-bit (x64) library"},
        {"names in other case", [](const fs::path& r) { fs::rename(r / "bin", r / "BIN"), fs::rename(r / "BIN/server", r / "BIN/Server"); },
         LauncherArch::X64, "", "", "runtime/BIN/Server/jvm.dll is a 32-bit (x86) library"},
        {"only a client library", [](const fs::path& r) { fs::rename(r / "bin/server", r / "bin/client"); },
         LauncherArch::X86, "", "", ""},
        {"no library", [](const fs::path& r) { fs::remove_all(r / "bin"); }, LauncherArch::X86, "", "",
         "runtime holds no bin/server/jvm.dll or bin/client/jvm.dll: not a Windows Java runtime"},
        {"a Linux runtime", [](const fs::path& r) { fs::remove_all(r / "bin"), writeText(r / "lib/server/libjvm.so", "\x7F" "ELF"); },
         LauncherArch::X86, "", "", "runtime holds no bin/server/jvm.dll or bin/client/jvm.dll but lib/server/libjvm.so: a runtime for Linux"},
        {"not a library", [](const fs::path& r) { writeText(r / "bin/server/jvm.dll", "MZ but nothing more"); },
         LauncherArch::X86, "", "", "runtime/bin/server/jvm.dll is not a Windows library"},
        {"no release file", [](const fs::path& r) { fs::remove(r / "release"); }, LauncherArch::X86, "", "",
         "runtime has no release file"},
        {"no version", [](const fs::path& r) { writeText(r / "release", "JAVA_RUNTIME_VERSION=\"17\"\n"); },
         LauncherArch::X86, "", "", "runtime/release names no JAVA_VERSION"},
        {"a version with a blank", [](const fs::path& r) { writeText(r / "release", "JAVA_VERSION=\"17 beta\"\n"); },
         LauncherArch::X86, "", "", "runtime/release: JAVA_VERSION \"17 beta\" is not a version"},
        {"below the minimum", [](const fs::path&) {}, LauncherArch::X86, "21", "",
         "runtime is Java 17.0.2 (JAVA_VERSION of its release file), but jvm.min_version is 21"},
        {"above the maximum", [](const fs::path&) {}, LauncherArch::X86, "", "11",
         "runtime is Java 17.0.2 (JAVA_VERSION of its release file), but jvm.max_version is 11"},
        // The limits compare as the launcher's do: over their own components, 1.10 above 1.9.
        {"within the limits as prefixes", [](const fs::path&) {}, LauncherArch::X86, "17", "17.0", ""},
        {"a version unquoted, a pre-release", [](const fs::path& r) { writeText(r / "release", "JAVA_VERSION=17-ea\r\n"); },
         LauncherArch::X86, "9", "17", ""},
        {"1.10 is above 1.9", [](const fs::path& r) { writeText(r / "release", "JAVA_VERSION=\"1.10\"\n"); },
         LauncherArch::X86, "", "1.9", "but jvm.max_version is 1.9"},
    };
    for (const auto& c : cases) {
        fs::path root = dir / c.what;
        fs::create_directories(root / "bin/server");
        jaunt::writeFileBytes((root / "bin/server/jvm.dll").string(), testsupport::makeStub(0x600, false));
        writeText(root / "release", "JAVA_VERSION=\"17.0.2\"\n");
        c.make(root);
        std::string message = messageOf([&] {
            jaunt::RuntimeFacts facts = jaunt::checkRuntimeFolder(root.string(), "runtime", c.arch, c.minimum, c.maximum);
            EXPECT_NE(facts.machine, 0) << c.what;
            EXPECT_FALSE(facts.version.empty()) << c.what;
        });
        if (*c.message == '\0')
            EXPECT_EQ(message, "<accepted>") << c.what;
        else
            EXPECT_NE(message.find(c.message), std::string::npos) << c.what << ": " << message;
    }
}

// [runtime] in the configuration: the keys it may hold, the keys jaunt writes for it.
TEST(RuntimeConfiguration, ReadsTheRuntimeTableAndRefusesWhatCannotWork) {
    jaunt::BuildConfiguration config =
        jaunt::parseConfiguration("java.main_class = \"A\"\n[runtime]\npath = \"jre/x\"\n", "conf/app.toml");
    EXPECT_TRUE(config.runtime.present);
    EXPECT_EQ(config.runtime.path, "conf/jre/x");
    EXPECT_EQ(config.runtime.pathText, "jre/x");
    EXPECT_EQ(config.runtime.pathLine, 3);
    auto message = [](const jaunt::BuildConfiguration& c) {
        for (const jaunt::NarrowRecord& r : c.records)
            if (r.key == jaunt::MSG_RUNTIME_FAILED) return r.value;
        return std::string("<absent>");
    };
    EXPECT_EQ(message(config), "The application's Java runtime could not be prepared in %DEFINED_PATH%.");
    EXPECT_EQ(message(jaunt::parseConfiguration("java.main_class = \"A\"\n", "app.toml")), "<absent>");
    EXPECT_EQ(message(jaunt::parseConfiguration("messages.runtime_failed = \"Mine\"\n[runtime]\npath = \"r\"\n", "a.toml")),
              "Mine");
    config = jaunt::parseConfiguration("[runtime]\njdk = \"/jdk\"\nmodules = [\"java.base\", \"jdk.crypto.ec\"]\n", "a.toml");
    EXPECT_EQ(config.runtime.jdk, "/jdk");
    EXPECT_EQ(config.runtime.modules, (std::vector<std::string>{"java.base", "jdk.crypto.ec"}));
    EXPECT_TRUE(jaunt::parseConfiguration("runtime.jdk = \"j\"\nruntime.modules = \"auto\"\n", "a.toml").runtime.autoModules);

    const struct {
        const char* text;
        int line;
        const char* message;
    } cases[] = {
        {"[runtime]\npath = \"a\"\njdk = \"b\"\nmodules = [\"java.base\"]\n", 3, "runtime.path and runtime.jdk are both set"},
        {"[runtime]\n", 1, "[runtime] needs path = "},
        {"[runtime]\njdk = \"b\"\n", 2, "runtime.jdk needs runtime.modules"},
        {"[runtime]\npath = \"a\"\nmodules = \"auto\"\n", 3, "runtime.modules goes with runtime.jdk"},
        {"[runtime]\njdk = \"b\"\nmodules = \"all\"\n", 3, "runtime.modules must be an array of module names, or \"auto\""},
        {"[runtime]\njdk = \"b\"\nmodules = []\n", 3, "runtime.modules must be an array"},
        {"[runtime]\njdk = \"b\"\nmodules = [\n\"java.base\",\n\"a,b\"]\n", 5, "runtime.modules items must be module names"},
        {"[runtime]\npath = \"\"\n", 2, "runtime.path must be a folder"},
        {"[runtime]\npath = \"a\"\nversion = \"17\"\n", 3, "runtime.version is managed by the build tool"},
        {"[runtime]\npath = \"a\"\npaht = \"b\"\n", 3, "unknown key runtime.paht (did you mean runtime.path?)"},
        {"runtime = 3\n", 1, "runtime must be a table"},
        {"[keys]\n2010 = \"0 1 x\"\n", 2, "[keys] 2010 is managed by the build tool"},
        {"[keys]\n2012 = \"other\"\n", 2, "[keys] 2012 is managed by the build tool"},
        {"application.name = \"Two\\r\\nlines\"\n[runtime]\npath = \"a\"\n", 1,
         "with [runtime] the name also identifies the application's runtime"},
    };
    for (const auto& c : cases) {
        try {
            jaunt::parseConfiguration(c.text, "a.toml");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const jaunt::ConfigError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text << e.what();
            EXPECT_NE(e.message().find(c.message), std::string::npos) << c.text << e.what();
        }
    }
}

class RuntimeCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::scratchDirectory();
        jaunt::writeFileBytes((dir / "stub.exe").string(), testsupport::makeStub());
        jaunt::writeFileBytes((dir / "stub64.exe").string(), testsupport::makeStub(0x600, true));
        makeSampleRuntime(dir / "runtime");
        writeText(dir / "app.jar", std::string(5000, 'j'));
    }
    void writeConfig(const std::string& extra) {
        writeText(dir / "app.toml", "java.main_class = \"Hello\"\nfiles.runtime = false\nfiles.include = [\"app.jar\"]\n" +
                                        extra + "[runtime]\npath = \"runtime\"\n");
    }
    fs::path dir;
};

TEST_F(RuntimeCli, BuildCarriesThePackAfterTheFilesAndInspectShowsAndExtractsIt) {
    writeConfig("application.name = \"Hello\"\n");
    Outcome run = runJaunt(dir, "build app.toml --stub stub.exe -o app.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    jaunt::PackedRuntime expected = jaunt::packRuntime((dir / "runtime").string(), "runtime");
    EXPECT_NE(run.out.find(", 1 included files, runtime 17.0.2 (" + std::to_string(expected.files) + " files in " +
                           std::to_string(expected.bytes.size()) + " bytes))"),
              std::string::npos)
        << run.out;
    std::vector<uint8_t> exe = bytesOf(dir / "app.exe");
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
    // The pack starts where the included file ends: its 4-byte size and 5000 bytes.
    EXPECT_EQ(launcher.table.narrow[2010], "5004 " + std::to_string(expected.bytes.size()) + " " + expected.hash);
    EXPECT_EQ(launcher.table.narrow[2011], "17.0.2");
    EXPECT_EQ(launcher.table.narrow[2012], "Hello");
    EXPECT_EQ(launcher.payloadSize, 5004 + expected.bytes.size());
    EXPECT_TRUE(std::equal(expected.bytes.begin(), expected.bytes.end(),
                           exe.begin() + static_cast<long>(launcher.table.payloadPosition + 5004)));

    run = runJaunt(dir, "inspect app.exe --extract out");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("  app.jar  5000 bytes\n"
                           "extracted out/app.jar\n"
                           "runtime: 17.0.2\n"
                           "  architecture: 32-bit (x86) (bin/server/jvm.dll)\n"
                           "  files: " + std::to_string(expected.files) + ", empty folders: 1\n"
                           "  unpacked: " + std::to_string(expected.index.unpackedSize) + " bytes, packed: " +
                           std::to_string(expected.bytes.size()) + " bytes at payload offset 5004\n"
                           "  hash: " + expected.hash + "\n"
                           "extracted the runtime into out/runtime\n"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("unused payload bytes"), std::string::npos) << run.out;
    // The tree comes back as it was, the link as the file it leads to.
    ASSERT_EQ(std::system(("cd '" + dir.string() + "' && diff -r runtime out/runtime > diff.txt").c_str()), 0)
        << readText(dir / "diff.txt");
    EXPECT_TRUE(fs::is_directory(dir / "out/runtime/conf/empty"));
    EXPECT_FALSE(fs::is_symlink(dir / "out/runtime/legal/java.logging/LICENSE"));

    // Key 2012 without a name: the launcher's file name.
    writeConfig("");
    ASSERT_EQ(runJaunt(dir, "build app.toml --stub stub.exe -o plain.exe").exitCode, 0);
    EXPECT_EQ(jaunt::readLauncherTable(bytesOf(dir / "plain.exe")).table.narrow[2012], "plain.exe");
}

TEST_F(RuntimeCli, InspectRefusesAPackThatDoesNotMatchItsKey) {
    writeConfig("");
    ASSERT_EQ(runJaunt(dir, "build app.toml --stub stub.exe -o app.exe").exitCode, 0);
    std::vector<uint8_t> exe = bytesOf(dir / "app.exe");
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(exe);
    size_t last = exe.size() - 100;  // inside the last file's data
    exe[last] ^= 1;
    jaunt::writeFileBytes((dir / "damaged.exe").string(), exe);
    Outcome run = runJaunt(dir, "inspect damaged.exe --extract out");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: damaged.exe: runtime: its content does not match the hash of key 2010\n");
    EXPECT_FALSE(fs::exists(dir / "out/runtime"));

    // With a table whose key matches the damaged pack, the CRC check finds the damaged file.
    uint64_t offset = launcher.table.payloadPosition + 5004;
    std::vector<uint8_t> pack(exe.begin() + static_cast<long>(offset), exe.end());
    std::map<int32_t, std::string> records = launcher.table.narrow;
    records[2010] = jaunt::runtimeLocationText(5004, pack.size(), jaunt::sha256Hex(pack.data(), pack.size()));
    std::vector<jaunt::NarrowRecord> list;
    for (const auto& [key, value] : records) list.push_back({key, value});
    std::vector<uint8_t> payload(exe.begin() + static_cast<long>(launcher.table.payloadPosition), exe.end());
    jaunt::writeFileBytes((dir / "rehashed.exe").string(),
                          jaunt::makeLauncher(testsupport::makeStub(), jaunt::encodeTable(list, {}), payload));
    run = runJaunt(dir, "inspect rehashed.exe --extract out");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: rehashed.exe: runtime: lib/random.bin: its content does not match its CRC-32\n");

    // A key that places the pack beyond the file.
    records[2010] = "5004 99999999 " + std::string(64, '0');
    list.clear();
    for (const auto& [key, value] : records) list.push_back({key, value});
    jaunt::writeFileBytes((dir / "beyond.exe").string(),
                          jaunt::makeLauncher(testsupport::makeStub(), jaunt::encodeTable(list, {}), payload));
    run = runJaunt(dir, "inspect beyond.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("runtime: key 2010 places it at payload offset 5004 with 99999999 bytes, beyond"),
              std::string::npos)
        << run.err;
}

TEST_F(RuntimeCli, ARuntimeTheLauncherCannotUseIsRefusedWithOneLineAndNoOutput) {
    writeConfig("jvm.min_version = \"21\"\n");
    Outcome run = runJaunt(dir, "build app.toml --stub stub.exe -o app.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: app.toml:6: runtime.path: runtime is Java 17.0.2 (JAVA_VERSION of its release file), "
                       "but jvm.min_version is 21; use a runtime within the version limits, or change them\n");
    writeConfig("");
    run = runJaunt(dir, "build app.toml --stub stub64.exe -o app.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: app.toml:5: runtime.path: runtime/bin/server/jvm.dll is a 32-bit (x86) library, but "
                       "the launcher is x64; build with --arch x86 or use a 64-bit runtime\n");
    EXPECT_FALSE(fs::exists(dir / "app.exe"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 7) << "no temporary files";
}

// jlink of the installed JDK, on its own (Linux) jmods: the image holds the modules asked for, and
// the build then refuses it, as no Windows runtime.
TEST(RuntimeImage, JlinkLinksTheModulesAskedForOrThoseJdepsFinds) {
    fs::path dir = testsupport::scratchDirectory();
    jaunt::ImageRequest request{JAUNT_JDK_HOME, {"java.base", "java.logging"}, false, {}};
    EXPECT_EQ(jaunt::makeRuntimeImage(request, (dir / "listed").string()), request.modules);
    std::string modules;
    ASSERT_TRUE(jaunt::readReleaseValue(readText(dir / "listed/release"), "MODULES", &modules));
    EXPECT_EQ(modules, "java.base java.logging");

    // A class that logs needs java.logging; the runtime library only java.base.
    writeText(dir / "src/com/example/Hello.java",
              "package com.example;\npublic class Hello { public static void main(String[] a) { "
              "java.util.logging.Logger.getLogger(\"x\").info(\"hi\"); } }\n");
    std::string command = "cd '" + dir.string() + "' && '" JAUNT_JDK_HOME "/bin/javac' -d classes src/com/example/Hello.java && '" +
                          JAUNT_JAR_TOOL "' --create --file hello.jar -C classes .";
    ASSERT_EQ(std::system(command.c_str()), 0);
    writeText(dir / "lib/jauntlib.jar", "");  // not a jar at all: jdeps is given only real archives below
    writeText(dir / "app.toml", "java.classpath = [\"hello.jar\", \"missing.jar\", \"%APPDATA%/x.jar\", \"classes/\"]\n"
                                "[runtime]\njdk = \"" JAUNT_JDK_HOME "\"\nmodules = \"auto\"\n");
    jaunt::BuildConfiguration config = jaunt::loadConfiguration((dir / "app.toml").string());
    std::vector<std::string> archives = jaunt::buildTimeArchives(config, (dir / "app.toml").string(), "");
    EXPECT_EQ(archives, (std::vector<std::string>{(dir / "hello.jar").string(), (dir / "classes").string()}));
    request = jaunt::ImageRequest{JAUNT_JDK_HOME, {}, true, archives};
    EXPECT_EQ(jaunt::makeRuntimeImage(request, (dir / "found").string()),
              (std::vector<std::string>{"java.base", "java.logging"}));
    ASSERT_TRUE(jaunt::readReleaseValue(readText(dir / "found/release"), "MODULES", &modules));
    EXPECT_EQ(modules, "java.base java.logging");

    request = jaunt::ImageRequest{JAUNT_JDK_HOME, {"java.nothing"}, false, {}};
    EXPECT_NE(messageOf([&] { jaunt::makeRuntimeImage(request, (dir / "bad").string()); }).find("jlink failed (exit code 1): "),
              std::string::npos);
}

TEST(RuntimeImage, TheBuildRefusesAJlinkOfAnotherVersionAndAnImageWithoutJvmDll) {
    fs::path dir = testsupport::scratchDirectory();
    jaunt::writeFileBytes((dir / "stub.exe").string(), testsupport::makeStub());
    writeText(dir / "link.toml", "java.main_class = \"Hello\"\nfiles.runtime = false\n[runtime]\njdk = \"" JAUNT_JDK_HOME
                                 "\"\nmodules = [\"java.base\"]\n");
    Outcome run = runJaunt(dir, "build link.toml --stub stub.exe -o out/app.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: link.toml:4: runtime.jdk: the image jlink made from " JAUNT_JDK_HOME
                       " holds no bin/server/jvm.dll or bin/client/jvm.dll but lib/server/libjvm.so: a runtime for "
                       "Linux, not for Windows; jlink makes the image from the jmods of runtime.jdk, which must be a "
                       "Windows JDK\n");
    EXPECT_TRUE(fs::is_empty(dir / "out")) << "the image is removed";

    // A JDK of another version than every jlink there is (this JDK's own, on the PATH, in JAVA_HOME).
    writeText(dir / "jdk21/release", "JAVA_VERSION=\"21.0.1\"\n");
    fs::create_directories(dir / "jdk21/jmods");
    writeText(dir / "other.toml", "java.main_class = \"Hello\"\nfiles.runtime = false\n[runtime]\njdk = \"jdk21\"\n"
                                  "modules = [\"java.base\"]\n");
    std::string version = readText(JAUNT_JDK_HOME "/release");
    std::string jdkVersion;
    ASSERT_TRUE(jaunt::readReleaseValue(version, "JAVA_VERSION", &jdkVersion));
    {
        ScopedVariable path("PATH", JAUNT_JDK_HOME "/bin:/usr/bin:/bin"), home("JAVA_HOME", "/nowhere");
        run = runJaunt(dir, "build other.toml --stub stub.exe -o app.exe");
    }
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: other.toml:4: runtime.jdk: jlink links only the jmods of its own Java version, and the "
                       "JDK at jdk21 is 21.0.1, but " JAUNT_JDK_HOME "/bin/jlink is " + jdkVersion +
                           "; put the bin folder of a JDK 21.0.1 for this system on the PATH or set JAVA_HOME to it\n");
    {
        ScopedVariable path("PATH", "/usr/local/nowhere"), home("JAVA_HOME", "");
        run = runJaunt(dir, "build other.toml --stub stub.exe -o app.exe");
    }
    EXPECT_NE(run.err.find("is 21.0.1, but no jlink was found; put the bin folder"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(dir / "app.exe"));
}

}  // namespace
