// A configured launcher signed by osslsigncode, with the arguments the build tool gives it, still
// finds its table, extracts its files and starts Java. Wine runs osslsigncode, a Linux program,
// for the test; the build tool for Windows, which finds no signing tool here, says so.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "e2etools.h"
#include "jauntversion.h"
#include "payloadwriter.h"
#include "relocatedimage.h"
#include "relocations.h"
#include "signing.h"

namespace {

// The Linux path of a Windows path, from Wine's kernel32; empty elsewhere.
std::string unixPath(const std::string& path) {
    typedef char*(__cdecl * UnixFileName)(const wchar_t*);
    auto convert = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    if (convert == nullptr) return std::string();
    char* name = convert(jaunt_test::widen(path).c_str());
    if (name == nullptr) return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

std::wstring argument(const std::string& arg) { return L"\"" + jaunt_test::widen(arg) + L"\""; }

class SignedLauncher : public jaunt_test::LauncherTest {
protected:
    // Runs a Linux command in the test's directory and returns its exit code (-1: it never ended).
    int runLinux(const std::vector<std::string>& command, const std::string& result) {
        std::wstring line = argument(jaunt_test::fixture("JAUNT_TEST_RUN_LINUX")) + L" " + argument(unixDir) + L" " +
                            argument(result);
        for (const std::string& arg : command) line += L" " + argument(arg);
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(L'\0');
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            return -1;
        // Wine hands back no usable handle for a Linux process: wait for the file it writes last.
        std::string code = dir.file(result + ".code");
        for (int i = 0; i < 1200 && !jaunt_test::fileExists(code); ++i) Sleep(100);
        return jaunt_test::fileExists(code) ? atoi(jaunt_test::readText(code).c_str()) : -1;
    }
    std::string output(const std::string& result) { return jaunt_test::readText(dir.file(result + ".out")); }

    std::string unixDir;
};

TEST_F(SignedLauncher, FindsItsTableExtractsItsFilesAndStartsJava) {
    unixDir = unixPath(dir.path());
    if (unixDir.empty()) GTEST_SKIP() << "osslsigncode runs through Wine; this is not Wine";
    ASSERT_EQ(runLinux({"sh", "-c",
                        "openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 "
                        "-subj /CN=Jaunt && openssl pkcs12 -export -in cert.pem -inkey key.pem -out cert.p12 "
                        "-passout pass:pw"},
                       "openssl"),
              0)
        << output("openssl");

    std::vector<uint8_t> jar(5000);
    for (size_t i = 0; i < jar.size(); ++i) jar[i] = static_cast<uint8_t>(i * 7 + 3);
    addJre();
    std::vector<uint8_t> payload = jaunt::encodePayload({{"app.jar", jar}});
    jaunt_test::writeLauncher(dir.file("app.exe"),
                              jaunt_test::consoleRecords({{122, "com.example.Main"},
                                                          {1009, "Internal error %ERROR_CODE%"},
                                                          {2002, "1"},
                                                          {2003, "app.jar;"}}),
                              {}, payload);
    jaunt_test::writeText(dir.file("pw.txt"), "pw\n");
    jaunt::SignSettings settings;
    settings.certificate = "cert.p12";
    settings.description = "Signed under test";
    std::vector<std::string> sign = {"osslsigncode"};
    for (const std::string& arg :
         jaunt::signingArguments(jaunt::SigningTool::Osslsigncode, settings, "app.exe", "signed.exe", "pw.txt"))
        sign.push_back(arg);
    ASSERT_EQ(runLinux(sign, "sign"), 0) << output("sign");
    ASSERT_EQ(runLinux({"osslsigncode", "verify", "-CAfile", "cert.pem", "signed.exe"}, "verify"), 0)
        << output("verify");
    exe = dir.file("signed.exe");
    std::vector<uint8_t> signedExe = jaunt_test::readBytes(exe);
    jaunt::SignatureLocation signature = jaunt::findSignature(signedExe);
    ASSERT_TRUE(signature.present());
    ASSERT_GE(signature.offset, jaunt_test::readBytes(dir.file("app.exe")).size());

    jaunt_test::RunOptions options;
    options.set["JAUNT_RECORD"] = dir.file("record.txt");
    jaunt_test::RunResult result = start(L"", options);
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.err, "");
    std::string record = jaunt_test::readText(dir.file("record.txt"));
    EXPECT_NE(record.find("call com/jaunt/runtime/WinLauncher.main"), std::string::npos) << record;
    // The included file comes out whole: its reader stops before the signature.
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA(dir.file("jnt*.tmp_dir*").c_str(), &found);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FindClose(h);
    EXPECT_EQ(jaunt_test::readBytes(dir.file(std::string(found.cFileName) + "\\app.jar")), jar);

    // The launcher's version block tells the Jaunt version.
    DWORD ignored = 0;
    std::vector<char> block(GetFileVersionInfoSizeA(exe.c_str(), &ignored));
    ASSERT_FALSE(block.empty());
    ASSERT_TRUE(GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
    char* text = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileVersion",
                               reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::string(text), JAUNT_VERSION_QUAD);
    VS_FIXEDFILEINFO* fixed = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(JAUNT_VERSION_MAJOR << 16 | JAUNT_VERSION_MINOR));

