package com.jaunt.maven;

import java.util.Arrays;
import java.util.HashSet;
import java.util.Set;

/**
 * What the plugin must know of jaunt's settings to write them from XML text: which are numbers
 * or flags (everything else is text, or an array when the element has children), which are
 * tables inside a table, and which are paths read at build time (made absolute, since the
 * written configuration lies elsewhere than the POM or the configuration file). Whether a value
 * is right is jaunt's to say; a test checks this list against jaunt's key list.
 */
final class SettingKinds {
    private SettingKinds() {}

    /** The TOML tables a POM may configure, as nested parameters of the same names. */
    static final Set<String> SECTIONS = set("application", "redirect", "java", "jvm", "splash", "messages",
            "files", "runtime", "keys", "sign");

    /** Tables inside a table: {@code <splash><status>} is the table {@code splash.status}. */
    static final Set<String> SUBTABLES = set("splash.status", "splash.label");

    static final Set<String> NUMBERS = set("application.executable_type", "splash.width", "splash.height",
            "splash.status.x", "splash.status.y", "splash.status.size", "splash.status.weight",
            "splash.label.x", "splash.label.y", "splash.label.size", "splash.label.weight", "sign.timeout");

    static final Set<String> FLAGS = set("redirect.stderr", "redirect.stdout", "redirect.append",
            "java.forward_j_arguments", "java.enable_native_access", "jvm.allow_prerelease", "jvm.require_jdk",
            "jvm.cds", "splash.enabled", "splash.hide_on_first_window", "splash.topmost",
            "application.single_instance", "files.runtime");

    /** Colours given as an array: its items are numbers. */
    static final Set<String> COLOURS = set("splash.status.color", "splash.label.color");

    /** Paths read when the launcher is built, relative to the file (or POM) that gives them. */
    static final Set<String> PATHS = set("application.icon", "splash.image", "runtime.path", "runtime.jdk",
            "sign.certificate", "sign.key", "sign.password_file", "build.stub", "build.output");

    /** Arrays of such paths. */
    static final Set<String> PATH_LISTS = set("files.include");

    /** Flags inside a class path entry's table ({@code { path = "...", optional = true }}). */
    static final Set<String> ENTRY_FLAGS = set("optional");

    private static Set<String> set(String... names) {
        return new HashSet<>(Arrays.asList(names));
    }
}
