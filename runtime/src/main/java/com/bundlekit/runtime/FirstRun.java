package com.bundlekit.runtime;

/**
 * The first-run hook of launchers made by the installer build tool.
 *
 * <p>Such a launcher calls {@link #firstRun()} before it starts the application, but only while
 * the marker file {@code .bundlekit\firstrun} exists in the installation directory. The launcher
 * neither creates nor removes that marker; the installation does.
 *
 * <p>The hook lets the installation stop a start: when the system property
 * {@value #FIRST_RUN_PROPERTY} is "false" (letter case and surrounding blanks do not matter), the
 * launcher ends without starting the application, with exit code 0. An installation sets it, for
 * example, with the line {@code -Djaunt.firstRun=false} in the launcher's {@code .vmoptions} file.
 * Any other value, or no value, lets the start go on.
 */
public final class FirstRun {
    /** System property through which an installation stops a start: "false" stops it. */
    public static final String FIRST_RUN_PROPERTY = "jaunt.firstRun";

    private FirstRun() {
    }

    /**
     * Tells the launcher whether to go on and start the application.
     *
     * @return false when the system property {@value #FIRST_RUN_PROPERTY} is "false", otherwise
     *     true
     */
    public static boolean firstRun() {
        String value;
        try {
            value = System.getProperty(FIRST_RUN_PROPERTY);
        } catch (SecurityException e) {
            // A property that may not be read says nothing against going on.
            return true;
        }
        return value == null || !value.trim().equalsIgnoreCase("false");
    }
}
