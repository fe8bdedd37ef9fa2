// A first launcher in two commands, under Wine: jaunt.exe init on a jar made by the JDK's jar
// tool, jaunt.exe build on the configuration it wrote, and the launcher it made run beside the
// jar with a bundled JRE whose jvm.dll is the recording double.
#include <string>
#include <vector>

#include "e2etools.h"
#include "jvmtrees.h"

namespace {

std::string fixture(const char* variable) {
    const char* path = std::getenv(variable);
    if (path == nullptr) throw std::runtime_error(std::string(variable) + " is not set");
    return jaunt_test::windowsPath(path);
}

class InitAndBuild : public jaunt_test::LauncherTest {};

TEST_F(InitAndBuild, ALauncherMadeByInitAndBuildReachesTheJarsMain) {
    // The distribution's layout: bin\jaunt.exe finds its runtime library in ..\lib.
    CreateDirectoryA(dir.file("bin").c_str(), nullptr);
    CreateDirectoryA(dir.file("lib").c_str(), nullptr);
    CreateDirectoryA(dir.file("app").c_str(), nullptr);
    std::string jaunt = dir.file("bin\\jaunt.exe");
    ASSERT_TRUE(CopyFileA(fixture("JAUNT_TEST_JAUNT").c_str(), jaunt.c_str(), FALSE));
    jaunt_test::writeText(dir.file("lib\\jauntlib.jar"), "PK runtime");
    std::string jar = dir.file("app\\hello.jar");
    ASSERT_TRUE(CopyFileA(fixture("JAUNT_TEST_APP_JAR").c_str(), jar.c_str(), FALSE));

    jaunt_test::RunResult init = jaunt_test::run(jaunt_test::widen("\"" + jaunt + "\" init \"" + jar + "\""));
    ASSERT_EQ(init.exitCode, 0u) << init.out << init.err;
    ASSERT_TRUE(jaunt_test::fileExists(dir.file("app\\hello.toml")));
    jaunt_test::RunResult build = jaunt_test::run(jaunt_test::widen(
        "\"" + jaunt + "\" build \"" + dir.file("app\\hello.toml") + "\" --stub \"" + jaunt_test::stubPath() + "\""));
    ASSERT_EQ(build.exitCode, 0u) << build.out << build.err;
    EXPECT_EQ(build.err, "");

    jaunt_test::makeJre(dir.file("app\\jre"), jaunt_test::recordingJre());
    exe = dir.file("app\\hello.exe");
    jaunt_test::RunOptions options;
    options.set["JAUNT_RECORD"] = dir.file("record.txt");
    options.set["JAUNT_RECORD_SCRIPT"] = "";
    jaunt_test::RunResult result = start(L"first", options);
    ASSERT_EQ(result.exitCode, 0u) << result.err;
    std::string record;
    for (char c : jaunt_test::readText(dir.file("record.txt")))
        if (c != '\r') record += c;
    // main of the runtime launcher class: GUI ("true" first), the jar's Main-Class second, the
    // user's argument last; the jar on the class path after the carried runtime library.
    EXPECT_NE(record.find("main-arg 0 0074 0072 0075 0065"), std::string::npos) << record;
    EXPECT_NE(record.find("main-arg 1" + jaunt_test::hexUnits(u"com.example.Hello") + "\n"), std::string::npos)
        << record;
    EXPECT_NE(record.find(" 0066 0069 0072 0073 0074\n"), std::string::npos) << record;  // "first"
    size_t classPath = record.find("-Djava.class.path=");
    ASSERT_NE(classPath, std::string::npos) << record;
    std::string line = record.substr(classPath, record.find('\n', classPath) - classPath);
    EXPECT_NE(line.find("jauntlib.jar;"), std::string::npos) << line;
    EXPECT_NE(jaunt_test::lower(line).find("\\app\\hello.jar;"), std::string::npos) << line;
}

}  // namespace
