package com.jaunt.runtime;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.attribute.FileTime;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.TimeUnit;
import java.util.regex.Pattern;

/**
 * Watches the file through which later instances of a single-instance launcher hand over their
 * arguments, and the pending files beside it, and queues each hand-over.
 *
 * <p>A file holds the argument text as UTF-16LE code units without byte-order mark, followed by
 * one line feed. A later instance writes the communication file only while it does not exist, so
 * the file is deleted as soon as it has been read, which lets the next one write. The file is
 * checked every {@value #POLL_MILLIS} ms; a plain check of one file is cheap and works on every
 * file system.
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
 *
 * <p><b>Pending files.</b> A later instance first puts its text into a pending file of its own
 * beside the communication file, named like it without ".tmp", then "_", its process id, "_", its
 * thread id and ".tmp" (for "jnt_p42.tmp": "jnt_p42_1234_5678.tmp"). It writes that file under a
 * ".part" name and renames it once it is whole, so a pending file is always complete; ".part" files
 * are never read. It then moves the pending file to the communication file while none exists, and
 * when its wait ends first it leaves the pending file where it is. The watcher takes pending files
 * too, whole, in arrival order with the communication file:
 * <ul>
 * <li>Arrival order is the order of the files' last-modified times, which is when each later start
 * wrote its text (renaming keeps that time). Ties go to the communication file, then by name. The
 * time is the one thing that travels with the text when it is moved into the communication file,
 * whose name is fixed.</li>
 * <li>A pending file is handed over only when the watcher's delete removed it; when it is gone
 * instead, its writer moved it into the communication file, where it is found next.</li>
 * <li>A file that is not ready (incomplete, held by another program) holds up the younger ones,
 * which keeps the order; after {@value #STALL_MILLIS} ms it is passed over, so one stuck file does
 * not stop all later hand-overs.</li>
 * <li>The directory is listed whenever the communication file exists (later instances are then
 * waiting for their turn), at the first check and otherwise every {@value #LIST_MILLIS} ms; a
 * temporary directory may hold many files, too many to list every {@value #POLL_MILLIS} ms.</li>
 * </ul>
 */
class HandOverWatcher {
    static final int POLL_MILLIS = 50;
    static final int STALL_MILLIS = 2000;
    static final int MAX_FILE_BYTES = 1 << 20;
    static final int LIST_MILLIS = 1000;
    static final String THREAD_NAME = "Jaunt single-instance watcher";

    /** A source of monotonic time in nanoseconds, replaceable by tests. */
    interface Clock {
        long nanoTime();
    }

    private final Path file;
    private final HandOverQueue queue;
    private final Clock clock;
    /** The directory of the file, and the names of pending files in it, letter case aside. */
    private final Path directory;
    private final Pattern pendingName;

    /** What became of a file the watcher tried to take. */
    private enum Take {
        TAKEN,      // queued
        PASS,       // nothing to take there now; the younger files may go on
        NOT_READY,  // try again later; the younger files wait
        GONE        // it went away meanwhile; the next check sees where
    }

    // State of the watcher thread only.
    /** The content last seen of a file not handed over yet, and since when it has not changed. */
    private byte[] lastSeen;
    private long lastSeenSince;
    /** The content of a file that was handed over but could not be deleted. */
    private byte[] handedOverUndeleted;
    /** The files that were not ready when last tried, and since when. */
    private final Map<Path, Long> notReadySince = new HashMap<Path, Long>();
    private boolean listed;
    private long listedAt;
    private volatile Thread thread;

