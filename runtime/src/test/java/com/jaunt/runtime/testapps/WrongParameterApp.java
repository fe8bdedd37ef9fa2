package com.jaunt.runtime.testapps;

/** Its main takes a single String instead of an array. */
public class WrongParameterApp {
    public static void main(String arg) {
    }
}
