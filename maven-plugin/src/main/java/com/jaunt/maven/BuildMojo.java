package com.jaunt.maven;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.HashSet;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.Set;
import java.util.jar.JarFile;
import java.util.jar.Manifest;

import org.apache.maven.artifact.Artifact;
import org.apache.maven.execution.MavenSession;
import org.apache.maven.plugin.AbstractMojo;
import org.apache.maven.plugin.MojoExecution;
import org.apache.maven.plugin.MojoExecutionException;
import org.apache.maven.plugin.MojoFailureException;
import org.apache.maven.plugin.PluginParameterExpressionEvaluator;
import org.apache.maven.plugin.descriptor.PluginDescriptor;
import org.apache.maven.plugins.annotations.Component;
import org.apache.maven.plugins.annotations.LifecyclePhase;
import org.apache.maven.plugins.annotations.Mojo;
import org.apache.maven.plugins.annotations.Parameter;
import org.apache.maven.plugins.annotations.ResolutionScope;
import org.apache.maven.project.MavenProject;
import org.apache.maven.settings.Server;
import org.apache.maven.settings.Settings;
import org.apache.maven.settings.crypto.DefaultSettingsDecryptionRequest;
import org.apache.maven.settings.crypto.SettingsDecrypter;
import org.apache.maven.settings.crypto.SettingsDecryptionResult;
import org.codehaus.plexus.component.configurator.expression.ExpressionEvaluationException;
import org.codehaus.plexus.configuration.PlexusConfiguration;

/**
 * Makes the project's Windows launcher, {@code target/FINALNAME.exe}, with Jaunt's build tool:
 * the project's jar and its runtime dependencies are the class path (copied into
 * {@code target/FINALNAME/lib} beside the launcher, or included in it), the main class is the
 * configured one or the jar manifest's, and every setting of {@code jaunt build} can be given as
 * a nested parameter named like its TOML table and key, or in a {@code configFile}.
 */
@Mojo(name = "build", defaultPhase = LifecyclePhase.PACKAGE, requiresDependencyResolution = ResolutionScope.RUNTIME,
        threadSafe = true)
public class BuildMojo extends AbstractMojo {
    /** The environment variable through which a password from Maven's settings reaches jaunt. */
    static final String SIGN_PASSWORD_VARIABLE = "JAUNT_MAVEN_SIGN_PASSWORD";

    @Parameter(defaultValue = "${project}", readonly = true, required = true)
    private MavenProject project;

    @Parameter(defaultValue = "${session}", readonly = true, required = true)
    private MavenSession session;

    @Parameter(defaultValue = "${mojoExecution}", readonly = true, required = true)
    private MojoExecution mojoExecution;

    @Parameter(defaultValue = "${plugin}", readonly = true, required = true)
    private PluginDescriptor plugin;

    @Parameter(defaultValue = "${settings}", readonly = true, required = true)
    private Settings settings;

    @Component
    private SettingsDecrypter settingsDecrypter;

    /** Skips the goal. */
    @Parameter(property = "jaunt.skip", defaultValue = "false")
    private boolean skip;

    /**
     * A Jaunt distribution (with {@code bin/jaunt} or {@code bin\jaunt.exe}, {@code stubs/} and
     * {@code lib/}) to use instead of the one the plugin carries.
     */
    @Parameter(property = "jaunt.home")
    private File jauntHome;

    /**
     * Where the carried distribution is unpacked, once per plugin version: by default
     * {@code %LOCALAPPDATA%\Jaunt\maven} on Windows, {@code $XDG_CACHE_HOME/jaunt/maven} or
     * {@code ~/.cache/jaunt/maven} elsewhere.
     */
    @Parameter(property = "jaunt.cacheDirectory")
    private File cacheDirectory;

    /**
     * A jaunt configuration file (TOML) to start from; the POM's settings are laid over it, key by
     * key. Its relative paths are relative to its own directory.
     */
    @Parameter(property = "jaunt.configFile")
    private File configFile;

    /** The launcher to write ({@code build.output}). */
    @Parameter(property = "jaunt.outputFile", defaultValue = "${project.build.directory}/${project.build.finalName}.exe")
    private File outputFile;

    /** {@code x86} (the default) or {@code x64}: the launcher's architecture ({@code build.arch}). */
    @Parameter(property = "jaunt.arch")
    private String arch;

