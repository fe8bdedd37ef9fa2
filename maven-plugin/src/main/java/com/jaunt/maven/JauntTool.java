package com.jaunt.maven;

import java.io.ByteArrayOutputStream;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.AtomicMoveNotSupportedException;
import java.nio.file.FileAlreadyExistsException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Comparator;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.UUID;
import java.util.stream.Stream;

/**
 * The native build tool the plugin runs: the distribution the plugin jar carries (the tool for
 * Linux x86-64 and for Windows, both launcher programs, the runtime library), unpacked once into a
 * per-user cache, or an installed distribution that {@code jauntHome} names.
 */
final class JauntTool {
    /** The files of the carried distribution, below {@code jaunt-dist/} in the plugin jar. */
    static final String[] CARRIED = {"bin/jaunt", "bin/jaunt.exe", "stubs/launcher-x86.exe",
            "stubs/launcher-x64.exe", "lib/jauntlib.jar"};

    private final File executable;

    private JauntTool(File executable) {
        this.executable = executable;
    }

    File executable() {
        return executable;
    }

    /** The tool of an installed distribution: {@code HOME/bin/jaunt} or {@code HOME/bin/jaunt.exe}. */
    static JauntTool installed(File home, String osName) throws IOException {
        File tool = new File(home, isWindows(osName) ? "bin/jaunt.exe" : "bin/jaunt");
        if (!tool.isFile())
            throw new IOException("<jauntHome> " + home + " holds no " + tool.getName() + " in bin/ (a Jaunt distribution has bin/, stubs/ and lib/)");
        return new JauntTool(tool);
    }

    /** Which carried tool runs on this system, or null when none does. */
    static String carriedToolFor(String osName, String osArch) {
        if (isWindows(osName)) return "bin/jaunt.exe";
        String arch = osArch.toLowerCase(Locale.ROOT);
        if (osName.toLowerCase(Locale.ROOT).startsWith("linux") && (arch.equals("amd64") || arch.equals("x86_64")))
            return "bin/jaunt";
        return null;
    }

    private static boolean isWindows(String osName) {
        return osName.toLowerCase(Locale.ROOT).startsWith("windows");
    }

    /**
     * The carried tool, unpacked into {@code cacheRoot/VERSION-HASH/} unless it is there already. The
     * hash is over the carried files, so a rebuilt plugin of the same version gets a folder of its
     * own. The folder is filled under a temporary name and renamed into place, so a build never
     * uses a half-unpacked one and two builds at once do not clash.
     */
    static JauntTool carried(File cacheRoot, String version, String osName, String osArch) throws IOException {
        String tool = carriedToolFor(osName, osArch);
        if (tool == null)
            throw new IOException("the plugin carries jaunt for Linux x86-64 and Windows only, not for " + osName + " " + osArch
                    + "; set <jauntHome> to a Jaunt distribution for this system");
        List<byte[]> contents = new ArrayList<>();
        MessageDigest sha;
        try {
            sha = MessageDigest.getInstance("SHA-256");
        } catch (NoSuchAlgorithmException e) {
            throw new IOException(e);
        }
        for (String name : CARRIED) {
            byte[] bytes = resource(name);
            contents.add(bytes);
            sha.update(name.getBytes(StandardCharsets.UTF_8));
            sha.update((byte) 0);
            sha.update(Long.toString(bytes.length).getBytes(StandardCharsets.UTF_8));
            sha.update((byte) 0);
            sha.update(bytes);
        }
        StringBuilder hash = new StringBuilder();
        for (byte b : sha.digest()) hash.append(String.format("%02x", b & 0xff));
        Path home = cacheRoot.toPath().resolve(version + "-" + hash.substring(0, 16));
        if (!Files.isRegularFile(home.resolve(tool))) {
            Files.createDirectories(cacheRoot.toPath());
            Path partial = cacheRoot.toPath().resolve(home.getFileName() + ".partial-" + UUID.randomUUID());
            try {
                for (int i = 0; i < CARRIED.length; i++) {
                    Path file = partial.resolve(CARRIED[i]);
                    Files.createDirectories(file.getParent());
                    Files.write(file, contents.get(i));
                    if (CARRIED[i].startsWith("bin/")) file.toFile().setExecutable(true, false);
                }
                try {
                    Files.move(partial, home, StandardCopyOption.ATOMIC_MOVE);
                } catch (FileAlreadyExistsException | AtomicMoveNotSupportedException e) {
                    // Another build unpacked the same files first, or the folder is a leftover
                    // without the tool: use what is complete.
                    if (!Files.isRegularFile(home.resolve(tool))) throw e;
                } catch (IOException e) {
                    if (!Files.isRegularFile(home.resolve(tool))) throw e;
                }
            } finally {
                deleteTree(partial);
            }
        }
        return new JauntTool(home.resolve(tool).toFile());
    }

    /** The per-user cache: %LOCALAPPDATA%\Jaunt\maven on Windows, $XDG_CACHE_HOME/jaunt/maven or ~/.cache/jaunt/maven elsewhere. */
    static File defaultCache(String osName, Map<String, String> env, String userHome) {
        if (isWindows(osName)) {
            String local = env.get("LOCALAPPDATA");
            return new File(local != null && !local.isEmpty() ? local : userHome + "\\AppData\\Local", "Jaunt\\maven");
        }
        String xdg = env.get("XDG_CACHE_HOME");
        if (xdg != null && xdg.startsWith("/")) return new File(xdg, "jaunt/maven");
        return new File(userHome, ".cache/jaunt/maven");
    }

    private static byte[] resource(String name) throws IOException {
        try (InputStream in = JauntTool.class.getResourceAsStream("/jaunt-dist/" + name)) {
            if (in == null) throw new IOException("the plugin jar lacks jaunt-dist/" + name + " (it was built without dist/)");
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] buffer = new byte[65536];
            for (int n; (n = in.read(buffer)) > 0; ) out.write(buffer, 0, n);
            return out.toByteArray();
        }
    }

    static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root)) return;
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path p : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) Files.deleteIfExists(p);
        }
    }

    /** What a run printed (standard output and error, in order) and its exit code. */
    static final class Result {
        final int exitCode;
        final List<String> lines;

        Result(int exitCode, List<String> lines) {
            this.exitCode = exitCode;
            this.lines = lines;
        }
    }

    /** Runs the tool with {@code arguments}; {@code extraEnv} joins its environment. */
    Result run(List<String> arguments, Map<String, String> extraEnv, File directory) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>();
        command.add(executable.getPath());
        command.addAll(arguments);
        ProcessBuilder builder = new ProcessBuilder(command).directory(directory).redirectErrorStream(true);
        builder.environment().putAll(extraEnv);
        Process process = builder.start();
        process.getOutputStream().close();
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        try (InputStream in = process.getInputStream()) {
            byte[] buffer = new byte[8192];
            for (int n; (n = in.read(buffer)) > 0; ) out.write(buffer, 0, n);
        }
        int code = process.waitFor();
        List<String> lines = new ArrayList<>();
        for (String line : new String(out.toByteArray(), StandardCharsets.UTF_8).split("\r?\n"))
            if (!line.isEmpty()) lines.add(line);
        return new Result(code, lines);
    }
}
