package jauntprobe;

import com.jaunt.runtime.JauntController;
import java.io.File;
import java.io.FileOutputStream;
import java.io.IOException;

/** The application the JNI checks start through the real runtime library. */
public final class Probe {
    private Probe() {}

    public static void main(String[] args) throws Exception {
        switch (args[0]) {
            case "echo":
                for (int i = 1; i < args.length; ++i) {
                    StringBuilder units = new StringBuilder();
                    for (char c : args[i].toCharArray()) units.append(String.format(" %04x", (int) c));
                    System.out.println("ARG " + i + ":" + units);
                }
                System.out.println("PROP probe.value=" + System.getProperty("probe.value"));
                System.out.println("PROP jaunt.programName=" + System.getProperty("jaunt.programName"));
                String late = System.getProperty("probe.late");
                if (late != null) {
                    StringBuilder units = new StringBuilder();
                    for (char c : late.toCharArray()) units.append(String.format(" %04x", (int) c));
                    System.out.println("PROP probe.late=" + units);
                    System.out.println("CLASS PATH " + (System.getProperty("java.class.path")
                            .equals(System.getenv("PROBE_LATE_CLASSPATH")) ? "whole" : "other"));
                }
                break;
            case "throw":
                throw new IllegalStateException("probe failure");
            case "exit":
                System.exit(Integer.parseInt(args[1]));
                break;
            case "linger": {
                final File marker = new File(args[1]);
                Thread worker = new Thread(() -> {
                    try {
                        Thread.sleep(1500);
                        new FileOutputStream(marker).close();
                    } catch (InterruptedException | IOException e) {
                        throw new RuntimeException(e);
                    }
                });
                worker.setDaemon(false);
                worker.start();
                System.out.println("MAIN RETURNS");
                break;
            }
            case "controller":
                JauntController.setStatusText("Loading probe");
                Thread.sleep(1000);
                JauntController.closeSplash();
                Thread.sleep(1000);
                break;
            default:
                throw new IllegalArgumentException(args[0]);
        }
    }
}