    /** An unconfigured launcher program to start from ({@code build.stub}). */
    @Parameter(property = "jaunt.stub")
    private File stub;

    /**
     * Where the class path goes: {@code folder} (the default) copies the project's jar and its
     * runtime dependencies into {@code libraryDirectory} and names them in {@code java.classpath};
     * {@code included} carries them inside the launcher ({@code files.include}).
     */
    @Parameter(property = "jaunt.libraries", defaultValue = "folder")
    private String libraries;

    /** The folder the class path is copied into; it must lie in the launcher's folder. */
    @Parameter(defaultValue = "${project.build.directory}/${project.build.finalName}/lib")
    private File libraryDirectory;

    /** The {@code [application]} settings, each a child element named like its key. */
    @Parameter
    private PlexusConfiguration application;

    /** The {@code [redirect]} settings. */
    @Parameter
    private PlexusConfiguration redirect;

    /** The {@code [java]} settings; {@code classpath} entries given here follow the project's. */
    @Parameter
    private PlexusConfiguration java;

    /** The {@code [jvm]} settings. */
    @Parameter
    private PlexusConfiguration jvm;

    /** The {@code [splash]} settings, with {@code <status>} and {@code <label>} as its tables. */
    @Parameter
    private PlexusConfiguration splash;

    /** The {@code [messages]} settings. */
    @Parameter
    private PlexusConfiguration messages;

    /** The {@code [files]} settings; {@code include} entries given here follow the project's. */
    @Parameter
    private PlexusConfiguration files;

    /** The {@code [runtime]} settings: the application's own Java runtime. */
    @Parameter
    private PlexusConfiguration runtime;

    /** The {@code [keys]} table, as {@code <key number="128">VALUE</key>} elements. */
    @Parameter
    private PlexusConfiguration keys;

    /**
     * The {@code [sign]} settings. The password is never given here: {@code <password_env>} names
     * an environment variable, or {@code <server>} the id of a server in Maven's settings whose
     * password (encrypted or not) is the signing password.
     */
    @Parameter
    private PlexusConfiguration sign;

    @Override
    public void execute() throws MojoExecutionException, MojoFailureException {
        if (skip) {
            getLog().info("jaunt: skipped");
            return;
        }
        if ("pom".equals(project.getPackaging())) {
            getLog().info("jaunt: nothing to do for a project of packaging pom");
            return;
        }
        try {
            build();
        } catch (IOException e) {
            throw new MojoExecutionException("jaunt: " + e.getMessage(), e);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
            throw new MojoExecutionException("jaunt: interrupted", e);
        }
    }

