/**
 * Classes that launchers made by the installer build tool call: the first-run hook
 * {@link com.bundlekit.runtime.FirstRun}.
 */
package com.bundlekit.runtime;
