package com.jaunt.runtime;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;

/**
 * The class whose {@code main} the Windows launcher calls once the JVM is running; it starts the
 * application.
 *
 * <p>The launcher passes, in this order:
 * <ol>
 * <li>"true" when the launcher is a GUI program (no console), otherwise "false";</li>
 * <li>the application's main class, a binary class name such as {@code com.example.Main};</li>
 * <li>the full path of a file that receives the application's standard error, or an empty
 * text;</li>
 * <li>the full path of a file that receives the application's standard output, or an empty
 * text;</li>
 * <li>"true" when output is appended to existing files, "false" when they are replaced;</li>
 * <li>the program name, as written on the command line;</li>
 * <li>and then the application's arguments: the configured ones followed by the user's.</li>
 * </ol>
 *
 * <p>Position 6 is always taken as the program name; the application's arguments are those after
 * it. Only the exact text "true" counts as true in positions 1 and 5.
 *
 * <p>{@code main} then:
 * <ul>
 * <li>redirects {@code System.err} to the file of position 3 and {@code System.out} to the file of
 * position 4, when given. Each file is created when something is first written to it (a run that
 * writes nothing leaves no file and leaves an earlier file untouched); position 5 chooses
 * appending to an existing file over replacing it. Missing parent directories are created. When
 * both paths name the same file, both streams write to it in turn. A file that cannot be opened
 * is reported on the original standard error, and its output goes to the original stream;</li>
 * <li>sets the system property {@value #PROGRAM_NAME_PROPERTY} to the program name (when the
 * launcher passed one) and {@value #GUI_LAUNCHER_PROPERTY} to position 1;</li>
 * <li>with the single-instance guard on (the system property
 * {@value SingleInstance#COMM_FILE_PROPERTY} is set), starts watching for the arguments of later
 * starts, which the application receives through {@link SingleInstance};</li>
 * <li>loads the main class through the system class loader and calls its
 * {@code public static void main(String[])} with the application's arguments, exactly as the
 * launcher passed them, on the calling thread. It returns when the application's {@code main}
 * returns; an exception that the application's {@code main} throws is thrown on unchanged.</li>
 * </ul>
 *
 * <p>A main class that cannot be found or loaded, or that has no such {@code main}, is reported on
 * standard error (after the redirection, so in the error file when one is configured) with the
 * class name, and {@code main} throws, so that the launcher reports a failed launch.
 */
public final class WinLauncher {
    /** System property that holds the program name that the launcher was started with. */
    public static final String PROGRAM_NAME_PROPERTY = "jaunt.programName";

    /** System property that is "true" when the launcher is a GUI program, otherwise "false". */
    public static final String GUI_LAUNCHER_PROPERTY = "jaunt.guiLauncher";

    private WinLauncher() {
    }

    /**
     * Starts the application as described above.
     *
     * @param args the launcher's parameter list
     * @throws IllegalArgumentException when fewer than five arguments are given, or the main class
     *     name is empty
     * @throws ClassNotFoundException when the main class does not exist
     * @throws NoSuchMethodException when the main class has no {@code public static void main}
     *     taking a {@code String[]}
     * @throws Throwable whatever the application's {@code main} throws, or a linkage error of
     *     its class
     */
    public static void main(String[] args) throws Throwable {
        LaunchArguments launch;
        try {
            launch = LaunchArguments.parse(args);
        } catch (IllegalArgumentException e) {
            report(e.getMessage());
            throw e;
        }
        OutputRedirection.install(launch.errorFile, launch.outputFile, launch.appendToFiles);
        if (launch.programName != null) {
            System.setProperty(PROGRAM_NAME_PROPERTY, launch.programName);
        }
        System.setProperty(GUI_LAUNCHER_PROPERTY, Boolean.toString(launch.guiLauncher));

        Method main = findMain(launch.mainClass);
        Thread current = Thread.currentThread();
        if (current.getContextClassLoader() == null) {
            current.setContextClassLoader(ClassLoader.getSystemClassLoader());
        }
        // Later starts are served from now on, even before the application sets a listener.
        SingleInstance.startWatching();
        try {
            main.invoke(null, (Object) launch.applicationArguments);
        } catch (InvocationTargetException e) {
            // The application's own exception, without the reflection wrapper around it.
            throw e.getCause() != null ? e.getCause() : e;
        } catch (IllegalAccessException e) {
            report("cannot call main of the application's main class " + launch.mainClass + ": "
                    + e);
            throw e;
        }
    }

    /** Finds the application's {@code public static void main(String[])}, reporting failures. */
    static Method findMain(String className) throws Throwable {
        if (className.isEmpty()) {
            String message = "no main class is configured for the application";
            report(message);
            throw new IllegalArgumentException(message);
        }
        Class<?> mainClass;
        try {
            // Not initialised here: a failing static initialiser is the application's own error
            // and surfaces when main is called.
            mainClass = Class.forName(className, false, ClassLoader.getSystemClassLoader());
        } catch (ClassNotFoundException e) {
            report("cannot find the application's main class " + className);
            throw e;
        } catch (LinkageError e) {
            report("cannot load the application's main class " + className + ": " + e);
            throw e;
        }
        Method main;
        try {
            main = mainClass.getMethod("main", String[].class);
        } catch (NoSuchMethodException e) {
            throw noMain(className);
        } catch (LinkageError e) {
            report("cannot load the application's main class " + className + ": " + e);
            throw e;
        }
        if (!Modifier.isStatic(main.getModifiers()) || main.getReturnType() != void.class) {
            throw noMain(className);
        }
        if (!Modifier.isPublic(mainClass.getModifiers())) {
            // A public main of a class that is not public may still be started, as the
            // java command does.
            try {
                main.setAccessible(true);
            } catch (RuntimeException e) {
                // invoke reports the access failure.
            }
        }
        return main;
    }

    private static NoSuchMethodException noMain(String className) {
        String message = "the application's main class " + className
                + " has no method public static void main(String[])";
        report(message);
        return new NoSuchMethodException(message);
    }

    private static void report(String message) {
        System.err.println("Jaunt: " + message);
    }
}
