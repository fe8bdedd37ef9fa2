// The launcher's JNI code against a real JVM: each scenario runs jni_probe in a process of its own,
// since a process can create only one JVM.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;  // standard output and standard error together
};

Outcome runProbe(const std::string& arguments, const std::string& environment = "") {
    std::string command = environment + "'" + JNI_PROBE + "' '" + LIBJVM + "' '" + PROBE_CLASSPATH + "' " + arguments +
                          " 2>&1";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return outcome;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) outcome.output.append(buffer, n);
    int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

bool has(const Outcome& outcome, const std::string& text) { return outcome.output.find(text) != std::string::npos; }

TEST(RealJvm, ArgumentsAndPropertiesArriveExactly) {
    // "two words" stays one argument, the empty one stays, and UTF-16 travels unchanged:
    // e-acute, a CJK character and a character outside the BMP (a surrogate pair).
    Outcome run = runProbe("echo plain 'two words' '' '\xc3\xa9\xe4\xb8\xad\xf0\x9f\x98\x80'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(has(run, "ARG 1: 0070 006c 0061 0069 006e\n")) << run.output;
    EXPECT_TRUE(has(run, "ARG 2: 0074 0077 006f 0020 0077 006f 0072 0064 0073\n")) << run.output;
    EXPECT_TRUE(has(run, "ARG 3:\n")) << run.output;
    EXPECT_TRUE(has(run, "ARG 4: 00e9 4e2d d83d de00\n")) << run.output;
    EXPECT_FALSE(has(run, "ARG 5")) << run.output;
    EXPECT_TRUE(has(run, "PROP probe.value=v")) << run.output;
    EXPECT_TRUE(has(run, "PROP jaunt.programName=probe.exe")) << run.output;
    // The launcher's own log of what it handed over.
    EXPECT_TRUE(has(run, "LOG: main class: com/jaunt/runtime/WinLauncher\n")) << run.output;
    EXPECT_TRUE(has(run, "LOG: param count: 11\n")) << run.output;
    EXPECT_TRUE(has(run, "LOG: param 5: probe.exe\n")) << run.output;
    EXPECT_TRUE(has(run, "LOG: param 10: ????\n")) << run.output;
    EXPECT_TRUE(has(run, "LOG: calling main\nARG 1:")) << run.output;
    EXPECT_TRUE(has(run, "LOG: main returned\nRESULT returned\nDESTROYED\n")) << run.output;
}

// What the JVM's code page cannot carry goes over after creation: the whole class path (the probe and
// the runtime library from a folder named in another script) and a property.
TEST(RealJvm, ClassPathAndPropertiesGivenAfterCreationAreUsed) {
    std::string folder = std::string(PROBE_WORK_DIR) + "/\xc5\x81ukasz \xe3\x82\xa2\xe3\x83\x97\xe3\x83\xaa";
    std::string copy = "rm -rf '" + folder + "' && mkdir -p '" + folder + "' && cp " +
                       std::string(PROBE_CLASSPATH).replace(std::string(PROBE_CLASSPATH).find(':'), 1, " ") + " '" +
                       folder + "'";
    ASSERT_EQ(std::system(copy.c_str()), 0);
    std::string late = folder + "/jauntlib.jar:" + folder + "/probe.jar";
    Outcome run = runProbe("echo x", "LC_ALL=C.UTF-8 PROBE_LATE_CLASSPATH='" + late + "' ");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(has(run, "LOG: class path entries added after creation: 2\n")) << run.output;
    EXPECT_TRUE(has(run, "PROP probe.late= 0141 0075 006b 0061 0073 007a 0020 30a2 30d7 30ea\n")) << run.output;
    EXPECT_TRUE(has(run, "CLASS PATH whole\n")) << run.output;
}

TEST(RealJvm, AnExceptionLeftByMainIsReported) {
    Outcome run = runProbe("throw");
    EXPECT_EQ(run.exitCode, 3) << run.output;
    EXPECT_TRUE(has(run, "LOG: ERROR: an exception occured")) << run.output;
    EXPECT_TRUE(has(run, "probe failure")) << "the stack trace is described: " << run.output;
}

TEST(RealJvm, SystemExitEndsTheProcessWithItsStatus) {
    Outcome run = runProbe("exit 7");
    EXPECT_EQ(run.exitCode, 7) << run.output;
    EXPECT_FALSE(has(run, "RESULT")) << run.output;
}

TEST(RealJvm, DestroyingTheJvmWaitsForNonDaemonThreads) {
    std::string marker = testing::TempDir() + "jaunt-linger-" + std::to_string(getpid());
    std::remove(marker.c_str());
    Outcome run = runProbe("linger '" + marker + "'");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(has(run, "MAIN RETURNS")) << run.output;
    // The thread writes the marker 1.5 s after main returned; had the process not waited for it,
    // the marker would not exist.
    EXPECT_TRUE(std::ifstream(marker).good()) << run.output;
    std::remove(marker.c_str());
}

TEST(RealJvm, MissingLauncherClassOrMethodIsReportedWithoutAStackTrace) {
    Outcome missingClass = runProbe("missing-class");
    EXPECT_EQ(missingClass.exitCode, 4) << missingClass.output;
    EXPECT_FALSE(has(missingClass, "Exception in thread")) << missingClass.output;
    Outcome missingMethod = runProbe("missing-method");
    EXPECT_EQ(missingMethod.exitCode, 5) << missingMethod.output;
}

TEST(RealJvm, ASecondNativeThreadAttachesPollsTheControllerAndDetaches) {
    Outcome run = runProbe("controller");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_TRUE(has(run, "CONTROLLER TEXT Loading probe\n")) << run.output;
    EXPECT_TRUE(has(run, "CONTROLLER CLOSE\n")) << run.output;
    EXPECT_TRUE(has(run, "DESTROYED")) << "the attached thread detached, so DestroyJavaVM returned: " << run.output;
}

}  // namespace
