package com.jaunt.runtime.testapps;

import com.jaunt.runtime.SingleInstance;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.TimeUnit;

/**
 * Waits until the hand-over file that was written before the JVM started has been taken, without
 * touching SingleInstance, then sets a listener and prints what it receives. Returns from main
 * while the library's threads still exist.
 */
public final class HandOverApp {
    public static void main(String[] args) throws Exception {
        Path file = Paths.get(System.getProperty(SingleInstance.COMM_FILE_PROPERTY));
        for (int i = 0; i < 3000 && Files.exists(file); i++) {
            Thread.sleep(10);
        }
        System.out.println("taken before a listener: " + !Files.exists(file));
        final BlockingQueue<String[]> received = new LinkedBlockingQueue<String[]>();
        SingleInstance.setListener(received::add);
        String[] handedOver = received.poll(30, TimeUnit.SECONDS);
        System.out.println("enabled: " + SingleInstance.isEnabled());
        System.out.println("arguments: "
                + (handedOver == null ? "none" : String.join("|", handedOver)));
    }
}
