package com.example.hello;

/** The demo application: greets and lists the arguments the launcher handed over. */
public final class Hello {
    private Hello() {}

    public static void main(String[] args) {
        System.out.println(System.getProperty("hello.greeting", "Hello") + ", started by "
                + System.getProperty("jaunt.programName") + " on Java " + System.getProperty("java.version"));
        for (int i = 0; i < args.length; ++i) System.out.println("argument " + i + ": " + args[i]);
    }
}
