package com.jaunt.runtime;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNotNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import org.junit.Test;

public class ArgumentSplitterTest {
    /** The cases shared with the launcher's own splitter test; the format is described there. */
    @Test
    public void splitsLikeTheLauncher() throws IOException {
        String dir = System.getProperty("jaunt.testData");
        assertNotNull("jaunt.testData names tests/data", dir);
        List<String> lines = Files.readAllLines(Paths.get(dir, "argsplit-cases.txt"),
                StandardCharsets.US_ASCII);
        int cases = 0;
        String text = null;
        for (String line : lines) {
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            int blank = line.indexOf(' ');
            String key = blank < 0 ? line : line.substring(0, blank);
            String value = blank < 0 ? "" : line.substring(blank + 1);
            if (key.equals("text")) {
                text = unescape(value);
                continue;
            }
            assertNotNull("a result without its text: " + line, text);
            List<String> got = new ArrayList<String>();
            boolean complete = ArgumentSplitter.split(text, got);
            assertEquals("complete: " + line, key.equals("args"), complete);
            assertTrue("result line: " + line, key.equals("args") || key.equals("unterminated"));
            assertEquals("text " + text, arguments(value), got);
            text = null;
            cases++;
        }
        assertTrue("cases read: " + cases, cases >= 10);
    }

    @Test
    public void aHandOverKeepsTheTextOfAQuoteWithoutPartner() {
        assertArrayEquals(new String[] {"one", "two three"},
                ArgumentSplitter.splitHandOver("one \"two three"));
        assertArrayEquals(new String[] {"a-b c"}, ArgumentSplitter.splitHandOver("a-'b c"));
        assertArrayEquals(new String[] {"x", ""}, ArgumentSplitter.splitHandOver("x \""));
        assertArrayEquals(new String[] {"p q", "r"}, ArgumentSplitter.splitHandOver("'p q' r"));
    }

    /** "[a] [b c]" to a, b c; brackets end at the first ] that is not part of an escape. */
    private static List<String> arguments(String value) {
        List<String> list = new ArrayList<String>();
        int p = 0;
        while (p < value.length()) {
            if (value.charAt(p) != '[') {
                fail("expected [ at " + p + " in " + value);
            }
            int end = p + 1;
            while (value.charAt(end) != ']') {
                end += value.charAt(end) == '\\' ? 2 : 1;
            }
            list.add(unescape(value.substring(p + 1, end)));
            p = end + 1;
            if (p < value.length() && value.charAt(p) == ' ') {
                p++;
            }
        }
        return list;
    }

    private static String unescape(String escaped) {
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < escaped.length(); i++) {
            char c = escaped.charAt(i);
            if (c != '\\') {
                text.append(c);
            } else if (escaped.charAt(i + 1) == '\\') {
                text.append('\\');
                i++;
            } else if (escaped.charAt(i + 1) == 'u') {
                text.append((char) Integer.parseInt(escaped.substring(i + 2, i + 6), 16));
                i += 5;
            } else {
                fail("unknown escape in " + escaped);
            }
        }
        return text.toString();
    }
}
