package com.jaunt.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertSame;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import com.jaunt.runtime.testapps.RecordingApp;
import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import org.junit.After;
import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class WinLauncherTest {
    private static final String APPS = "com.jaunt.runtime.testapps.";

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private PrintStream savedOut;
    private PrintStream savedErr;
    private PrintStream capturedOut;
    private PrintStream capturedErr;
    private final ByteArrayOutputStream errBytes = new ByteArrayOutputStream();

    @Before
    public void captureStreams() throws Exception {
        savedOut = System.out;
        savedErr = System.err;
        capturedOut = new PrintStream(new ByteArrayOutputStream(), true);
        capturedErr = new PrintStream(errBytes, true, "UTF-8");
        System.setOut(capturedOut);
        System.setErr(capturedErr);
        System.clearProperty(WinLauncher.PROGRAM_NAME_PROPERTY);
        System.clearProperty(WinLauncher.GUI_LAUNCHER_PROPERTY);
        RecordingApp.reset();
    }

    @After
    public void restoreStreams() {
        System.setOut(savedOut);
        System.setErr(savedErr);
    }

    private String stderr() throws Exception {
        return new String(errBytes.toByteArray(), "UTF-8");
    }

    private static String[] launchArgs(String mainClass, String... rest) {
        List<String> all = new ArrayList<String>();
        all.addAll(Arrays.asList("false", mainClass, "", "", "false"));
        all.addAll(Arrays.asList(rest));
        return all.toArray(new String[0]);
    }

    // --- The parameter list: positions, program name, arguments passed exactly ---

    @Test
    public void passesTheArgumentsAfterTheProgramNameExactly() throws Throwable {
        String[] appArgs = {"-x", "", "b c", "Grüße", "日本語", "\uD83D\uDE00 emoji", "\"quoted\"",
            " lead and trail ", "C:\\dir\\file.txt", ""};
        List<String> all = new ArrayList<String>(Arrays.asList(
                "true", APPS + "RecordingApp", "", "", "false", "C:\\Program Files\\App\\app.exe"));
        all.addAll(Arrays.asList(appArgs));

        WinLauncher.main(all.toArray(new String[0]));

        assertArrayEquals(appArgs, RecordingApp.received);
        assertEquals("C:\\Program Files\\App\\app.exe", RecordingApp.programName);
        assertEquals("true", System.getProperty(WinLauncher.GUI_LAUNCHER_PROPERTY));
        // Empty file positions leave both streams alone, and nothing is reported.
        assertSame(capturedOut, System.out);
        assertSame(capturedErr, System.err);
        assertEquals("", stderr());
    }

    @Test
    public void theApplicationRunsWithTheSystemClassLoaderAsContextLoader() throws Throwable {
        // A thread attached through JNI may start without a context class loader.
        Thread current = Thread.currentThread();
        ClassLoader saved = current.getContextClassLoader();
        current.setContextClassLoader(null);
        try {
            WinLauncher.main(launchArgs(APPS + "RecordingApp", "app.exe"));
        } finally {
            current.setContextClassLoader(saved);
        }
        assertSame(ClassLoader.getSystemClassLoader(), RecordingApp.contextLoader);
    }

    @Test
    public void programNameAloneGivesNoApplicationArguments() throws Throwable {
        WinLauncher.main(launchArgs(APPS + "RecordingApp", "app.exe"));
        assertEquals(0, RecordingApp.received.length);
        assertEquals("app.exe", RecordingApp.programName);
        assertEquals("false", System.getProperty(WinLauncher.GUI_LAUNCHER_PROPERTY));
    }

    @Test
    public void withoutProgramNameThePropertyIsNotSet() throws Throwable {
        WinLauncher.main(launchArgs(APPS + "RecordingApp"));
        assertEquals(0, RecordingApp.received.length);
        assertNull(RecordingApp.programName);
    }

    @Test
    public void theApplicationGetsItsOwnCopyOfTheArguments() throws Throwable {
        String[] args = launchArgs(APPS + "RecordingApp", "app.exe", "one");
        WinLauncher.main(args);
        RecordingApp.received[0] = "changed";
        assertEquals("one", args[6]);
    }

    @Test
    public void parsesTheRuntimeArguments() {
        LaunchArguments parsed = LaunchArguments.parse(new String[] {
            "true", "a.B", "C:\\err.log", "C:\\out.log", "true", "p", "x"});
        assertTrue(parsed.guiLauncher);
        assertEquals("a.B", parsed.mainClass);
        assertEquals("C:\\err.log", parsed.errorFile);
        assertEquals("C:\\out.log", parsed.outputFile);
        assertTrue(parsed.appendToFiles);
        assertEquals("p", parsed.programName);
        assertArrayEquals(new String[] {"x"}, parsed.applicationArguments);

        // Only the exact text "true" is true; empty paths mean no file.
        parsed = LaunchArguments.parse(new String[] {"TRUE", "a.B", "", null, "yes"});
        assertFalse(parsed.guiLauncher);
        assertNull(parsed.errorFile);
        assertNull(parsed.outputFile);
        assertFalse(parsed.appendToFiles);
        assertNull(parsed.programName);
    }

    // --- Failures: reported on standard error with the class name, and thrown ---

    @Test
    public void tooFewArgumentsAreReportedAndThrown() throws Exception {
        for (String[] args : new String[][] {null, {}, {"false", APPS + "RecordingApp", "", ""}}) {
            try {
                WinLauncher.main(args);
                fail("expected a failure for " + Arrays.toString(args));
            } catch (IllegalArgumentException expected) {
                assertTrue(expected.getMessage().contains("at least 5"));
            } catch (Throwable other) {
                fail("unexpected " + other);
            }
        }
        assertTrue(stderr(), stderr().startsWith("Jaunt: expected at least 5 launcher arguments"));
        assertNull(RecordingApp.received);
    }

    @Test
    public void missingMainClassIsReportedWithItsName() throws Throwable {
        try {
            WinLauncher.main(launchArgs("com.example.DoesNotExist", "app.exe"));
            fail("expected ClassNotFoundException");
        } catch (ClassNotFoundException expected) {
            assertTrue(expected.getMessage().contains("com.example.DoesNotExist"));
        }
        assertEquals("Jaunt: cannot find the application's main class com.example.DoesNotExist"
                + System.lineSeparator(), stderr());
    }

    @Test
    public void emptyMainClassIsReported() throws Throwable {
        try {
            WinLauncher.main(launchArgs("", "app.exe"));
            fail("expected IllegalArgumentException");
        } catch (IllegalArgumentException expected) {
            assertTrue(stderr().contains("no main class is configured"));
        }
    }

    @Test
    public void classWithoutUsableMainIsReportedWithItsName() throws Throwable {
        for (String app : new String[] {"NoMainApp", "InstanceMainApp", "WrongParameterApp",
                "IntMainApp", "PrivateMainApp"}) {
            errBytes.reset();
            try {
                WinLauncher.main(launchArgs(APPS + app, "app.exe"));
                fail("expected NoSuchMethodException for " + app);
            } catch (NoSuchMethodException expected) {
                assertTrue(expected.getMessage().contains(APPS + app));
            }
            assertEquals("Jaunt: the application's main class " + APPS + app
                    + " has no method public static void main(String[])"
                    + System.lineSeparator(), stderr());
        }
    }

    @Test
    public void theApplicationsExceptionIsThrownUnchanged() throws Throwable {
        try {
            WinLauncher.main(launchArgs(APPS + "FailingApp", "app.exe"));
            fail("expected the application's exception");
        } catch (IOException expected) {
            assertEquals("application failed", expected.getMessage());
        }
        try {
            WinLauncher.main(launchArgs(APPS + "BrokenInitApp", "app.exe"));
            fail("expected the static initialiser's failure");
        } catch (ExceptionInInitializerError expected) {
            assertTrue(expected.getCause() instanceof NumberFormatException);
        }
        // These are the application's own failures, not missing classes: no report of ours.
        assertFalse(stderr(), stderr().contains("Jaunt:"));
    }

    @Test
    public void aMainClassThatIsNotPublicStillStarts() throws Throwable {
        WinLauncher.main(launchArgs(APPS + "HiddenApp", "app.exe", "a"));
        assertArrayEquals(new String[] {"a"}, RecordingApp.received);
    }

    @Test
    public void failuresLandInTheErrorFileWhenStandardErrorIsRedirected() throws Throwable {
        File errorFile = new File(temp.getRoot(), "error.log");
        try {
            WinLauncher.main(new String[] {
                "true", "com.example.Missing", errorFile.getPath(), "", "false", "app.exe"});
            fail("expected ClassNotFoundException");
        } catch (ClassNotFoundException expected) {
            // reported below
        }
        String logged = new String(Files.readAllBytes(errorFile.toPath()), Charset.defaultCharset());
        assertTrue(logged, logged.contains("com.example.Missing"));
        assertEquals("", stderr());
    }

    // --- The launcher's view: a fresh JVM, as the launcher starts it ---

    private static Process startJava(File dir, String... launcherArgs) throws IOException {
        List<String> command = new ArrayList<String>();
        command.add(new File(System.getProperty("java.home"), "bin/java").getPath());
        command.add("-cp");
        command.add(System.getProperty("java.class.path"));
        command.add(WinLauncher.class.getName());
        command.addAll(Arrays.asList(launcherArgs));
        return new ProcessBuilder(command).directory(dir).redirectErrorStream(true).start();
    }

    private static String finish(Process process) throws Exception {
        InputStream in = process.getInputStream();
        ByteArrayOutputStream bytes = new ByteArrayOutputStream();
        byte[] buffer = new byte[4096];
        for (int n; (n = in.read(buffer)) > 0; ) {
            bytes.write(buffer, 0, n);
        }
        assertTrue(process.waitFor(60, TimeUnit.SECONDS));
        return new String(bytes.toByteArray(), Charset.defaultCharset());
    }

    @Test
    public void aFreshJvmRunsTheApplicationWithItsOutputInTheFiles() throws Exception {
        File dir = temp.getRoot();
        File err = new File(dir, "logs/error.log");
        File out = new File(dir, "output.log");
        Process process = startJava(dir, "false", APPS + "PrintingApp", err.getPath(),
                out.getPath(), "false", "app.exe", "out:to stdout", "err:to stderr");
        assertEquals("", finish(process));
        assertEquals(0, process.exitValue());
        assertEquals(Arrays.asList("to stderr"), Files.readAllLines(err.toPath()));
        assertEquals(Arrays.asList("to stdout"), Files.readAllLines(out.toPath()));
    }

    @Test
    public void aFreshJvmFailsOnAMissingClass() throws Exception {
        Process process = startJava(temp.getRoot(), "false", "com.example.Gone", "", "", "false");
        String output = finish(process);
        assertNotEquals(0, process.exitValue());
        assertTrue(output, output.startsWith(
                "Jaunt: cannot find the application's main class com.example.Gone"));
        assertTrue(output, output.contains("ClassNotFoundException"));
    }

    // --- The names and signatures the launcher looks up through JNI ---

    @Test
    public void theLauncherFindsTheMethodsItCalls() throws Exception {
        assertStaticMethod(WinLauncher.class, "main", void.class, String[].class);
        assertStaticMethod(JauntController.class, "getAction", int.class);
        assertStaticMethod(JauntController.class, "getText", String.class);
        assertStaticMethod(Class.forName("com.bundlekit.runtime.FirstRun"), "firstRun",
                boolean.class);
        assertEquals("com.jaunt.runtime.WinLauncher", WinLauncher.class.getName());
        assertEquals("com.jaunt.runtime.JauntController", JauntController.class.getName());
    }

    private static void assertStaticMethod(Class<?> owner, String name, Class<?> result,
            Class<?>... parameters) throws Exception {
        Method method = owner.getDeclaredMethod(name, parameters);
        assertTrue(name + " is static", Modifier.isStatic(method.getModifiers()));
        assertEquals(name + " result", result, method.getReturnType());
    }
}
