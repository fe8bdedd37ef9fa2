/**
 * The Java side of the Jaunt launcher: the class that starts the application
 * ({@link com.jaunt.runtime.WinLauncher}), the splash-screen controller
 * ({@link com.jaunt.runtime.JauntController}) and the receiver of later starts' arguments for
 * single-instance applications ({@link com.jaunt.runtime.SingleInstance}).
 *
 * <p>The launcher also passes these system properties: {@code jaunt.moduleName} (the launcher's
 * file), {@code jaunt.tempDir} (the directory of the files extracted for this run; empty when there
 * are none), and, with the single-instance guard on, {@code jaunt.semaphoreName} and
 * {@code jaunt.processCommFile}; launchers of the installer build tool add
 * {@code jaunt.isBundlekit=true}. {@link com.jaunt.runtime.WinLauncher} adds
 * {@code jaunt.programName} and {@code jaunt.guiLauncher}.
 */
package com.jaunt.runtime;
