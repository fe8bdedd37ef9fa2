package com.jaunt.runtime.testapps;

/** Has no main at all. */
public class NoMainApp {
    public static void start(String[] args) {
    }
}
