package com.jaunt.runtime.testapps;

import java.io.IOException;

/** Its main throws a checked exception. */
public class FailingApp {
    public static void main(String[] args) throws IOException {
        throw new IOException("application failed");
    }
}
