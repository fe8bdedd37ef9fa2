package com.jaunt.runtime.testapps;

/** Its main returns a value. */
public class IntMainApp {
    public static int main(String[] args) {
        return 0;
    }
}
