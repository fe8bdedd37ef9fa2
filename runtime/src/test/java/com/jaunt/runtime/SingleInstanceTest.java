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
import java.io.InputStream;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardOpenOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;
import org.junit.After;
import org.junit.Before;
import org.junit.Rule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

public class SingleInstanceTest {
    @Rule
    public TemporaryFolder temp = new TemporaryFolder();

    private Path comm;
    private final FakeClock clock = new FakeClock();
    private final List<HandOverQueue> queues = new ArrayList<HandOverQueue>();
    private final List<HandOverWatcher> watchers = new ArrayList<HandOverWatcher>();

    /** What the listener received, and on which thread. */
    private final BlockingQueue<String[]> received = new LinkedBlockingQueue<String[]>();
    private final BlockingQueue<Thread> threads = new LinkedBlockingQueue<Thread>();
    private final SingleInstance.Listener recorder = args -> {
        threads.add(Thread.currentThread());
        received.add(args);
    };

    private static final class FakeClock implements HandOverWatcher.Clock {
        long now;

        @Override
        public long nanoTime() {
            return now;
        }

        void advanceMillis(long millis) {
            now += TimeUnit.MILLISECONDS.toNanos(millis);
        }
    }

    @Before
    public void nameTheFile() throws IOException {
        comm = temp.newFolder().toPath().resolve("jnt_p42.tmp");
    }

    @After
    public void stopThreads() {
        for (HandOverWatcher watcher : watchers) {
            watcher.stop();
        }
        for (HandOverQueue queue : queues) {
            queue.stop();
        }
    }

    private HandOverQueue queue(int capacity) {
        HandOverQueue queue = new HandOverQueue(capacity);
        queues.add(queue);
        return queue;
    }

    private HandOverWatcher watcher(HandOverQueue queue) {
        HandOverWatcher watcher = new HandOverWatcher(comm, queue, clock);
        watchers.add(watcher);
        return watcher;
    }

    /** Writes a hand-over as a later instance does: only when there is no file, then LF. */
    private void handOver(String argumentText) throws IOException {
        write((argumentText + "\n").getBytes(StandardCharsets.UTF_16LE),
                StandardOpenOption.CREATE_NEW);
    }

    private void write(byte[] bytes, StandardOpenOption... options) throws IOException {
        Files.write(comm, bytes, options);
    }

    private String[] next() throws InterruptedException {
        String[] args = received.poll(30, TimeUnit.SECONDS);
        assertNotNull("a hand-over was delivered", args);
        return args;
    }

    @Test
    public void laterStartsTakeTurnsAndWaitForTheListenerInOrder() throws Exception {
        HandOverQueue queue = queue(SingleInstance.MAX_PENDING);
        watcher(queue).start();
        String[] texts = {"\"C:\\Users\\Zoë\\Документ 1.txt\" -x", "", "a  'b c' \uD83D\uDE00"};
        for (String text : texts) {
            // Like a later instance: wait for the file to go, then write it.
            for (int i = 0; i < 3000 && Files.exists(comm); i++) {
                Thread.sleep(10);
            }
            handOver(text);
        }
        for (int i = 0; i < 3000 && Files.exists(comm); i++) {
            Thread.sleep(10);
        }
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
    public void anIncompleteFileIsTakenWhenItEndsWithALineFeedOrStopsGrowing() throws Exception {
        HandOverQueue queue = queue(10);
        queue.setListener(recorder);
        HandOverWatcher watcher = watcher(queue);

        write("half".getBytes(StandardCharsets.UTF_16LE));
        assertFalse(watcher.poll());
        clock.advanceMillis(HandOverWatcher.STALL_MILLIS - 1);
        write(" more".getBytes(StandardCharsets.UTF_16LE), StandardOpenOption.APPEND);
        assertFalse(watcher.poll());
        clock.advanceMillis(HandOverWatcher.STALL_MILLIS - 1);
        assertFalse("growing restarts the wait", watcher.poll());
        assertTrue(Files.exists(comm));
        write(" done\n".getBytes(StandardCharsets.UTF_16LE), StandardOpenOption.APPEND);
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"half", "more", "done"}, next());
        assertTrue("read files are deleted", Files.notExists(comm));

