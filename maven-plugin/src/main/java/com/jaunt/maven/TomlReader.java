package com.jaunt.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * Reads a jaunt configuration file (the {@code configFile} parameter) so that the POM's settings
 * can be laid over it. It reads the TOML that jaunt's settings use: tables, dotted and quoted keys,
 * basic and literal strings (multi-line too), integers, booleans, arrays and inline tables, and
 * comments. Floats, dates and arrays of tables, which no setting takes, are refused with the line.
 * Every setting keeps its file and line; relative build-time paths are made absolute against the
 * file's directory, as jaunt would read them.
 */
final class TomlReader {

    /** A mistake in the file, reported as {@code FILE:LINE: message}. */
    static final class TomlException extends Exception {
        private static final long serialVersionUID = 1L;

        TomlException(String message) {
            super(message);
        }
    }

    private final String text;
    private final String name;
    private final File dir;
    private int pos;
    private int line = 1;

    private TomlReader(String text, String name, File dir) {
        this.text = text;
        this.name = name;
        this.dir = dir;
    }

    static TomlDocument read(File file) throws IOException, TomlException {
        String text = new String(Files.readAllBytes(file.toPath()), StandardCharsets.UTF_8);
        if (text.startsWith("\uFEFF")) text = text.substring(1);
        File dir = file.getAbsoluteFile().getParentFile();
        return new TomlReader(text, file.getPath(), dir).document();
    }

    static TomlDocument read(String text, String name, File dir) throws TomlException {
        return new TomlReader(text, name, dir).document();
    }

    private TomlException error(String message) {
        return new TomlException(name + ":" + line + ": " + message);
    }

    private TomlDocument document() throws TomlException {
        TomlDocument doc = new TomlDocument();
        List<String> table = new ArrayList<>();
        while (true) {
            skipBlankAndComments(true);
            if (pos >= text.length()) return doc;
            char c = text.charAt(pos);
            if (c == '[') {
                pos++;
                if (peek() == '[') throw error("arrays of tables are not used by any setting");
                skipSpaces();
                table = keyPath();
                skipSpaces();
                expect(']');
                endOfLine();
            } else {
                int keyLine = line;
                List<String> path = new ArrayList<>(table);
                path.addAll(keyPath());
                skipSpaces();
                expect('=');
                skipSpaces();
                Object value = value();
                endOfLine();
                store(doc, path, value, name + ":" + keyLine);
            }
        }
    }

    /** Stores a setting; an inline table given for a table is taken key by key. */
    private void store(TomlDocument doc, List<String> path, Object value, String origin) {
        if (value instanceof Map && !path.isEmpty()) {
            for (Map.Entry<?, ?> e : ((Map<?, ?>) value).entrySet()) {
                List<String> inner = new ArrayList<>(path);
                inner.add((String) e.getKey());
                store(doc, inner, e.getValue(), origin);
            }
            return;
        }
        String key = path.get(path.size() - 1);
        String table = String.join(".", path.subList(0, path.size() - 1));
        String full = table.isEmpty() ? key : table + "." + key;
        if (SettingKinds.PATHS.contains(full) && value instanceof String) {
            value = absolute((String) value);
        } else if (SettingKinds.PATH_LISTS.contains(full) && value instanceof List) {
            List<Object> items = new ArrayList<>();
            for (Object item : (List<?>) value) items.add(item instanceof String ? absolute((String) item) : item);
            value = items;
        }
        doc.put(table, key, value, origin);
    }

    private String absolute(String path) {
        if (path.isEmpty()) return path;
        File file = new File(path);
        return file.isAbsolute() ? path : new File(dir, path).getAbsolutePath();
    }

    private char peek() {
        return pos < text.length() ? text.charAt(pos) : '\0';
    }

    private void expect(char c) throws TomlException {
        if (peek() != c) throw error("expected '" + c + "'");
        pos++;
    }

    private void skipSpaces() {
        while (peek() == ' ' || peek() == '\t') pos++;
    }

    /** Skips blanks and comments; across line ends when {@code lines}. */
    private void skipBlankAndComments(boolean lines) {
        while (pos < text.length()) {
            char c = text.charAt(pos);
            if (c == ' ' || c == '\t' || c == '\r') {
                pos++;
            } else if (c == '#') {
                while (pos < text.length() && text.charAt(pos) != '\n') pos++;
            } else if (c == '\n' && lines) {
                pos++;
                line++;
            } else {
                return;
            }
        }
    }

    private void endOfLine() throws TomlException {
        skipBlankAndComments(false);
        if (pos >= text.length()) return;
        if (text.charAt(pos) != '\n') throw error("expected the end of the line");
    }

    private List<String> keyPath() throws TomlException {
        List<String> parts = new ArrayList<>();
        while (true) {
            skipSpaces();
            parts.add(keyPart());
            skipSpaces();
            if (peek() != '.') return parts;
            pos++;
        }
    }

    private String keyPart() throws TomlException {
        char c = peek();
        if (c == '"') return basicString();
        if (c == '\'') return literalString();
        int start = pos;
        while (pos < text.length()) {
            char k = text.charAt(pos);
            if (!(Character.isLetterOrDigit(k) && k < 0x80 || k == '_' || k == '-')) break;
            pos++;
        }
        if (pos == start) throw error("expected a key");
        return text.substring(start, pos);
    }

