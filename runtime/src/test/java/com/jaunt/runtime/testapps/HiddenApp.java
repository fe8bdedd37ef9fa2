package com.jaunt.runtime.testapps;

/** A main class that is not public itself, as the java command accepts. */
class HiddenApp {
    public static void main(String[] args) {
        RecordingApp.received = args;
    }
}
