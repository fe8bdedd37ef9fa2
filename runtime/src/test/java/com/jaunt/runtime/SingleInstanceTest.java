package com.jaunt.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertSame;
import static org.junit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.nio.file.attribute.FileTime;
import java.util.Arrays;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import org.junit.After;
import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class SingleInstanceTest {
    private static final long STALL = TimeUnit.MILLISECONDS.toNanos(HandOverWatcher.STALL_MILLIS);

    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private Path comm;
    private long now;  // the watcher's clock, moved by hand
    private final HandOverQueue queue = new HandOverQueue(3);
    private HandOverWatcher watcher;

    /** What the listener received, and on which thread. */
    private final BlockingQueue<String[]> received = new LinkedBlockingQueue<String[]>();
    private final BlockingQueue<Thread> threads = new LinkedBlockingQueue<Thread>();
    private final SingleInstance.Listener recorder = args -> {
        threads.add(Thread.currentThread());
        received.add(args);
    };

    @Before
    public void watchAFreshFile() throws IOException {
        comm = temp.newFolder().toPath().resolve("jnt_p42.tmp");
        watcher = new HandOverWatcher(comm, queue, () -> now);
    }

    @After
    public void stopThreads() {
        watcher.stop();
        queue.stop();
    }

    /** Writes a hand-over as a later instance does: only when there is no file, then LF. */
    private void handOver(String argumentText) throws IOException {
        write(argumentText + "\n", StandardOpenOption.CREATE_NEW);
    }

    private void write(String text, StandardOpenOption... options) throws IOException {
        Files.write(comm, text.getBytes(StandardCharsets.UTF_16LE), options);
    }

    private void awaitNoFile() throws InterruptedException {
        for (int i = 0; i < 3000 && Files.exists(comm); i++) {
            Thread.sleep(10);
        }
    }

    private String[] next() throws InterruptedException {
        String[] args = received.poll(30, TimeUnit.SECONDS);
        assertNotNull("a hand-over was delivered", args);
        return args;
    }

    @Test
    public void laterStartsTakeTurnsAndWaitForTheListenerInOrder() throws Exception {
        watcher.start();
        for (String text : new String[] {"\"C:\\Users\\Zoë\\Документ 1.txt\" -x", "",
                "a  'b c' \uD83D\uDE00"}) {
            awaitNoFile();  // as a later instance waits for its turn
            handOver(text);
        }
        awaitNoFile();
        assertFalse("the watcher deleted the last file", Files.exists(comm));
        assertTrue("nothing is delivered without a listener", received.isEmpty());

        queue.setListener(recorder);
        assertArrayEquals(new String[] {"C:\\Users\\Zoë\\Документ 1.txt", "-x"}, next());
        assertArrayEquals(new String[0], next());
        assertArrayEquals(new String[] {"a", "b c", "\uD83D\uDE00"}, next());
        Thread listenerThread = threads.take();
        assertEquals(HandOverQueue.THREAD_NAME, listenerThread.getName());
        assertTrue(listenerThread.isDaemon());
        assertSame(listenerThread, threads.take());
        assertSame(listenerThread, threads.take());
    }

    @Test
    public void anIncompleteFileIsTakenWhenItEndsWithALineFeedOrStopsChanging() throws Exception {
        queue.setListener(recorder);
        write("half");
        assertFalse(watcher.poll());
        now += STALL - 1;
        write(" more", StandardOpenOption.APPEND);
        assertFalse(watcher.poll());
        now += STALL - 1;
        assertFalse("growing restarts the wait", watcher.poll());
        write(" done\n", StandardOpenOption.APPEND);
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"half", "more", "done"}, next());
        assertTrue("started by a non-daemon thread, still a daemon", threads.take().isDaemon());
        assertTrue("read files are deleted", Files.notExists(comm));

        // A writer that died after an odd byte: the file is taken once it stops changing.
        Files.write(comm, new byte[] {'a', 0, 'b'});
        assertFalse(watcher.poll());
        now += STALL - 1;
        assertFalse(watcher.poll());
        now += 1;
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"a\uFFFD"}, next());
        assertTrue(Files.notExists(comm));

        // Beyond the size limit the file is cut and taken at once.
        char[] huge = new char[HandOverWatcher.MAX_FILE_BYTES / 2 + 1];
        Arrays.fill(huge, 'x');
        write(new String(huge));
        assertTrue(watcher.poll());
        assertEquals(HandOverWatcher.MAX_FILE_BYTES / 2, next()[0].length());
        assertTrue(Files.notExists(comm));
    }

    /** Writes a pending file of a later instance, as written at second (of some day). */
    private Path pending(String name, String argumentText, int second) throws IOException {
        Path path = comm.resolveSibling(name);
        Files.write(path, (argumentText + "\n").getBytes(StandardCharsets.UTF_16LE));
        Files.setLastModifiedTime(path, FileTime.fromMillis(1_700_000_000_000L + second * 1000L));
        return path;
    }

    @Test
    public void pendingFilesArriveWholeInTheOrderTheyWereWritten() throws Exception {
        queue.setListener(recorder);
        pending("jnt_p42_7_1.tmp", "first", 1);
        handOver("second");
        Files.setLastModifiedTime(comm, FileTime.fromMillis(1_700_000_000_000L + 2000));
        pending("JNT_P42_8_1.TMP", "third", 3);
        Path part = pending("jnt_p42_9_1.part", "half", 0);  // still being written
        Path other = pending("jnt_p43_7_1.tmp", "another instance's", 0);
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"first"}, next());
        assertArrayEquals(new String[] {"second"}, next());
        assertArrayEquals(new String[] {"third"}, next());
        assertNull(received.poll(200, TimeUnit.MILLISECONDS));
        assertTrue(Files.exists(part));
        assertTrue(Files.exists(other));

        // Renamed once whole, it is found by a later listing though no communication file exists.
        Files.move(part, comm.resolveSibling("jnt_p42_9_1.tmp"));
        now += TimeUnit.MILLISECONDS.toNanos(HandOverWatcher.LIST_MILLIS);
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"half"}, next());
        assertTrue(Files.notExists(comm.resolveSibling("jnt_p42_9_1.tmp")));

        // An older communication file still being written holds up the younger pending file.
        write("fourth");
        Files.setLastModifiedTime(comm, FileTime.fromMillis(1_700_000_000_000L + 4000));
        pending("jnt_p42_7_2.tmp", "fifth", 5);
        assertFalse(watcher.poll());
        write(" done\n", StandardOpenOption.APPEND);
        Files.setLastModifiedTime(comm, FileTime.fromMillis(1_700_000_000_000L + 4000));
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"fourth", "done"}, next());
        assertArrayEquals(new String[] {"fifth"}, next());
    }

    @Test
    public void aStuckPendingFileHoldsUpTheYoungerOnesOnlyForAWhile() throws Exception {
        queue.setListener(recorder);
        final boolean[] held = {true};
        HandOverWatcher watching = new HandOverWatcher(comm, queue, () -> now) {
            @Override
            boolean deletePending(Path pending) throws IOException {
                if (held[0] && pending.getFileName().toString().equals("jnt_p42_7_1.tmp")) {
                    throw new IOException("held by another program");
                }
                return super.deletePending(pending);
            }
        };
        pending("jnt_p42_7_1.tmp", "stuck", 1);
        pending("jnt_p42_8_1.tmp", "younger", 2);
        long listing = TimeUnit.MILLISECONDS.toNanos(HandOverWatcher.LIST_MILLIS);
        assertFalse(watching.poll());
        now += STALL - listing;
        assertFalse("the younger one waits for its turn", watching.poll());
        now += listing;
        assertTrue(watching.poll());
        assertArrayEquals(new String[] {"younger"}, next());
        held[0] = false;
        now += listing;
        assertTrue(watching.poll());
        assertArrayEquals(new String[] {"stuck"}, next());
    }

    @Test
    public void aFileThatCannotBeDeletedIsHandedOverOnce() throws Exception {
        queue.setListener(recorder);
        final int[] deleteAttempts = {0};
        HandOverWatcher stuck = new HandOverWatcher(comm, queue, () -> now) {
            @Override
            boolean delete() {
                deleteAttempts[0]++;
                return false;
            }
        };
        PrintStream savedErr = System.err;
        ByteArrayOutputStream err = new ByteArrayOutputStream();
        System.setErr(new PrintStream(err, true, "UTF-8"));
        try {
            handOver("x");
            assertFalse("a file still held by its writer is tried again", stuck.poll());
            now += STALL;
            assertTrue(stuck.poll());
            assertFalse(stuck.poll());
            now += STALL;
            assertFalse(stuck.poll());
            assertEquals(4, deleteAttempts[0]);

            // Written anew with other arguments, it is a new hand-over.
            write("y\n");
            assertFalse(stuck.poll());
            now += STALL;
            assertTrue(stuck.poll());
        } finally {
            System.setErr(savedErr);
        }
        assertArrayEquals(new String[] {"x"}, next());
        assertArrayEquals(new String[] {"y"}, next());
        assertNull(received.poll());
        assertTrue(err.toString("UTF-8"), err.toString("UTF-8").startsWith(
                "Jaunt: cannot delete the hand-over file " + comm));
    }

    @Test
    public void aFullQueueLeavesTheFileAndAFailingListenerStopsNothing() throws Exception {
        for (String text : new String[] {"1", "2", "3", "4"}) {
            handOver(text);
            assertEquals("queued: " + text, !text.equals("4"), watcher.poll());
        }
        assertTrue("the next later start waits for its turn", Files.exists(comm));

        BlockingQueue<Throwable> failures = new LinkedBlockingQueue<Throwable>();
        Thread.UncaughtExceptionHandler saved = Thread.getDefaultUncaughtExceptionHandler();
        Thread.setDefaultUncaughtExceptionHandler((thread, failure) -> failures.add(failure));
        try {
            queue.setListener(args -> {
                recorder.newInstanceStarted(args);
                throw new IllegalStateException("listener failed on " + args[0]);
            });
            assertArrayEquals(new String[] {"1"}, next());
            assertTrue(watcher.poll());
            for (String text : new String[] {"2", "3", "4"}) {
                assertArrayEquals(new String[] {text}, next());
            }
            for (String text : new String[] {"1", "2", "3", "4"}) {
                assertEquals("listener failed on " + text,
                        failures.poll(30, TimeUnit.SECONDS).getMessage());
            }
        } finally {
            Thread.setDefaultUncaughtExceptionHandler(saved);
        }
    }

    @Test
    public void theLauncherClassStartsTheWatcherBeforeTheApplicationRuns() throws Exception {
        handOver("'a b' c");
        File output = temp.newFile("output.txt");
        Process process = new ProcessBuilder(
                new File(System.getProperty("java.home"), "bin/java").getPath(),
                "-D" + SingleInstance.COMM_FILE_PROPERTY + "=" + comm,
                "-cp", System.getProperty("java.class.path"), WinLauncher.class.getName(),
                "false", "com.jaunt.runtime.testapps.HandOverApp", "", "", "false", "app.exe")
                .redirectErrorStream(true).redirectOutput(output).start();
        // The application's main returned: the library's threads kept nothing alive.
        assertTrue(process.waitFor(60, TimeUnit.SECONDS));
        assertEquals(0, process.exitValue());
        assertEquals(Arrays.asList("taken before a listener: true", "enabled: true",
                "arguments: a b|c"), Files.readAllLines(output.toPath()));
        assertFalse(SingleInstance.isEnabled());
    }
}