    HandOverWatcher(Path file, HandOverQueue queue, Clock clock) {
        this.file = file;
        this.queue = queue;
        this.clock = clock;
        Path parent = file.toAbsolutePath().getParent();
        this.directory = parent != null ? parent : file.toAbsolutePath();
        Path fileName = file.getFileName();
        String name = fileName != null ? fileName.toString().toLowerCase(Locale.ROOT) : "";
        if (name.endsWith(".tmp")) {
            name = name.substring(0, name.length() - 4);
        }
        this.pendingName = Pattern.compile(Pattern.quote(name) + "_[0-9]+_[0-9]+\\.tmp");
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
     * Looks at the communication file and the pending files once and queues the hand-overs that
     * are ready, oldest first.
     *
     * @return true when a hand-over was queued
     */
    boolean poll() {
        if (!queue.hasRoom()) {
            return false;
        }
        long now = clock.nanoTime();
        List<Waiting> waiting = new ArrayList<Waiting>();
        boolean commExists = Files.exists(file);
        if (!commExists) {
            lastSeen = null;
            handedOverUndeleted = null;
        } else if (Files.isRegularFile(file)) {
            addWaiting(waiting, file, true);
        }
        boolean list = commExists || !listed
                || now - listedAt >= TimeUnit.MILLISECONDS.toNanos(LIST_MILLIS);
        if (list) {
            listed = true;
            listedAt = now;
            for (Path pending : pendingFiles()) {
                addWaiting(waiting, pending, false);
            }
        }
        if (list) {
            notReadySince.keySet().retainAll(paths(waiting));
        } else if (!commExists) {
            notReadySince.remove(file);
        }
        Collections.sort(waiting);
        boolean queued = false;
        for (Waiting next : waiting) {
            if (!queue.hasRoom()) {
                break;
            }
            Take take = next.comm ? takeCommFile(now) : takePendingFile(next.path);
            if (take != Take.NOT_READY) {
                notReadySince.remove(next.path);
                queued |= take == Take.TAKEN;
                if (take == Take.GONE) {
                    break;
                }
                continue;
            }
            Long since = notReadySince.get(next.path);
            if (since == null) {
                notReadySince.put(next.path, now);
                break;
            }
            if (now - since < TimeUnit.MILLISECONDS.toNanos(STALL_MILLIS)) {
                break;
            }
            // Stuck for a while: passed over, tried again at the next checks.
        }
        return queued;
    }

    /** A file that may hold a hand-over, ordered by arrival. */
    private static final class Waiting implements Comparable<Waiting> {
        final Path path;
        final FileTime time;
        final boolean comm;

        Waiting(Path path, FileTime time, boolean comm) {
            this.path = path;
            this.time = time;
            this.comm = comm;
        }

        @Override
        public int compareTo(Waiting other) {
            int order = time.compareTo(other.time);
            if (order == 0 && comm != other.comm) {
                order = comm ? -1 : 1;
            }
            return order != 0 ? order : path.getFileName().toString()
                    .compareTo(other.path.getFileName().toString());
        }
    }

    private static void addWaiting(List<Waiting> waiting, Path path, boolean comm) {
        try {
            waiting.add(new Waiting(path, Files.getLastModifiedTime(path), comm));
        } catch (IOException e) {
            // gone meanwhile, or not to be looked at: not waiting
        }
    }

    private static List<Path> paths(List<Waiting> waiting) {
        List<Path> paths = new ArrayList<Path>();
        for (Waiting each : waiting) {
            paths.add(each.path);
        }
        return paths;
    }

    /** The complete pending files beside the communication file. */
    private List<Path> pendingFiles() {
        List<Path> found = new ArrayList<Path>();
        try (DirectoryStream<Path> entries = Files.newDirectoryStream(directory)) {
            for (Path entry : entries) {
                Path name = entry.getFileName();
                if (name != null && pendingName.matcher(name.toString().toLowerCase(Locale.ROOT)).matches()
                        && Files.isRegularFile(entry)) {
                    found.add(entry);
                }
            }
        } catch (IOException | RuntimeException e) {
            // the directory cannot be listed now: next time
        }
        return found;
    }

    private Take takeCommFile(long now) {
        byte[] content;
        try {
            content = read(file);
        } catch (NoSuchFileException e) {
            lastSeen = null;
            handedOverUndeleted = null;
            return Take.GONE;
        } catch (IOException e) {
            return Take.NOT_READY;  // perhaps still held by its writer: next time
        }
        if (handedOverUndeleted != null) {
            if (Arrays.equals(content, handedOverUndeleted)) {
                delete();
                return Take.PASS;
            }
            handedOverUndeleted = null;  // rewritten: a new hand-over
        }
        if (lastSeen == null || !Arrays.equals(content, lastSeen)) {
            lastSeen = content;
            lastSeenSince = now;
        }
        boolean stalled = now - lastSeenSince >= TimeUnit.MILLISECONDS.toNanos(STALL_MILLIS);
        if (!isComplete(content) && !stalled) {
            return Take.NOT_READY;
        }
        if (!delete()) {
            if (!stalled) {
                return Take.NOT_READY;
            }
            report("cannot delete the hand-over file " + file + "; its content is taken once");
            handedOverUndeleted = content;
        }
        lastSeen = null;
        return offer(content);
    }

    /**
     * A pending file is complete whenever it exists. It is the watcher's only when deleting it
     * removes it: otherwise its writer has just moved it into the communication file.
     */
    private Take takePendingFile(Path pending) {
        byte[] content;
        try {
            content = read(pending);
            if (!deletePending(pending)) {
                return Take.GONE;
            }
        } catch (NoSuchFileException e) {
            return Take.GONE;
        } catch (IOException e) {
            return Take.NOT_READY;
        }
        return offer(content);
    }

    /** Deletes a pending file: true when this call removed it, false when it was gone. */
    boolean deletePending(Path pending) throws IOException {
        return Files.deleteIfExists(pending);
    }

    // Only this thread offers, so the room seen before taking a file is still there.
    private Take offer(byte[] content) {
        return queue.offer(ArgumentSplitter.splitHandOver(decode(content))) ? Take.TAKEN : Take.PASS;
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

    private static byte[] read(Path path) throws IOException {
        InputStream in = Files.newInputStream(path);
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
