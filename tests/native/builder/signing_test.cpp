// Signing launchers with a test certificate made by openssl and checked by osslsigncode verify.
#include "signing.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "buildconfig.h"
#include "launcherimage.h"
#include "testsupport.h"

namespace fs = std::filesystem;

namespace {

using testsupport::Outcome;
using testsupport::readText;
using testsupport::runJaunt;
using testsupport::writeText;

int shell(const fs::path& dir, const std::string& command) {
    int status = std::system(("cd '" + dir.string() + "' && " + command).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool verifies(const fs::path& dir, const std::string& exe) {
    return shell(dir, "osslsigncode verify -CAfile cert.pem " + exe + " > verify.txt 2>&1") == 0;
}

// The files of dir whose names contain part (left-over temporary files).
std::vector<std::string> filesContaining(const fs::path& dir, const std::string& part) {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().find(part) != std::string::npos)
            found.push_back(entry.path().filename().string());
    return found;
}

// A launcher-shaped image that osslsigncode accepts: the synthetic stub with its sixteen data
// directories declared.
std::vector<uint8_t> signableStub() {
    std::vector<uint8_t> stub = testsupport::makeStub(0x800);
    testsupport::put32(stub, 0x98 + 92, 16);
    return stub;
}

class Signing : public ::testing::Test {
protected:
    void SetUp() override {
        dir = testsupport::scratchDirectory();
        ASSERT_EQ(shell(dir,
                        "openssl req -x509 -newkey rsa:2048 -keyout key.pem -out cert.pem -days 2 -subj '/CN=Jaunt "
                        "Test' -passout pass:s3cret > openssl.txt 2>&1 && openssl pkcs12 -export -in cert.pem "
                        "-inkey key.pem -passin pass:s3cret -out cert.p12 -passout pass:s3cret >> openssl.txt 2>&1"),
                  0)
            << readText(dir / "openssl.txt");
        jaunt::writeFileBytes((dir / "stub.exe").string(), signableStub());
        std::string content(3000, '\0');
        for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31);
        writeText(dir / "app.jar", content);
        writeText(dir / "pw.txt", "s3cret\r\nsecond line\n");
        const std::string app = "application.name = \"Signed\"\njava.main_class = \"Hello\"\nfiles.runtime = false\nfiles.include = [\"app.jar\"]\n";
        writeText(dir / "plain.toml", app);
        writeText(dir / "p12.toml", app + "[sign]\ncertificate = \"cert.p12\"\npassword_env = \"JAUNT_TEST_PW\"\n");
        writeText(dir / "pem.toml", app + "[sign]\ncertificate = \"cert.pem\"\nkey = \"key.pem\"\npassword_file = "
                                          "\"pw.txt\"\ndescription = \"Signed app\"\nurl = \"https://example.org\"\n");
        setenv("JAUNT_TEST_PW", "s3cret", 1);
    }
    fs::path dir;
};

TEST_F(Signing, TheSignatureCoversTableAndFilesAndChangesNeitherOfThem) {
    // Built under the same file name, which the version block records.
    fs::create_directories(dir / "unsigned");
    ASSERT_EQ(runJaunt(dir, "build plain.toml --stub stub.exe -o unsigned/app.exe").exitCode, 0);
    Outcome run = runJaunt(dir, "build p12.toml --stub stub.exe -o app.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("jaunt: signed app.exe with osslsigncode\n"), std::string::npos) << run.out;
    EXPECT_TRUE(verifies(dir, "app.exe")) << readText(dir / "verify.txt");
    EXPECT_TRUE(filesContaining(dir, ".tmp").empty());

    // Everything before the signature is the unsigned launcher, apart from the checksum and the
    // certificate entry; the table reads the same.
    std::vector<uint8_t> plain = jaunt::readFileBytes((dir / "unsigned/app.exe").string());
    std::vector<uint8_t> signedExe = jaunt::readFileBytes((dir / "app.exe").string());
    jaunt::SignatureLocation signature = jaunt::findSignature(signedExe);
    ASSERT_TRUE(signature.present());
    EXPECT_GE(signature.offset, plain.size());
    EXPECT_EQ(signature.offset % 8, 0u);
    EXPECT_EQ(signature.offset + signature.size, signedExe.size());
    EXPECT_TRUE(std::equal(plain.begin() + 0x200, plain.end(), signedExe.begin() + 0x200));
    EXPECT_EQ(jaunt::readLauncherTable(signedExe).table.narrow, jaunt::readLauncherTable(plain).table.narrow);
    EXPECT_EQ(jaunt::withoutSignature(signedExe, plain.size()), plain);

    // inspect reads the files up to the signature and says it is there.
    run = runJaunt(dir, "inspect app.exe --extract out");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("signature: Authenticode, " + std::to_string(signature.size) + " bytes at " +
                           std::to_string(signature.offset)),
              std::string::npos)
        << run.out;
    EXPECT_EQ(run.out.find("unused payload bytes"), std::string::npos) << run.out;
    EXPECT_EQ(readText(dir / "out/app.jar"), readText(dir / "app.jar"));
    EXPECT_NE(runJaunt(dir, "inspect unsigned/app.exe").out.find("signature: none\n"), std::string::npos);

    // One changed byte of the included file breaks the signature.
    std::vector<uint8_t> tampered = signedExe;
    tampered[plain.size() - 100] ^= 1;
    jaunt::writeFileBytes((dir / "tampered.exe").string(), tampered);
    EXPECT_FALSE(verifies(dir, "tampered.exe"));

    // A signed launcher is no stub: its signature would end up in the middle of the next launcher.
    run = runJaunt(dir, "build plain.toml --stub app.exe -o again.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err.rfind("jaunt: app.exe: a signed launcher program; build from the unsigned stub", 0), 0u)
        << run.err;

    // Not signed twice by accident; --force replaces the signature, and the launcher stays the same.
    run = runJaunt(dir, "sign app.exe --config p12.toml");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "jaunt: app.exe: is signed already; give --force to replace its signature\n");
    EXPECT_EQ(jaunt::readFileBytes((dir / "app.exe").string()), signedExe);
    run = runJaunt(dir, "sign app.exe --config pem.toml --force");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<uint8_t> resigned = jaunt::readFileBytes((dir / "app.exe").string());
    EXPECT_TRUE(verifies(dir, "app.exe")) << readText(dir / "verify.txt");
    EXPECT_EQ(jaunt::findSignature(resigned).offset, signature.offset);
    EXPECT_EQ(jaunt::withoutSignature(resigned, plain.size()), plain);

    // jaunt sign signs a launcher built without [sign], with the PEM key and its password file.
    run = runJaunt(dir, "sign unsigned/app.exe --config pem.toml");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(verifies(dir, "unsigned/app.exe")) << readText(dir / "verify.txt");
    EXPECT_NE(readText(dir / "verify.txt").find("Signed app"), std::string::npos);
}

// The signature covers the packed runtime after the included files; replacing it keeps every byte
// of the runtime, even the zero bytes it ends with, which look like the padding before a signature.
TEST_F(Signing, ARuntimeIsSignedAndKeptWhenTheSignatureIsReplaced) {
    fs::create_directories(dir / "runtime/bin/server");
    jaunt::writeFileBytes((dir / "runtime/bin/server/jvm.dll").string(), testsupport::makeStub(0x600));
    writeText(dir / "runtime/release", "JAVA_VERSION=\"17.0.2\"\n");
    std::string last(4000, '\0');
    uint32_t state = 2463534242u;
    for (char& c : last) state ^= state << 13, state ^= state >> 17, state ^= state << 5, c = static_cast<char>(state);
    writeText(dir / "runtime/zz/last.bin", last + std::string(16, '\0'));  // stored: it does not compress
    writeText(dir / "runtime.toml", readText(dir / "p12.toml") + "[runtime]\npath = \"runtime\"\n");
    Outcome run = runJaunt(dir, "build runtime.toml --stub stub.exe -o app.exe");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(verifies(dir, "app.exe")) << readText(dir / "verify.txt");
    std::vector<uint8_t> signedExe = jaunt::readFileBytes((dir / "app.exe").string());
    jaunt::LauncherTable launcher = jaunt::readLauncherTable(signedExe);
    uint64_t end = launcher.table.payloadPosition + 3004 + std::stoull(launcher.table.narrow[2010].substr(5));
    EXPECT_EQ(launcher.table.narrow[2010].substr(0, 5), "3004 ");
    ASSERT_EQ(signedExe[end - 1], 0);
    std::vector<uint8_t> pack(signedExe.begin() + static_cast<long>(end - 200), signedExe.begin() + static_cast<long>(end));

    for (const char* step : {"signed", "signed again"}) {
        run = runJaunt(dir, "inspect app.exe");
        EXPECT_EQ(run.exitCode, 0) << step << ": " << run.err;
        EXPECT_NE(run.out.find("runtime: 17.0.2\n"), std::string::npos) << step << ": " << run.out;
        EXPECT_EQ(run.out.find("unused payload bytes"), std::string::npos) << step << ": " << run.out;
        run = runJaunt(dir, "sign app.exe --config pem.toml --force");
        ASSERT_EQ(run.exitCode, 0) << step << ": " << run.err;
        EXPECT_TRUE(verifies(dir, "app.exe")) << readText(dir / "verify.txt");
        std::vector<uint8_t> resigned = jaunt::readFileBytes((dir / "app.exe").string());
        EXPECT_TRUE(std::equal(pack.begin(), pack.end(), resigned.begin() + static_cast<long>(end - 200))) << step;
        EXPECT_GE(jaunt::findSignature(resigned).offset, end) << step;
    }
}

TEST_F(Signing, FailuresSayOneLineAndLeaveNoFileBehind) {
    writeText(dir / "missing.toml", "java.main_class = \"Hello\"\nfiles.runtime = false\n[sign]\ncertificate = \"none.p12\"\n");
    writeText(dir / "nosign.toml", "files.runtime = false\n");
    ASSERT_EQ(runJaunt(dir, "build plain.toml --stub stub.exe -o plain.exe").exitCode, 0);
    std::vector<uint8_t> plain = jaunt::readFileBytes((dir / "plain.exe").string());
    struct Case {
        const char* password;  // nullptr: the variable is not set
        const char* arguments;
        std::string message;
    };
    const Case cases[] = {
        {"wrong", "build p12.toml --stub stub.exe -o app.exe",
         "jaunt: osslsigncode could not sign app.exe: Failed to parse PKCS#12 file: cert.p12 (Wrong password?)\n"},
        {nullptr, "build p12.toml --stub stub.exe -o app.exe",
         "jaunt: sign.password_env: the environment variable JAUNT_TEST_PW is not set\n"},
        {"s3cret", "build missing.toml --stub stub.exe -o app.exe",
         "jaunt: none.p12: no such certificate or key file\n"},
        {"wrong", "sign plain.exe --config p12.toml", "jaunt: osslsigncode could not sign plain.exe: "},
        {"s3cret", "sign plain.exe --config nosign.toml",
         "jaunt: nosign.toml: has no [sign] table, so nothing says how to sign plain.exe\n"},
        {"s3cret", "sign stub.exe --config p12.toml", "jaunt: stub.exe: not a configured launcher"},
    };
    for (const Case& c : cases) {
        if (c.password)
            setenv("JAUNT_TEST_PW", c.password, 1);
        else
            unsetenv("JAUNT_TEST_PW");
        Outcome run = runJaunt(dir, c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.arguments;
        EXPECT_EQ(run.err.rfind(c.message, 0), 0u) << c.arguments << " said: " << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_FALSE(fs::exists(dir / "app.exe")) << c.arguments;
        EXPECT_TRUE(filesContaining(dir, ".tmp").empty()) << c.arguments;
    }
    EXPECT_EQ(jaunt::readFileBytes((dir / "plain.exe").string()), plain);
    EXPECT_EQ(jaunt::readFileBytes((dir / "stub.exe").string()), signableStub());
}

TEST(SigningConfiguration, ReadsTheSignTableAndRefusesWhatCannotWork) {
    jaunt::BuildConfiguration c = jaunt::parseConfiguration(
        "[sign]\ncertificate = \"c.pem\"\nkey = \"/k/key.pem\"\npassword_file = \"pw\"\n"
        "timestamp_url = \"http://ts.example\"\ndescription = \"D\"\nurl = \"https://u\"\n",
        "conf/app.toml");
    EXPECT_TRUE(c.sign);
    EXPECT_EQ(c.signing.certificate, "conf/c.pem");
    EXPECT_EQ(c.signing.key, "/k/key.pem");
    EXPECT_EQ(c.signing.passwordFile, "conf/pw");
    EXPECT_EQ(c.signing.timestampUrl, "http://ts.example");
    EXPECT_FALSE(jaunt::parseConfiguration("", "app.toml").sign);

    const std::pair<const char*, const char*> refused[] = {
        {"[sign]\ncertificate = \"c.p12\"\npassword = \"x\"\n", "app.toml:3: sign.password: the password never"},
        {"[sign]\ncertificate = \"c.pem\"\n", "app.toml:2: sign.certificate: a certificate that is not a PKCS#12"},
        {"[sign]\ncertificate = \"c.PFX\"\nkey = \"k.pem\"\n", "app.toml:3: sign.key: a PKCS#12 certificate"},
        {"[sign]\ndescription = \"D\"\n", "app.toml:1: sign.certificate is missing"},
        {"[sign]\ncertificate = \"c.p12\"\npassword_env = \"A\"\npassword_file = \"f\"\n",
         "app.toml:4: sign.password_env and sign.password_file are both set"},
        {"[sign]\ncertificate = \"c.p12\"\ntimestamp_url = \"ts.example\"\n", "app.toml:3: sign.timestamp_url must"},
        {"[sign]\ncertificate = \"c.p12\"\nalgorithm = \"sha1\"\n", "app.toml:3: unknown key sign.algorithm"},
        {"sign = \"yes\"\n", "app.toml:1: sign must be a table"},
    };
    for (const auto& [text, message] : refused) {
        try {
            jaunt::parseConfiguration(text, "app.toml");
            ADD_FAILURE() << "accepted:\n" << text;
        } catch (const jaunt::ConfigError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(message, 0), 0u) << e.what();
        }
    }
}

TEST(SigningArguments, NeverCarryThePassword) {
    jaunt::SignSettings s;
    s.certificate = "c.p12";
    s.timestampUrl = "http://ts";
    s.description = "My App";
    using Args = std::vector<std::string>;
    EXPECT_EQ(jaunt::signingArguments(jaunt::SigningTool::Osslsigncode, s, "in.exe", "out.exe", "/dev/fd/5"),
              (Args{"sign", "-h", "sha256", "-pkcs12", "c.p12", "-readpass", "/dev/fd/5", "-n", "My App", "-ts",
                    "http://ts", "-in", "in.exe", "-out", "out.exe"}));
    s.key = "k.pem";
    s.timestampUrl.clear();
    EXPECT_EQ(jaunt::signingArguments(jaunt::SigningTool::Osslsigncode, s, "in.exe", "out.exe", ""),
              (Args{"sign", "-h", "sha256", "-certs", "c.p12", "-key", "k.pem", "-pass", "", "-n", "My App", "-in",
                    "in.exe", "-out", "out.exe"}));
    s.key.clear();
    s.url = "https://u";
    s.timestampUrl = "http://ts";
    EXPECT_EQ(jaunt::signingArguments(jaunt::SigningTool::Signtool, s, "in.exe", "out.exe", ""),
              (Args{"sign", "/fd", "sha256", "/f", "c.p12", "/d", "My App", "/du", "https://u", "/tr", "http://ts",
                    "/td", "sha256", "out.exe"}));
}

}  // namespace

