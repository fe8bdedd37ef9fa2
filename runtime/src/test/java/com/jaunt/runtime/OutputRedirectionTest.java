package com.jaunt.runtime;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotSame;
import static org.junit.Assert.assertSame;
import static org.junit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.PrintStream;
import java.nio.charset.Charset;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.concurrent.CountDownLatch;
import org.junit.After;
import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class OutputRedirectionTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private PrintStream savedOut;
    private PrintStream savedErr;
    private final ByteArrayOutputStream fallbackBytes = new ByteArrayOutputStream();
    private PrintStream fallback;

    @Before
    public void saveStreams() throws Exception {
        savedOut = System.out;
        savedErr = System.err;
        fallback = new PrintStream(fallbackBytes, true, "UTF-8");
    }

    @After
    public void restoreStreams() {
        System.setOut(savedOut);
        System.setErr(savedErr);
    }

    private static String read(File file) throws Exception {
        return new String(Files.readAllBytes(file.toPath()), Charset.defaultCharset());
    }

    private static void write(File file, String text) throws Exception {
        Files.write(file.toPath(), text.getBytes(Charset.defaultCharset()));
    }

    private static final String EOL = System.lineSeparator();

    // --- Created on first write; append or replace ---

    @Test
    public void theFileAppearsOnlyWithTheFirstByte() throws Exception {
        File file = new File(temp.getRoot(), "out.log");
        FileOnFirstWrite stream = new FileOnFirstWrite(file, false, fallback);
        stream.flush();
        stream.write(new byte[4], 2, 0);
        assertFalse("no file before the first byte", file.exists());
        assertFalse(stream.isOpen());

        stream.write('a');
        stream.write("bcd".getBytes("US-ASCII"), 1, 2);
        assertTrue(file.exists());
        // Unbuffered: the bytes are in the file before any flush or close.
        assertEquals("acd", read(file));
        stream.close();
    }

    @Test
    public void theFlagChoosesAppendingOverReplacing() throws Exception {
        File replaced = temp.newFile("replaced.log");
        File appended = temp.newFile("appended.log");
        File untouched = temp.newFile("untouched.log");
        write(replaced, "old" + EOL);
        write(appended, "old" + EOL);
        write(untouched, "old" + EOL);

        PrintStream replacing = new PrintStream(new FileOnFirstWrite(replaced, false, fallback));
        PrintStream appending = new PrintStream(new FileOnFirstWrite(appended, true, fallback));
        new PrintStream(new FileOnFirstWrite(untouched, false, fallback)).flush();
        // Replacing happens at the first write, not before.
        assertEquals("old" + EOL, read(replaced));
        replacing.println("new");
        appending.println("new");
        replacing.println("more");

        assertEquals("new" + EOL + "more" + EOL, read(replaced));
        assertEquals("old" + EOL + "new" + EOL, read(appended));
        assertEquals("a stream never written keeps the old file", "old" + EOL, read(untouched));
    }

    @Test
    public void missingParentDirectoriesAreCreated() throws Exception {
        File file = new File(temp.getRoot(), "a/b/c/error.log");
        new PrintStream(new FileOnFirstWrite(file, true, fallback), true).println("x");
        assertEquals("x" + EOL, read(file));
    }

    @Test
    public void aFileThatCannotBeOpenedFallsBackWithANotice() throws Exception {
        File directory = temp.newFolder("is-a-directory");
        FileOnFirstWrite stream = new FileOnFirstWrite(directory, false, fallback);
        stream.write("first".getBytes("UTF-8"));
        stream.write("second".getBytes("UTF-8"));
        String seen = new String(fallbackBytes.toByteArray(), "UTF-8");
        assertTrue(seen, seen.startsWith("Jaunt: cannot open " + directory));
        assertTrue(seen, seen.endsWith(EOL + "firstsecond"));
        // One notice only.
        assertEquals(seen.indexOf("Jaunt:"), seen.lastIndexOf("Jaunt:"));
        stream.close();
        fallback.println("the fallback stays open");
        assertFalse(fallback.checkError());
    }

    @Test
    public void nonAsciiTextIsWrittenInTheDefaultEncoding() throws Exception {
        File file = new File(temp.getRoot(), "out.log");
        new PrintStream(new FileOnFirstWrite(file, false, fallback), true).println("Grüße");
        String expected = new String("Grüße".getBytes(Charset.defaultCharset()),
                Charset.defaultCharset());
        assertEquals(expected + EOL, read(file));
    }

    // --- Installing the redirection of System.err and System.out ---

    @Test
    public void errorAndOutputGoToTheirOwnFiles() throws Exception {
        File err = new File(temp.getRoot(), "error.log");
        File out = new File(temp.getRoot(), "output.log");
        OutputRedirection.install(err.getPath(), out.getPath(), false);
        assertNotSame(System.out, System.err);
        assertFalse(err.exists());
        assertFalse(out.exists());

        System.err.println("problem");
        assertTrue(err.exists());
        assertFalse("output file waits for its first write", out.exists());
        System.out.print("result");
        System.out.flush();
        assertEquals("problem" + EOL, read(err));
        assertEquals("result", read(out));
    }

    @Test
    public void onlyTheNamedStreamIsReplaced() throws Exception {
        PrintStream out = new PrintStream(new ByteArrayOutputStream());
        PrintStream err = new PrintStream(new ByteArrayOutputStream());
        System.setOut(out);
        System.setErr(err);
        OutputRedirection.install(null, null, false);
        assertSame(out, System.out);
        assertSame(err, System.err);

        OutputRedirection.install(null, new File(temp.getRoot(), "o.log").getPath(), false);
        assertNotSame(out, System.out);
        assertSame(err, System.err);
    }

    @Test
    public void oneFileForBothStreamsKeepsEverything() throws Exception {
        File sub = temp.newFolder("sub");
        File file = new File(temp.getRoot(), "both.log");
        write(file, "earlier run" + EOL);
        // Two spellings of the same file.
        String aliased = new File(sub, ".." + File.separator + "both.log").getPath();
        OutputRedirection.install(file.getPath(), aliased, true);
        assertSame(System.err, System.out);

        System.out.println("one");
        System.err.println("two");
        System.out.println("three");
        assertEquals("earlier run" + EOL + "one" + EOL + "two" + EOL + "three" + EOL, read(file));
    }

    @Test
    public void sameFileComparesCanonicalPaths() throws Exception {
        File a = new File(temp.getRoot(), "x.log");
        assertTrue(OutputRedirection.sameFile(a, new File(temp.getRoot(), "./x.log")));
        assertFalse(OutputRedirection.sameFile(a, new File(temp.getRoot(), "y.log")));
    }

    @Test
    public void concurrentWritersLoseNoLines() throws Exception {
        // Raw writes that all race for the first byte: a second open would replace the file and
        // lose what the first writers wrote.
        // Missing directories make the open slow, which widens the race.
        final File file = new File(temp.getRoot(), "d1/d2/d3/d4/shared.log");
        final FileOnFirstWrite stream = new FileOnFirstWrite(file, false, fallback);
        final int threads = 8;
        final int lines = 500;
        final CountDownLatch start = new CountDownLatch(1);
        List<Thread> writers = new ArrayList<Thread>();
        for (int t = 0; t < threads; t++) {
            final int id = t;
            writers.add(new Thread(new Runnable() {
                @Override
                public void run() {
                    try {
                        start.await();
                        for (int i = 0; i < lines; i++) {
                            stream.write(("writer " + id + " line " + i + "\n").getBytes("UTF-8"));
                        }
                    } catch (Exception e) {
                        throw new RuntimeException(e);
                    }
                }
            }));
        }
        for (Thread writer : writers) {
            writer.start();
        }
        start.countDown();
        for (Thread writer : writers) {
            writer.join();
        }
        List<String> written = Files.readAllLines(file.toPath(), Charset.forName("UTF-8"));
        assertEquals(threads * lines, written.size());
        Set<String> distinct = new HashSet<String>(written);
        assertEquals(threads * lines, distinct.size());
        assertTrue(distinct.containsAll(Arrays.asList("writer 0 line 0", "writer 7 line 499")));
        assertEquals("", new String(fallbackBytes.toByteArray(), "UTF-8"));
    }
}