        // A writer that died after an odd byte: the file is taken once it stops changing.
        write(new byte[] {'a', 0, 'b'});
        assertFalse(watcher.poll());
        clock.advanceMillis(HandOverWatcher.STALL_MILLIS - 1);
        assertFalse(watcher.poll());
        clock.advanceMillis(1);
        assertTrue(watcher.poll());
        assertArrayEquals(new String[] {"a\uFFFD"}, next());
        assertTrue(Files.notExists(comm));

        // Beyond the size limit the file is cut and taken at once.
        byte[] huge = new byte[HandOverWatcher.MAX_FILE_BYTES + 2];
        for (int i = 0; i < huge.length; i += 2) {
            huge[i] = 'x';
        }
        write(huge);
        assertTrue(watcher.poll());
        assertEquals(HandOverWatcher.MAX_FILE_BYTES / 2, next()[0].length());
        assertTrue(Files.notExists(comm));
    }

    @Test
    public void aFileThatCannotBeDeletedIsHandedOverOnce() throws Exception {
        HandOverQueue queue = queue(10);
        queue.setListener(recorder);
        final int[] deleteAttempts = {0};
        HandOverWatcher watcher = new HandOverWatcher(comm, queue, clock) {
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
            assertFalse("a file still held by its writer is tried again", watcher.poll());
            clock.advanceMillis(HandOverWatcher.STALL_MILLIS);
            assertTrue(watcher.poll());
            assertFalse(watcher.poll());
            clock.advanceMillis(HandOverWatcher.STALL_MILLIS);
            assertFalse(watcher.poll());
            assertEquals(4, deleteAttempts[0]);

            // Written anew with other arguments, it is a new hand-over.
            write("y\n".getBytes(StandardCharsets.UTF_16LE));
            assertFalse(watcher.poll());
            clock.advanceMillis(HandOverWatcher.STALL_MILLIS);
            assertTrue(watcher.poll());
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
        HandOverQueue queue = queue(1);
        HandOverWatcher watcher = watcher(queue);
        handOver("first");
        assertTrue(watcher.poll());
        handOver("second");
        assertFalse(watcher.poll());
        assertTrue("the next later start waits for its turn", Files.exists(comm));

        BlockingQueue<Throwable> failures = new LinkedBlockingQueue<Throwable>();
        Thread.UncaughtExceptionHandler saved = Thread.getDefaultUncaughtExceptionHandler();
        Thread.setDefaultUncaughtExceptionHandler((thread, failure) -> failures.add(failure));
        try {
            queue.setListener(args -> {
                recorder.newInstanceStarted(args);
                throw new IllegalStateException("listener failed on " + args[0]);
            });
            assertArrayEquals(new String[] {"first"}, next());
            assertTrue(watcher.poll());
            assertArrayEquals(new String[] {"second"}, next());
            for (String which : new String[] {"first", "second"}) {
                Throwable failure = failures.poll(30, TimeUnit.SECONDS);
                assertEquals("listener failed on " + which, failure.getMessage());
            }
        } finally {
            Thread.setDefaultUncaughtExceptionHandler(saved);
        }
    }

    @Test
    public void theLauncherClassStartsTheWatcherBeforeTheApplicationRuns() throws Exception {
        handOver("'a b' c");
        List<String> command = new ArrayList<String>(Arrays.asList(
                new File(System.getProperty("java.home"), "bin/java").getPath(),
                "-D" + SingleInstance.COMM_FILE_PROPERTY + "=" + comm,
                "-cp", System.getProperty("java.class.path"), WinLauncher.class.getName(),
                "false", "com.jaunt.runtime.testapps.HandOverApp", "", "", "false", "app.exe"));
        Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
        ByteArrayOutputStream output = new ByteArrayOutputStream();
        InputStream in = process.getInputStream();
        byte[] buffer = new byte[4096];
        for (int n; (n = in.read(buffer)) > 0; ) {
            output.write(buffer, 0, n);
        }
        // The application's main returned: the library's threads kept nothing alive.
        assertTrue(process.waitFor(60, TimeUnit.SECONDS));
        assertEquals(0, process.exitValue());
        assertEquals(Arrays.asList("taken before a listener: true", "enabled: true",
                "arguments: a b|c"), Arrays.asList(output.toString("UTF-8").split("\\R")));
        assertFalse(SingleInstance.isEnabled());
    }
}
