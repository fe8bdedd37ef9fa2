// The launcher that "mvn -o package" made for examples/maven-hello (tests/maven/maven_test.sh, run
// before this test), copied with its lib folder into a fresh directory and run with a bundled JRE
// whose jvm.dll is the recording double: it reaches the example's main with the project's jar and
// its commons-lang3 dependency on the class path, after the runtime library it carries.
#include <string>

#include "e2etools.h"
#include "jvmtrees.h"

namespace {

class MavenExample : public jaunt_test::LauncherTest {};

using jaunt_test::hexUnits;

TEST_F(MavenExample, TheLauncherFromMvnPackageReachesMainWithTheDependencyOnTheClassPath) {
    std::string target = jaunt_test::fixture("JAUNT_TEST_MAVEN_TARGET");
    jaunt_test::makeDirectories(dir.file("maven-hello\\lib"));
    for (const char* file : {"maven-hello.exe", "maven-hello\\lib\\maven-hello.jar",
                             "maven-hello\\lib\\commons-lang3-3.12.0.jar"})
        ASSERT_TRUE(CopyFileA((target + "\\" + file).c_str(), dir.file(file).c_str(), FALSE)) << file;
    // The example searches bundled:jre first: the JRE beside the launcher.
    jaunt_test::makeJre(dir.file("jre"), jaunt_test::recordingJre());
    exe = dir.file("maven-hello.exe");
    jaunt_test::RunOptions options;
    options.set["JAUNT_RECORD"] = dir.file("record.txt");
    options.set["JAUNT_RECORD_SCRIPT"] = "";
    jaunt_test::RunResult result = start(L"maven", options);
    ASSERT_EQ(result.exitCode, 0u) << result.err;

    std::string record;
    for (char c : jaunt_test::readText(dir.file("record.txt")))
        if (c != '\r') record += c;
    // The runtime's main gets the console kind ("false"), the main class from the jar's manifest
    // and the user's argument.
    EXPECT_NE(record.find("main-arg 0" + hexUnits(u"false") + "\n"), std::string::npos) << record;
    EXPECT_NE(record.find("main-arg 1" + hexUnits(u"com.example.mavenhello.MavenHello") + "\n"), std::string::npos)
        << record;
    EXPECT_NE(record.find(hexUnits(u"maven") + "\n"), std::string::npos) << record;
    // The POM's VM option.
    EXPECT_NE(record.find("-Xmx128m"), std::string::npos) << record;
    size_t classPath = record.find("-Djava.class.path=");
    ASSERT_NE(classPath, std::string::npos) << record;
    std::string line = jaunt_test::lower(record.substr(classPath, record.find('\n', classPath) - classPath));
    size_t runtime = line.find("jauntlib.jar;");
    size_t jar = line.find("\\maven-hello\\lib\\maven-hello.jar;");
    size_t dependency = line.find("\\maven-hello\\lib\\commons-lang3-3.12.0.jar");
    ASSERT_NE(runtime, std::string::npos) << line;
    ASSERT_NE(jar, std::string::npos) << line;
    ASSERT_NE(dependency, std::string::npos) << line;
    EXPECT_LT(runtime, jar) << line;
    EXPECT_LT(jar, dependency) << line;
}

}  // namespace