    private void build() throws IOException, InterruptedException, MojoExecutionException, MojoFailureException {
        TomlDocument doc = new TomlDocument();
        if (configFile != null) {
            if (!configFile.isFile()) throw new MojoFailureException("<configFile>: " + configFile + ": no such configuration file");
            try {
                doc = TomlReader.read(configFile);
            } catch (TomlReader.TomlException e) {
                throw new MojoFailureException(e.getMessage());
            }
        }
        doc.overlay(pomSettings());

        Map<String, String> environment = new HashMap<>();
        signingPassword(doc, environment);

        File exe = outputFile.getAbsoluteFile();
        doc.put("build", "output", exe.getPath(), "<outputFile>");
        if (arch != null && !arch.isEmpty()) doc.put("build", "arch", arch, "<arch>");
        if (stub != null) doc.put("build", "stub", stub.getAbsolutePath(), "<stub>");

        File jar = projectJar();
        List<File> classPath = new ArrayList<>();
        classPath.add(jar);
        boolean carriesRuntime = !Boolean.FALSE.equals(valueOf(doc, "files", "runtime"));
        for (Artifact a : project.getArtifacts()) {
            if (!a.getArtifactHandler().isAddedToClasspath()) continue;
            String scope = a.getScope();
            if (!Artifact.SCOPE_COMPILE.equals(scope) && !Artifact.SCOPE_RUNTIME.equals(scope)) continue;
            // The launcher carries the runtime library itself; a second copy on the class path
            // would only shadow it.
            if (carriesRuntime && "com.jaunt".equals(a.getGroupId()) && "jauntlib".equals(a.getArtifactId())) continue;
            if (a.getFile() == null) throw new MojoExecutionException("jaunt: dependency " + a + " was not resolved");
            classPath.add(a.getFile());
        }

        if ("folder".equals(libraries)) {
            placeInFolder(doc, exe, classPath);
        } else if ("included".equals(libraries)) {
            List<Object> include = new ArrayList<>();
            for (File f : classPath) include.add(f.getAbsolutePath());
            TomlDocument.Setting given = doc.get("files", "include");
            if (given != null && given.value instanceof List) include.addAll((List<?>) given.value);
            doc.put("files", "include", include, given != null ? given.origin : "<libraries>included</libraries>");
        } else {
            throw new MojoFailureException("<libraries>: '" + libraries + "' is neither folder nor included");
        }

        if (doc.get("java", "main_class") == null) {
            String main = mainClassOf(jar);
            if (main == null)
                throw new MojoFailureException("jaunt: no main class: set <java><main_class>, or Main-Class in the manifest of "
                        + jar + " (maven-jar-plugin's <archive><manifest><mainClass>)");
            doc.put("java", "main_class", main, "Main-Class in the manifest of " + jar.getName());
            getLog().info("jaunt: main class " + main + " from the manifest of " + jar.getName());
        }

        String name = exe.getName().replaceFirst("(?i)\\.exe$", "");
        File config = new File(exe.getParentFile(), name + ".jaunt.toml");
        TomlDocument.Written written = doc.write("Written by jaunt-maven-plugin from " + project.getFile()
                + "\nfor jaunt build; it is written anew at every build.");
        Files.createDirectories(config.getParentFile().toPath());
        Files.write(config.toPath(), written.text.getBytes(StandardCharsets.UTF_8));

        JauntTool tool = tool();
        Messages words = new Messages(config.getPath(), doc, written);
        JauntTool.Result result = tool.run(Arrays.asList("build", config.getPath()), environment, project.getBasedir());
        String failure = null;
        for (String line : result.lines) {
            String text = words.translate(line);
            if (text.contains("warning: ")) {
                getLog().warn("jaunt: " + text);
            } else if (result.exitCode != 0) {
                if (failure != null) getLog().error("jaunt: " + failure);
                failure = text;
            } else {
                getLog().info("jaunt: " + text);
            }
        }
        if (result.exitCode != 0)
            throw new MojoFailureException("jaunt: " + (failure != null ? failure : "jaunt build ended with exit code " + result.exitCode));
    }

    private TomlDocument pomSettings() throws MojoExecutionException {
        PluginParameterExpressionEvaluator evaluator = new PluginParameterExpressionEvaluator(session, mojoExecution);
        PomSettings pom = new PomSettings(project.getBasedir(), text -> {
            try {
                Object value = evaluator.evaluate(text);
                return value == null ? null : String.valueOf(value);
            } catch (ExpressionEvaluationException e) {
                throw new IllegalArgumentException(e.getMessage(), e);
            }
        });
        TomlDocument doc = new TomlDocument();
        Map<String, PlexusConfiguration> sections = new LinkedHashMap<>();
        sections.put("application", application);
        sections.put("redirect", redirect);
        sections.put("java", java);
        sections.put("jvm", jvm);
        sections.put("splash", splash);
        sections.put("messages", messages);
        sections.put("files", files);
        sections.put("runtime", runtime);
        sections.put("keys", keys);
        sections.put("sign", sign);
        try {
            for (Map.Entry<String, PlexusConfiguration> s : sections.entrySet()) pom.addSection(doc, s.getKey(), s.getValue());
        } catch (IllegalArgumentException e) {
            throw new MojoExecutionException("jaunt: " + e.getMessage(), e);
        }
        return doc;
    }

