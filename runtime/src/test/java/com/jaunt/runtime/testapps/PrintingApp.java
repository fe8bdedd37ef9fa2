package com.jaunt.runtime.testapps;

/** Prints each argument "out:TEXT" on standard output and "err:TEXT" on standard error. */
public class PrintingApp {
    public static void main(String[] args) {
        for (String arg : args) {
            if (arg.startsWith("out:")) {
                System.out.println(arg.substring(4));
            } else if (arg.startsWith("err:")) {
                System.err.println(arg.substring(4));
            }
        }
    }
}