    // A launcher that jaunt built with resources and included files, signed the same way, can still
    // be placed at another base (the signature is appended and covers the relocations).
    // It carries its own runtime too, which the signature covers and which it then runs on.
    jaunt_test::writeText(dir.file("data.txt"), "carried");
    jaunt_test::copyFixture("JAUNT_TEST_RECORDING_JVM", dir.file("rt\\bin\\server\\jvm.dll"));
    jaunt_test::writeText(dir.file("rt\\release"), "JAVA_VERSION=\"17.0.2\"\n");
    jaunt_test::writeText(dir.file("built.toml"),
                          "[application]\nversion = \"4.1\"\nexecutable_type = 0\n[java]\nmain_class = \"a.B\"\n"
                          "[files]\nruntime = false\ninclude = [\"data.txt\"]\n[runtime]\npath = \"rt\"\n");
    jaunt_test::RunResult built = jaunt_test::run(argument(jaunt_test::fixture("JAUNT_TEST_JAUNT")) + L" build " +
                                                  argument(dir.file("built.toml")) + L" --stub " +
                                                  argument(jaunt_test::stubPath()));
    ASSERT_EQ(built.exitCode, 0u) << built.err;
    sign = {"osslsigncode"};
    for (const std::string& arg : jaunt::signingArguments(jaunt::SigningTool::Osslsigncode, settings, "built.exe",
                                                          "built-signed.exe", "pw.txt"))
        sign.push_back(arg);
    ASSERT_EQ(runLinux(sign, "sign2"), 0) << output("sign2");
    std::vector<uint8_t> builtSigned = jaunt_test::readBytes(dir.file("built-signed.exe"));
    ASSERT_TRUE(jaunt::findSignature(builtSigned).present());
    EXPECT_EQ(jaunt::readRelocations(builtSigned).targets,
              jaunt::readRelocations(jaunt_test::readBytes(jaunt_test::stubPath())).targets);
    HMODULE module = jaunt_test::mapRelocated(builtSigned, dir.file("built-signed.dll"));
    if (module) FreeLibrary(module);
    ASSERT_EQ(runLinux({"osslsigncode", "verify", "-CAfile", "cert.pem", "built-signed.exe"}, "verify2"), 0)
        << output("verify2");
    jaunt_test::removeTree(dir.file("rt"));
    exe = dir.file("built-signed.exe");
    options.set["LOCALAPPDATA"] = dir.path();
    options.set["JAUNT_RECORD"] = dir.file("record2.txt");
    options.remove = {"JAUNT_JAVA_HOME"};
    result = start(L"", options);
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_NE(jaunt_test::readText(dir.file("record2.txt")).find("-Djaunt.runtimeVersion=17.0.2"), std::string::npos);
}

