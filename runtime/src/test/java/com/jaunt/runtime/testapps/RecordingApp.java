package com.jaunt.runtime.testapps;

/** Remembers the arguments and the program-name property that its main saw. */
public class RecordingApp {
    public static volatile String[] received;
    public static volatile String programName;
    public static volatile ClassLoader contextLoader;

    public static void reset() {
        received = null;
        programName = null;
        contextLoader = null;
    }

    public static void main(String[] args) {
        received = args;
        programName = System.getProperty("jaunt.programName");
        contextLoader = Thread.currentThread().getContextClassLoader();
    }
}
