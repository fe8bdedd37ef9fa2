package com.jaunt.runtime;

import java.io.File;
import java.io.IOException;
import java.io.PrintStream;

/**
 * Sends {@code System.err} and {@code System.out} to the files the launcher names.
 *
 * <p>Each file is created at its first write (see {@link FileOnFirstWrite}) and written with the
 * platform's default character encoding. When both names denote the same file, both streams share
 * one {@link PrintStream}, so that they add to the file in turn instead of overwriting each other.
 */
final class OutputRedirection {
    private OutputRedirection() {
    }

    /**
     * Replaces the standard streams whose file is given; a null name leaves that stream as it is.
     * A file that cannot be opened makes its stream fall back to the original standard error (for
     * a shared file) or to the stream it replaced.
     */
    static void install(String errorFile, String outputFile, boolean append) {
        PrintStream originalErr = System.err;
        PrintStream originalOut = System.out;
        PrintStream err = null;
        if (errorFile != null) {
            err = fileStream(new File(errorFile), append, originalErr);
            System.setErr(err);
        }
        if (outputFile != null) {
            File file = new File(outputFile);
            if (err != null && sameFile(file, new File(errorFile))) {
                System.setOut(err);
            } else {
                System.setOut(fileStream(file, append, originalOut));
            }
        }
    }

    private static PrintStream fileStream(File file, boolean append, PrintStream fallback) {
        // Auto-flush on every line; the underlying stream is unbuffered anyway.
        return new PrintStream(new FileOnFirstWrite(file, append, fallback), true);
    }

    /** Whether two names denote the same file; on Windows letter case does not tell files apart. */
    static boolean sameFile(File a, File b) {
        String first = canonical(a);
        String second = canonical(b);
        return File.separatorChar == '\\' ? first.equalsIgnoreCase(second) : first.equals(second);
    }

    private static String canonical(File file) {
        try {
            return file.getCanonicalPath();
        } catch (IOException | SecurityException e) {
            return file.getAbsolutePath();
        }
    }
}