    private Object value() throws TomlException {
        char c = peek();
        if (text.startsWith("\"\"\"", pos)) return multiLineBasic();
        if (text.startsWith("'''", pos)) return multiLineLiteral();
        if (c == '"') return basicString();
        if (c == '\'') return literalString();
        if (c == '[') return array();
        if (c == '{') return inlineTable();
        if (text.startsWith("true", pos) && !wordGoesOn(pos + 4)) {
            pos += 4;
            return Boolean.TRUE;
        }
        if (text.startsWith("false", pos) && !wordGoesOn(pos + 5)) {
            pos += 5;
            return Boolean.FALSE;
        }
        return integer();
    }

    private boolean wordGoesOn(int at) {
        return at < text.length() && (Character.isLetterOrDigit(text.charAt(at)) || text.charAt(at) == '_');
    }

    private Long integer() throws TomlException {
        int start = pos;
        while (pos < text.length() && "+-0123456789abcdefABCDEFxob_.:".indexOf(text.charAt(pos)) >= 0) pos++;
        String word = text.substring(start, pos);
        if (word.isEmpty()) throw error("expected a value");
        String digits = word.replace("_", "");
        try {
            if (digits.startsWith("0x")) return Long.parseLong(digits.substring(2), 16);
            if (digits.startsWith("0o")) return Long.parseLong(digits.substring(2), 8);
            if (digits.startsWith("0b")) return Long.parseLong(digits.substring(2), 2);
            if (word.contains("__") || word.startsWith("_") || word.endsWith("_")) throw new NumberFormatException();
            return Long.parseLong(digits.startsWith("+") ? digits.substring(1) : digits);
        } catch (NumberFormatException e) {
            throw error("'" + word + "' is no value a setting takes (text in quotes, an integer, true or false, an array)");
        }
    }

    private List<Object> array() throws TomlException {
        expect('[');
        List<Object> items = new ArrayList<>();
        while (true) {
            skipBlankAndComments(true);
            if (peek() == ']') {
                pos++;
                return items;
            }
            items.add(value());
            skipBlankAndComments(true);
            if (peek() == ',') {
                pos++;
            } else if (peek() != ']') {
                throw error("expected ',' or ']' in the array");
            }
        }
    }

    private Map<String, Object> inlineTable() throws TomlException {
        expect('{');
        Map<String, Object> table = new LinkedHashMap<>();
        skipSpaces();
        if (peek() == '}') {
            pos++;
            return table;
        }
        while (true) {
            List<String> path = keyPath();
            skipSpaces();
            expect('=');
            skipSpaces();
            Object value = value();
            table.put(String.join(".", path), value);
            skipSpaces();
            if (peek() == '}') {
                pos++;
                return table;
            }
            expect(',');
            skipSpaces();
        }
    }

    private String basicString() throws TomlException {
        expect('"');
        StringBuilder out = new StringBuilder();
        while (true) {
            if (pos >= text.length() || peek() == '\n') throw error("unterminated string");
            char c = text.charAt(pos++);
            if (c == '"') return out.toString();
            if (c == '\\') escape(out);
            else out.append(c);
        }
    }

    private void escape(StringBuilder out) throws TomlException {
        if (pos >= text.length()) throw error("unterminated string");
        char e = text.charAt(pos++);
        switch (e) {
            case 'b': out.append('\b'); break;
            case 't': out.append('\t'); break;
            case 'n': out.append('\n'); break;
            case 'f': out.append('\f'); break;
            case 'r': out.append('\r'); break;
            case '"': out.append('"'); break;
            case '\\': out.append('\\'); break;
            case 'u':
            case 'U': {
                int digits = e == 'u' ? 4 : 8;
                if (pos + digits > text.length()) throw error("cut \\" + e + " escape");
                try {
                    out.appendCodePoint(Integer.parseInt(text.substring(pos, pos + digits), 16));
                } catch (IllegalArgumentException ex) {
                    throw error("bad \\" + e + " escape");
                }
                pos += digits;
                break;
            }
            default:
                throw error("unknown escape \\" + e);
        }
    }

    private String literalString() throws TomlException {
        expect('\'');
        int end = text.indexOf('\'', pos);
        int newline = text.indexOf('\n', pos);
        if (end < 0 || (newline >= 0 && newline < end)) throw error("unterminated string");
        String s = text.substring(pos, end);
        pos = end + 1;
        return s;
    }

    private String multiLineBasic() throws TomlException {
        pos += 3;
        skipFirstNewline();
        StringBuilder out = new StringBuilder();
        while (true) {
            if (pos >= text.length()) throw error("unterminated string");
            if (text.startsWith("\"\"\"", pos)) {
                pos += 3;
                return out.toString();
            }
            char c = text.charAt(pos++);
            if (c == '\n') line++;
            if (c != '\\') {
                out.append(c);
            } else if (peek() == '\n' || peek() == '\r' || peek() == ' ' || peek() == '\t') {
                // A backslash at the end of a line joins it with the next non-blank text.
                while (pos < text.length() && " \t\r\n".indexOf(text.charAt(pos)) >= 0) {
                    if (text.charAt(pos) == '\n') line++;
                    pos++;
                }
            } else {
                escape(out);
            }
        }
    }

    private String multiLineLiteral() throws TomlException {
        pos += 3;
        skipFirstNewline();
        int end = text.indexOf("'''", pos);
        if (end < 0) throw error("unterminated string");
        String s = text.substring(pos, end);
        for (char c : s.toCharArray()) if (c == '\n') line++;
        pos = end + 3;
        return s;
    }

    private void skipFirstNewline() {
        if (text.startsWith("\r\n", pos)) {
            pos += 2;
            line++;
        } else if (peek() == '\n') {
            pos++;
            line++;
        }
    }
}
