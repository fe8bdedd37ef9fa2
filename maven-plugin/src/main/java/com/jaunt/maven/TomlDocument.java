package com.jaunt.maven;

import java.util.ArrayList;
import java.util.Iterator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The configuration the plugin hands to {@code jaunt build}: tables of settings, each setting
 * with the place it came from (a POM element such as {@code <java><main_class>}, or
 * {@code app.toml:12}), so that a message of jaunt's about a line of the written file can name
 * that place. Values are {@link String}, {@link Long}, {@link Boolean}, {@link List} (a TOML
 * array) or {@link Map} (an inline table, as a class path entry with {@code optional}).
 */
final class TomlDocument {

    /** One setting: its value and where it was given. */
    static final class Setting {
        final Object value;
        final String origin;

        Setting(Object value, String origin) {
            this.value = value;
            this.origin = origin;
        }
    }

    /** Table name ("java", "splash.status", "keys") to its settings, in the order given. */
    private final Map<String, Map<String, Setting>> tables = new LinkedHashMap<>();

    /** Sets {@code table.key}, replacing what was there. */
    void put(String table, String key, Object value, String origin) {
        tables.computeIfAbsent(table, t -> new LinkedHashMap<>()).put(key, new Setting(value, origin));
    }

    Setting get(String table, String key) {
        Map<String, Setting> settings = tables.get(table);
        return settings == null ? null : settings.get(key);
    }

    Setting remove(String table, String key) {
        Map<String, Setting> settings = tables.get(table);
        if (settings == null) return null;
        Setting removed = settings.remove(key);
        if (settings.isEmpty()) tables.remove(table);
        return removed;
    }

    /** Every setting of {@code other} replaces or joins this document's. */
    void overlay(TomlDocument other) {
        for (Map.Entry<String, Map<String, Setting>> table : other.tables.entrySet())
            for (Map.Entry<String, Setting> s : table.getValue().entrySet())
                put(table.getKey(), s.getKey(), s.getValue().value, s.getValue().origin);
    }

    Map<String, Map<String, Setting>> tables() {
        return tables;
    }

    /** The written file: its text and, per line (from 1), the origin of the setting on it. */
    static final class Written {
        final String text;
        final List<String> lineOrigins;

        Written(String text, List<String> lineOrigins) {
            this.text = text;
            this.lineOrigins = lineOrigins;
        }

        /** The origin of line {@code line} (counted from 1), or null for a header or blank line. */
        String originOf(int line) {
            return line >= 1 && line <= lineOrigins.size() ? lineOrigins.get(line - 1) : null;
        }
    }

    /** Writes the document as TOML, one setting a line, each table under its header. */
    Written write(String header) {
        StringBuilder out = new StringBuilder();
        List<String> origins = new ArrayList<>();
        for (String line : header.split("\n", -1)) {
            if (line.isEmpty()) continue;
            out.append("# ").append(line).append('\n');
            origins.add(null);
        }
        // Settings outside any table (which jaunt refuses by name) come first, before a header.
        List<Map.Entry<String, Map<String, Setting>>> ordered = new ArrayList<>();
        for (Map.Entry<String, Map<String, Setting>> table : tables.entrySet())
            if (table.getKey().isEmpty()) ordered.add(0, table); else ordered.add(table);
        for (Map.Entry<String, Map<String, Setting>> table : ordered) {
            out.append('\n');
            origins.add(null);
            if (!table.getKey().isEmpty()) {
                out.append('[').append(tablePath(table.getKey())).append("]\n");
                origins.add(null);
            }
            for (Map.Entry<String, Setting> s : table.getValue().entrySet()) {
                out.append(key(s.getKey())).append(" = ");
                value(out, s.getValue().value);
                out.append('\n');
                origins.add(s.getValue().origin);
            }
        }
        return new Written(out.toString(), origins);
    }

    private static String tablePath(String table) {
        StringBuilder out = new StringBuilder();
        for (String part : table.split("\\.")) {
            if (out.length() > 0) out.append('.');
            out.append(key(part));
        }
        return out.toString();
    }

    static String key(String key) {
        return key.matches("[A-Za-z0-9_-]+") ? key : quote(key);
    }

    private static void value(StringBuilder out, Object value) {
        if (value instanceof String) {
            out.append(quote((String) value));
        } else if (value instanceof Long || value instanceof Boolean) {
            out.append(value);
        } else if (value instanceof List) {
            out.append('[');
            for (Iterator<?> it = ((List<?>) value).iterator(); it.hasNext(); ) {
                value(out, it.next());
                if (it.hasNext()) out.append(", ");
            }
            out.append(']');
        } else if (value instanceof Map) {
            out.append("{ ");
            for (Iterator<? extends Map.Entry<?, ?>> it = ((Map<?, ?>) value).entrySet().iterator(); it.hasNext(); ) {
                Map.Entry<?, ?> e = it.next();
                out.append(key((String) e.getKey())).append(" = ");
                value(out, e.getValue());
                if (it.hasNext()) out.append(", ");
            }
            out.append(" }");
        } else {
            throw new IllegalArgumentException("no TOML form for " + value);
        }
    }

    /** A TOML basic string: quotes, backslashes and control characters escaped. */
    static String quote(String text) {
        StringBuilder out = new StringBuilder("\"");
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            switch (c) {
                case '"': out.append("\\\""); break;
                case '\\': out.append("\\\\"); break;
                case '\n': out.append("\\n"); break;
                case '\r': out.append("\\r"); break;
                case '\t': out.append("\\t"); break;
                default:
                    if (c < 0x20 || c == 0x7f) out.append(String.format("\\u%04X", (int) c));
                    else out.append(c);
            }
        }
        return out.append('"').toString();
    }
}
