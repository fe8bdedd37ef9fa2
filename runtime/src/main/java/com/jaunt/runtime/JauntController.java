package com.jaunt.runtime;

import java.util.concurrent.atomic.AtomicReference;

/**
 * Lets the application steer the launcher's splash screen: replace its status line and close it.
 *
 * <p>An application calls {@link #setStatusText(String)} and {@link #closeSplash()} from any
 * thread. The launcher's splash thread polls {@link #getAction()} and {@link #getText()} every
 * 100 ms while the splash is shown. Each status text is handed over once: after the splash has
 * fetched it, {@link #getAction()} answers {@link #ACTION_NONE} until a new text is set. When
 * several texts are set between two polls, only the latest one is shown. A close request is
 * final: from then on {@link #getAction()} answers {@link #ACTION_CLOSE}, whatever text is set.
 *
 * <p>The class is thread-safe and lock-free: no method blocks. Without a splash screen (or when the
 * application runs without the launcher) the calls simply have no visible effect.
 */
public final class JauntController {
    /** {@link #getAction()}: nothing to do. */
    public static final int ACTION_NONE = 0;

    /** {@link #getAction()}: the application asked for the splash screen to close. */
    public static final int ACTION_CLOSE = 1;

    /** {@link #getAction()}: {@link #getText()} holds a new status text. */
    public static final int ACTION_SET_TEXT = 2;

    private static final AtomicReference<String> pendingText = new AtomicReference<String>();
    private static volatile boolean closeRequested;

    private JauntController() {
    }

    /**
     * Shows a status text in the first text line of the splash screen, replacing the text there.
     * The launcher shows at most 8191 bytes of it in the platform's ANSI code page.
     *
     * @param text the status text; null counts as the empty text
     */
    public static void setStatusText(String text) {
        pendingText.set(text == null ? "" : text);
    }

    /** Asks for the splash screen to close. Calling it again changes nothing. */
    public static void closeSplash() {
        closeRequested = true;
    }

    /**
     * Whether {@link #closeSplash()} has been called.
     *
     * @return true once the splash screen has been asked to close
     */
    public static boolean isCloseRequested() {
        return closeRequested;
    }

    /**
     * Called by the launcher's splash thread: tells what the splash screen should do now.
     * Applications do not call it.
     *
     * @return {@link #ACTION_CLOSE} once a close was requested, else {@link #ACTION_SET_TEXT} when
     *     a status text waits to be fetched with {@link #getText()}, else {@link #ACTION_NONE}
     */
    public static int getAction() {
        if (closeRequested) {
            return ACTION_CLOSE;
        }
        return pendingText.get() != null ? ACTION_SET_TEXT : ACTION_NONE;
    }

    /**
     * Called by the launcher's splash thread: hands over the waiting status text, once.
     * Applications do not call it.
     *
     * @return the latest status text set since the previous call, or null when there is none
     */
    public static String getText() {
        return pendingText.getAndSet(null);
    }

    /** Forgets every request, as at start-up. */
    static void reset() {
        closeRequested = false;
        pendingText.set(null);
    }
}