namespace {

// A signing tool on PATH that records its process id and then never ends, as one does that waits
// for a time-stamp server that accepted the connection and never answers.
class HangingTool : public Signing {
protected:
    void SetUp() override {
        Signing::SetUp();
        fs::create_directories(dir / "bin");
        writeText(dir / "bin/osslsigncode", "#!/bin/sh\necho $$ > \"" + (dir / "tool.pid").string() +
                                                 "\"\nexec sleep 600\n");
        fs::permissions(dir / "bin/osslsigncode", fs::perms::owner_all);
        writeText(dir / "slow.toml", readText(dir / "p12.toml") +
                                         "timestamp_url = \"http://ts.invalid\"\ntimeout = 1\n");
        path = getenv("PATH");
        setenv("PATH", ((dir / "bin").string() + ":" + path).c_str(), 1);
    }
    void TearDown() override { setenv("PATH", path.c_str(), 1); }
    // Ended: gone, or a zombie that no longer runs (its parent, the build, may be gone too).
    bool toolEnded() {
        pid_t tool = static_cast<pid_t>(std::atoi(readText(dir / "tool.pid").c_str()));
        auto runs = [&] {
            std::string stat = readText("/proc/" + std::to_string(tool) + "/stat");
            size_t state = stat.rfind(") ");
            return !stat.empty() && state != std::string::npos && stat[state + 2] != 'Z';
        };
        for (int i = 0; i < 50 && tool > 0 && runs(); ++i) usleep(20000);
        return tool > 0 && !runs();
    }
    std::string path;
};

pid_t deadProcessId() {
    pid_t child = fork();
    if (child == 0) _exit(0);
    waitpid(child, nullptr, 0);
    return child;
}

TEST_F(HangingTool, IsEndedWhenItsTimeRunsOutOrTheBuildIsInterrupted) {
    // What killed builds left beside the output goes; what running ones use, and links, stay.
    const std::string dead = std::to_string(deadProcessId());
    writeText(dir / ("app.exe.unsigned-" + dead + "-0123abcd.tmp"), "left");
    fs::create_directories(dir / ("app.exe.signed-" + dead + "-99.tmp"));
    writeText(dir / ("app.exe.signed-" + dead + "-99.tmp/app.exe"), "left");
    writeText(dir / ("app.exe.new-" + std::to_string(getpid()) + "-77.tmp"), "in use");
    writeText(dir / "victim.txt", "kept");
    fs::create_symlink(dir / "victim.txt", dir / ("app.exe.new-" + dead + "-55.tmp"));

    Outcome run = runJaunt(dir, "build slow.toml --stub stub.exe -o app.exe");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "jaunt: osslsigncode did not finish signing app.exe within 1 s (is the time-stamp server "
              "http://ts.invalid answering?); it was ended and nothing was written (sign.timeout sets the limit)\n");
    EXPECT_TRUE(toolEnded());
    EXPECT_FALSE(fs::exists(dir / "app.exe"));
    std::vector<std::string> left = filesContaining(dir, ".tmp");
    std::sort(left.begin(), left.end());
    std::vector<std::string> kept = {"app.exe.new-" + dead + "-55.tmp",
                                     "app.exe.new-" + std::to_string(getpid()) + "-77.tmp"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(left, kept);
    EXPECT_EQ(readText(dir / "victim.txt"), "kept");
    fs::remove(dir / ("app.exe.new-" + dead + "-55.tmp"));
    fs::remove(dir / ("app.exe.new-" + std::to_string(getpid()) + "-77.tmp"));

    // Interrupted (Ctrl+C, or ended) while the tool runs: the tool ends too and nothing stays.
    for (int signal : {SIGINT, SIGTERM}) {
        fs::remove(dir / "tool.pid");
        writeText(dir / "slow.toml", readText(dir / "p12.toml") + "timeout = 60\n");
        pid_t build = fork();
        if (build == 0) {
            chdir(dir.c_str());
            execl(JAUNT_PROGRAM, JAUNT_PROGRAM, "build", "slow.toml", "--stub", "stub.exe", "-o", "app.exe",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 500 && readText(dir / "tool.pid").empty(); ++i) usleep(10000);
        ASSERT_FALSE(readText(dir / "tool.pid").empty());
        kill(build, signal);
        int status = 0;
        waitpid(build, &status, 0);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(toolEnded()) << signal;
        EXPECT_TRUE(filesContaining(dir, ".tmp").empty()) << signal;
        EXPECT_FALSE(fs::exists(dir / "app.exe"));
    }
}

// A certificate entry that points into the launcher (here its headers) is refused by sign --force
// and by inspect alike, before anything is cut at it.
TEST_F(Signing, ACertificateEntryInsideTheLauncherIsRefused) {
    ASSERT_EQ(runJaunt(dir, "build p12.toml --stub stub.exe -o app.exe").exitCode, 0);
    std::vector<uint8_t> exe = jaunt::readFileBytes((dir / "app.exe").string());
    size_t entry = 0x98 + 96 + 4 * 8;
    uint32_t tableOffset = testsupport::readLe32(exe, 0x98 + 224 + 4 * 40 + 16) +
                           testsupport::readLe32(exe, 0x98 + 224 + 4 * 40 + 20);
    for (uint32_t offset : {16u, tableOffset, tableOffset + 40u}) {
        SCOPED_TRACE(offset);
        testsupport::put32(exe, entry, offset);
        testsupport::put32(exe, entry + 4, 16);
        jaunt::writeFileBytes((dir / "bad.exe").string(), exe);
        for (const char* command : {"sign bad.exe --config p12.toml --force", "inspect bad.exe"}) {
            Outcome run = runJaunt(dir, command);
            EXPECT_EQ(run.exitCode, 1) << command;
            EXPECT_EQ(run.err.rfind("jaunt: bad.exe: the certificate table entry (16 bytes at offset " +
                                        std::to_string(offset) + ") points into the launcher",
                                    0),
                      0u)
                << command << ": " << run.err;
            EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        }
        EXPECT_EQ(jaunt::readFileBytes((dir / "bad.exe").string()), exe);
    }
}

}  // namespace
