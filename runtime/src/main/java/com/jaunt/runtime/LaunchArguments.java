package com.jaunt.runtime;

import java.util.Arrays;

/**
 * The parameter list that the launcher hands to {@link WinLauncher#main(String[])}, taken apart.
 *
 * <p>Positions, counted from 1: (1) "true" for a GUI launcher, (2) the application's main class,
 * (3) the standard error file or an empty text, (4) the standard output file or an empty text,
 * (5) "true" to append to those files, (6) the program name, then the application's arguments
 * (the configured ones followed by the user's).
 */
final class LaunchArguments {
    /** Number of leading arguments that belong to the runtime library, not to the application. */
    static final int RUNTIME_ARGUMENT_COUNT = 5;

    final boolean guiLauncher;
    final String mainClass;
    /** Standard error file, or null when standard error stays as it is. */
    final String errorFile;
    /** Standard output file, or null when standard output stays as it is. */
    final String outputFile;
    final boolean appendToFiles;
    /** The program name, or null when the launcher passed none. */
    final String programName;
    /** The application's arguments: a copy, element for element as the launcher passed them. */
    final String[] applicationArguments;

    private LaunchArguments(String[] args) {
        guiLauncher = "true".equals(args[0]);
        mainClass = args[1] == null ? "" : args[1];
        errorFile = emptyToNull(args[2]);
        outputFile = emptyToNull(args[3]);
        appendToFiles = "true".equals(args[4]);
        programName = args.length > RUNTIME_ARGUMENT_COUNT ? args[RUNTIME_ARGUMENT_COUNT] : null;
        applicationArguments = args.length > RUNTIME_ARGUMENT_COUNT + 1
                ? Arrays.copyOfRange(args, RUNTIME_ARGUMENT_COUNT + 1, args.length)
                : new String[0];
    }

    /**
     * Takes the launcher's parameter list apart.
     *
     * @throws IllegalArgumentException when fewer than the five runtime arguments are present
     */
    static LaunchArguments parse(String[] args) {
        int count = args == null ? 0 : args.length;
        if (count < RUNTIME_ARGUMENT_COUNT) {
            throw new IllegalArgumentException("expected at least " + RUNTIME_ARGUMENT_COUNT
                    + " launcher arguments before the program name, got " + count);
        }
        return new LaunchArguments(args);
    }

    private static String emptyToNull(String text) {
        return text == null || text.isEmpty() ? null : text;
    }
}
