package com.jaunt.runtime.testapps;

/** Its static initialiser fails. */
public class BrokenInitApp {
    static final int VALUE = Integer.parseInt("not a number");

    public static void main(String[] args) {
        System.out.println(VALUE);
    }
}
