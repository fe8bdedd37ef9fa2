package com.jaunt.runtime.testapps;

/** Its main is not public. */
public class PrivateMainApp {
    @SuppressWarnings("unused")
    private static void main(String[] args) {
    }
}