    /** A password from Maven's settings ({@code <sign><server>}) reaches jaunt through its environment only. */
    private void signingPassword(TomlDocument doc, Map<String, String> environment) throws MojoFailureException {
        TomlDocument.Setting password = doc.get("sign", "password");
        if (password != null && password.origin.startsWith("<"))
            throw new MojoFailureException("jaunt: " + password.origin + ": the signing password is never written in the POM;"
                    + " name an environment variable with <sign><password_env> or a server of Maven's settings with <sign><server>");
        TomlDocument.Setting server = doc.remove("sign", "server");
        if (server == null) return;
        for (String other : new String[] {"password_env", "password_file"}) {
            TomlDocument.Setting given = doc.get("sign", other);
            if (given != null)
                throw new MojoFailureException("jaunt: " + server.origin + ": give the password either by a server of Maven's settings or by "
                        + given.origin + ", not both");
        }
        String id = String.valueOf(server.value);
        Server entry = settings.getServer(id);
        if (entry == null)
            throw new MojoFailureException("jaunt: " + server.origin + ": Maven's settings have no server '" + id + "'");
        SettingsDecryptionResult decrypted = settingsDecrypter.decrypt(new DefaultSettingsDecryptionRequest(entry));
        if (!decrypted.getProblems().isEmpty())
            throw new MojoFailureException("jaunt: " + server.origin + ": the password of server '" + id + "' cannot be decrypted: "
                    + decrypted.getProblems().get(0).getMessage());
        String secret = decrypted.getServer().getPassword();
        if (secret == null)
            throw new MojoFailureException("jaunt: " + server.origin + ": server '" + id + "' in Maven's settings has no password");
        environment.put(SIGN_PASSWORD_VARIABLE, secret);
        doc.put("sign", "password_env", SIGN_PASSWORD_VARIABLE, server.origin);
    }

    /** Copies the class path into the library folder (made anew) and names it, in order, in java.classpath. */
    private void placeInFolder(TomlDocument doc, File exe, List<File> classPath) throws IOException, MojoFailureException {
        Path base = exe.getParentFile().toPath().toAbsolutePath().normalize();
        Path lib = libraryDirectory.toPath().toAbsolutePath().normalize();
        if (!lib.startsWith(base) || lib.equals(base))
            throw new MojoFailureException("jaunt: <libraryDirectory> " + lib + " must lie in the launcher's folder " + base);
        JauntTool.deleteTree(lib);
        Files.createDirectories(lib);
        List<Object> entries = new ArrayList<>();
        Set<String> taken = new HashSet<>();
        for (File file : classPath) {
            String fileName = file.getName();
            if (!taken.add(fileName.toLowerCase(Locale.ROOT))) {
                fileName = file.getParentFile().getName() + "-" + fileName;
                taken.add(fileName.toLowerCase(Locale.ROOT));
            }
            Files.copy(file.toPath(), lib.resolve(fileName), StandardCopyOption.REPLACE_EXISTING);
            entries.add(base.relativize(lib.resolve(fileName)).toString().replace('\\', '/'));
        }
        TomlDocument.Setting given = doc.get("java", "classpath");
        Object value = entries;
        String origin = "the class path of the project (<libraries>folder</libraries>)";
        if (given != null) {
            origin = given.origin;
            if (given.value instanceof List) {
                entries.addAll((List<?>) given.value);
            } else {
                // A class path in the launcher's own grammar: the project's archives go first in it.
                StringBuilder grammar = new StringBuilder();
                for (Object e : entries) grammar.append("A1").append(e).append(';');
                value = grammar.append(given.value).toString();
            }
        }
        doc.put("java", "classpath", value, origin);
    }

    private File projectJar() throws MojoFailureException {
        File file = project.getArtifact() == null ? null : project.getArtifact().getFile();
        if (file != null && file.isFile()) return file;
        File built = new File(project.getBuild().getDirectory(), project.getBuild().getFinalName() + ".jar");
        if (built.isFile()) return built;
        throw new MojoFailureException("jaunt: the project's jar " + built + " is not there: run the goal in or after the package phase");
    }

    static String mainClassOf(File jar) throws IOException {
        try (JarFile archive = new JarFile(jar)) {
            Manifest manifest = archive.getManifest();
            if (manifest == null) return null;
            String main = manifest.getMainAttributes().getValue("Main-Class");
            return main == null || main.trim().isEmpty() ? null : main.trim();
        }
    }

    private static Object valueOf(TomlDocument doc, String table, String key) {
        TomlDocument.Setting s = doc.get(table, key);
        return s == null ? null : s.value;
    }

    private JauntTool tool() throws IOException {
        String os = System.getProperty("os.name", "");
        if (jauntHome != null) return JauntTool.installed(jauntHome, os);
        File cache = cacheDirectory != null ? cacheDirectory
                : JauntTool.defaultCache(os, System.getenv(), System.getProperty("user.home"));
        JauntTool tool = JauntTool.carried(cache, plugin.getVersion(), os, System.getProperty("os.arch", ""));
        getLog().debug("jaunt: " + tool.executable());
        return tool;
    }
}
