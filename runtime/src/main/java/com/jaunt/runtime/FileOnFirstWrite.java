package com.jaunt.runtime;

import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.io.PrintStream;

/**
 * An output stream that opens its file only when the first byte is written, so that a run that
 * writes nothing leaves no file (and leaves an earlier file untouched).
 *
 * <p>The file is opened for appending or replacing; missing parent directories are created. When
 * the file cannot be opened, one notice goes to the fallback stream and everything written from
 * then on goes there too, so that no output is lost. Writes are not buffered: each one reaches the
 * file at once, since the launcher may end the process without flushing Java's streams. All methods
 * are synchronized, so that threads writing at the same time cannot open the file twice.
 */
final class FileOnFirstWrite extends OutputStream {
    private final File file;
    private final boolean append;
    private final PrintStream fallback;
    private OutputStream target;
    private boolean closed;

    FileOnFirstWrite(File file, boolean append, PrintStream fallback) {
        this.file = file;
        this.append = append;
        this.fallback = fallback;
    }

    File file() {
        return file;
    }

    /** Whether the first write has happened (and the file, or the fallback, is in use). */
    synchronized boolean isOpen() {
        return target != null;
    }

    @Override
    public synchronized void write(int b) throws IOException {
        target().write(b);
    }

    @Override
    public synchronized void write(byte[] bytes, int offset, int length) throws IOException {
        if (offset < 0 || length < 0 || length > bytes.length - offset) {
            throw new IndexOutOfBoundsException();
        }
        if (length == 0) {
            return;
        }
        target().write(bytes, offset, length);
    }

    @Override
    public synchronized void flush() throws IOException {
        if (target != null) {
            target.flush();
        }
    }

    /** Closes the file when it was opened; the fallback stream is never closed from here. */
    @Override
    public synchronized void close() throws IOException {
        closed = true;
        if (target != null && target != fallback) {
            target.close();
        }
    }

    private OutputStream target() throws IOException {
        if (closed) {
            throw new IOException("stream closed: " + file);
        }
        if (target == null) {
            target = open();
        }
        return target;
    }

    private OutputStream open() {
        try {
            File parent = file.getAbsoluteFile().getParentFile();
            if (parent != null && !parent.isDirectory()) {
                // A failure here shows up as the FileOutputStream's own error below.
                parent.mkdirs();
            }
            return new FileOutputStream(file, append);
        } catch (IOException | SecurityException e) {
            fallback.println("Jaunt: cannot open " + file + " for writing (" + e.getMessage()
                    + "); its output goes to the original stream instead");
            return fallback;
        }
    }
}
