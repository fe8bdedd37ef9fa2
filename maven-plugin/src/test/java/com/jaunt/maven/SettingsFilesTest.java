package com.jaunt.maven;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.util.Arrays;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

import org.junit.Test;

public class SettingsFilesTest {
    private static final File DIR = new File("/conf");

    /** A configuration file read and written again keeps every value, with its table and line. */
    @Test
    public void aConfigurationFileSurvivesReadingAndWriting() throws Exception {
        String file = "# a comment\n"
                + "[application]\nname = \"Say \\\"hi\\\"\\tnow\" # trailing\nicon = 'art/icon.ico'\n"
                + "[java]\nclasspath = [\n  \"a.jar\",  # first\n  { path = \"plugins/*\", optional = true },\n]\n"
                + "[splash]\nstatus.x = 0x10\nwidth = 1_000\nenabled = true\n"
                + "messages.no_jvm = \"\"\"\nline one\\\n   still one\"\"\"\n";
        TomlDocument doc = TomlReader.read(file, "app.toml", DIR);
        assertEquals("Say \"hi\"\tnow", doc.get("application", "name").value);
        assertEquals(new File(DIR, "art/icon.ico").getAbsolutePath(), doc.get("application", "icon").value);
        assertEquals("app.toml:4", doc.get("application", "icon").origin);
        assertEquals(16L, doc.get("splash.status", "x").value);
        assertEquals(1000L, doc.get("splash", "width").value);
        assertEquals("line onestill one", doc.get("splash.messages", "no_jvm").value);
        assertEquals("app.toml:6", doc.get("java", "classpath").origin);

        TomlDocument.Written written = doc.write("header");
        TomlDocument again = TomlReader.read(written.text, "out.toml", DIR);
        for (String[] s : new String[][] {{"application", "name"}, {"java", "classpath"}, {"splash.status", "x"}})
            assertEquals(doc.get(s[0], s[1]).value, again.get(s[0], s[1]).value);
        // Every written setting's line leads back to where it was given.
        String[] lines = written.text.split("\n");
        for (int i = 0; i < lines.length; i++)
            if (lines[i].startsWith("classpath = ")) assertEquals("app.toml:6", written.originOf(i + 1));
    }

    @Test
    public void valuesNoSettingTakesAreRefusedWithTheirLine() {
        for (String bad : Arrays.asList("x = 1.5", "x = 1979-05-27", "[[t]]", "x = \"open", "x = [1 2]")) {
            try {
                TomlReader.read("[a]\n" + bad + "\n", "f.toml", DIR);
                fail("accepted " + bad);
            } catch (TomlReader.TomlException e) {
                assertTrue(e.getMessage(), e.getMessage().startsWith("f.toml:2: "));
            }
        }
    }

    /** jaunt's messages name the POM element of the line they are about, or of the setting they start with. */
    @Test
    public void jauntsMessagesNameThePomElement() {
        TomlDocument doc = new TomlDocument();
        doc.put("java", "class_path", "x", "<java><class_path>");
        doc.put("runtime", "jdk", "/j", "<runtime><jdk>");
        TomlDocument.Written written = doc.write("one line");
        int line = Arrays.asList(written.text.split("\n")).indexOf("class_path = \"x\"") + 1;
        Messages m = new Messages("/t/a.jaunt.toml", doc, written);
        assertEquals("<java><class_path>: unknown key java.class_path",
                m.translate("jaunt: /t/a.jaunt.toml:" + line + ": unknown key java.class_path"));
        assertEquals("<runtime><jdk>: runtime.jdk: no jmods", m.translate("jaunt: runtime.jdk: no jmods"));
        assertEquals("wrote /t/a.exe", m.translate("jaunt: wrote /t/a.exe"));
    }

    /** Every number and flag in the launcher's key list is written as one by the plugin. */
    @Test
    public void theKindsMatchJauntsKeyList() throws IOException {
        File keys = new File(System.getProperty("jaunt.sourceRoot"), "src/windows/configkeys.cpp");
        String text = new String(Files.readAllBytes(keys.toPath()), StandardCharsets.UTF_8);
        Matcher m = Pattern.compile("\\{\\w+, \"([a-z_.]+)\", KeyKind::(\\w+), (true|false)\\}").matcher(text);
        int seen = 0;
        while (m.find()) {
            seen++;
            String name = m.group(1);
            if (name.startsWith("files.") || name.startsWith("runtime.")) continue;  // written by jaunt itself
            if (m.group(2).equals("Number")) assertTrue(name, SettingKinds.NUMBERS.contains(name));
            if (m.group(2).equals("Flag")) assertTrue(name, SettingKinds.FLAGS.contains(name));
            if (m.group(2).equals("Colour")) assertTrue(name, SettingKinds.COLOURS.contains(name));
        }
        assertTrue("read " + seen + " keys from " + keys, seen > 50);
    }
}
