package com.jaunt.runtime;

import java.nio.file.InvalidPathException;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * Receives the arguments of later starts of a single-instance application.
 *
 * <p>When the launcher is configured to run only once ({@code single_instance = true}), starting it
 * again (for example by double-clicking a document while the application runs) starts no second
 * JVM: the new launcher brings the running application's windows to the front, hands its
 * command-line arguments to the running application and ends. The application receives them
 * through a {@link Listener}:
 *
 * <pre>{@code
 * public static void main(String[] args) {
 *     openDocuments(args);
 *     SingleInstance.setListener(arguments ->
 *             SwingUtilities.invokeLater(() -> openDocuments(arguments)));
 *     ...
 * }
 * }</pre>
 *
 * <p><b>Arguments.</b> The listener receives the arguments that the later start was given on its
 * command line, without the program name, split exactly as the launcher splits a command line:
 * only blanks separate, double or single quotes group an argument and are removed, there is no
 * escape character, and any characters (non-ASCII ones included) arrive unchanged. Where the
 * launcher would refuse a command line because a quote has no partner, the quote here runs to the
 * end of the text. A start without arguments gives an empty array: the application still learns
 * that it was started again. Each call gets an array of its own.
 *
 * <p><b>Threading.</b> The listener is called on one dedicated daemon thread, named
 * "Jaunt single-instance listener", one hand-over at a time, in the order in which the later
 * starts handed them over. The listener should return quickly; user-interface work belongs on the
 * toolkit's thread ({@code SwingUtilities.invokeLater}, {@code Platform.runLater}). Hand-overs
 * that arrive meanwhile are queued, not lost. When the listener throws, the exception goes to the
 * thread's uncaught exception handler (by default printed on standard error) and delivery goes on
 * with the next hand-over.
 *
 * <p><b>Before a listener is set.</b> Hand-overs that arrive before {@link #setListener} is called,
 * or while no listener is set, are queued and delivered, in order, as soon as one is set. The
 * queue holds up to 1000 hand-overs; while it is full, further later starts wait their turn in the
 * launcher instead of being dropped.
 *
 * <p><b>The watcher.</b> The launcher names the hand-over file in the system property
 * {@value #COMM_FILE_PROPERTY}. When the property is set, the launcher's start-up code starts the
 * watcher before the application's {@code main}, so that later starts are served (and end at once)
 * even before the application sets a listener. The watcher checks the file every 50 ms on a daemon
 * thread, "Jaunt single-instance watcher"; neither thread keeps the JVM alive. A later start that
 * could not wait for its turn leaves its arguments in a pending file beside that file; the watcher
 * takes those as well, so no later start's arguments are lost however busy the application was. Without the property
 * (the launcher is not a single-instance one, or the application runs without the launcher) there
 * are no hand-overs and no threads, and setting a listener is harmless.
 *
 * <p>All methods may be called from any thread.
 */
public final class SingleInstance {
    /** System property in which the launcher names the file that later starts write to. */
    public static final String COMM_FILE_PROPERTY = "jaunt.processCommFile";

    /** How many hand-overs wait at most for a listener. */
    static final int MAX_PENDING = 1000;

    /**
     * Receives the arguments of a later start of the application.
     *
     * @see SingleInstance
     */
    @FunctionalInterface
    public interface Listener {
        /**
         * Called on the thread "Jaunt single-instance listener" when the application was started
         * again.
         *
         * @param args the later start's command-line arguments, without the program name; never
         *     null, empty when it had none
         */
        void newInstanceStarted(String[] args);
    }

    private static final HandOverQueue QUEUE = new HandOverQueue(MAX_PENDING);
    private static boolean watching;  // guarded by SingleInstance.class

    private SingleInstance() {
    }

    /**
     * Whether the launcher runs this application as a single instance, that is, whether it named a
     * hand-over file in {@value #COMM_FILE_PROPERTY}.
     *
     * @return true when the system property is set to a non-empty text
     */
    public static boolean isEnabled() {
        String file = System.getProperty(COMM_FILE_PROPERTY);
        return file != null && !file.isEmpty();
    }

    /**
     * Sets the listener that receives the arguments of later starts, replacing the one set before.
     * Hand-overs already queued go to the new listener. A hand-over that is being delivered at
     * that moment still goes to the listener that was set when its delivery began.
     *
     * @param listener the new listener; null removes the listener, and hand-overs are queued
     *     until one is set again
     */
    public static void setListener(Listener listener) {
        startWatching();
        QUEUE.setListener(listener);
    }

    /**
     * Starts the watcher when the launcher named a hand-over file and it does not run yet. Called
     * by {@link WinLauncher} before the application's {@code main}.
     */
    static synchronized void startWatching() {
        if (watching || !isEnabled()) {
            return;
        }
        watching = true;
        String name = System.getProperty(COMM_FILE_PROPERTY);
        Path file;
        try {
            file = Paths.get(name);
        } catch (InvalidPathException e) {
            System.err.println("Jaunt: cannot watch the hand-over file " + name + ": "
                    + e.getMessage());
            return;
        }
        new HandOverWatcher(file, QUEUE).start();
    }
}
