package com.jaunt.maven;

import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * Puts jaunt's messages in the POM's words: a message about a line of the written configuration
 * names the POM element (or the configuration file's line) that gave the setting on that line,
 * and a message that starts with a setting's dotted name names that setting's element. The rest
 * of the message is jaunt's, word for word.
 */
final class Messages {
    private static final Pattern LINE = Pattern.compile("(\\d+): (.*)", Pattern.DOTALL);

    private final String configPath;
    private final TomlDocument doc;
    private final TomlDocument.Written written;

    Messages(String configPath, TomlDocument doc, TomlDocument.Written written) {
        this.configPath = configPath;
        this.doc = doc;
        this.written = written;
    }

    /** One line of jaunt's output, in the POM's words. */
    String translate(String line) {
        String message = line.startsWith("jaunt: ") ? line.substring("jaunt: ".length()) : line;
        if (message.startsWith(configPath + ":")) {
            Matcher m = LINE.matcher(message.substring(configPath.length() + 1));
            if (m.matches()) {
                String origin = written.originOf(Integer.parseInt(m.group(1)));
                if (origin != null) return origin + ": " + m.group(2);
            }
            return message;
        }
        int colon = message.indexOf(": ");
        if (colon > 0) {
            String name = message.substring(0, colon);
            int dot = name.lastIndexOf('.');
            if (dot > 0) {
                TomlDocument.Setting setting = doc.get(name.substring(0, dot), name.substring(dot + 1));
                if (setting != null) return setting.origin + ": " + message;
            }
        }
        return message;
    }
}
