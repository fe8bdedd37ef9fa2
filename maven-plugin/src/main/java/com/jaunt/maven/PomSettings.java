package com.jaunt.maven;

import java.io.File;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.function.UnaryOperator;

import org.codehaus.plexus.configuration.PlexusConfiguration;

/**
 * Turns the plugin's nested parameters ({@code <application>}, {@code <java>}, ...) into
 * settings: each child element is the key of the same name, its text the value; an element with
 * children is an array of their texts (or of tables, for children with children of their own);
 * {@code <splash><status>} and {@code <splash><label>} are tables. Numbers and flags are written as
 * such when their text is one; anything else is written as text and left to jaunt to judge.
 * Every setting remembers its element, so that jaunt's message about it can name it.
 */
final class PomSettings {
    private final File baseDir;
    private final UnaryOperator<String> evaluate;

    /**
     * @param baseDir  the project's directory, against which relative build-time paths are read
     * @param evaluate evaluates Maven expressions such as {@code ${project.version}} in a text
     */
    PomSettings(File baseDir, UnaryOperator<String> evaluate) {
        this.baseDir = baseDir;
        this.evaluate = evaluate;
    }

    /** Adds the settings of one section parameter (null when the POM does not give it). */
    void addSection(TomlDocument doc, String section, PlexusConfiguration config) {
        if (config == null) return;
        if (section.equals("keys")) {
            addKeys(doc, config);
            return;
        }
        addTable(doc, section, "<" + section + ">", config);
    }

    private void addTable(TomlDocument doc, String table, String element, PlexusConfiguration config) {
        for (PlexusConfiguration child : config.getChildren()) {
            String key = child.getName();
            String name = table + "." + key;
            String origin = element + "<" + key + ">";
            if (SettingKinds.SUBTABLES.contains(name)) {
                addTable(doc, name, origin, child);
            } else if (child.getChildCount() > 0) {
                doc.put(table, key, array(name, child), origin);
            } else {
                doc.put(table, key, scalar(name, text(child)), origin);
            }
        }
    }

    /** {@code <keys><key number="128">EJAVA_HOME;</key></keys>}: entries by number, as text. */
    private void addKeys(TomlDocument doc, PlexusConfiguration config) {
        for (PlexusConfiguration child : config.getChildren()) {
            String number = child.getAttribute("number", "");
            doc.put("keys", number, text(child),
                    "<keys><" + child.getName() + " number=\"" + number + "\">");
        }
    }

    private List<Object> array(String name, PlexusConfiguration config) {
        List<Object> items = new ArrayList<>();
        for (PlexusConfiguration item : config.getChildren()) {
            if (item.getChildCount() > 0) {
                Map<String, Object> entry = new LinkedHashMap<>();
                for (PlexusConfiguration field : item.getChildren()) {
                    String text = text(field);
                    entry.put(field.getName(), SettingKinds.ENTRY_FLAGS.contains(field.getName()) ? flag(text) : text);
                }
                items.add(entry);
            } else if (SettingKinds.COLOURS.contains(name)) {
                items.add(number(text(item)));
            } else if (SettingKinds.PATH_LISTS.contains(name)) {
                items.add(absolute(text(item)));
            } else {
                items.add(text(item));
            }
        }
        return items;
    }

    private Object scalar(String name, String text) {
        if (SettingKinds.NUMBERS.contains(name)) return number(text);
        if (SettingKinds.FLAGS.contains(name)) return flag(text);
        if (SettingKinds.PATHS.contains(name)) return absolute(text);
        return text;
    }

    private String text(PlexusConfiguration config) {
        String value = config.getValue(null);
        if (value == null) return "";
        String evaluated = evaluate.apply(value.trim());
        return evaluated == null ? "" : evaluated;
    }

    /** A number when the text is one; else the text, which jaunt refuses with its own message. */
    static Object number(String text) {
        try {
            return Long.valueOf(text.trim());
        } catch (NumberFormatException e) {
            return text;
        }
    }

    static Object flag(String text) {
        if (text.trim().equals("true")) return Boolean.TRUE;
        if (text.trim().equals("false")) return Boolean.FALSE;
        return text;
    }

    private String absolute(String path) {
        if (path.isEmpty()) return path;
        File file = new File(path);
        return file.isAbsolute() ? path : new File(baseDir, path).getAbsolutePath();
    }
}