// The build tool for Windows takes its signing tool only from absolute PATH entries (never from
// the current directory, where a tool may be planted), hands it the password through a pipe that
// no file outlives, and ends it when its time runs out.
TEST_F(SignedLauncher, TheWindowsBuildToolFindsFeedsAndBoundsItsSigningTool) {
    make(jaunt_test::consoleRecords());
    std::vector<uint8_t> before = jaunt_test::readBytes(exe);
    jaunt_test::makeDirectories(dir.file("tools"));
    jaunt_test::makeDirectories(dir.file("work"));
    jaunt_test::copyFixture("JAUNT_TEST_FAKE_SIGNER", dir.file("tools\\osslsigncode.exe"));
    jaunt_test::copyFixture("JAUNT_TEST_FAKE_SIGNER", dir.file("work\\osslsigncode.exe"));
    jaunt_test::writeText(dir.file("cert.p12"), "not read");
    jaunt_test::writeText(dir.file("sign.toml"), "[sign]\ncertificate = \"cert.p12\"\npassword_env = \"JAUNT_TEST_PW\"\n"
                                                 "timestamp_url = \"http://ts.invalid\"\ntimeout = 2\n");
    std::wstring line = argument(jaunt_test::fixture("JAUNT_TEST_JAUNT")) + L" sign " + argument(exe) + L" --config " +
                        argument(dir.file("sign.toml"));
    jaunt_test::RunOptions options;
    options.workingDirectory = dir.file("work");
    options.set["JAUNT_TEST_PW"] = "pw secret";
    options.set["PATH"] = ".;work;C:\\windows\\system32";
    jaunt_test::RunResult result = jaunt_test::run(line, options);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err.rfind("jaunt: no signing tool found: install the Windows SDK's signtool.exe or put "
                               "osslsigncode.exe on the PATH",
                               0),
              0u)
        << result.err;
    EXPECT_FALSE(jaunt_test::fileExists(dir.file("work\\fakesign-pid.txt"))) << "the planted tool ran";
    EXPECT_EQ(jaunt_test::readBytes(exe), before);

    // Named by PATH, it signs; the password reaches it through a pipe, and no file holds it; what
    // a killed build left beside the launcher goes.
    jaunt_test::writeText(exe + ".unsigned-4294967292-0badcafe.tmp", "left by a killed build");
    options.set["PATH"] = dir.file("tools") + ";C:\\windows\\system32";
    result = jaunt_test::run(line, options);
    ASSERT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(jaunt_test::readText(dir.file("tools\\fakesign-password.txt")), "pw secret");
    EXPECT_EQ(jaunt_test::readText(dir.file("tools\\fakesign-readpass.txt")).rfind("\\\\.\\pipe\\", 0), 0u);
    EXPECT_EQ(jaunt_test::readText(dir.file("tools\\fakesign-tempfiles.txt")), "");
    // It writes into a directory that only this user and the system may open. (Wine shows such an
    // access list for every directory, and drops its protection mark: Windows shows the property.)
    std::string dacl = jaunt_test::readText(dir.file("tools\\fakesign-outdacl.txt"));
    EXPECT_NE(dacl.find("(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-"), std::string::npos) << dacl;
    EXPECT_EQ(std::count(dacl.begin(), dacl.end(), '('), 2) << dacl;
    EXPECT_TRUE(jaunt::findSignature(jaunt_test::readBytes(exe)).present());
    EXPECT_FALSE(jaunt_test::fileExists(exe + ".unsigned-4294967292-0badcafe.tmp"));
    std::vector<uint8_t> signedOnce = jaunt_test::readBytes(exe);

    // A tool that never ends is ended when the time runs out; nothing is written or left.
    jaunt_test::writeText(dir.file("tools\\fakesign.txt"), "hang");
    result = jaunt_test::run(line + L" --force", options);
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.err.find("did not finish signing"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("http://ts.invalid"), std::string::npos) << result.err;
    HANDLE tool = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(jaunt_test::readText(dir.file("tools\\fakesign-pid.txt"))));
    if (tool) {
        EXPECT_EQ(WaitForSingleObject(tool, 2000), WAIT_OBJECT_0) << "the signing tool still runs";
        CloseHandle(tool);
    }
    EXPECT_EQ(jaunt_test::readBytes(exe), signedOnce);
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA((exe + ".*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do EXPECT_EQ(std::string(found.cFileName), "app.exe") << "left behind";
        while (FindNextFileA(h, &found));
        FindClose(h);
    }
}

}  // namespace
