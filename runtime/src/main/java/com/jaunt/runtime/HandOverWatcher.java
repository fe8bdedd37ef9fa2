package com.jaunt.runtime;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.util.Arrays;
import java.util.concurrent.TimeUnit;

/**
 * Watches the file through which later instances of a single-instance launcher hand over their
 * arguments, and queues each hand-over.
 *
 * <p>The file holds the argument text as UTF-16LE code units without byte-order mark, followed by
 * one line feed. A later instance writes the file only while it does not exist, so the file is
 * deleted as soon as it has been read, which lets the next one write. The file is checked every
 * {@value #POLL_MILLIS} ms; a plain check of one file is cheap and works on every file system.
 *
 * <ul>
 * <li>A file is complete when it ends with the line feed. One that does not, and that has not
 * changed for {@value #STALL_MILLIS} ms, is taken as it is, so that a writer that died halfway
 * does not block every later hand-over. A final odd byte becomes U+FFFD.</li>
 * <li>A file that cannot be read yet (the writer may still hold it) is tried again.</li>
 * <li>A complete file is handed over once it has been deleted. A file that cannot be deleted
 * (the writer may still be closing it) is tried again; when deleting keeps failing for
 * {@value #STALL_MILLIS} ms it is handed over anyway, once: it is not handed over again while it
 * keeps that content.</li>
 * <li>While the queue is full the file is left alone: the later instance waits for its turn.</li>
 * <li>At most {@value #MAX_FILE_BYTES} bytes are read; a longer file is cut there. A Windows
 * command line is far shorter.</li>
 * </ul>
 */
class HandOverWatcher {
    static final int POLL_MILLIS = 50;
    static final int STALL_MILLIS = 2000;
    static final int MAX_FILE_BYTES = 1 << 20;
    static final String THREAD_NAME = "Jaunt single-instance watcher";

    /** A source of monotonic time in nanoseconds, replaceable by tests. */
    interface Clock {
        long nanoTime();
    }

    private final Path file;
    private final HandOverQueue queue;
    private final Clock clock;

    // State of the watcher thread only.
    /** The content last seen of a file not handed over yet, and since when it has not changed. */
    private byte[] lastSeen;
    private long lastSeenSince;
    /** The content of a file that was handed over but could not be deleted. */
    private byte[] handedOverUndeleted;
    private volatile Thread thread;

    HandOverWatcher(Path file, HandOverQueue queue, Clock clock) {
        this.file = file;
        this.queue = queue;
        this.clock = clock;
    }

    HandOverWatcher(Path file, HandOverQueue queue) {
        this(file, queue, new Clock() {
            @Override
            public long nanoTime() {
                return System.nanoTime();
            }
        });
    }

    /** Starts checking the file on a daemon thread of its own. */
    synchronized void start() {
        if (thread != null) {
            return;
        }
        Thread watcher = new Thread(new Runnable() {
            @Override
            public void run() {
                watch();
            }
        }, THREAD_NAME);
        watcher.setDaemon(true);
        thread = watcher;
        watcher.start();
    }

    /** Ends the watcher thread; used by tests. */
    void stop() {
        Thread watcher = thread;
        if (watcher != null) {
            watcher.interrupt();
        }
    }

    private void watch() {
        boolean reported = false;
        while (!Thread.currentThread().isInterrupted()) {
            try {
                poll();
            } catch (RuntimeException e) {
                // One bad look at the file must not end the watching for good; a lasting
                // failure is reported once, not every poll.
                if (!reported) {
                    report("cannot take the hand-over of file " + file + ": " + e);
                    reported = true;
                }
            }
            try {
                Thread.sleep(POLL_MILLIS);
            } catch (InterruptedException e) {
                return;
            }
        }
    }

    /**
     * Looks at the file once and queues its hand-over when it is ready.
     *
     * @return true when a hand-over was queued
     */
    boolean poll() {
        if (!queue.hasRoom()) {
            return false;
        }
        byte[] content;
        try {
            content = read();
        } catch (NoSuchFileException e) {
            lastSeen = null;
            handedOverUndeleted = null;
            return false;
        } catch (IOException e) {
            return false;  // perhaps still held by its writer: next time
        }
        if (handedOverUndeleted != null) {
            if (Arrays.equals(content, handedOverUndeleted)) {
                delete();
                return false;
            }
            handedOverUndeleted = null;  // rewritten: a new hand-over
        }
        long now = clock.nanoTime();
        if (lastSeen == null || !Arrays.equals(content, lastSeen)) {
            lastSeen = content;
            lastSeenSince = now;
        }
        boolean stalled = now - lastSeenSince >= TimeUnit.MILLISECONDS.toNanos(STALL_MILLIS);
        if (!isComplete(content) && !stalled) {
            return false;
        }
        if (!delete()) {
            if (!stalled) {
                return false;
            }
            report("cannot delete the hand-over file " + file + "; its content is taken once");
            handedOverUndeleted = content;
        }
        lastSeen = null;
        return queue.offer(ArgumentSplitter.splitHandOver(decode(content)));
    }

    /** Deletes the file; false when it is still there. */
    boolean delete() {
        try {
            Files.deleteIfExists(file);
            return true;
        } catch (IOException e) {
            return false;
        }
    }

    private byte[] read() throws IOException {
        InputStream in = Files.newInputStream(file);
        try {
            byte[] buffer = new byte[4096];
            int length = 0;
            while (length < MAX_FILE_BYTES) {
                if (length == buffer.length) {
                    buffer = Arrays.copyOf(buffer, Math.min(2 * length, MAX_FILE_BYTES));
                }
                int n = in.read(buffer, length, buffer.length - length);
                if (n < 0) {
                    break;
                }
                length += n;
            }
            return Arrays.copyOf(buffer, length);
        } finally {
            in.close();
        }
    }

    /** Complete: whole UTF-16 units, the last of them a line feed. A cut file counts too. */
    static boolean isComplete(byte[] content) {
        int n = content.length;
        if (n >= MAX_FILE_BYTES) {
            return true;
        }
        return n >= 2 && n % 2 == 0 && content[n - 2] == 0x0A && content[n - 1] == 0;
    }

    /**
     * The text of a hand-over file: its UTF-16LE units taken as they are (a lone surrogate, which
     * Windows allows in a command line, stays), a final odd byte as U+FFFD, without the final line
     * feed.
     */
    static String decode(byte[] content) {
        int units = content.length / 2;
        StringBuilder text = new StringBuilder(units + 1);
        for (int i = 0; i < units; i++) {
            text.append((char) ((content[2 * i] & 0xFF) | (content[2 * i + 1] & 0xFF) << 8));
        }
        if (content.length % 2 != 0) {
            text.append('\uFFFD');
        } else if (units > 0 && text.charAt(units - 1) == '\n') {
            text.setLength(units - 1);
        }
        return text.toString();
    }

    private static void report(String message) {
        System.err.println("Jaunt: " + message);
    }
}
